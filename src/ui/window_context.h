#pragma once

#include "ui/window_services.h"

#include <QSize>

class Prompter;

// What every window needs from the main window when it is shown: the prompter, the screen
// size preset's scale factor, the screen size (a seam: tests set it) and the user fonts.
struct WindowContext {
    explicit WindowContext(Prompter& p) : prompter(p) {}
    Prompter& prompter;
    double scaleFactor = 1.0;
    QSize screen{640, 480};
    UserFonts fonts;
};
