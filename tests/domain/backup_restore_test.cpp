#include "backup/backup_ops.h"
#include "backup/file_copy.h"
#include "backup/restore_ops.h"
#include "dbase/table.h"
#include "items/database_ops.h"
#include "items/item_schema.h"
#include "items/sort_index.h"
#include "items/sort_string.h"
#include "scripted_prompter.h"
#include "session/inventory_session.h"
#include "test_files.h"

#include "qstring_printer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <csignal>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {
namespace F = item_field;

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

QByteArray pattern(int size) {
    QByteArray b(size, '\0');
    for (int i = 0; i < size; ++i)
        b[i] = char(i * 7 + i / 2048);
    return b;
}

// Hidden copies left behind in a directory.
QStringList leftovers(const QString& dir) {
    return QDir(dir).entryList({QStringLiteral(".*.part")}, QDir::Files | QDir::Hidden);
}

// A child process that holds a table open, shared, until released.
class Holder {
public:
    explicit Holder(const QString& path) {
        int ready[2];
        int go[2];
        if (::pipe(ready) != 0 || ::pipe(go) != 0)
            throw std::runtime_error("pipe");
        const std::string file = QFile::encodeName(path).toStdString();
        m_pid = ::fork();
        if (m_pid == 0) {
            ::close(ready[0]);
            ::close(go[1]);
            char status = 'y';
            dbase::Table t;
            try {
                t.openFile(file, dbase::OpenMode::Shared, false);
            } catch (const dbase::DatabaseError&) {
                status = 'n';
            }
            (void)!::write(ready[1], &status, 1);
            char c;
            (void)!::read(go[0], &c, 1);
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(go[0]);
        m_go = go[1];
        char status = 'n';
        (void)!::read(ready[0], &status, 1);
        ::close(ready[0]);
        m_opened = status == 'y';
    }
    ~Holder() {
        ::close(m_go);
        ::waitpid(m_pid, nullptr, 0);
    }
    bool opened() const { return m_opened; }

private:
    pid_t m_pid = -1;
    int m_go = -1;
    bool m_opened = false;
};

// Files larger than `bytes` cannot be written while this lives: a disk that fills half-way.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

// An open database HOME.DBF in its own directory (not the program directory), with items.
struct Inventory {
    TestDir dir;
    ScriptedPrompter prompter;
    InventorySession session;
    int reapplied = 0;
    QString dataDir;
    QString programDir;
    QString backupDir;

    explicit Inventory(const QString& name = QStringLiteral("HOME.DBF")) {
        dataDir = dir.file("data");
        programDir = dir.file("program");
        backupDir = dir.file("backup");
        for (const QString& d : {dataDir, programDir, backupDir})
            QDir().mkpath(d);
        session.paths.programDir = programDir;
        session.paths.settingsDir = dir.path();
        open(QDir(dataDir).filePath(name), {"tv", "radio", "lamp"});
    }
    ~Inventory() { prompter.verifyDone(); }

    void open(const QString& path, const QStringList& items) {
        EXPECT_TRUE(MakeNewDB(path, prompter));
        session.items.close();
        session.items.setPaths(DatabasePaths::forTable(path));
        session.items.setIndex({});
        session.items.open();
        for (const QString& item : items)
            add(item);
    }
    void add(const QString& item) {
        ItemTable& t = session.items;
        t.table().append();
        t.setText(F::Item, item);
        t.table().post();
    }
    // A second database with other items, written elsewhere and left closed.
    QString makeTable(const QString& path, const QStringList& items) {
        EXPECT_TRUE(MakeNewDB(path, prompter));
        ItemTable t;
        t.setPaths(DatabasePaths::forTable(path));
        t.open();
        for (const QString& item : items) {
            t.table().append();
            t.setText(F::Item, item);
            t.table().post();
        }
        return path;
    }

