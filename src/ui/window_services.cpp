#include "ui/window_services.h"

#include "ui/prompter.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>

#include <algorithm>
#include <cmath>

namespace {

bool isBevel(const QWidget* w) {
    return w->property("bevel").toBool();
}

// The kinds whose geometry is recorded: buttons, labels, list boxes, speed buttons, grids,
// check boxes, edit boxes, radio buttons, radio groups, panels, bevels, masked edits, combo
// boxes and tabbed notebooks.
bool isRecordedKind(const QWidget* w) {
    return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLabel*>(w) ||
           qobject_cast<const QListView*>(w) || qobject_cast<const QTableView*>(w) ||
           qobject_cast<const QLineEdit*>(w) || qobject_cast<const QGroupBox*>(w) ||
           qobject_cast<const QComboBox*>(w) || qobject_cast<const QTabWidget*>(w) ||
           (qobject_cast<const QFrame*>(w) && w->metaObject() == &QFrame::staticMetaObject);
}

int mulDiv(int value, int numerator, int denominator) {
    return static_cast<int>(std::lround(static_cast<double>(value) * numerator / denominator));
}

void setFontSize(QWidget* w, int points) {
    if (points <= 0)
        return;
    QFont f = w->font();
    f.setPointSize(points);
    w->setFont(f);
}

const char* const kTypingLimit = "typingLimit";

// The box's own limit, or none (0) when it was never given one.
int typingLimit(const QLineEdit* edit) {
    return edit->property(kTypingLimit).toInt();
}

void copyFamilyAndStyle(QWidget* w, const QFont& from) {
    QFont f = w->font();
    f.setFamily(from.family());
    f.setBold(from.bold());
    f.setItalic(from.italic());
    f.setUnderline(from.underline());
    f.setStrikeOut(from.strikeOut());
    w->setFont(f);
}

} // namespace

QList<QWidget*> windowComponents(QWidget* window) {
    QList<QWidget*> result;
    const auto all = window->findChildren<QWidget*>();
    for (QWidget* w : all) {
        const QString name = w->objectName();
        if (name.isEmpty() || name.startsWith(QLatin1String("qt_")))
            continue;
        result << w;
    }
    return result;
}

int scalePercent(double scaleFactor) {
    return static_cast<int>(std::lround(scaleFactor * 100));
}

int scaled(int designPixels, double scaleFactor) {
    return mulDiv(designPixels, scalePercent(scaleFactor), 100);
}

void SaveDimensions(QWidget* window, DesignGeometry& table, Prompter& prompter) {
    table.client = window->size();
    const auto components = windowComponents(window);
    for (int i = 0; i < components.size(); ++i) {
        if (i >= kMaxDesignSlots) {
            prompter.error(QStringLiteral("Too many compenents to save dimensions."));
            return;
        }
        QWidget* w = components[i];
        if (!isRecordedKind(w))
            continue;
        DesignSlot& s = table.entries[i];
        s.recorded = true;
        s.widget = w;
        s.left = w->x();
        s.top = w->y();
        s.width = w->width();
        s.height = w->height();
        s.fontSize = isBevel(w) ? 0 : w->font().pointSize();
    }
}

void RestoreAndScale(QWidget* window, const DesignGeometry& table, double scaleFactor,
                     const QSize& screen) {
    const int m = scalePercent(scaleFactor);
    // Every control goes back to its design geometry before scaling, so showing a window
    // again, or after the preset changed, never compounds the scaling.
    for (const DesignSlot& s : table.entries) {
        QWidget* w = s.widget;
        if (!s.recorded || !w)
            continue;
        w->setGeometry(mulDiv(s.left, m, 100), mulDiv(s.top, m, 100), mulDiv(s.width, m, 100),
                       mulDiv(s.height, m, 100));
        if (!isBevel(w))
            setFontSize(w, mulDiv(s.fontSize, m, 100));
    }
    if (table.client.isValid()) {
        const QSize scaled(mulDiv(table.client.width(), m, 100),
                           mulDiv(table.client.height(), m, 100));
        window->setFixedSize(scaled);
        window->resize(scaled);
    }
    centreOnScreen(window, screen);
}

void ApplyUserFonts(QWidget* window, const UserFonts& fonts) {
    for (QWidget* w : windowComponents(window)) {
        // The first matching kind decides; speed buttons, panels and the rest keep their font.
        if (qobject_cast<QLabel*>(w) || qobject_cast<QListView*>(w))
            copyFamilyAndStyle(w, fonts.label);
        else if (qobject_cast<QTableView*>(w))
            copyFamilyAndStyle(w, fonts.edit);
        else if (qobject_cast<QCheckBox*>(w))
            copyFamilyAndStyle(w, fonts.label);
        else if (qobject_cast<QLineEdit*>(w))
            copyFamilyAndStyle(w, fonts.edit);
        else if (qobject_cast<QRadioButton*>(w))
            copyFamilyAndStyle(w, fonts.label);
        else if (qobject_cast<QPushButton*>(w))
            copyFamilyAndStyle(w, fonts.button);
        else if (qobject_cast<QGroupBox*>(w))
            copyFamilyAndStyle(w, fonts.label);
        else if (qobject_cast<QComboBox*>(w))
            copyFamilyAndStyle(w, fonts.edit);
    }
}

QFont installedFont(const QFont& font) {
    if (QFontDatabase::families().contains(font.family(), Qt::CaseInsensitive))
        return font;
    QFont drawn = font;
    drawn.setFamily(QFontInfo(font).family());
    return drawn;
}

QString chosenFamily(const QString& stored, const QFont& chosen) {
    if (chosen.family().compare(installedFont(QFont(stored)).family(), Qt::CaseInsensitive) == 0)
        return stored;
    return chosen.family();
}

void centreOnScreen(QWidget* window, const QSize& screen) {
    const QSize frame = window->frameGeometry().size().expandedTo(window->size());
    // Integer division truncates toward zero like the original arithmetic.
    window->move((screen.width() - frame.width()) / 2, (screen.height() - frame.height()) / 2);
}

void prepareDesignDialog(QDialog* dialog, const QSize& client, int pointSize) {
    dialog->setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    QFont designFont = dialog->font();
    designFont.setFamily(QStringLiteral("Arial"));
    designFont.setPointSize(pointSize);
    dialog->setFont(designFont);
    dialog->resize(client);
}

void setTypingLimit(QLineEdit* edit, int maxLength) {
    const bool first = !edit->property(kTypingLimit).isValid();
    edit->setProperty(kTypingLimit, maxLength);
    edit->setMaxLength(std::max(maxLength, int(edit->text().size())));
    if (first)
        // textEdited comes from the user's own changes only; the limit follows the text down.
        QObject::connect(edit, &QLineEdit::textEdited, edit, [edit](const QString& text) {
            edit->setMaxLength(std::max(typingLimit(edit), int(text.size())));
        });
}

void setTypingLimit(QComboBox* combo, int maxLength) {
    QLineEdit* edit = combo->lineEdit();
    const bool first = !edit->property(kTypingLimit).isValid();
    setTypingLimit(edit, maxLength);
    if (first)
        // The box has already cut the entry to its limit; put it back whole.
        QObject::connect(combo, &QComboBox::currentIndexChanged, edit, [combo, edit](int index) {
            if (index >= 0)
                setBoxText(edit, combo->itemText(index));
        });
}

void setBoxText(QLineEdit* edit, const QString& text) {
    const int limit = typingLimit(edit);
    if (limit > 0)
        edit->setMaxLength(std::max(limit, int(text.size())));
    edit->setText(text);
}
