#pragma once

#include "backup/file_copy.h"
#include "items/database_paths.h"

#include <QString>

#include <functional>

class Prompter;
struct InventorySession;

// Backing up one kind of file of the open database, or the report definitions file, to a
// directory the user chose. Copies keep the file names: NAME plus the source's extension, or
// TWKINV.URP. Each run shows its own messages, success included, and answers true when the
// backup completed. Engine errors from reopening the item table rise to the caller.

enum class BackupKind { Database, Lists, ReportDefinitions, Settings };

// The directory the copies go to, ending in exactly one "/" (a root stays "/").
QString backupDestination(const QString& chosenDirectory);

struct BackupJob {
    BackupKind kind = BackupKind::Database;
    QString destination; // the chosen directory
    FreeSpaceProbe freeSpace;
    std::function<void()> reapplyViewer; // after the item table was opened again
};

bool runBackup(InventorySession& session, const BackupJob& job, Prompter& prompter);

// The messages, for the window tests.
extern const QString kBackupIdenticalMessage;
extern const QString kBackupUrpIdenticalMessage;
extern const QString kBackupInUseMessage;
extern const QString kBackupNoRoomMessage;
extern const QString kBackupUrpNoRoomMessage;
extern const QString kBackupFailedMessage;
extern const QString kBackupDoneMessage;
