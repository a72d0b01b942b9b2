#include "session/session_lifecycle.h"

#include "items/database_ops.h"
#include "items/sort_index.h"
#include "items/sort_string.h"
#include "session/inventory_session.h"
#include "settings/ini_file.h"
#include "ui/busy_cursor.h"
#include "ui/prompter.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

const QString kInvalidFileTypeMessage = QStringLiteral("Invalid file type selected.");
const QString kNotValidLastDatabaseMessage = QStringLiteral(
    "The last database used as recorded in the INI file is not a valid Tallywick Inventory 97 "
    "file.  You will need to choose a new file.");

QString readOnlyDatabaseMessage(const QString& path) {
    return QStringLiteral("The database \"%1\" can be read but not written (the file or its "
                          "folder is read-only).  It is open for browsing only; nothing you "
                          "change will be saved.")
        .arg(QDir::toNativeSeparators(path));
}

QString missingDatabaseMessage(const QString& path) {
    return QStringLiteral("The database \"%1\" does not exist.")
        .arg(QDir::toNativeSeparators(path));
}

namespace {

const QString kDatabaseFilter = QStringLiteral("Database Files (*.dbf *.DBF)");

bool hasDbfEnding(const QString& path) {
    return path.right(4).toUpper() == QLatin1String(".DBF");
}

// Runs work, showing an engine error in an "Error" box; false when it failed.
template <typename Work> bool reported(Prompter& prompter, Work&& work) {
    try {
        work();
        return true;
    } catch (const std::exception& e) {
        prompter.error(QString::fromStdString(e.what()));
    }
    return false;
}

// Can the table, its index and a new file in its folder (the settings, the lists and the
// temporary files of pack and re-index) be written? Tried rather than judged from the
// permission bits, which say nothing of a read-only file system.
bool databaseWritable(const DatabasePaths& paths) {
    for (const QString& file : {paths.current, paths.index}) {
        if (!QFileInfo::exists(file))
            continue;
        QFile f(file);
        if (!f.open(QIODevice::ReadWrite | QIODevice::ExistingOnly))
            return false;
    }
    QTemporaryFile probe(QDir(paths.directory).filePath(QStringLiteral(".tallywick-probe-XXXXXX")));
    return probe.open();
}

// Everything a switch replaces, so a failed opening can put it back.
struct OpenDatabaseState {
    DatabasePaths paths;
    QString indexName;
    DatabaseSettings settings;
    LookupLists lists;
    QString sortExpression;
    bool readOnly;
    bool browseMode;
    bool browseForReadOnly;
    bool fieldEditingBeforeBrowse;
};

void detach(InventorySession& s) {
    if (s.detachViewer)
        s.detachViewer();
}

// Reads what belongs to the database at path and opens it; engine errors rise with the table
// closed. use: how the sort tag is selected.
void openDatabase(InventorySession& s, const QString& path, SortIndexUse use) {
    detach(s);
    s.items.close();
    s.items.setPaths(DatabasePaths::forTable(path));
    s.readOnly = !databaseWritable(s.items.paths());
    if (s.readOnly) {
        s.startBrowseMode(true);
        // No new tag can be written: the order is the tag's only when it is there already.
        use = SortIndexUse::Keep;
    } else {
        s.leaveReadOnlyBrowse();
    }
    s.items.setIndex({});
    const auto openAndSelect = [&] {
        s.items.open(s.usualMode());
        selectSortIndex(s.items, s.sortExpression, use);
    };
    try {
        try {
            openAndSelect();
        } catch (const dbase::DatabaseError&) {
            s.items.close();
            // An unreadable index would keep the database shut at every try, at start-up too.
            if (s.readOnly || !repairUnreadableIndex(path))
                throw;
            openAndSelect();
        }
    } catch (...) {
        s.items.close();
        throw;
    }
}

} // namespace

void loadGlobalState(InventorySession& s) {
    s.searchOn = false;
    s.global = loadGlobalSettings(s.paths.settingsDir, s.paths.currentDir);
    s.sortExpression = BuildSortString(s.db.sortKeys);
    s.formats.apply(s.global.dateFormat, s.global.dateLeadingZeros);
    s.numbers.setCurrencyFormat(s.global.currencyFormat);
    s.numbers.setNumericFormat(s.global.numericFormat);
}

bool openStartupDatabase(InventorySession& s, Prompter& prompter) {
    QString path = s.global.lastDatabase;
    // A database named on the command line comes before the last one; one that cannot be
    // opened is named in a message and the start goes on as without it.
    if (const QString& named = s.paths.databaseFile; !named.isEmpty()) {
        bool own = false;
        if (!QFileInfo(named).isFile())
            prompter.error(missingDatabaseMessage(named));
        else if (!hasDbfEnding(named))
            prompter.error(kInvalidFileTypeMessage);
        else
            reported(prompter, [&] { own = CheckDBaseFormat(named, prompter); });
        if (own)
            path = named;
    }
    if (path.isEmpty() || !QFileInfo::exists(path)) {
        path = defaultDatabasePath(s.paths.programDir);
        if (!QFileInfo::exists(path)) {
            QString reason;
            if (!QDir().mkpath(s.paths.programDir))
                reason = QStringLiteral("The directory cannot be created.");
            bool made = false;
            if (reason.isEmpty()) {
                try {
                    made = MakeNewDB(path, prompter);
                } catch (const std::exception& e) {
                    reason = QString::fromStdString(e.what());
                }
            }
            if (!made) {
                prompter.error(QStringLiteral("The default database \"%1\" could not be "
                                              "created.  %2")
                                   .arg(path, reason.isEmpty()
                                                  ? QStringLiteral("The table is in use.")
                                                  : reason));
                return false;
            }
        }
    }

    bool own = false;
    reported(prompter, [&] { own = CheckDBaseFormat(path, prompter); });
    if (own) {
        s.global.lastDatabase = path;
        const DatabasePaths paths = DatabasePaths::forTable(path);
        s.db = loadDatabaseSettings(paths.settings, globalSettingsPath(s.paths.settingsDir));
        s.sortExpression = BuildSortString(s.db.sortKeys);
        s.lists.loadDatabaseLists(paths.base, s.paths.programDir);
        const bool opened = reported(prompter, [&] {
            BusyCursor busy;
            openDatabase(s, path, SortIndexUse::Reuse);
        });
        if (opened) {
            if (s.readOnly)
                prompter.error(readOnlyDatabaseMessage(path));
            return true;
        }
    }

    // There is no way on without a database: Open Database until one passes, or the program
    // ends when the user gives up.
    prompter.error(kNotValidLastDatabaseMessage);
    for (;;) {
        const auto chosen = chooseDatabaseFile(s, prompter, SwitchKind::Open);
        if (!chosen)
            return false;
        if (switchDatabase(s, prompter, SwitchKind::Open, *chosen, true))
            return true;
    }
}

