#include "appearance/color_sets.h"

#include <gtest/gtest.h>

namespace {
using E = ColorSet;

// The stored decimal values of each combination, written out independently of the RGB
// triples the code builds them from: main background, major title, minor title, edit
// background, edit text, radio text.
struct Expected {
    const char* name;
    ColorRef values[6];
};
const Expected kExpected[kCombinationCount] = {
    {"Monochrome", {16777215, 0, 0, 16777215, 0, 0}},
    {"Gray Mist", {12632256, 0, 0, 16777215, 0, 0}},
    {"Midnight Black", {0, 12632256, 16777215, 8355711, 0, 16777215}},
    {"Desert Sunset", {8454143, 0, 0, 65535, 0, 0}},
    {"Easter Pastel", {16744703, 16711680, 0, 8388736, 16776960, 0}},
    {"Ocean Blue", {16776960, 255, 0, 16777215, 8388608, 0}},
    {"Fiery Red", {255, 8388608, 0, 16777215, 255, 0}},
    {"Christmas Season", {65280, 16777215, 255, 255, 16777215, 255}},
    {"Wine", {4194432, 255, 16711935, 8388736, 255, 16711935}},
    {"More Pastels", {8453888, 16711935, 8388736, 16776960, 16711680, 8388736}},
    {"Green Glow", {0, 65280, 65280, 65280, 0, 65280}},
    {"Camouflage", {32896, 32768, 8355711, 8421376, 12632256, 8355711}},
};

// A set whose every element differs from every combination value.
ColorSet oddSet() {
    ColorSet s;
    for (int i = 0; i < kColorCount; ++i)
        s.colors[size_t(i)] = 1000 + i;
    return s;
}
} // namespace

TEST(ColorCombinations, MidnightBlackGivesWhiteOnBlackWithGreyEditBoxes) {
    ColorSet s; // starts from the defaults
    SetBlackKnight(s);
    EXPECT_EQ(s[E::MainBackground], 0);
    EXPECT_EQ(s[E::MajorTitle], 12632256);
    EXPECT_EQ(s[E::MinorTitle], 16777215); // white minor titles
    EXPECT_EQ(s[E::EditBackground], 8355711);
    EXPECT_EQ(s[E::EditText], 0);
    EXPECT_EQ(s[E::ComboBackground], 8355711);
    EXPECT_EQ(s[E::ComboText], 0);
    EXPECT_EQ(s[E::ListBoxBackground], 8355711);
    EXPECT_EQ(s[E::ListBoxText], 0);
    EXPECT_EQ(s[E::RadioBackground], 0);
    EXPECT_EQ(s[E::RadioText], 16777215);
    EXPECT_EQ(s[E::CheckBackground], 0);
    EXPECT_EQ(s[E::CheckText], 16777215);
    EXPECT_EQ(toQColor(s[E::EditBackground]), QColor(127, 127, 127));
}

