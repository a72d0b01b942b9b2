#pragma once

// Controls placed at their design-time geometry, named so that scaling, saved geometry and the
// tests can find them, and the F1 shortcut every dialog has.

#include <QRect>
#include <QString>

class QCheckBox;
class QFrame;
class QRadioButton;
class QDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace ui {

// A button that is not the dialog's default just because it has the focus.
QPushButton* button(QWidget* parent, const char* name, const QString& caption, QRect geometry);
QLabel* label(QWidget* parent, const char* name, const QString& text, QRect geometry);
QLineEdit* edit(QWidget* parent, const char* name, int maxLength, QRect geometry);
QCheckBox* check(QWidget* parent, const char* name, const QString& caption, QRect geometry);
QGroupBox* group(QWidget* parent, const char* name, const QString& title, QRect geometry);
QRadioButton* radio(QWidget* parent, const char* name, const QString& caption, QRect geometry);
// A raised panel behind a group of controls.
QFrame* panel(QWidget* parent, const char* name, QRect geometry);
// F1 opens the help page named by keyword, over the dialog.
void helpOnF1(QDialog* dialog, const QString& keyword);

} // namespace ui
