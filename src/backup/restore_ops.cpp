#include "backup/restore_ops.h"

#include "backup/backup_ops.h"
#include "dbase/file_lock.h"
#include "find/search_session.h"
#include "items/database_ops.h"
#include "items/sort_index.h"
#include "items/sort_string.h"
#include "session/inventory_session.h"
#include "ui/busy_cursor.h"
#include "ui/prompter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>

#include <fcntl.h>
#include <unistd.h>

const QString kRestoreIdenticalMessage = QStringLiteral(
    "Destination File and Source File are identical.  You cannot copy a file  over top of "
    "itself.  Please choose a different directory/folder to restore from.");
const QString kRestoreInUseMessage = QStringLiteral(
    "Unable to restore the database.  Make sure the database is not in use by any other users "
    "or by another copy of the software.");
const QString kRestoreNoRoomMessage = QStringLiteral(
    "There is not enough room on the destination drive to perform a restore.  You will need to "
    "free up hard drive space before completing the restore.");
const QString kRestoreFailedMessage =
    QStringLiteral("An error occurred during restore.  Restore not completed.");
const QString kRestoreDoneMessage = QStringLiteral("Restore completed successfully.");
const QString kRestoreListsDoneMessage =
    QStringLiteral("ALL proper \"Data List\" files restored successfully.");
const QString kRestoreListsPartlyMessage = QStringLiteral(
    "One or more files were not restored.  Restore may not have completed successfully.");
const QString kRestoreSettingsDoneMessage =
    QStringLiteral("Configuration File restored successfully.");
const QString kRestoreUrpMissingMessage = QStringLiteral(
    "The Report Definitions file \"TWKINV.URP\" could not be  located on the specified source "
    "drive.");

QString restoreMissingFileMessage(const QString& fileName) {
    return QStringLiteral("The following file ") + QLatin1Char('"') + fileName + QLatin1Char('"') +
           QStringLiteral(" could not be") +
           QStringLiteral(" located on the specified source drive.");
}

RestoreDialogSetup restoreDialogSetup(RestoreKind kind) {
    const QString dbase = QStringLiteral("DBase Files (*.dbf *.DBF)");
    switch (kind) {
    case RestoreKind::Database:
        return {QStringLiteral("Restore Database File"), dbase, QStringLiteral("DBF"), {}};
    case RestoreKind::Lists:
        return {QStringLiteral("Restore Data List Files"), dbase, QStringLiteral("DBF"), {}};
    case RestoreKind::Settings:
        return {QStringLiteral("Restore Configuration File"), dbase, QStringLiteral("DBF"), {}};
    case RestoreKind::ReportDefinitions:
        return {QStringLiteral("Restore URP File"), QStringLiteral("Reports Files (*.urp *.URP)"),
                QStringLiteral("URP"), kReportDefinitionsFile};
    }
    return {};
}

namespace {

QString listExtension(int n) {
    return QStringLiteral(".%1").arg(n, 3, 10, QLatin1Char('0'));
}

// The directory of the chosen file, ending in one "/".
QString sourceDirectory(const QString& chosenFile) {
    return backupDestination(QFileInfo(chosenFile).absolutePath());
}

void reopenShared(InventorySession& session, const RestoreJob& job) {
    if (session.items.isOpen())
        session.items.close();
    session.items.open(dbase::OpenMode::Shared);
    if (job.reapplyViewer)
        job.reapplyViewer();
}

// Sole use of a table file, held from the test until its replacement is in place, so no
// other program or copy opens it half-way. The table engine's own exclusive lock.
class SoleUse {
public:
    SoleUse() = default;
    ~SoleUse() { release(); }
    SoleUse(const SoleUse&) = delete;
    SoleUse& operator=(const SoleUse&) = delete;

    // False while anyone else has the table open. A file that is not there (or cannot be
    // opened for writing, which the copy then reports) needs no lock.
    bool acquire(const QString& path) {
        m_fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CLOEXEC);
        if (m_fd < 0)
            return true;
        if (dbase::locks::tryLock(m_fd, dbase::locks::kOpenByte, dbase::locks::Kind::Write))
            return true;
        release();
        return false;
    }
    void release() {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }

private:
    int m_fd = -1;
};