TEST(ColorCombinations, EveryCombinationSetsSixElementsAndDerivesTheRest) {
    void (*const named[kCombinationCount])(ColorSet&) = {
        SetMonochrome,   SetGrayMists,   SetBlackKnight, SetDesertSunset,
        SetEasterPastel, SetOceanBlue,   SetFieryRed,    SetChristmasSeason,
        SetWine,         SetMorePastels, SetGreenGlow,   SetCamo};
    for (int n = 1; n <= kCombinationCount; ++n) {
        SCOPED_TRACE(n);
        const Expected& x = kExpected[n - 1];
        EXPECT_EQ(combinationName(n), QString::fromLatin1(x.name));

        ColorSet s = oddSet();
        ASSERT_TRUE(applyCombination(s, n));
        // Nothing of the previous set survives a combination.
        for (ColorRef c : s.colors)
            EXPECT_FALSE(c >= 1000 && c <= 1012) << c;
        EXPECT_EQ(s[E::MainBackground], x.values[0]);
        EXPECT_EQ(s[E::MajorTitle], x.values[1]);
        EXPECT_EQ(s[E::MinorTitle], x.values[2]);
        EXPECT_EQ(s[E::EditBackground], x.values[3]);
        EXPECT_EQ(s[E::EditText], x.values[4]);
        EXPECT_EQ(s[E::RadioText], x.values[5]);
        EXPECT_EQ(s[E::ComboBackground], x.values[3]);
        EXPECT_EQ(s[E::ListBoxBackground], x.values[3]);
        EXPECT_EQ(s[E::ComboText], x.values[4]);
        EXPECT_EQ(s[E::ListBoxText], x.values[4]);
        EXPECT_EQ(s[E::RadioBackground], x.values[0]);
        EXPECT_EQ(s[E::CheckBackground], x.values[0]);
        EXPECT_EQ(s[E::CheckText], x.values[5]);

        ColorSet viaName = oddSet();
        named[n - 1](viaName);
        EXPECT_EQ(viaName, s);
    }
    // Outside 1-12 (the blank entry is 0) nothing changes.
    for (int n : {0, -1, 13}) {
        ColorSet s = oddSet();
        EXPECT_FALSE(applyCombination(s, n));
        EXPECT_EQ(s, oddSet());
        EXPECT_TRUE(combinationName(n).isEmpty());
    }
}

TEST(ColorValues, RedSitsInTheLowByte) {
    EXPECT_EQ(toQColor(12632256), QColor(192, 192, 192));
    EXPECT_EQ(toQColor(255), QColor(255, 0, 0));
    EXPECT_EQ(toQColor(16711680), QColor(0, 0, 255));
    EXPECT_EQ(toQColor(32896), QColor(128, 128, 0));
    EXPECT_EQ(toColorRef(QColor(0, 128, 128)), 8421376);
    EXPECT_EQ(toColorRef(QColor(255, 255, 255)), 16777215);
    // A colour picked in another model or with transparency still stores plain RGB.
    EXPECT_EQ(toColorRef(QColor::fromHsv(0, 255, 255)), 255);
    EXPECT_EQ(toColorRef(QColor(1, 2, 3, 40)), 0x030201);
    // The high byte is no part of the colour, also when the stored value is negative.
    EXPECT_EQ(toQColor(0x01000080), QColor(128, 0, 0));
    EXPECT_EQ(toQColor(-1), QColor(255, 255, 255));
    for (const Expected& x : kExpected)
        for (ColorRef v : x.values)
            EXPECT_EQ(toColorRef(toQColor(v)), v);
}

TEST(ColorKinds, EachKindEditsItsOwnSetAndAllEditsEveryOne) {
    std::array<ColorSet, kColorSetCount> sets{};
    for (int i = 0; i < kColorSetCount; ++i)
        applyCombination(sets[size_t(i)], i + 1);
    const auto before = sets;

    // Kinds 1-5 start from their own set, kind 6 from the main set.
    for (int kind = 1; kind <= 5; ++kind)
        EXPECT_EQ(colorSetForKind(sets, kind), sets[size_t(kind - 1)]);
    EXPECT_EQ(colorSetForKind(sets, kAllColors), sets[0]);

    ColorSet edited;
    SetCamo(edited);
    storeColorSet(sets, kSearchColors, edited);
    for (int i = 0; i < kColorSetCount; ++i)
        EXPECT_EQ(sets[size_t(i)], i == 2 ? edited : before[size_t(i)]) << i;

    storeColorSet(sets, 0, ColorSet{});
    storeColorSet(sets, 7, ColorSet{});
    EXPECT_EQ(sets[0], before[0]) << "an unknown kind changes nothing";

    storeColorSet(sets, kAllColors, edited);
    for (const ColorSet& s : sets)
        EXPECT_EQ(s, edited);

    EXPECT_TRUE(mainWindowRepaints(kMainColors));
    EXPECT_TRUE(mainWindowRepaints(kAllColors));
    for (int kind : {2, 3, 4, 5})
        EXPECT_FALSE(mainWindowRepaints(kind));
}