    QStringList items() {
        QStringList names;
        dbase::Table& t = session.items.table();
        for (t.first(); !t.eof() && !t.isEmpty(); t.next())
            names << session.items.text(F::Item);
        return names;
    }
    bool backup(BackupKind kind, const QString& to, std::optional<quint64> free = std::nullopt) {
        BackupJob job{kind, to, {}, [this] { ++reapplied; }};
        if (free)
            job.freeSpace = [free](const QString&) { return free; };
        return runBackup(session, job, prompter);
    }
    RestoreJob restoreJob(RestoreKind kind, const QString& chosen) {
        RestoreJob job;
        job.kind = kind;
        job.chosenFile = chosen;
        job.reapplyViewer = [this] { ++reapplied; };
        return job;
    }
    bool restore(RestoreKind kind, const QString& chosen) {
        return runRestore(session, restoreJob(kind, chosen), prompter);
    }
};

} // namespace

TEST(FileCopy, CopiesEveryBlockAndReplacesOnlyWithACompleteCopy) {
    TestDir dir;
    const QString source = dir.file("SOURCE.DBF");
    const QString target = dir.file("TARGET.DBF");
    // Block edges: empty, one short of a block, exactly two, and a ragged tail.
    for (int size : {0, 2047, 4096, 3 * 2048 + 17}) {
        writeBytes(source, pattern(size));
        EXPECT_EQ(copyFile(source, target), CopyResult::Copied) << size;
        EXPECT_EQ(bytesOf(target), pattern(size)) << size;
    }
    // A longer old target is not left with its tail.
    writeBytes(target, pattern(9000));
    writeBytes(source, "short");
    EXPECT_EQ(copyFile(source, target), CopyResult::Copied);
    EXPECT_EQ(bytesOf(target), QByteArray("short"));

    // A source that cannot be read, or a directory, leaves the target alone.
    EXPECT_EQ(copyFile(dir.file("NONE.DBF"), target), CopyResult::Failed);
    EXPECT_EQ(copyFile(dir.path(), target), CopyResult::Failed);
    // So does a disk that fills half-way.
    writeBytes(source, pattern(20000));
    {
        FileSizeLimit limit(5000);
        EXPECT_EQ(copyFile(source, target), CopyResult::Failed);
    }
    EXPECT_EQ(bytesOf(target), QByteArray("short"));
    EXPECT_EQ(copyFile(source, dir.file("missing/dir/T.DBF")), CopyResult::Failed);
    EXPECT_TRUE(leftovers(dir.path()).isEmpty()) << leftovers(dir.path()).join(",").toStdString();
}

// A real small file system: a 64 KB tmpfs mounted in a private mount namespace of a child
// process (needs root; skipped elsewhere), so nothing outside the test ever sees it.
TEST(FileCopy, AFileSystemThatFillsUpIsNoRoomAndKeepsTheOldTarget) {
    TestDir dir;
    const QString source = dir.file("BIG.DBF");
    const QString small = dir.file("small");
    QDir().mkpath(small);
    writeBytes(source, pattern(200 * 1024));
    int result[2];
    ASSERT_EQ(::pipe(result), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(result[0]);
        char status = 's'; // skipped
        const QByteArray where = QFile::encodeName(small);
        if (::unshare(CLONE_NEWNS) == 0 &&
            ::mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
            ::mount("tmpfs", where.constData(), "tmpfs", 0, "size=64k") == 0) {
            const QString target = small + "/BIG.DBF";
            QFile old(target);
            old.open(QIODevice::WriteOnly);
            old.write("older backup");
            old.close();
            const CopyResult copied = copyFile(source, target);
            QFile check(target);
            check.open(QIODevice::ReadOnly);
            const bool kept = check.readAll() == "older backup";
            const bool clean = leftovers(small).isEmpty();
            status = copied == CopyResult::NoRoom ? (kept && clean ? 'y' : 'k') : 'c';
        }
        (void)!::write(result[1], &status, 1);
        ::_exit(0);
    }
    ::close(result[1]);
    char status = 'n';
    (void)!::read(result[0], &status, 1);
    ::close(result[0]);
    ::waitpid(pid, nullptr, 0);
    if (status == 's')
        GTEST_SKIP() << "no private tmpfs here (needs root)";
    EXPECT_NE(status, 'c') << "the copy did not say there was no room";
    EXPECT_NE(status, 'k') << "the older target was not kept, or a hidden copy was left";
    EXPECT_EQ(status, 'y');
}

