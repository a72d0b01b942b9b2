#include "settings/settings.h"

#include "items/item_schema.h"
#include "settings/ini_file.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <charconv>
#include <climits>

using namespace settings_codec;

const std::array<QString, kColorCount> kColorKeys = {
    QStringLiteral("Main Background"), QStringLiteral("Major Title"),
    QStringLiteral("Minor Title"),     QStringLiteral("Edit Background"),
    QStringLiteral("Edit Text"),       QStringLiteral("Combo Background"),
    QStringLiteral("Combo Text"),      QStringLiteral("List Box Background"),
    QStringLiteral("List Box Text"),   QStringLiteral("Radio Background"),
    QStringLiteral("Radio Text"),      QStringLiteral("Check Background"),
    QStringLiteral("Check Text")};

const std::array<QString, kColorSetCount> kColorSections = {
    QStringLiteral("Main Window Color"), QStringLiteral("Edit Window Color"),
    QStringLiteral("Search Window Color"), QStringLiteral("Report Window Color"),
    QStringLiteral("Configure Window Color")};

// ---------------------------------------------------------------------------------------
// Encodings

namespace {
// Whole-text decimal number with an optional sign; nullopt for anything else.
std::optional<long long> parseWhole(const QString& text) {
    QByteArray digits = text.trimmed().toLatin1();
    if (digits.startsWith('+'))
        digits.remove(0, 1);
    long long v = 0;
    const char* end = digits.constData() + digits.size();
    const auto [ptr, ec] = std::from_chars(digits.constData(), end, v);
    if (digits.isEmpty() || ec != std::errc() || ptr != end)
        return std::nullopt;
    return v;
}
} // namespace

int settings_codec::integerFromText(const QString& text) {
    const auto v = parseWhole(text.left(kIntegerChars));
    if (!v || *v < INT_MIN || *v > INT_MAX)
        return 0;
    return int(*v);
}

bool settings_codec::flagFromText(const QString& text) {
    return text.toUpper() == QLatin1String("YES");
}

QString settings_codec::flagText(bool flag) {
    return flag ? QStringLiteral("Yes") : QStringLiteral("No");
}

int settings_codec::readInteger(const IniFile& ini, const QString& section, const QString& key,
                                int fallback) {
    const auto text = ini.value(section, key);
    return text ? integerFromText(*text) : fallback;
}

ColorRef settings_codec::readColor(const IniFile& ini, const QString& section, const QString& key,
                                   ColorRef fallback) {
    const auto text = ini.value(section, key);
    if (!text)
        return fallback;
    const auto v = parseWhole(text->left(kIntegerChars));
    // Accept the unsigned spelling of the same 32 bits as well as the signed one.
    if (!v || *v < INT32_MIN || *v > UINT32_MAX)
        return fallback;
    return ColorRef(std::uint32_t(*v));
}

bool settings_codec::readFlag(const IniFile& ini, const QString& section, const QString& key,
                              bool fallback) {
    const auto text = ini.value(section, key);
    return text ? flagFromText(text->left(kShortTextChars)) : fallback;
}

QString settings_codec::readText(const IniFile& ini, const QString& section, const QString& key,
                                 const QString& fallback, int bufferChars, int maxLength) {
    return ini.value(section, key, fallback).left(bufferChars).left(maxLength);
}

QColor toQColor(ColorRef color) {
    const auto bits = std::uint32_t(color);
    return QColor(int(bits & 0xFF), int((bits >> 8) & 0xFF), int((bits >> 16) & 0xFF));
}

ColorRef toColorRef(const QColor& color) {
    const QColor rgb = color.toRgb();
    return ColorRef(std::uint32_t(rgb.red()) | (std::uint32_t(rgb.green()) << 8) |
                    (std::uint32_t(rgb.blue()) << 16));
}

QFont toQFont(const GridFontSettings& s) {
    QFont f(s.name);
    if (s.size > 0)
        f.setPointSize(s.size);
    f.setBold(s.bold);
    f.setItalic(s.italic);
    f.setUnderline(s.underline);
    f.setStrikeOut(s.strikeout);
    return f;
}

