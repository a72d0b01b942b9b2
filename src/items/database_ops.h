#pragma once

#include <QString>

#include <functional>

class ItemTable;
class Prompter;

// Operations on database files. Errors the engine raises for damaged or missing files
// (dbase::DatabaseError) rise to the command that started the work; the answers here are for
// the outcomes a user meets every day.

// Is the .DBF at path one of ours: exactly the 22 item fields, in order, names compared
// without regard to case? Shows the refusal message itself. A missing NAME.MDX first clears
// the production-index flag so the table opens without it.
bool CheckDBaseFormat(const QString& path, Prompter& prompter);

// Clears the production-index flag (header byte 28). Touches no other byte, and leaves files
// too short to have a dBase header, or that cannot be opened, alone without a word.
void RemoveMDXByte(const QString& path);

// Does another program, user or copy hold the table open? (Exclusive use is refused.)
bool DBaseInUse(const QString& path);

// Creates an empty item table at path, replacing a table nobody holds open. True when the
// file exists afterwards. A table in use is refused with a message and left alone.
bool MakeNewDB(const QString& path, Prompter& prompter);

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