TEST(FileCopy, ABatchReplacesAllTargetsOrNone) {
    TestDir dir;
    writeBytes(dir.file("A.001"), "new one");
    writeBytes(dir.file("A.002"), "new two");
    writeBytes(dir.file("B.001"), "old one");
    writeBytes(dir.file("B.002"), "old two");
    {
        CopyBatch batch;
        EXPECT_EQ(batch.stage(dir.file("A.001"), dir.file("B.001")), CopyResult::Copied);
        EXPECT_EQ(batch.stage(dir.file("A.003"), dir.file("B.002")), CopyResult::Failed);
        // Dropped without a commit: nothing replaced, nothing left behind.
    }
    EXPECT_EQ(bytesOf(dir.file("B.001")), QByteArray("old one"));
    EXPECT_TRUE(leftovers(dir.path()).isEmpty());
    CopyBatch batch;
    EXPECT_EQ(batch.stage(dir.file("A.001"), dir.file("B.001")), CopyResult::Copied);
    EXPECT_EQ(batch.stage(dir.file("A.002"), dir.file("B.002")), CopyResult::Copied);
    EXPECT_EQ(bytesOf(dir.file("B.001")), QByteArray("old one"));
    EXPECT_TRUE(batch.commit());
    EXPECT_EQ(bytesOf(dir.file("B.001")), QByteArray("new one"));
    EXPECT_EQ(bytesOf(dir.file("B.002")), QByteArray("new two"));
    EXPECT_TRUE(leftovers(dir.path()).isEmpty());
}

TEST(FileCopy, RoomCountsTheReplacedTargetAsFree) {
    TestDir dir;
    writeBytes(dir.file("S"), pattern(1000));
    writeBytes(dir.file("T"), pattern(300));
    auto free = [](quint64 n) { return [n](const QString&) { return std::optional<quint64>(n); }; };
    EXPECT_TRUE(hasRoomFor(dir.file("S"), dir.file("T"), free(700)));  // exactly enough
    EXPECT_FALSE(hasRoomFor(dir.file("S"), dir.file("T"), free(699))); // one byte short
    EXPECT_FALSE(hasRoomFor(dir.file("S"), dir.file("N"), free(999))); // no target to count
    EXPECT_TRUE(hasRoomFor(dir.file("S"), dir.file("N"), free(1000)));
    // The real file system is asked about the target's directory.
    QString asked;
    hasRoomFor(dir.file("S"), dir.file("N"), [&](const QString& d) {
        asked = d;
        return std::optional<quint64>(0);
    });
    EXPECT_EQ(asked, dir.path());
    EXPECT_TRUE(fileSystemFreeSpace(dir.path()).has_value());
}

TEST(FileCopy, SameFileFollowsLinksAndDotDot) {
    TestDir dir;
    QDir().mkpath(dir.file("real/sub"));
    writeBytes(dir.file("real/HOME.DBF"), "x");
    writeBytes(dir.file("real/OTHER.DBF"), "x");
    ASSERT_TRUE(QFile::link(dir.file("real"), dir.file("link")));
    ASSERT_EQ(::link(QFile::encodeName(dir.file("real/HOME.DBF")).constData(),
                     QFile::encodeName(dir.file("real/HARD.DBF")).constData()),
              0);
    EXPECT_TRUE(sameFile(dir.file("real/HOME.DBF"), dir.file("link/HOME.DBF")));
    EXPECT_TRUE(sameFile(dir.file("real/HOME.DBF"), dir.file("real/sub/../HOME.DBF")));
    EXPECT_TRUE(sameFile(dir.file("real/HOME.DBF"), dir.file("real/HARD.DBF")));
    EXPECT_FALSE(sameFile(dir.file("real/HOME.DBF"), dir.file("real/OTHER.DBF")));
    // Files not there yet: the same place or not.
    EXPECT_TRUE(sameFile(dir.file("real/NEW.001"), dir.file("link/sub/../NEW.001")));
    EXPECT_FALSE(sameFile(dir.file("real/NEW.001"), dir.file("real/sub/NEW.001")));
    EXPECT_FALSE(sameFile(dir.file("real/HOME.DBF"), dir.file("real/sub/HOME.DBF")));
    // Another letter case is another file on a file system that tells them apart.
    EXPECT_FALSE(sameFile(dir.file("real/HOME.DBF"), dir.file("real/home.dbf")));
}