GridFontSettings gridFontFrom(const QFont& font, ColorRef color) {
    const int points = std::clamp(font.pointSize(), kMinFontSize, kMaxFontSize);
    return {color,         font.family(),    points,          font.bold(),
            font.italic(), font.underline(), font.strikeOut()};
}

QFont toQFont(const UserFontSettings& s, int pointSize) {
    QFont f(s.name);
    if (pointSize > 0)
        f.setPointSize(pointSize);
    f.setBold(s.bold);
    f.setItalic(s.italic);
    return f;
}

UserFontSettings userFontFrom(const QFont& font) {
    return {font.family(), font.bold(), font.italic()};
}

// ---------------------------------------------------------------------------------------
// Global settings

namespace {
const QString kMisc = QStringLiteral("Misc");

QString lastFileKey(int i) {
    return QStringLiteral("Last File %1").arg(i + 1);
}
} // namespace

GlobalSettings defaultGlobalSettings(const QString& currentDir) {
    GlobalSettings g;
    const QString dir = currentDir.isEmpty() ? QString() : QDir::cleanPath(currentDir);
    g.lastImportFile = dir;
    g.lastExportFile = dir;
    return g;
}

QString globalSettingsPath(const QString& settingsDir) {
    return QDir(settingsDir).filePath(kGlobalSettingsFileName);
}

GlobalSettings readGlobalSettings(const IniFile& ini, const QString& currentDir) {
    const GlobalSettings d = defaultGlobalSettings(currentDir);
    GlobalSettings g;
    auto integer = [&](const char* key, int def) {
        return readInteger(ini, kMisc, QString::fromLatin1(key), def);
    };
    auto path = [&](const QString& key, const QString& def) {
        return readText(ini, kMisc, key, def, kLongTextChars, kLongTextChars);
    };
    g.buttonBar = integer("Button Bar", d.buttonBar);
    g.mainWindowLeft = integer("Main Window Left", d.mainWindowLeft);
    g.mainWindowTop = integer("Main Window Top", d.mainWindowTop);
    g.mainWindowWidth = integer("Main Window Width", d.mainWindowWidth);
    g.mainWindowHeight = integer("Main Window Height", d.mainWindowHeight);
    g.lastImportFile = path(QStringLiteral("Last Import File"), d.lastImportFile);
    g.lastExportFile = path(QStringLiteral("Last Export File"), d.lastExportFile);
    g.lastDatabase = path(QStringLiteral("Last Database"), d.lastDatabase);
    for (int i = 0; i < 5; ++i)
        g.lastFiles[size_t(i)] = path(lastFileKey(i), QString());
    g.showTips = readFlag(ini, kMisc, QStringLiteral("Show Tips"), d.showTips);
    g.windowSize = integer("Window Size", d.windowSize);
    g.dateFormat = integer("Date Format", d.dateFormat);
    g.dateLeadingZeros =
        readFlag(ini, kMisc, QStringLiteral("Date Leading Zeros"), d.dateLeadingZeros);
    g.currencyFormat = integer("Currency Format", d.currencyFormat);
    g.numericFormat = integer("Numeric Format", d.numericFormat);
    return g;
}

void writeGlobalSettings(const GlobalSettings& g, IniFile& ini) {
    auto integer = [&](const char* key, int v) {
        ini.setValue(kMisc, QString::fromLatin1(key), QString::number(v));
    };
    integer("Button Bar", g.buttonBar);
    integer("Main Window Left", g.mainWindowLeft);
    integer("Main Window Top", g.mainWindowTop);
    integer("Main Window Width", g.mainWindowWidth);
    integer("Main Window Height", g.mainWindowHeight);
    ini.setValue(kMisc, QStringLiteral("Last Import File"), g.lastImportFile);
    ini.setValue(kMisc, QStringLiteral("Last Export File"), g.lastExportFile);
    ini.setValue(kMisc, QStringLiteral("Last Database"), g.lastDatabase);
    for (int i = 0; i < 5; ++i)
        ini.setValue(kMisc, lastFileKey(i), g.lastFiles[size_t(i)]);
    ini.setValue(kMisc, QStringLiteral("Show Tips"), flagText(g.showTips));
    integer("Window Size", g.windowSize);
    integer("Date Format", g.dateFormat);
    ini.setValue(kMisc, QStringLiteral("Date Leading Zeros"), flagText(g.dateLeadingZeros));
    integer("Currency Format", g.currencyFormat);
    integer("Numeric Format", g.numericFormat);
}

