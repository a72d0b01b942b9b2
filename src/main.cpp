#include "app/main_window.h"
#include "app/qt_prompter.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tallywick Inventory 97"));
    QtPrompter prompter;
    TMain mainWindow(prompter);
    mainWindow.show();
    return app.exec();
}