TEST(Backup, DatabaseIntoItsOwnDirectoryEvenThroughALinkIsRefused) {
    Inventory inv;
    ASSERT_TRUE(QFile::link(inv.dataDir, inv.dir.file("alias")));
    const QByteArray before = bytesOf(inv.session.items.paths().current);
    for (const QString& to : {inv.dataDir, inv.dir.file("alias"), inv.dataDir + "/../data/"}) {
        inv.prompter.expectMessage("Error", kBackupIdenticalMessage);
        EXPECT_FALSE(inv.backup(BackupKind::Database, to));
    }
    EXPECT_TRUE(inv.session.items.isOpen());
    EXPECT_EQ(inv.items(), QStringList({"tv", "radio", "lamp"}));
    EXPECT_EQ(bytesOf(inv.session.items.paths().current), before);
    // A root gives /HOME.DBF, never //HOME.DBF.
    EXPECT_EQ(backupDestination("/"), "/");
    EXPECT_EQ(backupDestination("/media/usb//"), "/media/usb/");
}

TEST(Backup, DatabaseCopiesTheTableOnlyAndKeepsTheSearch) {
    Inventory inv;
    inv.session.items.table().setFilter(
        [](const dbase::Table& t) { return t.fieldText("ITEM") != "radio"; });
    inv.session.searchOn = true;
    inv.prompter.expectMessage("Notice", kBackupDoneMessage);
    EXPECT_TRUE(inv.backup(BackupKind::Database, inv.backupDir));
    EXPECT_EQ(bytesOf(inv.backupDir + "/HOME.DBF"), bytesOf(inv.session.items.paths().current));
    EXPECT_FALSE(QFileInfo::exists(inv.backupDir + "/HOME.MDX"));
    // Reopened shared, the viewer set up again, the same search in force.
    EXPECT_EQ(inv.session.items.openMode(), dbase::OpenMode::Shared);
    EXPECT_EQ(inv.reapplied, 1);
    EXPECT_TRUE(inv.session.searchOn);
    EXPECT_EQ(inv.items(), QStringList({"tv", "lamp"}));
}

TEST(Backup, AFullTargetKeepsTheOlderBackup) {
    Inventory inv;
    const QString old = inv.backupDir + "/HOME.DBF";
    writeBytes(old, "an older backup");
    const qint64 size = QFileInfo(inv.session.items.paths().current).size();
    // Free space plus the older backup's size one byte short.
    inv.prompter.expectMessage("Error", kBackupNoRoomMessage);
    EXPECT_FALSE(inv.backup(BackupKind::Database, inv.backupDir,
                            quint64(size - QByteArray("an older backup").size() - 1)));
    EXPECT_EQ(bytesOf(old), QByteArray("an older backup"));
    EXPECT_TRUE(inv.session.items.isOpen());
    EXPECT_EQ(inv.reapplied, 1);

    // A disk that fills up during the copy says the same, and still keeps the older backup.
    inv.prompter.expectMessage("Error", kBackupFailedMessage);
    {
        FileSizeLimit limit(1024);
        EXPECT_FALSE(inv.backup(BackupKind::Database, inv.backupDir));
    }
    EXPECT_EQ(bytesOf(old), QByteArray("an older backup"));
    EXPECT_TRUE(leftovers(inv.backupDir).isEmpty());
    EXPECT_EQ(inv.items().size(), 3);
}

