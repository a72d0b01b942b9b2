#include "mainwindow/main_window.h"
#include "settings/app_paths.h"
#include "ui/qt_prompter.h"

#include <QApplication>
#include <QIcon>
#include <QScreen>

#include <cstdio>

int main(int argc, char* argv[]) {
    // --help and --version answer without a display.
    QStringList raw;
    for (int i = 0; i < argc; ++i)
        raw << QString::fromLocal8Bit(argv[i]);
    const CommandLine early = parseCommandLine(raw);
    if (early.outcome == CommandLine::Outcome::ShowHelp ||
        early.outcome == CommandLine::Outcome::ShowVersion) {
        std::fputs(early.text.toLocal8Bit().constData(), stdout);
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tallywick Inventory 97"));
    // The installed menu entry and icon: the desktop groups the windows under them.
    QGuiApplication::setDesktopFileName(QStringLiteral("tallywick-inventory"));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("tallywick-inventory")));
    // Parsed again without the options Qt took for itself (-platform and the like).
    const CommandLine commandLine = parseCommandLine(QApplication::arguments());
    switch (commandLine.outcome) {
    case CommandLine::Outcome::ShowHelp:
    case CommandLine::Outcome::ShowVersion:
        std::fputs(commandLine.text.toLocal8Bit().constData(), stdout);
        return 0;
    case CommandLine::Outcome::Refused:
        std::fputs(commandLine.text.toLocal8Bit().constData(), stderr);
        return 2;
    case CommandLine::Outcome::Run:
        break;
    }
    QtPrompter prompter;
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize size = screen ? screen->size() : QSize(640, 480);
    TMain mainWindow(prompter, commandLine.paths, size, commandLine.paths.arguments);
    // A start without a database has said why; there is no window to show.
    if (!mainWindow.startedUp())
        return 1;
    mainWindow.show();
    return app.exec();
}
