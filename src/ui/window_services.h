#pragma once

#include <QFont>
#include <QPointer>
#include <QSize>

#include <array>

class QComboBox;
class QDialog;
class QLineEdit;
class QWidget;
class Prompter;

// Every window is laid out at a design size for a 640 x 480 screen. These services record the
// design geometry of a window's components once, put it back and scale it on every show, and
// copy the user's label, edit and button fonts onto the components.

constexpr int kMaxDesignSlots = 101;

// Slots keep the control they were recorded from: a window's child order changes as its
// pages come to the front, so restoring by position would move one control to another's place.
struct DesignSlot {
    bool recorded = false;
    QPointer<QWidget> widget;
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    int fontSize = 0; // points; 0 for a bevel, which keeps no font size
};

struct DesignGeometry {
    QSize client;
    std::array<DesignSlot, kMaxDesignSlots> entries{};
};

// The user's three fonts: only family and style are copied onto components.
struct UserFonts {
    QFont label;
    QFont edit;
    QFont button;
};

// A component is a named descendant widget (object names starting with "qt_" belong to Qt's
// own inner widgets). A bevel is a QFrame whose "bevel" property is true.
QList<QWidget*> windowComponents(QWidget* window);

void SaveDimensions(QWidget* window, DesignGeometry& table, Prompter& prompter);
void RestoreAndScale(QWidget* window, const DesignGeometry& table, double scaleFactor,
                     const QSize& screen);
void ApplyUserFonts(QWidget* window, const UserFonts& fonts);
// The font with the family the system really draws it in: a family that is not installed
// (Arial on most Linux systems) becomes the one fontconfig puts in its place, so a font dialog
// opens on the font the user sees rather than on the dialog's own default.
QFont installedFont(const QFont& font);
// The family to store for a font chosen in the font dialog that opened on `stored`: a face the
// system draws in another family (Arial in Liberation Sans) keeps its own name unless the user
// picked a different family.
QString chosenFamily(const QString& stored, const QFont& chosen);

// A bordered, fixed-size dialog of the given design client size, in Arial of the given size.
void prepareDesignDialog(QDialog* dialog, const QSize& client, int pointSize);

// left = (screen width - window width) div 2, likewise top; may be negative.
void centreOnScreen(QWidget* window, const QSize& screen);
// The scale ratio in hundredths: 100, 125, 160 or 200.
int scalePercent(double scaleFactor);
// A design-pixel length at the preset's scale, rounded as the controls are.
int scaled(int designPixels, double scaleFactor);

// A length limit that holds for typing only. The program may put longer text in the box (a
// formatted amount, a list entry) and it stays whole; the user can shorten such text but never
// type it longer, and once it is within the limit the limit holds again.
void setTypingLimit(QLineEdit* edit, int maxLength);
// The same for an editable drop-down, whose list entries are put in the box whole.
void setTypingLimit(QComboBox* combo, int maxLength);
// Puts the program's text in a box, lifting its typing limit as far as the text needs.
void setBoxText(QLineEdit* edit, const QString& text);
