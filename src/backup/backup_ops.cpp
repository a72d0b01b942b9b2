#include "backup/backup_ops.h"

#include "items/database_ops.h"
#include "session/inventory_session.h"
#include "ui/busy_cursor.h"
#include "ui/prompter.h"

#include <QDir>
#include <QFileInfo>

#include <optional>

const QString kBackupIdenticalMessage = QStringLiteral(
    "Destination File and Source File are identical.  You cannot copy a file  over top of "
    "itself.  Please choose a different directory/folder to backup to.");
const QString kBackupUrpIdenticalMessage = QStringLiteral(
    "Destination File and Source File are identical.  You cannot copy a file  over top of "
    "itself.  Please choose a different directory to backup to.");
const QString kBackupInUseMessage = QStringLiteral(
    "Backing up the database requires exclusive use of the DBase File.  Make sure that the "
    "DBase File is not in use by another program  or that no other users are running the "
    "software or that no other copies of the software are in use.");
const QString kBackupNoRoomMessage = QStringLiteral(
    "There is not enough room on the destination drive to perform a backup.  If you are "
    "already using blank empty media, then you will need to use the ASCII Delimited "
    "Import/Export functions for backup and restore purposes.");
const QString kBackupUrpNoRoomMessage = QStringLiteral(
    "There is not enough room on the destination drive to backup this file.  You will need to "
    "free up space on the destination drive or use an alternative method to backup the "
    "\"TWKINV.URP\" file.");
const QString kBackupFailedMessage =
    QStringLiteral("An error occurred during backup.  Backup not completed.");
const QString kBackupDoneMessage = QStringLiteral("Backup completed successfully.");

QString backupDestination(const QString& chosenDirectory) {
    QString dir = QDir::cleanPath(QFileInfo(chosenDirectory).absoluteFilePath());
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir;
}

namespace {

QString listExtension(int n) {
    return QStringLiteral(".%1").arg(n, 3, 10, QLatin1Char('0'));
}

// The item table shared again, the viewer set up on it. A search in force stays with the
// table object across the closing, so it applies again as the table opens.
void reopenShared(InventorySession& session, const BackupJob& job) {
    if (session.items.isOpen())
        session.items.close();
    session.items.open(dbase::OpenMode::Shared);
    if (job.reapplyViewer)
        job.reapplyViewer();
}

bool backupDatabase(InventorySession& session, const BackupJob& job, Prompter& prompter) {
    ItemTable& items = session.items;
    const QString source = items.paths().current;
    const QString target =
        backupDestination(job.destination) + items.paths().name + QStringLiteral(".DBF");
    if (sameFile(source, target)) {
        prompter.error(kBackupIdenticalMessage);
        return false;
    }

    // Sole use for the length of the copy, so nobody writes to the table half-way through.
    items.close();
    try {
        items.open(dbase::OpenMode::Exclusive);
    } catch (const dbase::DatabaseError&) {
        const bool busy = DBaseInUse(source);
        reopenShared(session, job);
        if (!busy)
            throw;
        prompter.error(kBackupInUseMessage);
        return false;
    }

    if (!hasRoomFor(source, target, job.freeSpace)) {
        reopenShared(session, job);
        prompter.error(kBackupNoRoomMessage);
        return false;
    }

    CopyResult result = CopyResult::Failed;
    {
        BusyCursor busy;
        result = copyFile(source, target);
        reopenShared(session, job);
    }
    if (result == CopyResult::Copied) {
        prompter.notice(kBackupDoneMessage);
        return true;
    }
    prompter.error(result == CopyResult::NoRoom ? kBackupNoRoomMessage : kBackupFailedMessage);
    return false;
}

bool backupLists(InventorySession& session, const BackupJob& job, Prompter& prompter) {
    const DatabasePaths& paths = session.items.paths();
    const QString dir = backupDestination(job.destination);
    std::optional<BusyCursor> busy(std::in_place);
    auto stop = [&](const QString& message) {
        busy.reset();
        prompter.error(message);
        return false;
    };
    // The copies must hold what the lists hold now.
    if (!session.lists.saveDatabaseLists(paths.base).isEmpty())
        return stop(kBackupFailedMessage);
    CopyBatch batch;
    for (int n = 1; n <= 5; ++n) {
        const QString ext = listExtension(n);
        const QString source = paths.base + ext;
        if (!QFileInfo::exists(source))
            continue;
        const QString target = dir + paths.name + ext;
        if (sameFile(source, target))
            return stop(kBackupIdenticalMessage);
        if (batch.stage(source, target) != CopyResult::Copied)
            return stop(kBackupFailedMessage);
    }
    // An earlier backup of the lists is replaced as a whole or not at all.
    if (!batch.commit())
        return stop(kBackupFailedMessage);
    busy.reset();
    prompter.notice(kBackupDoneMessage);
    return true;
}

bool backupSettings(InventorySession& session, const BackupJob& job, Prompter& prompter) {
    const DatabasePaths& paths = session.items.paths();
    std::optional<BusyCursor> busy(std::in_place);
    auto stop = [&](const QString& message) {
        busy.reset();
        prompter.error(message);
        return false;
    };
    if (!saveDatabaseSettings(session.db, paths.settings))
        return stop(kBackupFailedMessage);
    if (QFileInfo::exists(paths.settings)) {
        const QString target =
            backupDestination(job.destination) + paths.name + QStringLiteral(".INI");
        if (sameFile(paths.settings, target))
            return stop(kBackupIdenticalMessage);
        if (copyFile(paths.settings, target) != CopyResult::Copied)
            return stop(kBackupFailedMessage);
    }
    busy.reset();
    prompter.notice(kBackupDoneMessage);
    return true;
}

bool backupReportDefinitions(InventorySession& session, const BackupJob& job, Prompter& prompter) {
    const QString source = QDir(session.paths.programDir).filePath(kReportDefinitionsFile);
    const QString target = backupDestination(job.destination) + kReportDefinitionsFile;
    if (sameFile(source, target)) {
        prompter.error(kBackupUrpIdenticalMessage);
        return false;
    }
    if (!hasRoomFor(source, target, job.freeSpace)) {
        prompter.error(kBackupUrpNoRoomMessage);
        return false;
    }
    CopyResult result = CopyResult::Failed;
    {
        BusyCursor busy;
        result = copyFile(source, target);
    }
    if (result == CopyResult::Copied) {
        prompter.notice(kBackupDoneMessage);
        return true;
    }
    prompter.error(result == CopyResult::NoRoom ? kBackupUrpNoRoomMessage : kBackupFailedMessage);
    return false;
}

} // namespace

bool runBackup(InventorySession& session, const BackupJob& job, Prompter& prompter) {
    switch (job.kind) {
    case BackupKind::Database:
        return backupDatabase(session, job, prompter);
    case BackupKind::Lists:
        return backupLists(session, job, prompter);
    case BackupKind::Settings:
        return backupSettings(session, job, prompter);
    case BackupKind::ReportDefinitions:
        return backupReportDefinitions(session, job, prompter);
    }
    return false;
}
