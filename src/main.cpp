#include "settings/app_paths.h"
#include "mainwindow/main_window.h"
#include "ui/qt_prompter.h"

#include <QApplication>
#include <QScreen>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tallywick Inventory 97"));
    const AppPaths paths = AppPaths::fromCommandLine(QApplication::arguments());
    QtPrompter prompter;
    const QSize screen = QGuiApplication::primaryScreen()
                             ? QGuiApplication::primaryScreen()->size()
                             : QSize(640, 480);
    TMain mainWindow(prompter, paths, screen);
    mainWindow.show();
    return app.exec();
}