bool restoreDatabase(InventorySession& session, const RestoreJob& job, Prompter& prompter) {
    ItemTable& items = session.items;
    if (session.searchOn)
        endSearch(session, job.reapplyViewer);

    const QString chosen = QFileInfo(job.chosenFile).absoluteFilePath();
    const DatabasePaths before = items.paths();
    if (sameFile(chosen, before.current)) {
        prompter.error(kRestoreIdenticalMessage);
        return false;
    }
    const QString target = QDir(session.paths.programDir).filePath(QFileInfo(chosen).fileName());
    // Nor is any other table already in the program directory: it would be copied onto itself.
    if (sameFile(chosen, target)) {
        prompter.error(kRestoreIdenticalMessage);
        return false;
    }
    if (!CheckDBaseFormat(chosen, prompter))
        return false;

    // The open table is closed for the test; any other table in the target's place must not
    // be in use either, or its user would find it changed under them.
    const bool replacesOpen = sameFile(target, before.current);
    if (replacesOpen)
        items.close();
    SoleUse soleUse;
    if (!soleUse.acquire(target)) {
        if (replacesOpen)
            reopenShared(session, job);
        prompter.error(kRestoreInUseMessage);
        return false;
    }
    if (!hasRoomFor(chosen, target, job.freeSpace)) {
        soleUse.release();
        if (replacesOpen)
            reopenShared(session, job);
        prompter.error(kRestoreNoRoomMessage);
        return false;
    }

    std::optional<BusyCursor> busy(std::in_place);
    if (items.isOpen())
        items.close();
    CopyBatch batch;
    CopyResult copied = batch.stage(chosen, target);
    if (copied == CopyResult::Copied) {
        // The copy must not claim the index of the table it replaces.
        RemoveMDXByte(batch.lastStaged());
        if (!batch.commit())
            copied = CopyResult::Failed;
    }
    soleUse.release();
    if (copied != CopyResult::Copied) {
        batch.discard();
        reopenShared(session, job);
        busy.reset();
        prompter.error(copied == CopyResult::NoRoom ? kRestoreNoRoomMessage
                                                    : kRestoreFailedMessage);
        return false;
    }

    // The restored table is the open database from here on.
    const DatabasePaths after = DatabasePaths::forTable(target);
    if (!sameFile(after.settings, before.settings)) {
        // Another database: what belongs to the one left is kept in its own files, and the
        // restored one's own settings and lists, where it has them, are not overwritten later.
        saveDatabaseSettings(session.db, before.settings);
        session.lists.saveDatabaseLists(before.base);
        if (QFileInfo::exists(after.settings)) {
            session.db =
                loadDatabaseSettings(after.settings, globalSettingsPath(session.paths.settingsDir));
            if (session.browseMode)
                session.db.fieldEditing = false;
            session.sortExpression = BuildSortString(session.db.sortKeys);
        }
        if (QFileInfo::exists(after.listFile(kCategoryList)))
            session.lists.loadDatabaseLists(after.base, session.paths.programDir);
    }
    items.setPaths(after);
    items.setIndex({});

    // A fresh index in the current order.
    QString indexError;
    QFile::remove(after.index);
    RemoveMDXByte(target);
    try {
        items.open(dbase::OpenMode::Exclusive);
        selectSortIndex(items, session.sortExpression, SortIndexUse::Rebuild);
        items.close();
    } catch (const dbase::DatabaseError& e) {
        indexError = QString::fromStdString(e.what());
        if (items.isOpen())
            items.close();
        items.setIndex({});
    }
    reopenShared(session, job);
    if (job.databaseChanged)
        job.databaseChanged();
    busy.reset();
    if (!indexError.isEmpty()) {
        prompter.error(indexError);
        return false;
    }
    prompter.notice(kRestoreDoneMessage);
    return true;
}

