#include "appearance/color_sets.h"

namespace {
constexpr ColorRef rgb(int r, int g, int b) {
    return static_cast<ColorRef>(r | (g << 8) | (b << 16));
}
} // namespace

// Main background, major title, minor title, edit background, edit text, radio text.
const std::array<ColorCombination, kCombinationCount> kColorCombinations = {{
    {"Monochrome", rgb(255, 255, 255), rgb(0, 0, 0), rgb(0, 0, 0), rgb(255, 255, 255), rgb(0, 0, 0),
     rgb(0, 0, 0)},
    {"Gray Mist", rgb(192, 192, 192), rgb(0, 0, 0), rgb(0, 0, 0), rgb(255, 255, 255), rgb(0, 0, 0),
     rgb(0, 0, 0)},
    {"Midnight Black", rgb(0, 0, 0), rgb(192, 192, 192), rgb(255, 255, 255), rgb(127, 127, 127),
     rgb(0, 0, 0), rgb(255, 255, 255)},
    {"Desert Sunset", rgb(255, 255, 128), rgb(0, 0, 0), rgb(0, 0, 0), rgb(255, 255, 0),
     rgb(0, 0, 0), rgb(0, 0, 0)},
    {"Easter Pastel", rgb(255, 128, 255), rgb(0, 0, 255), rgb(0, 0, 0), rgb(128, 0, 128),
     rgb(0, 255, 255), rgb(0, 0, 0)},
    {"Ocean Blue", rgb(0, 255, 255), rgb(255, 0, 0), rgb(0, 0, 0), rgb(255, 255, 255),
     rgb(0, 0, 128), rgb(0, 0, 0)},
    {"Fiery Red", rgb(255, 0, 0), rgb(0, 0, 128), rgb(0, 0, 0), rgb(255, 255, 255), rgb(255, 0, 0),
     rgb(0, 0, 0)},
    {"Christmas Season", rgb(0, 255, 0), rgb(255, 255, 255), rgb(255, 0, 0), rgb(255, 0, 0),
     rgb(255, 255, 255), rgb(255, 0, 0)},
    {"Wine", rgb(128, 0, 64), rgb(255, 0, 0), rgb(255, 0, 255), rgb(128, 0, 128), rgb(255, 0, 0),
     rgb(255, 0, 255)},
    {"More Pastels", rgb(0, 255, 128), rgb(255, 0, 255), rgb(128, 0, 128), rgb(0, 255, 255),
     rgb(0, 0, 255), rgb(128, 0, 128)},
    {"Green Glow", rgb(0, 0, 0), rgb(0, 255, 0), rgb(0, 255, 0), rgb(0, 255, 0), rgb(0, 0, 0),
     rgb(0, 255, 0)},
    {"Camouflage", rgb(128, 128, 0), rgb(0, 128, 0), rgb(127, 127, 127), rgb(0, 128, 128),
     rgb(192, 192, 192), rgb(127, 127, 127)},
}};

QString combinationName(int number) {
    if (number < 1 || number > kCombinationCount)
        return {};
    return QString::fromLatin1(kColorCombinations[size_t(number - 1)].name);
}

void deriveElements(ColorSet& set) {
    set[ColorSet::ComboBackground] = set[ColorSet::EditBackground];
    set[ColorSet::ListBoxBackground] = set[ColorSet::EditBackground];
    set[ColorSet::ComboText] = set[ColorSet::EditText];
    set[ColorSet::ListBoxText] = set[ColorSet::EditText];
    set[ColorSet::RadioBackground] = set[ColorSet::MainBackground];
    set[ColorSet::CheckBackground] = set[ColorSet::MainBackground];
    set[ColorSet::CheckText] = set[ColorSet::RadioText];
}

bool applyCombination(ColorSet& set, int number) {
    if (number < 1 || number > kCombinationCount)
        return false;
    const ColorCombination& c = kColorCombinations[size_t(number - 1)];
    set[ColorSet::MainBackground] = c.mainBackground;
    set[ColorSet::MajorTitle] = c.majorTitle;
    set[ColorSet::MinorTitle] = c.minorTitle;
    set[ColorSet::EditBackground] = c.editBackground;
    set[ColorSet::EditText] = c.editText;
    set[ColorSet::RadioText] = c.radioText;
    deriveElements(set);
    return true;
}

void SetMonochrome(ColorSet& set) {
    applyCombination(set, 1);
}
void SetGrayMists(ColorSet& set) {
    applyCombination(set, 2);
}
void SetBlackKnight(ColorSet& set) {
    applyCombination(set, 3);
}
void SetDesertSunset(ColorSet& set) {
    applyCombination(set, 4);
}
void SetEasterPastel(ColorSet& set) {
    applyCombination(set, 5);
}
void SetOceanBlue(ColorSet& set) {
    applyCombination(set, 6);
}
void SetFieryRed(ColorSet& set) {
    applyCombination(set, 7);
}
void SetChristmasSeason(ColorSet& set) {
    applyCombination(set, 8);
}
void SetWine(ColorSet& set) {
    applyCombination(set, 9);
}
void SetMorePastels(ColorSet& set) {
    applyCombination(set, 10);
}
void SetGreenGlow(ColorSet& set) {
    applyCombination(set, 11);
}
void SetCamo(ColorSet& set) {
    applyCombination(set, 12);
}

bool isValidColorKind(int kind) {
    return kind >= kMainColors && kind <= kAllColors;
}

const ColorSet& colorSetForKind(const std::array<ColorSet, kColorSetCount>& sets, int kind) {
    if (kind < kMainColors || kind >= kAllColors)
        return sets[0];
    return sets[size_t(kind - 1)];
}

void storeColorSet(std::array<ColorSet, kColorSetCount>& sets, int kind, const ColorSet& edited) {
    if (kind == kAllColors) {
        sets.fill(edited);
        return;
    }
    if (isValidColorKind(kind))
        sets[size_t(kind - 1)] = edited;
}

bool mainWindowRepaints(int kind) {
    return kind == kMainColors || kind == kAllColors;
}