TEST(Backup, ATableAnotherProcessHoldsIsNotCopied) {
    Inventory inv;
    inv.session.items.table().setFilter(
        [](const dbase::Table& t) { return t.fieldText("ITEM") == "lamp"; });
    inv.session.searchOn = true;
    Holder other(inv.session.items.paths().current);
    ASSERT_TRUE(other.opened());
    inv.prompter.expectMessage("Error", kBackupInUseMessage);
    EXPECT_FALSE(inv.backup(BackupKind::Database, inv.backupDir));
    EXPECT_FALSE(QFileInfo::exists(inv.backupDir + "/HOME.DBF"));
    EXPECT_EQ(inv.session.items.openMode(), dbase::OpenMode::Shared);
    EXPECT_TRUE(inv.session.searchOn);
    EXPECT_EQ(inv.items(), QStringList({"lamp"}));
}

TEST(Backup, ListsSettingsAndReportsAreWrittenFirstThenCopied) {
    Inventory inv;
    inv.session.lists.setList(1, {"Acme", "Brio"});
    inv.session.db.fieldNames[0] = QStringLiteral("Thing");
    inv.prompter.expectMessage("Notice", kBackupDoneMessage);
    EXPECT_TRUE(inv.backup(BackupKind::Lists, inv.backupDir));
    EXPECT_EQ(readListFile(inv.backupDir + "/HOME.001"), QStringList({"Acme", "Brio"}));
    for (int n = 1; n <= 5; ++n)
        EXPECT_TRUE(QFileInfo::exists(inv.backupDir + QStringLiteral("/HOME.00%1").arg(n)));

    inv.prompter.expectMessage("Notice", kBackupDoneMessage);
    EXPECT_TRUE(inv.backup(BackupKind::Settings, inv.backupDir));
    EXPECT_EQ(loadDatabaseSettings(inv.backupDir + "/HOME.INI", {}).fieldNames[0], "Thing");

    // Lists and settings into the database's own directory are refused.
    inv.prompter.expectMessage("Error", kBackupIdenticalMessage)
        .expectMessage("Error", kBackupIdenticalMessage);
    EXPECT_FALSE(inv.backup(BackupKind::Lists, inv.dataDir));
    EXPECT_FALSE(inv.backup(BackupKind::Settings, inv.dataDir));

    writeBytes(inv.programDir + "/TWKINV.URP", pattern(5000));
    inv.prompter.expectMessage("Error", kBackupUrpIdenticalMessage)
        .expectMessage("Error", kBackupUrpNoRoomMessage)
        .expectMessage("Notice", kBackupDoneMessage);
    EXPECT_FALSE(inv.backup(BackupKind::ReportDefinitions, inv.programDir));
    EXPECT_FALSE(inv.backup(BackupKind::ReportDefinitions, inv.backupDir, 4999));
    EXPECT_TRUE(inv.backup(BackupKind::ReportDefinitions, inv.backupDir, 5000));
    EXPECT_EQ(bytesOf(inv.backupDir + "/TWKINV.URP"), pattern(5000));
}

TEST(Restore, ATableOverTheOpenOneRebuildsItsIndexAndEndsTheSearch) {
    Inventory inv(QStringLiteral("MASTER.DBF"));
    // The open database lives in the program directory, as the default one does.
    inv.open(inv.programDir + "/MASTER.DBF", {"old"});
    inv.session.db.sortKeys = {1, 0, 0, 0};
    inv.session.sortExpression = BuildSortString(inv.session.db.sortKeys);
    inv.session.items.table().setFilter([](const dbase::Table&) { return true; });
    inv.session.searchOn = true;
    inv.makeTable(inv.backupDir + "/MASTER.DBF", {"zebra", "apple", "mango"});
    writeBytes(inv.programDir + "/MASTER.MDX", "a stale index");

    int changed = 0;
    RestoreJob job = inv.restoreJob(RestoreKind::Database, inv.backupDir + "/MASTER.DBF");
    job.databaseChanged = [&] { ++changed; };
    inv.prompter.expectMessage("Notice", kRestoreDoneMessage);
    EXPECT_TRUE(runRestore(inv.session, job, inv.prompter));
    EXPECT_FALSE(inv.session.searchOn);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(inv.session.items.openMode(), dbase::OpenMode::Shared);
    EXPECT_EQ(inv.session.items.indexName(), "NewIndex");
    EXPECT_EQ(inv.items(), QStringList({"apple", "mango", "zebra"}));
    EXPECT_NE(bytesOf(inv.programDir + "/MASTER.MDX"), QByteArray("a stale index"));
    EXPECT_TRUE(leftovers(inv.programDir).isEmpty());
}