std::optional<QString> chooseDatabaseFile(const InventorySession& s, Prompter& prompter,
                                          SwitchKind kind) {
    FileDialogRequest request;
    request.caption = kind == SwitchKind::New ? QStringLiteral("New Database File")
                                              : QStringLiteral("Open Database File");
    const QString current = s.items.paths().directory;
    request.directory = current.isEmpty() ? s.paths.programDir : current;
    request.filters = {kDatabaseFilter};
    request.defaultSuffix = QStringLiteral("DBF");
    if (kind == SwitchKind::New) {
        request.confirmOverwrite = true;
        return prompter.saveFileName(request);
    }
    request.mustExist = true;
    return prompter.openFileName(request);
}

bool switchDatabase(InventorySession& s, Prompter& prompter, SwitchKind kind, const QString& path,
                    bool startupRecovery, QString* previousPathOut) {
    // 1. Check the path.
    if (kind == SwitchKind::New && s.searchOn)
        reported(prompter, [&] { s.endSearch(); });
    if (kind != SwitchKind::Recent && !hasDbfEnding(path)) {
        prompter.error(kInvalidFileTypeMessage);
        return false;
    }
    bool accepted = false;
    reported(prompter, [&] {
        accepted =
            kind == SwitchKind::New ? MakeNewDB(path, prompter) : CheckDBaseFormat(path, prompter);
    });
    if (!accepted)
        return false;

    // 2. A running search ends; the filter must not judge the next database's records.
    if (s.searchOn && s.items.isOpen())
        reported(prompter, [&] { s.endSearch(); });
    s.switchSearchOff();

    // 3-8. Leave the previous database, saving what belongs to it.
    const OpenDatabaseState previous{
        s.items.paths(), s.items.indexName(), s.db,
        s.lists,         s.sortExpression,    s.readOnly,
        s.browseMode,    s.browseForReadOnly, s.fieldEditingBeforeBrowse};
    const QString previousPath = previous.paths.current;
    if (previousPathOut)
        *previousPathOut = previousPath;
    detach(s);
    s.items.close();
    if (!startupRecovery && !previousPath.isEmpty() && !previous.readOnly) {
        QString error;
        if (!s.saveSettings(&error))
            prompter.error(error);
        s.lists.saveDatabaseLists(previous.paths.base);
    }

    // 9-13. Read the new one's lists and settings, select its sort index and open it.
    const DatabasePaths paths = DatabasePaths::forTable(path);
    if (kind == SwitchKind::New) {
        s.lists.loadDefaultLists(s.paths.programDir);
        s.db = readDatabaseSettings(IniFile::load(globalSettingsPath(s.paths.settingsDir)));
    } else {
        s.lists.loadDatabaseLists(paths.base, s.paths.programDir);
        s.db = loadDatabaseSettings(paths.settings, globalSettingsPath(s.paths.settingsDir));
    }
    s.settingsReloaded();
    s.sortExpression = BuildSortString(s.db.sortKeys);

    const bool opened = reported(prompter, [&] {
        BusyCursor busy;
        const bool rebuild = kind == SwitchKind::New || !DBaseInUse(path);
        openDatabase(s, path, rebuild ? SortIndexUse::Rebuild : SortIndexUse::Keep);
    });
    if (!opened) {
        // Put the previous database back as it was.
        s.items.close();
        s.items.setPaths(previous.paths);
        s.items.setIndex(previous.indexName);
        s.db = previous.settings;
        s.lists = previous.lists;
        s.sortExpression = previous.sortExpression;
        s.readOnly = previous.readOnly;
        s.browseMode = previous.browseMode;
        s.browseForReadOnly = previous.browseForReadOnly;
        s.fieldEditingBeforeBrowse = previous.fieldEditingBeforeBrowse;
        if (!previousPath.isEmpty())
            reported(prompter, [&] { s.items.open(s.usualMode()); });
        return false;
    }
    s.global.lastDatabase = path;
    if (s.readOnly)
        prompter.error(readOnlyDatabaseMessage(path));
    return true;
}

void saveAtShutdown(InventorySession& s, Prompter& prompter) {
    s.searchOn = false;
    QString error;
    if (!saveGlobalSettings(s.global, s.paths.settingsDir, &error))
        prompter.error(error);
    if (!s.items.paths().settings.isEmpty() && !s.saveSettings(&error))
        prompter.error(error);
    detach(s);
    s.items.close();
}
