#pragma once

#include <QFont>
#include <QSize>

#include <array>

class QDialog;
class QWidget;
class Prompter;

// Every window is laid out at a design size for a 640 x 480 screen. These services record the
// design geometry of a window's components once, put it back and scale it on every show, and
// copy the user's label, edit and button fonts onto the components.

constexpr int kMaxDesignSlots = 101;

struct DesignSlot {
    bool recorded = false;
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

// A bordered, fixed-size dialog of the given design client size, in Arial of the given size.
void prepareDesignDialog(QDialog* dialog, const QSize& client, int pointSize);

// left = (screen width - window width) div 2, likewise top; may be negative.
void centreOnScreen(QWidget* window, const QSize& screen);
// The scale ratio in hundredths: 100, 125, 160 or 200.
int scalePercent(double scaleFactor);
