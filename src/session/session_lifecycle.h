#pragma once

#include <QString>

#include <optional>

struct InventorySession;
class Prompter;

// Start-up, the database switch and shutdown: everything that reads, opens and saves what
// belongs to the open database. The main window does only its own part around these (caption,
// menus, viewer set-up), so it never holds a half-opened database.

// Start-up, first half: the global settings are read (damaged values repaired, see
// settings.h), the display and number formats applied and the sort expression built.
void loadGlobalState(InventorySession& session);

// Start-up, second half: the database named on the command line when it passes the own-table
// check, else the database of the last run (or MASTER.DBF in the program
// directory, created when missing) is checked and opened. A database that can be read but not
// written opens read only in browse mode, and the user is told why. One that cannot be read,
// or is not ours, leads to the choice of another database. False when the program has to end:
// the default database could not be created (after the Error box), or the user cancelled the
// choice of another database. True means the table is open.
bool openStartupDatabase(InventorySession& session, Prompter& prompter);

enum class SwitchKind { Open, New, Recent };

// The file dialog of Open Database or New Database, in the open database's directory
// (the program directory when there is none). Nothing when cancelled.
std::optional<QString> chooseDatabaseFile(const InventorySession& session, Prompter& prompter,
                                          SwitchKind kind);

// The database switch, once the path was chosen: checks the path (".DBF" ending, the own-table
// check or the new table), ends a running search, saves the settings and lists of the database
// being left, reads the new one's, selects its sort index and opens it. True when the new
// database is open. False when it was refused or could not be opened: the message has been
// shown and the previous database, its settings, lists and sort order are back as they were
// and open again. startupRecovery: the forced choice at start-up, which saves nothing for the
// rejected database. previousPath receives the path of the database that was left.
bool switchDatabase(InventorySession& session, Prompter& prompter, SwitchKind kind,
                    const QString& path, bool startupRecovery = false,
                    QString* previousPath = nullptr);

// Shutdown: the search off, Field Editing put back when browse mode changed it, the global
// settings saved, then the per-database settings (not for a read-only database), and the
// table closed. Failures to write are shown; nothing stops the program from ending.
void saveAtShutdown(InventorySession& session, Prompter& prompter);

// The messages, for the windows and tests that need to name them.
extern const QString kInvalidFileTypeMessage;
extern const QString kNotValidLastDatabaseMessage;
QString readOnlyDatabaseMessage(const QString& path);
QString missingDatabaseMessage(const QString& path);
