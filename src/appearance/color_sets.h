#pragma once

#include "settings/settings.h"

#include <QColor>
#include <QString>

#include <array>

// Colour sets: the settings keep colours as 0x00BBGGRR values; the windows paint with QColor.
// This file holds the twelve predefined combinations and the rules for
// which set a colour window edits.

// toQColor() and toColorRef() come with the settings.

// A predefined combination sets six elements; the other seven follow from them.
struct ColorCombination {
    const char* name;
    ColorRef mainBackground;
    ColorRef majorTitle;
    ColorRef minorTitle;
    ColorRef editBackground;
    ColorRef editText;
    ColorRef radioText;
};

constexpr int kCombinationCount = 12;
extern const std::array<ColorCombination, kCombinationCount> kColorCombinations;

// The name of combination 1-12 as the user sees it; empty outside that range.
QString combinationName(int number);

// Combo and list box backgrounds follow the edit background, their text the edit text; radio
// and check box backgrounds follow the window background; check box text the radio text.
void deriveElements(ColorSet& set);

// Fills the set from combination 1-12 and derives the other elements. Any other number
// leaves the set alone and answers false.
bool applyCombination(ColorSet& set, int number);

// The combinations by their own names, in list order.
void SetMonochrome(ColorSet& set);
void SetGrayMists(ColorSet& set);
void SetBlackKnight(ColorSet& set);
void SetDesertSunset(ColorSet& set);
void SetEasterPastel(ColorSet& set);
void SetOceanBlue(ColorSet& set);
void SetFieryRed(ColorSet& set);
void SetChristmasSeason(ColorSet& set);
void SetWine(ColorSet& set);
void SetMorePastels(ColorSet& set);
void SetGreenGlow(ColorSet& set);
void SetCamo(ColorSet& set);

// Kinds of colour window: 1 main, 2 edit, 3 search, 4 report, 5 configure, 6 all five.
enum ColorKind {
    kMainColors = 1,
    kEditColors,
    kSearchColors,
    kReportColors,
    kConfigureColors,
    kAllColors
};

bool isValidColorKind(int kind);
// The set a colour window of this kind starts from (all five: the main set).
const ColorSet& colorSetForKind(const std::array<ColorSet, kColorSetCount>& sets, int kind);
// Stores an edited set under its kind; the kind for all five sets every one of them.
void storeColorSet(std::array<ColorSet, kColorSetCount>& sets, int kind, const ColorSet& edited);
// The main window repaints at once only when its own set may have changed.
bool mainWindowRepaints(int kind);