GlobalSettings loadGlobalSettings(const QString& settingsDir, const QString& currentDir) {
    return readGlobalSettings(IniFile::load(globalSettingsPath(settingsDir)), currentDir);
}

bool saveGlobalSettings(const GlobalSettings& settings, const QString& settingsDir,
                        QString* error) {
    if (!QDir().mkpath(settingsDir)) {
        if (error)
            *error = QStringLiteral("Unable to create the settings directory \"%1\".")
                         .arg(QDir::toNativeSeparators(settingsDir));
        return false;
    }
    const QString path = globalSettingsPath(settingsDir);
    IniFile ini = IniFile::load(path);
    writeGlobalSettings(settings, ini);
    return ini.save(path, error);
}

// ---------------------------------------------------------------------------------------
// Per-database settings

namespace {
const QString kFieldNames = QStringLiteral("Field Names");
const QString kDisplayFields = QStringLiteral("Display Fields");
const QString kFieldWidth = QStringLiteral("Field Width");
const QString kFieldOrder = QStringLiteral("Field Order");
const QString kExportFields = QStringLiteral("Export Fields");
const QString kExportOrder = QStringLiteral("Export Order");
const QString kExport = QStringLiteral("Export");
const QString kImport = QStringLiteral("Import");
const QString kSortOrder = QStringLiteral("Sort Order");
const QString kGridTitle = QStringLiteral("Grid Title");
const QString kGridTitleFont = QStringLiteral("Grid Title Font");
const QString kGridFont = QStringLiteral("Grid Font");
const QString kGridOptions = QStringLiteral("Grid Options");
const QString kEditFont = QStringLiteral("Edit Font");
const QString kLabelFont = QStringLiteral("Label Font");
const QString kButtonFont = QStringLiteral("Button Font");
const QString kReports = QStringLiteral("Reports");

constexpr int kFieldNameLength = 20;
constexpr int kInsuranceCompanyLength = 40;
constexpr int kPolicyNumberLength = 20;
constexpr int kYourNameLength = 30;

const std::array<QString, 4> kSortKeys = {
    QStringLiteral("Primary Sort"), QStringLiteral("Secondary Sort"),
    QStringLiteral("Third Level Sort"), QStringLiteral("Fourth Level Sort")};

QString fieldKey(int index) {
    return kItemFields[size_t(index)].qName();
}

// A point size outside what a screen can show sensibly falls back to the default; a grid
// with a 10,000-point font shows no rows at all.
int saneFontSize(int size, int fallback) {
    return size >= kMinFontSize && size <= kMaxFontSize ? size : fallback;
}

void readGridFont(const IniFile& ini, const QString& section, GridFontSettings& f) {
    f.color = readColor(ini, section, QStringLiteral("Color"), f.color);
    f.name = readText(ini, section, QStringLiteral("Font Name"), f.name, kShortTextChars,
                      kShortTextChars);
    f.size = saneFontSize(readInteger(ini, section, QStringLiteral("Size"), f.size), f.size);
    f.bold = readFlag(ini, section, QStringLiteral("Bold"), f.bold);
    f.italic = readFlag(ini, section, QStringLiteral("Italic"), f.italic);
    f.underline = readFlag(ini, section, QStringLiteral("Underline"), f.underline);
    f.strikeout = readFlag(ini, section, QStringLiteral("Strikeout"), f.strikeout);
}

void writeGridFont(IniFile& ini, const QString& section, const GridFontSettings& f) {
    ini.setValue(section, QStringLiteral("Color"), QString::number(f.color));
    ini.setValue(section, QStringLiteral("Font Name"), f.name);
    ini.setValue(section, QStringLiteral("Size"), QString::number(f.size));
    ini.setValue(section, QStringLiteral("Bold"), flagText(f.bold));
    ini.setValue(section, QStringLiteral("Italic"), flagText(f.italic));
    ini.setValue(section, QStringLiteral("Underline"), flagText(f.underline));
    ini.setValue(section, QStringLiteral("Strikeout"), flagText(f.strikeout));
}

void readUserFont(const IniFile& ini, const QString& section, UserFontSettings& f) {
    f.name = readText(ini, section, QStringLiteral("Font Name"), f.name, kShortTextChars,
                      kShortTextChars);
    f.bold = readFlag(ini, section, QStringLiteral("Bold"), f.bold);
    f.italic = readFlag(ini, section, QStringLiteral("Italic"), f.italic);
}

void writeUserFont(IniFile& ini, const QString& section, const UserFontSettings& f) {
    ini.setValue(section, QStringLiteral("Font Name"), f.name);
    ini.setValue(section, QStringLiteral("Bold"), flagText(f.bold));
    ini.setValue(section, QStringLiteral("Italic"), flagText(f.italic));
}
} // namespace