TEST(Restore, ATableThatFailsHalfWayLeavesTheDatabaseAsItWas) {
    Inventory inv(QStringLiteral("MASTER.DBF"));
    inv.open(inv.programDir + "/MASTER.DBF", {"keep me"});
    inv.session.db.sortKeys = {1, 0, 0, 0};
    inv.session.sortExpression = BuildSortString(inv.session.db.sortKeys);
    inv.session.items.close();
    inv.session.items.open(dbase::OpenMode::Exclusive);
    selectSortIndex(inv.session.items, inv.session.sortExpression, SortIndexUse::Rebuild);
    inv.session.items.close();
    inv.session.items.open();
    QStringList many;
    for (int i = 0; i < 40; ++i)
        many << QStringLiteral("item %1").arg(i);
    inv.makeTable(inv.backupDir + "/MASTER.DBF", many);
    const QByteArray table = bytesOf(inv.programDir + "/MASTER.DBF");
    const QByteArray index = bytesOf(inv.programDir + "/MASTER.MDX");
    ASSERT_GT(QFileInfo(inv.backupDir + "/MASTER.DBF").size(), 8192);

    inv.prompter.expectMessage("Error", kRestoreFailedMessage);
    {
        FileSizeLimit limit(8192);
        EXPECT_FALSE(inv.restore(RestoreKind::Database, inv.backupDir + "/MASTER.DBF"));
    }
    EXPECT_EQ(bytesOf(inv.programDir + "/MASTER.DBF"), table);
    EXPECT_EQ(bytesOf(inv.programDir + "/MASTER.MDX"), index);
    EXPECT_TRUE(leftovers(inv.programDir).isEmpty());
    EXPECT_EQ(inv.items(), QStringList({"keep me"}));

    // Not enough room: told before anything is written.
    inv.prompter.expectMessage("Error", kRestoreNoRoomMessage);
    RestoreJob job = inv.restoreJob(RestoreKind::Database, inv.backupDir + "/MASTER.DBF");
    job.freeSpace = [](const QString&) { return std::optional<quint64>(0); };
    EXPECT_FALSE(runRestore(inv.session, job, inv.prompter));
    EXPECT_EQ(bytesOf(inv.programDir + "/MASTER.DBF"), table);
    EXPECT_EQ(inv.items(), QStringList({"keep me"}));
}

