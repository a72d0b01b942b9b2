#pragma once

#include <QColor>
#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>

#include <array>
#include <cstdint>

class IniFile;

// A colour as the settings files store it: 0x00BBGGRR (red in the low byte), written as
// signed decimal text.
using ColorRef = std::int32_t;

constexpr ColorRef kLightGrey = 12632256; // 192,192,192
constexpr ColorRef kWhite = 16777215;
constexpr ColorRef kMidGrey = 8553090;
constexpr ColorRef kBlack = 0;

// Red sits in the low byte of a ColorRef; QColor names its parts.
QColor toQColor(ColorRef color);
ColorRef toColorRef(const QColor& color);

// ---------------------------------------------------------------------------------------
// Global settings: TWKINV.INI in the settings directory, section "Misc".

struct GlobalSettings {
    int buttonBar = 1; // 1 speed buttons, 2 lettered buttons, 3 none
    int mainWindowLeft = 0;
    int mainWindowTop = 0;
    int mainWindowWidth = 640;
    int mainWindowHeight = 480;
    QString lastImportFile; // default: the current directory at start-up
    QString lastExportFile; // default: the current directory at start-up
    QString lastDatabase;
    std::array<QString, 5> lastFiles; // most recent first
    bool showTips = true;
    int windowSize = 640; // 640, 800, 1024 or 1280
    int dateFormat = 1;   // 1-12
    bool dateLeadingZeros = false;
    int currencyFormat = 1; // 1 U.S., 2 regional
    int numericFormat = 1;  // 1 U.S., 2 regional
};

inline const QString kGlobalSettingsFileName = QStringLiteral("TWKINV.INI");

GlobalSettings defaultGlobalSettings(const QString& currentDir);
QString globalSettingsPath(const QString& settingsDir);

GlobalSettings readGlobalSettings(const IniFile& ini, const QString& currentDir);
void writeGlobalSettings(const GlobalSettings& settings, IniFile& ini);

// File level: a missing or unreadable file reads as the defaults. Saving creates the
// settings directory when needed and never leaves a half-written file.
GlobalSettings loadGlobalSettings(const QString& settingsDir, const QString& currentDir);
bool saveGlobalSettings(const GlobalSettings& settings, const QString& settingsDir,
                        QString* error = nullptr);

// ---------------------------------------------------------------------------------------
// Per-database settings: NAME.INI beside the table.

constexpr int kFieldCount = 22;
constexpr int kColorCount = 13;
constexpr int kColorSetCount = 5;

enum class WindowKind { Main = 0, Edit, Search, Report, Configure };

struct ColorSet {
    enum Element {
        MainBackground,
        MajorTitle,
        MinorTitle,
        EditBackground,
        EditText,
        ComboBackground,
        ComboText,
        ListBoxBackground,
        ListBoxText,
        RadioBackground,
        RadioText,
        CheckBackground,
        CheckText
    };
    std::array<ColorRef, kColorCount> colors = defaults();

    ColorRef operator[](Element e) const { return colors[size_t(e)]; }
    ColorRef& operator[](Element e) { return colors[size_t(e)]; }
    bool operator==(const ColorSet&) const = default;

    static constexpr std::array<ColorRef, kColorCount> defaults() {
        return {kLightGrey, kBlack, kBlack,     kWhite, kBlack,     kWhite, kBlack,
                kWhite,     kBlack, kLightGrey, kBlack, kLightGrey, kBlack};
    }
};

// The settings keys of the thirteen colours, in element order.
extern const std::array<QString, kColorCount> kColorKeys;
// The sections of the five window kinds, in kind order.
extern const std::array<QString, kColorSetCount> kColorSections;

struct GridFontSettings {
    ColorRef color = kBlack;
    QString name = QStringLiteral("Arial");
    int size = 10;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeout = false;
    bool operator==(const GridFontSettings&) const = default;
};

struct UserFontSettings {
    QString name = QStringLiteral("Arial");
    bool bold = false;
    bool italic = false;
    bool operator==(const UserFontSettings&) const = default;
};

struct ReportSettings {
    int lastReport = 0;
    bool defaultPrinter = true;
    int printerIndex = 0;
    bool printInsuranceCompany = false;
    bool printPolicyNumber = false;
    bool printStatement = false;
    QString insuranceCompany; // at most 40 characters
    QString policyNumber;     // at most 20
    QString yourName;         // at most 30
    int viewingWindowLeft = 0;
    int viewingWindowTop = 0;
    int viewingWindowWidth = 640;
    int viewingWindowHeight = 480;
    bool operator==(const ReportSettings&) const = default;
};