DatabaseSettings::DatabaseSettings() {
    for (int i = 0; i < kFieldCount; ++i) {
        fieldNames[size_t(i)] = kItemFields[size_t(i)].qLabel();
        displayFields[size_t(i)] = true;
        fieldWidth[size_t(i)] = 15;
        fieldOrder[size_t(i)] = i + 1;
        exportFields[size_t(i)] = true;
        exportOrder[size_t(i)] = i + 1;
    }
}

DatabaseSettings readDatabaseSettings(const IniFile& ini) {
    DatabaseSettings s; // starts at the defaults, which are also the fallbacks
    for (int i = 0; i < kFieldCount; ++i) {
        const QString key = fieldKey(i);
        const size_t at = size_t(i);
        s.fieldNames[at] =
            readText(ini, kFieldNames, key, s.fieldNames[at], kShortTextChars, kFieldNameLength);
        s.displayFields[at] = readFlag(ini, kDisplayFields, key, s.displayFields[at]);
        s.fieldWidth[at] =
            std::clamp(readInteger(ini, kFieldWidth, key, s.fieldWidth[at]), 0, kMaxFieldWidth);
        s.fieldOrder[at] = readInteger(ini, kFieldOrder, key, s.fieldOrder[at]);
        s.exportFields[at] = readFlag(ini, kExportFields, key, s.exportFields[at]);
        s.exportOrder[at] = readInteger(ini, kExportOrder, key, s.exportOrder[at]);
    }
    s.exportFirstRow = readFlag(ini, kExport, QStringLiteral("First Row"), s.exportFirstRow);
    s.exportFileType = readInteger(ini, kExport, QStringLiteral("File Type"), s.exportFileType);
    s.importSkipFirst = readFlag(ini, kImport, QStringLiteral("Skip First"), s.importSkipFirst);
    s.importFileType = readInteger(ini, kImport, QStringLiteral("File Type"), s.importFileType);
    for (size_t k = 0; k < 4; ++k)
        s.sortKeys[k] = readInteger(ini, kSortOrder, kSortKeys[k], s.sortKeys[k]);

    for (size_t set = 0; set < kColorSetCount; ++set)
        for (size_t c = 0; c < kColorCount; ++c)
            s.colorSets[set].colors[c] =
                readColor(ini, kColorSections[set], kColorKeys[c], s.colorSets[set].colors[c]);

    s.showTitles = readFlag(ini, kGridTitle, QStringLiteral("Show Titles"), s.showTitles);
    s.titleBackground =
        readColor(ini, kGridTitle, QStringLiteral("Background Color"), s.titleBackground);
    s.titleAlignment = readInteger(ini, kGridTitle, QStringLiteral("Alignment"), s.titleAlignment);
    readGridFont(ini, kGridTitleFont, s.titleFont);
    readGridFont(ini, kGridFont, s.gridFont);

    s.cellColor = readColor(ini, kGridOptions, QStringLiteral("Cell Color"), s.cellColor);
    s.columnLines = readFlag(ini, kGridOptions, QStringLiteral("Column Lines"), s.columnLines);
    s.rowLines = readFlag(ini, kGridOptions, QStringLiteral("Row Lines"), s.rowLines);
    s.rowIndicator = readFlag(ini, kGridOptions, QStringLiteral("Row Indicator"), s.rowIndicator);
    s.fieldEditing = readFlag(ini, kGridOptions, QStringLiteral("Field Editing"), s.fieldEditing);

    readUserFont(ini, kEditFont, s.editFont);
    readUserFont(ini, kLabelFont, s.labelFont);
    readUserFont(ini, kButtonFont, s.buttonFont);

    ReportSettings& r = s.reports;
    auto rInt = [&](const char* key, int def) {
        return readInteger(ini, kReports, QString::fromLatin1(key), def);
    };
    auto rFlag = [&](const char* key, bool def) {
        return readFlag(ini, kReports, QString::fromLatin1(key), def);
    };
    auto rText = [&](const char* key, int maxLength) {
        return readText(ini, kReports, QString::fromLatin1(key), QString(), kLongTextChars,
                        maxLength);
    };
    r.lastReport = rInt("Last Report", r.lastReport);
    r.defaultPrinter = rFlag("Default Printer", r.defaultPrinter);
    r.printerIndex = rInt("Printer Index", r.printerIndex);
    r.printInsuranceCompany = rFlag("Print Insurance Company", r.printInsuranceCompany);
    r.printPolicyNumber = rFlag("Print Policy Number", r.printPolicyNumber);
    r.printStatement = rFlag("Print Statement", r.printStatement);
    r.insuranceCompany = rText("Insurance Company", kInsuranceCompanyLength);
    r.policyNumber = rText("Policy Number", kPolicyNumberLength);
    r.yourName = rText("Your Name", kYourNameLength);
    r.viewingWindowLeft = rInt("Report Viewing Window Left", r.viewingWindowLeft);
    r.viewingWindowTop = rInt("Report Viewing Window Top", r.viewingWindowTop);
    r.viewingWindowWidth = rInt("Report Viewing Window Width", r.viewingWindowWidth);
    r.viewingWindowHeight = rInt("Report Viewing Window Height", r.viewingWindowHeight);

    repairPositions(s.fieldOrder);
    repairPositions(s.exportOrder);
    return s;
}

