#pragma once

#include <QString>

#include <functional>

class ItemTable;
class Prompter;
namespace dbase {
class Table;
}

// Operations on database files. Errors the engine raises for damaged or missing files
// (dbase::DatabaseError) rise to the command that started the work; the answers here are for
// the outcomes a user meets every day.

// Is the .DBF at path one of ours: exactly the 22 item fields, in order, names compared
// without regard to case? Shows the refusal message itself. A missing NAME.MDX first clears
// the production-index flag so the table opens without it.
bool CheckDBaseFormat(const QString& path, Prompter& prompter);

// Clears the production-index flag (header byte 28). Touches no other byte, and leaves a file
// that the engine does not read as a dBase table, or that cannot be opened, alone without a
// word.
void RemoveMDXByte(const QString& path);

// Does another program, user or copy hold the table open? (Exclusive use is refused.)
bool DBaseInUse(const QString& path);

// A production index that cannot be read keeps its table shut, and Rebuild Indexes needs the
// table open. When nobody else has the table, the index is rebuilt from its tag table or, when
// even that cannot be read, removed (the table stops naming it; the sort tag is added again
// on opening). True when something was repaired and the table should be opened again.
bool repairUnreadableIndex(const QString& path);

// Creates an empty item table at path, replacing a table nobody holds open. True when the
// file exists afterwards. A table in use is refused with a message and left alone.
bool MakeNewDB(const QString& path, Prompter& prompter);

// Close, reopen with sole use, run `work`, reopen shared. Whatever happens, the table ends
// open shared with reapplyViewer run; a refused sole use shows `refusal` and answers false.
// Errors of the work rise after the reopening. (The session's withExclusiveUse adds the
// search and the read-only database to this; windows use that one.)
bool withExclusiveUse(ItemTable& items, Prompter& prompter,
                      const std::function<void()>& reapplyViewer, const QString& refusal,
                      const std::function<void(dbase::Table&)>& work);

// Pack Database: asks first, then removes the deleted items with sole use of the table.
// reapplyViewer runs after every reopening. False when the user declined or sole use was
// refused (the message has been shown); the table is open shared again in every case.
bool packDatabase(ItemTable& items, Prompter& prompter, const std::function<void()>& reapplyViewer);

// Rebuild Indexes: asks first, then regenerates every index tag with sole use of the table.
// The same answers as packDatabase.
bool rebuildIndexes(ItemTable& items, Prompter& prompter,
                    const std::function<void()>& reapplyViewer);

// The messages, for the windows that need to name them.
extern const QString kNotOwnTableMessage;
extern const QString kPackQuestion;
extern const QString kPackFailure;
extern const QString kRebuildQuestion;
extern const QString kRebuildFailure;
QString tableInUseMessage(const QString& path);
