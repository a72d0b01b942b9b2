#include "items/database_ops.h"

#include "dbase/table.h"
#include "items/database_paths.h"
#include "items/item_schema.h"
#include "items/item_table.h"
#include "ui/prompter.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>

#include <fcntl.h>
#include <unistd.h>

const QString kNotOwnTableMessage = QStringLiteral(
    "This DBase file was not created with Tallywick Inventory 97.  It cannot be opened.  You "
    "may, however, import data from this file using the import function.");

const QString kPackQuestion = QStringLiteral(
    "Deleted items are not permanently removed from the database until packing occurs.  Packing "
    "simply removes them to free up space.  Continue?");

const QString kPackFailure = QStringLiteral(
    "Unable to pack table.  Packing requires exclusive use of the DBase File.  Make sure that "
    "the DBase File is not in use by another program  or that no other users are running the "
    "software or that no other copies of the software are in use.");

const QString kRebuildQuestion = QStringLiteral(
    "It is possible for your index files to become corrupted.  As a result, some items may not "
    "show up in the viewer or in reports.  This will rebuild your index files correctly.  "
    "Continue?");

const QString kRebuildFailure = QStringLiteral(
    "Unable to reindex table.  Reindexing requires exclusive use of the DBase File.  Make sure "
    "that the DBase File is not in use by another program  or that no other users are running "
    "the software or that no other copies of the software are in use.");

QString tableInUseMessage(const QString& path) {
    return QStringLiteral("The table \"") + path +
           QStringLiteral("\" is currently in use by another program.") +
           QStringLiteral("  New table creation will be aborted.");
}

namespace {
// The one .DBF header byte this file writes itself (the engine reads the rest):
//
//   offset  size  meaning
//   0       32    fixed header, followed by the field descriptors
//   28      1     production-index flag: 0x01 NAME.MDX belongs to the table, 0x00 none
constexpr qint64 kHeaderSize = 32;
constexpr qint64 kProductionIndexFlagOffset = 28;

// The check table opens the chosen file itself (see ItemTable::open). It looks at the fields
// and the locks only, so a damaged index must not make a table look foreign or busy.
void openCheckTable(dbase::Table& table, const QString& path, dbase::OpenMode mode) {
    table.openFile(QFile::encodeName(QFileInfo(path).absoluteFilePath()).toStdString(), mode,
                   false);
}
} // namespace