void repairPositions(std::array<int, kFieldCount>& positions) {
    std::array<bool, kFieldCount + 1> taken{};
    std::array<bool, kFieldCount> keep{};
    for (size_t i = 0; i < positions.size(); ++i) {
        const int p = positions[i];
        if (p >= 1 && p <= kFieldCount && !taken[size_t(p)]) {
            taken[size_t(p)] = true;
            keep[i] = true;
        }
    }
    // Fields without a position of their own take the free ones in field order.
    int next = 1;
    for (size_t i = 0; i < positions.size(); ++i) {
        if (keep[i])
            continue;
        while (taken[size_t(next)])
            ++next;
        positions[i] = next;
        taken[size_t(next)] = true;
    }
}

QRect keepOnScreen(const QRect& stored, const QSize& screen) {
    const int w = std::clamp(stored.width(), std::min(kMinWindowWidth, screen.width()),
                             std::max(1, screen.width()));
    const int h = std::clamp(stored.height(), std::min(kMinWindowHeight, screen.height()),
                             std::max(1, screen.height()));
    const int x = std::clamp(stored.x(), 0, std::max(0, screen.width() - w));
    const int y = std::clamp(stored.y(), 0, std::max(0, screen.height() - h));
    return QRect(x, y, w, h);
}

void writeDatabaseSettings(const DatabaseSettings& s, IniFile& ini) {
    // One section at a time, in the order the file is laid out.
    auto perField = [&](const QString& section, auto text) {
        for (int i = 0; i < kFieldCount; ++i)
            ini.setValue(section, fieldKey(i), text(size_t(i)));
    };
    perField(kFieldNames, [&](size_t i) { return s.fieldNames[i]; });
    perField(kDisplayFields, [&](size_t i) { return flagText(s.displayFields[i]); });
    perField(kFieldWidth, [&](size_t i) { return QString::number(s.fieldWidth[i]); });
    perField(kFieldOrder, [&](size_t i) { return QString::number(s.fieldOrder[i]); });
    perField(kExportFields, [&](size_t i) { return flagText(s.exportFields[i]); });
    perField(kExportOrder, [&](size_t i) { return QString::number(s.exportOrder[i]); });

    ini.setValue(kExport, QStringLiteral("First Row"), flagText(s.exportFirstRow));
    ini.setValue(kExport, QStringLiteral("File Type"), QString::number(s.exportFileType));
    ini.setValue(kImport, QStringLiteral("Skip First"), flagText(s.importSkipFirst));
    ini.setValue(kImport, QStringLiteral("File Type"), QString::number(s.importFileType));
    for (size_t k = 0; k < 4; ++k)
        ini.setValue(kSortOrder, kSortKeys[k], QString::number(s.sortKeys[k]));

    for (size_t set = 0; set < kColorSetCount; ++set)
        for (size_t c = 0; c < kColorCount; ++c)
            ini.setValue(kColorSections[set], kColorKeys[c],
                         QString::number(s.colorSets[set].colors[c]));

    ini.setValue(kGridTitle, QStringLiteral("Show Titles"), flagText(s.showTitles));
    ini.setValue(kGridTitle, QStringLiteral("Background Color"),
                 QString::number(s.titleBackground));
    ini.setValue(kGridTitle, QStringLiteral("Alignment"), QString::number(s.titleAlignment));
    writeGridFont(ini, kGridTitleFont, s.titleFont);
    writeGridFont(ini, kGridFont, s.gridFont);

    ini.setValue(kGridOptions, QStringLiteral("Cell Color"), QString::number(s.cellColor));
    ini.setValue(kGridOptions, QStringLiteral("Column Lines"), flagText(s.columnLines));
    ini.setValue(kGridOptions, QStringLiteral("Row Lines"), flagText(s.rowLines));
    ini.setValue(kGridOptions, QStringLiteral("Row Indicator"), flagText(s.rowIndicator));
    ini.setValue(kGridOptions, QStringLiteral("Field Editing"), flagText(s.fieldEditing));

    writeUserFont(ini, kEditFont, s.editFont);
    writeUserFont(ini, kLabelFont, s.labelFont);
    writeUserFont(ini, kButtonFont, s.buttonFont);

    const ReportSettings& r = s.reports;
    auto put = [&](const char* key, const QString& v) {
        ini.setValue(kReports, QString::fromLatin1(key), v);
    };
    put("Last Report", QString::number(r.lastReport));
    put("Default Printer", flagText(r.defaultPrinter));
    put("Printer Index", QString::number(r.printerIndex));
    put("Print Insurance Company", flagText(r.printInsuranceCompany));
    put("Print Policy Number", flagText(r.printPolicyNumber));
    put("Print Statement", flagText(r.printStatement));
    put("Insurance Company", r.insuranceCompany);
    put("Policy Number", r.policyNumber);
    put("Your Name", r.yourName);
    put("Report Viewing Window Left", QString::number(r.viewingWindowLeft));
    put("Report Viewing Window Top", QString::number(r.viewingWindowTop));
    put("Report Viewing Window Width", QString::number(r.viewingWindowWidth));
    put("Report Viewing Window Height", QString::number(r.viewingWindowHeight));
}

DatabaseSettings loadDatabaseSettings(const QString& databaseIniPath,
                                      const QString& globalIniPath) {
    const bool own = QFileInfo(databaseIniPath).isFile();
    return readDatabaseSettings(IniFile::load(own ? databaseIniPath : globalIniPath));
}

bool saveDatabaseSettings(const DatabaseSettings& settings, const QString& databaseIniPath,
                          QString* error) {
    IniFile ini = IniFile::load(databaseIniPath);
    writeDatabaseSettings(settings, ini);
    return ini.save(databaseIniPath, error);
}
