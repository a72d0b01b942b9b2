#include "session/inventory_session.h"

#include "items/database_ops.h"
#include "ui/prompter.h"

#include <exception>

dbase::OpenMode InventorySession::usualMode() const {
    return readOnly ? dbase::OpenMode::ReadOnly : dbase::OpenMode::Shared;
}

void InventorySession::reopen() {
    reopenWith(reapplyViewer);
}

void InventorySession::reopenWith(const std::function<void()>& reapply) {
    if (detachViewer)
        detachViewer();
    items.close();
    items.open(usualMode());
    if (reapply)
        reapply();
}

bool InventorySession::writable(Prompter& prompter) const {
    if (!readOnly)
        return true;
    prompter.error(QStringLiteral("The database \"%1\" cannot be written, so it is open for "
                                  "browsing only.")
                       .arg(items.paths().current));
    return false;
}

void InventorySession::startBrowseMode(bool forReadOnly) {
    if (browseMode) {
        browseForReadOnly = browseForReadOnly && forReadOnly;
        return;
    }
    browseMode = true;
    browseForReadOnly = forReadOnly;
    fieldEditingBeforeBrowse = db.fieldEditing;
    db.fieldEditing = false;
}

void InventorySession::leaveReadOnlyBrowse() {
    if (!browseMode || !browseForReadOnly)
        return;
    browseMode = false;
    browseForReadOnly = false;
    db.fieldEditing = fieldEditingBeforeBrowse;
}

void InventorySession::settingsReloaded() {
    fieldEditingBeforeBrowse = db.fieldEditing;
    if (browseMode)
        db.fieldEditing = false;
}

bool InventorySession::saveSettings(QString* error) const {
    if (readOnly)
        return true;
    DatabaseSettings stored = db;
    if (browseMode)
        stored.fieldEditing = fieldEditingBeforeBrowse;
    return saveDatabaseSettings(stored, items.paths().settings, error);
}

void InventorySession::startSearch(dbase::Table::Filter filter) {
    m_lastSearch = std::move(filter);
    items.setFilter(m_lastSearch);
    searchOn = true;
    items.table().refresh();
}

void InventorySession::endSearch(const std::function<void()>& reapply) {
    switchSearchOff();
    reopenWith(reapply);
}

void InventorySession::switchSearchOff() {
    searchOn = false;
    items.clearFilter();
}

bool InventorySession::restartSearch() {
    if (!m_lastSearch || searchOn)
        return false;
    startSearch(m_lastSearch);
    return true;
}

bool InventorySession::withExclusiveUse(Prompter& prompter, const QString& refusal,
                                        const std::function<void(ItemTable&)>& work,
                                        SearchDuringWork search) {
    if (!writable(prompter))
        return false;
    const bool restart = search == SearchDuringWork::Restart && searchOn;
    if (restart)
        switchSearchOff();
    // Put the search back on every way out, the viewer after it, so the window shows the
    // records the search lets through.
    auto putBack = [&] {
        if (!restart)
            return;
        startSearch(m_lastSearch);
        if (reapplyViewer)
            reapplyViewer();
    };
    if (detachViewer)
        detachViewer();
    bool done = false;
    try {
        done = ::withExclusiveUse(items, prompter, reapplyViewer, refusal,
                                  [&](dbase::Table&) { work(items); });
    } catch (...) {
        const std::exception_ptr failure = std::current_exception();
        try {
            putBack();
        } catch (...) {
        }
        std::rethrow_exception(failure);
    }
    putBack();
    return done;
}