void RemoveMDXByte(const QString& path) {
    // Only a file the engine reads as a dBase table has a production-index flag; any other
    // file (random bytes named .DBF) is not ours to write to.
    try {
        dbase::Table probe;
        openCheckTable(probe, path, dbase::OpenMode::ReadOnly);
        probe.close();
    } catch (const dbase::DatabaseError&) {
        return;
    }
    QFile file(path);
    // Never create the file: a missing table is not ours to make here.
    if (!file.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
        return;
    // Writing at offset 28 of a shorter file would grow it; that is no header to fix.
    if (file.size() < kHeaderSize || !file.seek(kProductionIndexFlagOffset))
        return;
    char flag = 0;
    if (file.read(&flag, 1) != 1 || flag == 0)
        return;
    if (file.seek(kProductionIndexFlagOffset))
        file.write("\0", 1);
}

bool CheckDBaseFormat(const QString& path, Prompter& prompter) {
    const DatabasePaths paths = DatabasePaths::forTable(path);
    if (!QFileInfo::exists(paths.index))
        RemoveMDXByte(path);

    bool own = false;
    {
        dbase::Table MyCheckTable;
        openCheckTable(MyCheckTable, paths.current, dbase::OpenMode::ReadOnly);
        own = MyCheckTable.fieldCount() == kItemFieldCount;
        for (int i = 0; own && i < kItemFieldCount; ++i)
            own = QString::fromStdString(MyCheckTable.field(i).name)
                      .compare(kItemFields[size_t(i)].qName(), Qt::CaseInsensitive) == 0;
        MyCheckTable.close();
    }
    if (!own)
        prompter.error(kNotOwnTableMessage);
    return own;
}

bool DBaseInUse(const QString& path) {
    dbase::Table MyCheckTable;
    try {
        openCheckTable(MyCheckTable, path, dbase::OpenMode::Exclusive);
    } catch (const dbase::DatabaseError&) {
        return true;
    }
    MyCheckTable.close();
    return false;
}

bool repairUnreadableIndex(const QString& path) {
    const DatabasePaths paths = DatabasePaths::forTable(path);
    if (!QFileInfo::exists(paths.index))
        return false;
    dbase::Table table;
    try {
        // Sole use, so that no one reads the index while it is rebuilt.
        openCheckTable(table, path, dbase::OpenMode::Exclusive);
    } catch (const dbase::DatabaseError&) {
        return false; // in use, or the table itself is what cannot be read
    }
    const std::string file = QFile::encodeName(QFileInfo(path).absoluteFilePath()).toStdString();
    try {
        dbase::Table withIndex;
        withIndex.openFile(file, dbase::OpenMode::Exclusive);
        return false; // the index reads: nothing to repair
    } catch (const dbase::DatabaseError&) {
    }
    try {
        table.regenerateIndexes();
        table.close();
        dbase::Table proof;
        proof.openFile(file, dbase::OpenMode::Exclusive);
        return true;
    } catch (const dbase::DatabaseError&) {
        table.close();
    }
    if (!QFile::remove(paths.index))
        return false;
    RemoveMDXByte(path);
    return true;
}

namespace {
std::vector<dbase::FieldDef> itemFieldDefs() {
    std::vector<dbase::FieldDef> defs;
    for (const ItemField& f : kItemFields) {
        std::string name(f.name);
        switch (f.type) {
        case FieldType::Character:
            defs.push_back(dbase::FieldDef::character(name, f.width));
            break;
        case FieldType::Integer:
            defs.push_back(dbase::FieldDef::integer(name));
            break;
        case FieldType::Float:
            defs.push_back(dbase::FieldDef::floating(name));
            break;
        case FieldType::Date:
            defs.push_back(dbase::FieldDef::date(name));
            break;
        }
    }
    return defs;
}

void syncDirectory(const QString& dir) {
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}
} // namespace

bool MakeNewDB(const QString& path, Prompter& prompter) {
    const QFileInfo info(path);
    const QString target = info.absoluteFilePath();
    const QString dir = info.absolutePath();

    // Sole use of the table being replaced, held until the new one has taken its place, so
    // nobody can open it in between.
    dbase::Table MyCheckTable;
    if (info.exists()) {
        try {
            openCheckTable(MyCheckTable, path, dbase::OpenMode::Exclusive);
        } catch (const dbase::DatabaseError&) {
            prompter.error(tableInUseMessage(path));
            return false;
        }
    }
    if (!QFileInfo(dir).isDir())
        throw dbase::DatabaseError(
            QDir::toNativeSeparators(target).toStdString() + ": the directory " +
            QDir::toNativeSeparators(dir).toStdString() + " does not exist.");

    // The engine finds a table by name with either spelling of ".DBF"; on a case-sensitive
    // file system that could be a neighbour (home.DBF for home.dbf). Build the table under a
    // name of our own and move it to exactly the chosen path.
    QString temp;
    for (int i = 0; temp.isEmpty() || QFileInfo::exists(temp); ++i)
        temp = QDir(dir).filePath(QStringLiteral(".%1.%2-%3.new.DBF")
                                      .arg(info.fileName())
                                      .arg(QCoreApplication::applicationPid())
                                      .arg(i));
    const QString tempName = QFileInfo(temp).fileName();
    try {
        dbase::Table::create(QFile::encodeName(dir).toStdString(),
                             QFile::encodeName(tempName).toStdString(), itemFieldDefs());
    } catch (const dbase::DatabaseError& e) {
        QFile::remove(temp);
        throw dbase::DatabaseError(
            QString::fromStdString(e.what())
                .replace(QDir::toNativeSeparators(temp), QDir::toNativeSeparators(target))
                .toStdString());
    }
    if (info.exists())
        QFile::setPermissions(temp, QFile::permissions(target));
    if (std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(target).constData()) !=
        0) {
        const int err = errno;
        QFile::remove(temp);
        throw dbase::DatabaseError(QDir::toNativeSeparators(target).toStdString() +
                                   ": the table cannot be created (" + std::strerror(err) + ").");
    }
    syncDirectory(dir);
    MyCheckTable.close();
    return QFileInfo::exists(path);
}

bool withExclusiveUse(ItemTable& items, Prompter& prompter,
                      const std::function<void()>& reapplyViewer, const QString& refusal,
                      const std::function<void(dbase::Table&)>& work) {
    auto reopenShared = [&] {
        if (items.isOpen())
            items.close();
        items.open(dbase::OpenMode::Shared);
        if (reapplyViewer)
            reapplyViewer();
    };
    items.close();
    try {
        items.open(dbase::OpenMode::Exclusive);
    } catch (const dbase::DatabaseError&) {
        // Only someone else holding the table earns the exclusive-use message; any other
        // failure (a damaged file) is reported as the engine words it.
        const bool busy = DBaseInUse(items.paths().current);
        reopenShared();
        if (!busy)
            throw;
        prompter.error(refusal);
        return false;
    }
    try {
        work(items.table());
    } catch (...) {
        // Report the failure of the work, not a second one from reopening.
        const std::exception_ptr failure = std::current_exception();
        try {
            reopenShared();
        } catch (...) {
        }
        std::rethrow_exception(failure);
    }
    reopenShared();
    return true;
}

bool packDatabase(ItemTable& items, Prompter& prompter,
                  const std::function<void()>& reapplyViewer) {
    if (!prompter.confirm(kPackQuestion))
        return false;
    return withExclusiveUse(items, prompter, reapplyViewer, kPackFailure,
                            [](dbase::Table& t) { t.pack(); });
}

bool rebuildIndexes(ItemTable& items, Prompter& prompter,
                    const std::function<void()>& reapplyViewer) {
    if (!prompter.confirm(kRebuildQuestion))
        return false;
    return withExclusiveUse(items, prompter, reapplyViewer, kRebuildFailure,
                            [](dbase::Table& t) { t.regenerateIndexes(); });
}
