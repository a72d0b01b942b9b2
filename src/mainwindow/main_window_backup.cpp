// The main window's Back Up Data and Restore Data commands.

#include "backup/backup_window.h"
#include "backup/restore_window.h"
#include "mainwindow/main_window.h"

void TMain::DoBackup() {
    TMyBackup::run(m_session, m_context, viewerRefresher(), this);
    // A search in force stays in force; the label follows the state all the same.
    if (m_session.searchOn)
        EnableEndSearch();
    else
        DisableEndSearch();
    DisplayCount();
}

void TMain::DoRestore() {
    RestoreJob services;
    services.reapplyViewer = viewerRefresher();
    services.databaseChanged = [this] {
        const DatabasePaths& paths = m_session.items.paths();
        setWindowTitle(QStringLiteral("Tallywick Inventory 97 (%1)").arg(paths.name));
        m_session.global.lastDatabase = paths.current;
        DoFileSpecific();
    };
    services.settingsChanged = [this] { DoFileSpecific(); };
    TMyRestore::run(m_session, m_context, std::move(services), this);
    // A table restore ends a search.
    if (!m_session.searchOn)
        DisableEndSearch();
    DisplayCount();
}