TEST(Restore, ATableInUseElsewhereIsNotReplaced) {
    Inventory inv(QStringLiteral("MASTER.DBF"));
    inv.open(inv.programDir + "/MASTER.DBF", {"mine"});
    inv.makeTable(inv.backupDir + "/MASTER.DBF", {"backup"});
    // Another database in the target's place, held by another process.
    inv.makeTable(inv.programDir + "/OTHER.DBF", {"theirs"});
    inv.makeTable(inv.backupDir + "/OTHER.DBF", {"backup"});
    const QByteArray master = bytesOf(inv.programDir + "/MASTER.DBF");
    const QByteArray other = bytesOf(inv.programDir + "/OTHER.DBF");
    {
        Holder holder(inv.programDir + "/MASTER.DBF");
        Holder holder2(inv.programDir + "/OTHER.DBF");
        ASSERT_TRUE(holder.opened() && holder2.opened());
        inv.prompter.expectMessage("Error", kRestoreInUseMessage)
            .expectMessage("Error", kRestoreInUseMessage);
        EXPECT_FALSE(inv.restore(RestoreKind::Database, inv.backupDir + "/MASTER.DBF"));
        EXPECT_FALSE(inv.restore(RestoreKind::Database, inv.backupDir + "/OTHER.DBF"));
    }
    EXPECT_EQ(bytesOf(inv.programDir + "/MASTER.DBF"), master);
    EXPECT_EQ(bytesOf(inv.programDir + "/OTHER.DBF"), other);
    EXPECT_EQ(inv.session.items.paths().current, inv.programDir + "/MASTER.DBF");
    EXPECT_EQ(inv.items(), QStringList({"mine"}));

    // The open file itself, also through a link, is no backup.
    ASSERT_TRUE(QFile::link(inv.programDir, inv.dir.file("alias")));
    inv.prompter.expectMessage("Error", kRestoreIdenticalMessage)
        .expectMessage("Error", kRestoreIdenticalMessage);
    EXPECT_FALSE(inv.restore(RestoreKind::Database, inv.dir.file("alias/MASTER.DBF")));
    EXPECT_FALSE(inv.restore(RestoreKind::Database, inv.programDir + "/OTHER.DBF"));
    EXPECT_EQ(inv.items(), QStringList({"mine"}));
}

TEST(Restore, AnotherTableBecomesTheOpenDatabaseWithoutLosingEitherSettings) {
    Inventory inv;
    inv.session.db.fieldNames[0] = QStringLiteral("Home item");
    inv.session.lists.setList(2, {"Attic"});
    // MY.DATA.DBF is the table MY; MY.INI already waits in the program directory.
    inv.makeTable(inv.backupDir + "/MY.DATA.DBF", {"from backup"});
    DatabaseSettings mine;
    mine.fieldNames[0] = QStringLiteral("My item");
    ASSERT_TRUE(saveDatabaseSettings(mine, inv.programDir + "/MY.INI"));

    inv.prompter.expectMessage("Notice", kRestoreDoneMessage);
    EXPECT_TRUE(inv.restore(RestoreKind::Database, inv.backupDir + "/MY.DATA.DBF"));
    const DatabasePaths& paths = inv.session.items.paths();
    EXPECT_EQ(paths.current, inv.programDir + "/MY.DATA.DBF");
    EXPECT_EQ(paths.name, "MY");
    EXPECT_EQ(paths.index, inv.programDir + "/MY.MDX");
    EXPECT_EQ(inv.items(), QStringList({"from backup"}));
    EXPECT_EQ(inv.session.db.fieldNames[0], "My item");
    // The database left keeps what it had.
    EXPECT_EQ(loadDatabaseSettings(inv.dataDir + "/HOME.INI", {}).fieldNames[0], "Home item");
    EXPECT_EQ(readListFile(inv.dataDir + "/HOME.002"), QStringList({"Attic"}));
}

TEST(Restore, ListsGoBesideTheOpenDatabaseAndMissingOnesAreNamed) {
    Inventory inv;
    writeBytes(inv.backupDir + "/HOME.002", "Attic\r\nCellar\r\n");
    writeBytes(inv.dataDir + "/HOME.001", "Kept\r\n");
    writeBytes(inv.dataDir + "/HOME.004", "Tools\r\n");
    inv.prompter.expectMessage("Warning", restoreMissingFileMessage("HOME.001"))
        .expectMessage("Warning", restoreMissingFileMessage("HOME.003"))
        .expectMessage("Warning", restoreMissingFileMessage("HOME.004"))
        .expectMessage("Warning", restoreMissingFileMessage("HOME.005"))
        .expectMessage("Notice", kRestoreListsPartlyMessage);
    // The name of the file picked does not matter, only its directory.
    EXPECT_TRUE(inv.restore(RestoreKind::Lists, inv.backupDir + "/ANYTHING.DBF"));
    EXPECT_EQ(readListFile(inv.dataDir + "/HOME.002"), QStringList({"Attic", "Cellar"}));
    EXPECT_EQ(readListFile(inv.dataDir + "/HOME.001"), QStringList({"Kept"}));
    EXPECT_FALSE(QFileInfo::exists(inv.programDir + "/HOME.002"));
    EXPECT_EQ(inv.session.lists.editorList(2), QStringList({"Attic", "Cellar"}));

    for (int n = 1; n <= 5; ++n)
        writeBytes(inv.backupDir + QStringLiteral("/HOME.00%1").arg(n), "Entry\r\n");
    inv.prompter.expectMessage("Notice", kRestoreListsDoneMessage)
        .expectMessage("Error", kRestoreIdenticalMessage);
    EXPECT_TRUE(inv.restore(RestoreKind::Lists, inv.backupDir + "/HOME.DBF"));
    EXPECT_EQ(inv.session.lists.editorList(4), QStringList({"Entry"}));
    EXPECT_FALSE(inv.restore(RestoreKind::Lists, inv.dataDir + "/HOME.DBF"));
}

