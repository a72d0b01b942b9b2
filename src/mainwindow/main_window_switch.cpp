// Replacing the open database: Open Database, New Database and the recent-files entries share
// one sequence. A refused or failed choice leaves the open database, its settings and its
// lists as they were.

#include "settings/ini_file.h"
#include "mainwindow/main_window.h"
#include "ui/prompter.h"
#include "mainwindow/viewer_model.h"
#include "items/database_ops.h"
#include "items/sort_index.h"
#include "items/sort_string.h"
#include "find/search_session.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>

namespace {

const QString kDatabaseFilter = QStringLiteral("Database Files (*.dbf *.DBF)");

bool hasDbfEnding(const QString& path) {
    return path.right(4).toUpper() == QLatin1String(".DBF");
}

// Everything a switch replaces, so a failed opening can put it back.
struct OpenDatabaseState {
    DatabasePaths paths;
    QString indexName;
    DatabaseSettings settings;
    LookupLists lists;
    QString sortExpression;
};

} // namespace

QString TMain::dialogDirectory() const {
    const QString current = m_session.items.paths().directory;
    return current.isEmpty() ? m_paths.programDir : current;
}

std::optional<QString> TMain::chooseDatabaseFile(SwitchKind kind) {
    FileDialogRequest request;
    request.caption = kind == SwitchKind::New ? QStringLiteral("New Database File")
                                              : QStringLiteral("Open Database File");
    request.directory = dialogDirectory();
    request.filters = {kDatabaseFilter};
    request.defaultSuffix = QStringLiteral("DBF");
    if (kind == SwitchKind::New) {
        request.confirmOverwrite = true;
        return m_prompter.saveFileName(request);
    }
    request.mustExist = true;
    return m_prompter.openFileName(request);
}

void TMain::DoOpen() {
    switchDatabase(SwitchKind::Open, {});
}
void TMain::DoNew() {
    switchDatabase(SwitchKind::New, {});
}
void TMain::OpenSaveFile(const QString& path) {
    switchDatabase(SwitchKind::Recent, path);
}

bool TMain::switchDatabase(SwitchKind kind, const QString& recentPath, bool startupRecovery) {
    // 1. Choose and check the path.
    QString path = recentPath;
    if (kind != SwitchKind::Recent) {
        const auto chosen = chooseDatabaseFile(kind);
        if (!chosen) {
            DisplayCount();
            return false;
        }
        path = *chosen;
        if (kind == SwitchKind::New && m_session.searchOn)
            DoEndSearch();
        if (!hasDbfEnding(path)) {
            m_prompter.error(QStringLiteral("Invalid file type selected."));
            DisplayCount();
            return false;
        }
    }
    bool accepted = false;
    guarded([&] {
        accepted = kind == SwitchKind::New ? MakeNewDB(path, m_prompter)
                                           : CheckDBaseFormat(path, m_prompter);
    });
    if (!accepted) {
        DisplayCount();
        return false;
    }

    // 2. A running search ends.
    if (kind != SwitchKind::New && m_session.searchOn)
        DoEndSearch();
    // The filter must not judge the next database's records.
    switchSearchOff(m_session);

    // 3-8. Leave the previous database, saving what belongs to it.
    const OpenDatabaseState previous{m_session.items.paths(), m_session.items.indexName(),
                                     m_session.db, m_session.lists, m_session.sortExpression};
    const QString previousPath = previous.paths.current;
    m_viewerModel->setTable(nullptr);
    m_session.items.close();
    m_session.items.setPaths(DatabasePaths::forTable(path));
    if (!startupRecovery && !previousPath.isEmpty()) {
        QString error;
        if (!saveDatabaseSettings(m_session.db, previous.paths.settings, &error))
            m_prompter.error(error);
        m_session.lists.saveDatabaseLists(previous.paths.base);
    }

    // 9-13. Read the new one's lists and settings, select its sort index and open it.
    const DatabasePaths& paths = m_session.items.paths();
    if (kind == SwitchKind::New) {
        m_session.lists.loadDefaultLists(m_paths.programDir);
        m_session.db = readDatabaseSettings(IniFile::load(globalSettingsPath(m_paths.settingsDir)));
    } else {
        m_session.lists.loadDatabaseLists(paths.base, m_paths.programDir);
        m_session.db =
            loadDatabaseSettings(paths.settings, globalSettingsPath(m_paths.settingsDir));
    }
    if (m_session.browseMode)
        m_session.db.fieldEditing = false;
    m_session.sortExpression = BuildSortString(m_session.db.sortKeys);

    const bool opened = guarded([&] {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        struct Restore {
            ~Restore() { QGuiApplication::restoreOverrideCursor(); }
        } restore;
        const bool rebuild = kind == SwitchKind::New || !DBaseInUse(path);
        m_session.items.setIndex({});
        m_session.items.open(dbase::OpenMode::Shared);
        if (rebuild)
            selectSortIndex(m_session.items, m_session.sortExpression, SortIndexUse::Rebuild);
        else
            selectSortIndex(m_session.items, m_session.sortExpression, SortIndexUse::Keep);
    });
    if (!opened) {
        // Put the previous database back as it was.
        m_session.items.close();
        m_session.items.setPaths(previous.paths);
        m_session.items.setIndex(previous.indexName);
        m_session.db = previous.settings;
        m_session.lists = previous.lists;
        m_session.sortExpression = previous.sortExpression;
        if (!previousPath.isEmpty())
            guarded([this] { openItemTable(); });
        DoFileSpecific();
        return false;
    }
    setWindowTitle(QStringLiteral("Tallywick Inventory 97 (%1)").arg(paths.name));
    m_session.global.lastDatabase = path;
    attachViewer();

    // 14-16.
    if (!startupRecovery) {
        DoFileSpecific();
        DoLastFiles(m_recentFiles, previousPath, path);
        SetMenuLastFiles();
    }
    DisplayCount();
    return true;
}