// Arrays indexed by field number - 1.
struct DatabaseSettings {
    std::array<QString, kFieldCount> fieldNames;   // display names, at most 20 characters
    std::array<bool, kFieldCount> displayFields{}; // column shown in the viewer
    std::array<int, kFieldCount> fieldWidth{};     // viewer column width in characters
    std::array<int, kFieldCount> fieldOrder{};     // viewer column position, 1 = first
    std::array<bool, kFieldCount> exportFields{};
    std::array<int, kFieldCount> exportOrder{};

    bool exportFirstRow = true;
    int exportFileType = 1;
    bool importSkipFirst = true;
    int importFileType = 1;

    // Primary, secondary, third and fourth level: field numbers, 0 for none.
    std::array<int, 4> sortKeys{12, 0, 0, 0};

    std::array<ColorSet, kColorSetCount> colorSets{};

    bool showTitles = true;
    ColorRef titleBackground = kMidGrey;
    int titleAlignment = 2; // 1 left, 2 centre, 3 right
    GridFontSettings titleFont{kBlack, QStringLiteral("Arial"), 12};
    GridFontSettings gridFont{kBlack, QStringLiteral("Arial"), 10};

    ColorRef cellColor = kLightGrey;
    bool columnLines = true;
    bool rowLines = true;
    bool rowIndicator = true;
    bool fieldEditing = false;

    UserFontSettings editFont;
    UserFontSettings labelFont;
    UserFontSettings buttonFont;

    ReportSettings reports;

    DatabaseSettings(); // the built-in defaults
    bool operator==(const DatabaseSettings&) const = default;

    ColorSet& colors(WindowKind kind) { return colorSets[size_t(kind)]; }
    const ColorSet& colors(WindowKind kind) const { return colorSets[size_t(kind)]; }
};

constexpr int kMinFontSize = 4;
constexpr int kMaxFontSize = 72;

// Fonts of the viewer and the user fonts as QFont; saving takes every style flag from the
// font as it is now, and a size brought into kMinFontSize..kMaxFontSize, the sizes the
// settings file gives back.
QFont toQFont(const GridFontSettings& settings);
GridFontSettings gridFontFrom(const QFont& font, ColorRef color);
QFont toQFont(const UserFontSettings& settings, int pointSize);
UserFontSettings userFontFrom(const QFont& font);

// Damaged values are repaired as they are read: font sizes outside kMinFontSize to
// kMaxFontSize take the default, field widths are cut to 0..kMaxFieldWidth, and a Field Order
// or Export Order that is not a permutation is made one (repairPositions).
DatabaseSettings readDatabaseSettings(const IniFile& ini);
constexpr int kMaxFieldWidth = 255;
// Makes positions a permutation of 1..22: the first field to claim a position keeps it, and
// every field with a duplicate or out-of-range position takes the lowest free one, in field
// order. A permutation is left as it is.
void repairPositions(std::array<int, kFieldCount>& positions);

// A stored window rectangle moved and cut so that all of it lies on a screen of this size
// (a window is at least kMinWindowWidth x kMinWindowHeight where the screen allows).
constexpr int kMinWindowWidth = 200;
constexpr int kMinWindowHeight = 150;
QRect keepOnScreen(const QRect& stored, const QSize& screen);
void writeDatabaseSettings(const DatabaseSettings& settings, IniFile& ini);

// Reads NAME.INI when it exists, otherwise the per-database sections of the global file
// (normally absent, so the defaults apply).
DatabaseSettings loadDatabaseSettings(const QString& databaseIniPath, const QString& globalIniPath);
// Always writes NAME.INI, creating it when missing; keys of other programs stay.
bool saveDatabaseSettings(const DatabaseSettings& settings, const QString& databaseIniPath,
                          QString* error = nullptr);

// ---------------------------------------------------------------------------------------
// The value encodings, shared with other settings readers.
namespace settings_codec {
constexpr int kIntegerChars = 14;    // read into a 15-character buffer
constexpr int kLongTextChars = 249;  // paths and report texts: 250-character buffer
constexpr int kShortTextChars = 149; // names and font names: 150-character buffer

int readInteger(const IniFile& ini, const QString& section, const QString& key, int fallback);
ColorRef readColor(const IniFile& ini, const QString& section, const QString& key,
                   ColorRef fallback);
bool readFlag(const IniFile& ini, const QString& section, const QString& key, bool fallback);
QString readText(const IniFile& ini, const QString& section, const QString& key,
                 const QString& fallback, int bufferChars, int maxLength);

// Integer text as the program reads it: anything that is not a whole number reads as 0.
int integerFromText(const QString& text);
bool flagFromText(const QString& text);
QString flagText(bool flag);
} // namespace settings_codec