TEST(Restore, SettingsFileByTheChosenNameReloadsOnlyTheOpenDatabases) {
    Inventory inv;
    int reloaded = 0;
    DatabaseSettings saved;
    saved.fieldNames[0] = QStringLiteral("Restored");
    ASSERT_TRUE(saveDatabaseSettings(saved, inv.backupDir + "/AB.INI"));
    ASSERT_TRUE(saveDatabaseSettings(saved, inv.backupDir + "/HOME.INI"));

    // AB.DBF picked: AB.INI restored beside the open database, nothing on screen changes.
    RestoreJob job = inv.restoreJob(RestoreKind::Settings, inv.backupDir + "/AB.DBF");
    job.settingsChanged = [&] { ++reloaded; };
    inv.prompter.expectMessage("Notice", kRestoreSettingsDoneMessage);
    EXPECT_TRUE(runRestore(inv.session, job, inv.prompter));
    EXPECT_TRUE(QFileInfo::exists(inv.dataDir + "/AB.INI"));
    EXPECT_EQ(reloaded, 0);
    EXPECT_NE(inv.session.db.fieldNames[0], "Restored");

    job.chosenFile = inv.backupDir + "/HOME.DBF";
    inv.prompter.expectMessage("Notice", kRestoreSettingsDoneMessage);
    EXPECT_TRUE(runRestore(inv.session, job, inv.prompter));
    EXPECT_EQ(reloaded, 1);
    EXPECT_EQ(inv.session.db.fieldNames[0], "Restored");

    // A missing file is named and still ends the restore.
    job.chosenFile = inv.backupDir + "/CD.DBF";
    inv.prompter.expectMessage("Warning", restoreMissingFileMessage("CD.INI"))
        .expectMessage("Error", kRestoreIdenticalMessage);
    EXPECT_TRUE(runRestore(inv.session, job, inv.prompter));
    job.chosenFile = inv.dataDir + "/HOME.DBF";
    EXPECT_FALSE(runRestore(inv.session, job, inv.prompter));
}

TEST(Restore, ReportDefinitions) {
    Inventory inv;
    int reloaded = 0;
    RestoreJob job = inv.restoreJob(RestoreKind::ReportDefinitions, inv.backupDir + "/X.URP");
    job.reportsChanged = [&] { ++reloaded; };
    inv.prompter.expectMessage("Error", kRestoreUrpMissingMessage);
    EXPECT_FALSE(runRestore(inv.session, job, inv.prompter));
    writeBytes(inv.backupDir + "/TWKINV.URP", pattern(3000));
    writeBytes(inv.programDir + "/TWKINV.URP", "current");
    inv.prompter.expectMessage("Notice", kRestoreDoneMessage);
    EXPECT_TRUE(runRestore(inv.session, job, inv.prompter));
    EXPECT_EQ(bytesOf(inv.programDir + "/TWKINV.URP"), pattern(3000));
    EXPECT_EQ(reloaded, 1);
    job.chosenFile = inv.programDir + "/TWKINV.URP";
    inv.prompter.expectMessage("Error", kRestoreIdenticalMessage);
    EXPECT_FALSE(runRestore(inv.session, job, inv.prompter));
}
