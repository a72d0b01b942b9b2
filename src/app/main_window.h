#pragma once

#include <QMainWindow>

class Prompter;

// The program's main window.
class TMain : public QMainWindow {
    Q_OBJECT
public:
    explicit TMain(Prompter& prompter, QWidget* parent = nullptr);

private:
    Prompter& m_prompter;
};
