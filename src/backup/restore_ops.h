#pragma once

#include "backup/file_copy.h"

#include <QString>

#include <functional>

class Prompter;
struct InventorySession;

// Copying back one kind of file saved by a backup. A table file goes into the program
// directory and becomes the open database, with its index rebuilt; the lists and the settings
// file go beside the open database, where they are read from; the report definitions go into
// the program directory. A restore replaces its targets only with complete copies, so one that
// fails or stops leaves every file as it was. Each run shows its own messages and answers true
// when it reached its last step. Engine errors from reopening the item table rise to the
// caller.

enum class RestoreKind { Database, Lists, ReportDefinitions, Settings };

struct RestoreJob {
    RestoreKind kind = RestoreKind::Database;
    QString chosenFile; // the file picked in the open dialog
    FreeSpaceProbe freeSpace;
    std::function<void()> reapplyViewer;   // after the item table was opened again
    std::function<void()> databaseChanged; // the open database is now another file
    std::function<void()> settingsChanged; // the open database's settings were read again
    std::function<void()> reportsChanged;  // the report definitions file was replaced
};

bool runRestore(InventorySession& session, const RestoreJob& job, Prompter& prompter);

// The open dialog of each kind.
struct RestoreDialogSetup {
    QString title;
    QString filter;
    QString defaultSuffix;
    QString fileName;
};
RestoreDialogSetup restoreDialogSetup(RestoreKind kind);

// "The following file "NAME.EXT" could not be located on the specified source drive."
QString restoreMissingFileMessage(const QString& fileName);

extern const QString kRestoreIdenticalMessage;
extern const QString kRestoreInUseMessage;
extern const QString kRestoreNoRoomMessage;
extern const QString kRestoreFailedMessage;
extern const QString kRestoreDoneMessage;
extern const QString kRestoreListsDoneMessage;
extern const QString kRestoreListsPartlyMessage;
extern const QString kRestoreSettingsDoneMessage;
extern const QString kRestoreUrpMissingMessage;
