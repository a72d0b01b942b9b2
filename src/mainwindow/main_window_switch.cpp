// Open Database, New Database and the recent-files entries: the session replaces the
// database (and puts the previous one back when the new one fails); the window follows.

#include "mainwindow/main_window.h"
#include "mainwindow/viewer_model.h"
#include "session/session_lifecycle.h"

void TMain::DoOpen() {
    switchDatabase(SwitchKind::Open, {});
}
void TMain::DoNew() {
    switchDatabase(SwitchKind::New, {});
}
void TMain::OpenSaveFile(const QString& path) {
    switchDatabase(SwitchKind::Recent, path);
}

bool TMain::switchDatabase(SwitchKind kind, const QString& recentPath) {
    QString path = recentPath;
    if (kind != SwitchKind::Recent) {
        const auto chosen = chooseDatabaseFile(m_session, m_prompter, kind);
        if (!chosen) {
            DisplayCount();
            return false;
        }
        path = *chosen;
    }
    QString previousPath;
    const bool opened = ::switchDatabase(m_session, m_prompter, kind, path, false, &previousPath);
    if (m_session.searchOn)
        EnableEndSearch();
    else
        DisableEndSearch();
    withOneViewerReload([&] {
        applyBrowseMode();
        attachViewer();
        if (opened) {
            showDatabaseCaption();
            DoLastFiles(m_recentFiles, previousPath, path);
            SetMenuLastFiles();
        }
        DoFileSpecific();
    });
    return opened;
}
