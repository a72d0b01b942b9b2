#include "app/main_window.h"

#include "app/prompter.h"

TMain::TMain(Prompter& prompter, QWidget* parent) : QMainWindow(parent), m_prompter(prompter) {
    setWindowTitle(QStringLiteral("Tallywick Inventory 97"));
    resize(640, 480);
}
