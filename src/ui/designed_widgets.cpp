#include "ui/designed_widgets.h"

#include "ui/help_window.h"

#include <QCheckBox>
#include <QDialog>
#include <QFrame>
#include <QGroupBox>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>

namespace ui {

namespace {
template <typename W> W* placed(W* widget, const char* name, QRect geometry) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setGeometry(geometry);
    return widget;
}
} // namespace

QPushButton* button(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    auto* b = placed(new QPushButton(caption, parent), name, geometry);
    b->setAutoDefault(false);
    return b;
}

QLabel* label(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    return placed(new QLabel(text, parent), name, geometry);
}

QLineEdit* edit(QWidget* parent, const char* name, int maxLength, QRect geometry) {
    auto* e = placed(new QLineEdit(parent), name, geometry);
    e->setMaxLength(maxLength);
    return e;
}

QCheckBox* check(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    return placed(new QCheckBox(caption, parent), name, geometry);
}

QGroupBox* group(QWidget* parent, const char* name, const QString& title, QRect geometry) {
    return placed(new QGroupBox(title, parent), name, geometry);
}

QRadioButton* radio(QWidget* parent, const char* name, const QString& caption, QRect geometry) {
    return placed(new QRadioButton(caption, parent), name, geometry);
}

QFrame* panel(QWidget* parent, const char* name, QRect geometry) {
    auto* p = placed(new QFrame(parent), name, geometry);
    p->setFrameShape(QFrame::Panel);
    p->setFrameShadow(QFrame::Raised);
    return p;
}

void helpOnF1(QDialog* dialog, const QString& keyword) {
    QObject::connect(new QShortcut(QKeySequence::HelpContents, dialog), &QShortcut::activated,
                     dialog, [dialog, keyword] { openHelp(keyword, dialog); });
}

} // namespace ui
