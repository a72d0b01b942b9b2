#pragma once

#include "dbase/table.h"
#include "formats/date_format.h"
#include "formats/value_format.h"
#include "items/item_table.h"
#include "lists/lookup_lists.h"
#include "settings/app_paths.h"
#include "settings/settings.h"

#include <QString>

#include <functional>

class Prompter;

// What the main window owns for the whole run and lends to the windows it opens: the one
// open item table, the settings in memory, the display formats, the lookup lists, the sort
// expression, and the search and browse states. Every window that works on the table goes
// through the operations below, so the table is always left open, with the viewer set up
// again, whatever the work did.
struct InventorySession {
    AppPaths paths;
    GlobalSettings global;
    DatabaseSettings db;
    DisplayFormats formats;
    NumberFormatter numbers;
    LookupLists lists;
    ItemTable items;
    QString sortExpression; // the index expression of "NewIndex"; empty for record order
    bool searchOn = false;
    bool browseMode = false;
    // The database can be read but not written (read-only files or folder): the table is
    // open read only, browse mode is on and the per-database files are never written.
    bool readOnly = false;
    // Field Editing as it was before browse mode forced it off; put back before saving.
    bool fieldEditingBeforeBrowse = false;
    bool browseForReadOnly = false; // browse mode came from a read-only database

    // The window side. detachViewer runs before the table closes; reapplyViewer after it was
    // reopened (attach the viewer again and re-apply its set-up). Either may be empty.
    std::function<void()> detachViewer;
    std::function<void()> reapplyViewer;

    // --- Opening -----------------------------------------------------------------------------

    // The mode the table is open in between commands: shared, or read only for a database
    // that cannot be written.
    dbase::OpenMode usualMode() const;
    // Closes the table and opens it again in the usual mode; the search stays in force (the
    // table keeps its filter) and the viewer is set up again. Engine errors rise.
    void reopen();
    // False, with a message naming the database, when it cannot be written (readOnly).
    bool writable(Prompter& prompter) const;
    // Browse mode on: Field Editing is remembered and forced off. forReadOnly: started because
    // the database cannot be written, so a switch to one that can be ends it again.
    void startBrowseMode(bool forReadOnly = false);
    // Browse mode that a read-only database started ends when the next database can be
    // written; Field Editing comes back as remembered.
    void leaveReadOnlyBrowse();
    // After the per-database settings were read again (a switch): Field Editing is
    // remembered from them and forced off again in browse mode.
    void settingsReloaded();
    // Writes the per-database settings into NAME.INI with Field Editing as browse mode found
    // it, so browse mode never changes the stored value. A read-only database writes nothing.
    bool saveSettings(QString* error) const;

    // --- The active search ---------------------------------------------------------------------

    // The predicate becomes the table's filter and the search is on; the table is re-read.
    // The predicate is kept, so work that ends the search can start it again.
    void startSearch(dbase::Table::Filter filter);
    // End Search: the filter gone, the search off, the table reopened so every record shows
    // again; `reapply` runs after the reopening (the session's own reapplyViewer when the
    // overload without it is used).
    void endSearch(const std::function<void()>& reapply);
    void endSearch() { endSearch(reapplyViewer); }
    // The search off and the filter gone without touching the table: for a database switch,
    // before the old table is closed (the filter would judge the next database's records).
    void switchSearchOff();
    // Starts the search that the last endSearch() ended, when there was one; true if it did.
    bool restartSearch();

    // --- Sole use of the table -----------------------------------------------------------------

    enum class SearchDuringWork {
        Keep,    // the filter stays on the table during the work
        Restart, // the search ends first and starts again afterwards (replace, backup, restore)
    };
    // The one way to work with sole use of the table: close it, reopen it exclusive, run
    // `work`, reopen it in the usual mode and set the viewer up again. When sole use is
    // refused (another program or copy holds the table) the table is reopened at once, the
    // `refusal` message is shown and the answer is false; a read-only database is refused the
    // same way with writable()'s message. Engine errors from the work rise after the table was
    // reopened. The table is open again, with the search as it was, on every way out.
    bool withExclusiveUse(Prompter& prompter, const QString& refusal,
                          const std::function<void(ItemTable&)>& work,
                          SearchDuringWork search = SearchDuringWork::Keep);

private:
    void reopenWith(const std::function<void()>& reapply);

    dbase::Table::Filter m_lastSearch; // the predicate of the search in force or last ended
};