bool restoreLists(InventorySession& session, const RestoreJob& job, Prompter& prompter) {
    const DatabasePaths& paths = session.items.paths();
    const QString sourceDir = sourceDirectory(job.chosenFile);
    std::optional<BusyCursor> busy(std::in_place);
    bool allFound = true;
    CopyBatch batch;
    for (int n = 1; n <= 5; ++n) {
        const QString ext = listExtension(n);
        const QString source = sourceDir + paths.name + ext;
        const QString target = paths.base + ext;
        if (sameFile(source, target)) {
            busy.reset();
            prompter.error(kRestoreIdenticalMessage);
            return false;
        }
        if (!QFileInfo::exists(source)) {
            busy.reset();
            prompter.message({QStringLiteral("Warning"),
                              restoreMissingFileMessage(paths.name + ext), MsgIcon::Warning,
                              static_cast<unsigned>(MsgButton::Ok), MsgButton::Ok});
            busy.emplace();
            allFound = false;
            continue;
        }
        if (batch.stage(source, target) != CopyResult::Copied) {
            busy.reset();
            prompter.error(kRestoreFailedMessage);
            return false;
        }
    }
    // The lists are replaced together or not at all.
    const bool committed = batch.commit();
    busy.reset();
    if (!committed) {
        prompter.error(kRestoreFailedMessage);
        return false;
    }
    prompter.notice(allFound ? kRestoreListsDoneMessage : kRestoreListsPartlyMessage);
    session.lists.loadDatabaseLists(paths.base, session.paths.programDir);
    return true;
}

bool restoreSettings(InventorySession& session, const RestoreJob& job, Prompter& prompter) {
    const DatabasePaths& paths = session.items.paths();
    std::optional<BusyCursor> busy(std::in_place);
    const QString name = tableName(job.chosenFile);
    const QString fileName = name + QStringLiteral(".INI");
    const QString source = sourceDirectory(job.chosenFile) + fileName;
    const QString target = QDir(paths.directory).filePath(fileName);
    if (sameFile(source, target)) {
        busy.reset();
        prompter.error(kRestoreIdenticalMessage);
        return false;
    }
    if (!QFileInfo::exists(source)) {
        busy.reset();
        prompter.message({QStringLiteral("Warning"), restoreMissingFileMessage(fileName),
                          MsgIcon::Warning, static_cast<unsigned>(MsgButton::Ok), MsgButton::Ok});
        return true;
    }
    if (copyFile(source, target) != CopyResult::Copied) {
        busy.reset();
        prompter.error(kRestoreFailedMessage);
        return false;
    }
    if (name == paths.name) {
        session.db =
            loadDatabaseSettings(paths.settings, globalSettingsPath(session.paths.settingsDir));
        if (session.browseMode)
            session.db.fieldEditing = false;
        if (job.settingsChanged)
            job.settingsChanged();
    }
    busy.reset();
    prompter.notice(kRestoreSettingsDoneMessage);
    return true;
}

bool restoreReportDefinitions(InventorySession& session, const RestoreJob& job,
                              Prompter& prompter) {
    const QString source = sourceDirectory(job.chosenFile) + kReportDefinitionsFile;
    const QString target = QDir(session.paths.programDir).filePath(kReportDefinitionsFile);
    if (sameFile(source, target)) {
        prompter.error(kRestoreIdenticalMessage);
        return false;
    }
    if (!QFileInfo::exists(source)) {
        prompter.error(kRestoreUrpMissingMessage);
        return false;
    }
    if (!hasRoomFor(source, target, job.freeSpace)) {
        prompter.error(kRestoreNoRoomMessage);
        return false;
    }
    std::optional<BusyCursor> busy(std::in_place);
    const CopyResult copied = copyFile(source, target);
    if (copied != CopyResult::Copied) {
        busy.reset();
        prompter.error(copied == CopyResult::NoRoom ? kRestoreNoRoomMessage
                                                    : kRestoreFailedMessage);
        return false;
    }
    if (job.reportsChanged)
        job.reportsChanged();
    busy.reset();
    prompter.notice(kRestoreDoneMessage);
    return true;
}

} // namespace

bool runRestore(InventorySession& session, const RestoreJob& job, Prompter& prompter) {
    switch (job.kind) {
    case RestoreKind::Database:
        return restoreDatabase(session, job, prompter);
    case RestoreKind::Lists:
        return restoreLists(session, job, prompter);
    case RestoreKind::Settings:
        return restoreSettings(session, job, prompter);
    case RestoreKind::ReportDefinitions:
        return restoreReportDefinitions(session, job, prompter);
    }
    return false;
}
