#include "appearance/set_colors.h"

#include "appearance/color_sets.h"
#include "ui/window_services.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QTextEdit>

#include <initializer_list>
#include <utility>

namespace {

const char* const kHeadingProperty = "heading";
const char* const kOwnColorsProperty = "ownColors";

// Disabled text stays readable but visibly dimmed: halfway to its background.
QColor dimmed(const QColor& text, const QColor& background) {
    return QColor((text.red() + background.red()) / 2, (text.green() + background.green()) / 2,
                  (text.blue() + background.blue()) / 2);
}

// Sets background and text roles in every colour group; other roles keep coming from the
// parent, so the window background still shows through where a control draws none.
void paint(QWidget* w, std::initializer_list<QPalette::ColorRole> backgroundRoles,
           std::initializer_list<QPalette::ColorRole> textRoles, ColorRef background,
           ColorRef text) {
    const QColor bg = toQColor(background);
    const QColor fg = toQColor(text);
    QPalette p = w->palette();
    for (QPalette::ColorRole role : backgroundRoles)
        p.setColor(role, bg);
    for (QPalette::ColorRole role : textRoles) {
        p.setColor(QPalette::Active, role, fg);
        p.setColor(QPalette::Inactive, role, fg);
        p.setColor(QPalette::Disabled, role, dimmed(fg, bg));
    }
    w->setPalette(p);
}

bool insideOwnColors(const QWidget* w, const QWidget* window) {
    for (const QWidget* p = w; p && p != window; p = p->parentWidget()) {
        if (p->property(kOwnColorsProperty).toBool())
            return true;
    }
    return false;
}

} // namespace

void makeBoldHeading(QWidget* label) {
    QFont f = label->font();
    f.setBold(true);
    label->setFont(f);
    markHeading(label, Heading::Major);
}

void markHeading(QWidget* widget, Heading level) {
    switch (level) {
    case Heading::Major:
        widget->setProperty(kHeadingProperty, QStringLiteral("major"));
        break;
    case Heading::Minor:
        widget->setProperty(kHeadingProperty, QStringLiteral("minor"));
        break;
    case Heading::None:
        widget->setProperty(kHeadingProperty, QVariant());
        break;
    }
}

Heading headingOf(const QWidget* widget) {
    const QString mark = widget->property(kHeadingProperty).toString();
    if (mark == QLatin1String("major"))
        return Heading::Major;
    if (mark == QLatin1String("minor"))
        return Heading::Minor;
    return Heading::None;
}

void keepOwnColors(QWidget* widget) {
    widget->setProperty(kOwnColorsProperty, true);
}

void SetColors(QWidget* window, const ColorSet& set) {
    using E = ColorSet;
    {
        QPalette p = window->palette();
        p.setColor(QPalette::Window, toQColor(set[E::MainBackground]));
        window->setPalette(p);
        if (!window->isWindow())
            window->setAutoFillBackground(true);
    }

    for (QWidget* w : windowComponents(window)) {
        if (insideOwnColors(w, window))
            continue;
        // Buttons fill their background with the button role, so radio and check boxes
        // take their background colour in both roles.
        if (qobject_cast<QRadioButton*>(w)) {
            w->setAutoFillBackground(true);
            paint(w, {QPalette::Window, QPalette::Button}, {QPalette::WindowText},
                  set[E::RadioBackground], set[E::RadioText]);
        } else if (qobject_cast<QCheckBox*>(w)) {
            w->setAutoFillBackground(true);
            paint(w, {QPalette::Window, QPalette::Button}, {QPalette::WindowText},
                  set[E::CheckBackground], set[E::CheckText]);
        } else if (qobject_cast<QComboBox*>(w)) {
            // A drop-down list draws its face with the button roles and its list and edit
            // part with the base roles; all of them take the combo colours.
            paint(w, {QPalette::Base, QPalette::Button}, {QPalette::Text, QPalette::ButtonText},
                  set[E::ComboBackground], set[E::ComboText]);
        } else if (qobject_cast<QLineEdit*>(w) || qobject_cast<QTextEdit*>(w) ||
                   qobject_cast<QPlainTextEdit*>(w)) {
            paint(w, {QPalette::Base}, {QPalette::Text}, set[E::EditBackground], set[E::EditText]);
        } else if (qobject_cast<QAbstractItemView*>(w)) {
            paint(w, {QPalette::Base, QPalette::AlternateBase}, {QPalette::Text},
                  set[E::ListBoxBackground], set[E::ListBoxText]);
        } else if (qobject_cast<QGroupBox*>(w)) {
            // Styles differ in which role the caption uses, so both take the title colour.
            const Heading level = headingOf(w);
            paint(w, {QPalette::Window}, {QPalette::WindowText, QPalette::Text},
                  set[E::MainBackground],
                  level == Heading::Major ? set[E::MajorTitle] : set[E::MinorTitle]);
        } else if (qobject_cast<QLabel*>(w)) {
            const Heading level = headingOf(w);
            if (level == Heading::None)
                continue;
            w->setAutoFillBackground(true);
            paint(w, {QPalette::Window}, {QPalette::WindowText}, set[E::MainBackground],
                  level == Heading::Major ? set[E::MajorTitle] : set[E::MinorTitle]);
        }
    }
}
