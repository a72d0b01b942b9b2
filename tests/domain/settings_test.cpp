#include "settings/settings.h"

#include "settings/ini_file.h"
#include "qstring_printer.h"
#include "test_files.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

namespace {
QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

// Every value differs from its default.
GlobalSettings changedGlobal() {
    GlobalSettings g;
    g.buttonBar = 3;
    g.mainWindowLeft = -20;
    g.mainWindowTop = 15;
    g.mainWindowWidth = 800;
    g.mainWindowHeight = 600;
    g.lastImportFile = "/home/u/import.txt";
    g.lastExportFile = "/home/u/export.txt";
    g.lastDatabase = QString::fromUtf8("/home/u/Möbel/HOUSE.DBF");
    for (int i = 0; i < 5; ++i)
        g.lastFiles[size_t(i)] = QStringLiteral("/data/DB%1.DBF").arg(i);
    g.showTips = false;
    g.windowSize = 1024;
    g.dateFormat = 11;
    g.dateLeadingZeros = true;
    g.currencyFormat = 2;
    g.numericFormat = 2;
    return g;
}

DatabaseSettings changedDatabase() {
    DatabaseSettings s;
    for (size_t i = 0; i < 22; ++i) {
        s.fieldNames[i] = QStringLiteral("Name %1").arg(i);
        s.displayFields[i] = false;
        s.fieldWidth[i] = int(i) + 30;
        s.fieldOrder[i] = 22 - int(i);
        s.exportFields[i] = false;
        s.exportOrder[i] = 22 - int(i);
    }
    s.exportFirstRow = false;
    s.exportFileType = 2;
    s.importSkipFirst = false;
    s.importFileType = 3;
    s.sortKeys = {1, 11, 10, 9};
    for (size_t set = 0; set < 5; ++set)
        for (size_t c = 0; c < 13; ++c)
            s.colorSets[set].colors[c] = ColorRef(set * 100 + c + 1);
    s.colorSets[4].colors[0] = -1; // stored as signed text
    s.showTitles = false;
    s.titleBackground = 255;
    s.titleAlignment = 3;
    s.titleFont = {65280, "Courier New", 14, true, true, true, true};
    s.gridFont = {16711680, "Times New Roman", 9, true, false, true, false};
    s.cellColor = kWhite;
    s.columnLines = s.rowLines = s.rowIndicator = false;
    s.fieldEditing = true;
    s.editFont = {"Verdana", true, true};
    s.labelFont = {"Tahoma", true, false};
    s.buttonFont = {"Georgia", false, true};
    s.reports = {7, false, 2, true, true, true, "Acme Mutual", "P-123", "J. Doe", 10, 20, 700, 500};
    return s;
}
} // namespace

TEST(Settings, BothFilesRoundTripEveryValue) {
    TestDir dir;
    const GlobalSettings g = changedGlobal();
    ASSERT_TRUE(saveGlobalSettings(g, dir.file("cfg")));
    const GlobalSettings gBack = loadGlobalSettings(dir.file("cfg"), "/elsewhere");
    EXPECT_EQ(gBack.buttonBar, g.buttonBar);
    EXPECT_EQ(gBack.mainWindowLeft, g.mainWindowLeft);
    EXPECT_EQ(gBack.mainWindowTop, g.mainWindowTop);
    EXPECT_EQ(gBack.mainWindowWidth, g.mainWindowWidth);
    EXPECT_EQ(gBack.mainWindowHeight, g.mainWindowHeight);
    EXPECT_EQ(gBack.lastImportFile, g.lastImportFile);
    EXPECT_EQ(gBack.lastExportFile, g.lastExportFile);
    EXPECT_EQ(gBack.lastDatabase, g.lastDatabase);
    EXPECT_EQ(gBack.lastFiles, g.lastFiles);
    EXPECT_EQ(gBack.showTips, g.showTips);
    EXPECT_EQ(gBack.windowSize, g.windowSize);
    EXPECT_EQ(gBack.dateFormat, g.dateFormat);
    EXPECT_EQ(gBack.dateLeadingZeros, g.dateLeadingZeros);
    EXPECT_EQ(gBack.currencyFormat, g.currencyFormat);
    EXPECT_EQ(gBack.numericFormat, g.numericFormat);

    const DatabaseSettings s = changedDatabase();
    const QString ini = dir.file("HOUSE.INI");
    ASSERT_TRUE(saveDatabaseSettings(s, ini));
    const DatabaseSettings back = loadDatabaseSettings(ini, globalSettingsPath(dir.file("cfg")));
    EXPECT_EQ(back.fieldNames, s.fieldNames);
    EXPECT_EQ(back.colorSets, s.colorSets);
    EXPECT_EQ(back.titleFont, s.titleFont);
    EXPECT_EQ(back.reports, s.reports);
    EXPECT_TRUE(back == s);
    EXPECT_FALSE(back == DatabaseSettings());
}

TEST(Settings, MissingFilesGiveTheDefaults) {
    TestDir dir;
    const GlobalSettings g = loadGlobalSettings(dir.file("none"), "/home/u/start/");
    EXPECT_EQ(g.buttonBar, 1);
    EXPECT_EQ(g.mainWindowWidth, 640);
    EXPECT_EQ(g.mainWindowHeight, 480);
    EXPECT_EQ(g.lastImportFile, "/home/u/start");
    EXPECT_EQ(g.lastExportFile, "/home/u/start");
    EXPECT_TRUE(g.lastDatabase.isEmpty());
    EXPECT_TRUE(g.showTips);
    EXPECT_EQ(g.windowSize, 640);
    EXPECT_EQ(g.dateFormat, 1);
    EXPECT_FALSE(g.dateLeadingZeros);
    EXPECT_EQ(g.currencyFormat, 1);
    EXPECT_EQ(g.numericFormat, 1);

    const DatabaseSettings s = loadDatabaseSettings(dir.file("X.INI"), dir.file("G.INI"));
    EXPECT_EQ(s.fieldNames[3], "Serial Number");
    EXPECT_EQ(s.fieldNames[5], "Description");
    EXPECT_EQ(s.fieldOrder[21], 22);
    EXPECT_EQ(s.fieldWidth[0], 15);
    EXPECT_EQ(s.sortKeys, (std::array<int, 4>{12, 0, 0, 0}));
    EXPECT_EQ(s.colors(WindowKind::Configure)[ColorSet::MainBackground], 12632256);
    EXPECT_EQ(s.colors(WindowKind::Search)[ColorSet::EditBackground], 16777215);
    EXPECT_EQ(s.titleBackground, 8553090);
    EXPECT_EQ(s.titleFont.size, 12);
    EXPECT_EQ(s.gridFont.size, 10);
    EXPECT_EQ(s.gridFont.name, "Arial");
    EXPECT_EQ(s.cellColor, 12632256);
    EXPECT_FALSE(s.fieldEditing);
    EXPECT_TRUE(s.reports.defaultPrinter);
    EXPECT_EQ(s.reports.viewingWindowWidth, 640);
}

TEST(Settings, EncodingsFlagsIntegersColoursAndTextLimits) {
    const QString longText = QString(300, 'n');
    const IniFile ini = IniFile::fromBytes(
        "[Display Fields]\nItem=yes\nBrand=YES\nModel=Y\nSerial=Yes \nLocation=no\n"
        "[Field Width]\nItem=abc\nBrand=12x\nModel=+7\nSerial=123456789012345\nLocation=-3\n"
        "[Main Window Color]\nMain Background=grey\nMajor Title=4294967295\nMinor Title=-1\n"
        "[Field Names]\nItem=A name much longer than twenty\n"
        "[Reports]\nInsurance Company=" +
        longText.toLatin1() + "\nPolicy Number=" + longText.toLatin1() +
        "\n"
        "[Grid Font]\nFont Name=" +
        longText.toLatin1() + "\n");
    const DatabaseSettings s = readDatabaseSettings(ini);
    // Flags are set only by "YES" in any letter case.
    EXPECT_TRUE(s.displayFields[0]);
    EXPECT_TRUE(s.displayFields[1]);
    EXPECT_FALSE(s.displayFields[2]);
    EXPECT_TRUE(s.displayFields[3]); // trailing blank trimmed by the file layer
    EXPECT_FALSE(s.displayFields[4]);
    EXPECT_TRUE(s.displayFields[5]); // missing: default
    // Integer text that is no number reads as 0; only 14 characters arrive.
    EXPECT_EQ(s.fieldWidth[0], 0);
    EXPECT_EQ(s.fieldWidth[1], 0);
    EXPECT_EQ(s.fieldWidth[2], 7);
    EXPECT_EQ(s.fieldWidth[3], 0); // 12345678901234 does not fit
    EXPECT_EQ(s.fieldWidth[4], -3);
    EXPECT_EQ(s.fieldWidth[5], 15);
    // A colour that is no number keeps its default; both spellings of 32 bits read.
    const ColorSet& main = s.colors(WindowKind::Main);
    EXPECT_EQ(main[ColorSet::MainBackground], kLightGrey);
    EXPECT_EQ(main[ColorSet::MajorTitle], -1);
    EXPECT_EQ(main[ColorSet::MinorTitle], -1);
    // Texts are cut to their buffer and then to their length.
    EXPECT_EQ(s.fieldNames[0], "A name much longer t");
    EXPECT_EQ(s.reports.insuranceCompany.size(), 40);
    EXPECT_EQ(s.reports.policyNumber.size(), 20);
    EXPECT_EQ(s.gridFont.name.size(), 149);

    IniFile paths = IniFile::fromBytes("[Misc]\nLast Database=/" + longText.toLatin1() + "\n");
    EXPECT_EQ(readGlobalSettings(paths, "/").lastDatabase.size(), 249);
}

TEST(Settings, DatabaseSettingsComeFromTheGlobalFileOnlyWithoutNameIni) {
    TestDir dir;
    writeAll(dir.file("TWKINV.INI"), "[Sort Order]\r\nPrimary Sort=3\r\n"
                                     "[Field Names]\r\nItem=Thing\r\n");
    writeAll(dir.file("A.INI"), "[Sort Order]\r\nSecondary Sort=5\r\n");
    const QString global = dir.file("TWKINV.INI");

    const DatabaseSettings fromGlobal = loadDatabaseSettings(dir.file("NEW.INI"), global);
    EXPECT_EQ(fromGlobal.sortKeys, (std::array<int, 4>{3, 0, 0, 0}));
    EXPECT_EQ(fromGlobal.fieldNames[0], "Thing");

    // NAME.INI exists: nothing comes from the global file, even sections NAME.INI lacks.
    const DatabaseSettings own = loadDatabaseSettings(dir.file("A.INI"), global);
    EXPECT_EQ(own.sortKeys, (std::array<int, 4>{12, 5, 0, 0}));
    EXPECT_EQ(own.fieldNames[0], "Item");

    // Writing goes to NAME.INI, creates it, and leaves the global file alone.
    const QByteArray globalBefore = readAll(global);
    ASSERT_TRUE(saveDatabaseSettings(fromGlobal, dir.file("NEW.INI")));
    EXPECT_TRUE(QFileInfo::exists(dir.file("NEW.INI")));
    EXPECT_EQ(readAll(global), globalBefore);
}

TEST(Settings, FilesAreWrittenInTheDocumentedOrder) {
    TestDir dir;
    ASSERT_TRUE(saveGlobalSettings(defaultGlobalSettings("/start"), dir.path()));
    EXPECT_EQ(readAll(dir.file("TWKINV.INI")),
              QByteArray("[Misc]\r\nButton Bar=1\r\nMain Window Left=0\r\nMain Window Top=0\r\n"
                         "Main Window Width=640\r\nMain Window Height=480\r\n"
                         "Last Import File=/start\r\nLast Export File=/start\r\n"
                         "Last Database=\r\nLast File 1=\r\nLast File 2=\r\nLast File 3=\r\n"
                         "Last File 4=\r\nLast File 5=\r\nShow Tips=Yes\r\nWindow Size=640\r\n"
                         "Date Format=1\r\nDate Leading Zeros=No\r\nCurrency Format=1\r\n"
                         "Numeric Format=1\r\n"));

    ASSERT_TRUE(saveDatabaseSettings(DatabaseSettings(), dir.file("DB.INI")));
    const IniFile ini = IniFile::load(dir.file("DB.INI"));
    EXPECT_EQ(ini.sections(), (QStringList{"Field Names",
                                           "Display Fields",
                                           "Field Width",
                                           "Field Order",
                                           "Export Fields",
                                           "Export Order",
                                           "Export",
                                           "Import",
                                           "Sort Order",
                                           "Main Window Color",
                                           "Edit Window Color",
                                           "Search Window Color",
                                           "Report Window Color",
                                           "Configure Window Color",
                                           "Grid Title",
                                           "Grid Title Font",
                                           "Grid Font",
                                           "Grid Options",
                                           "Edit Font",
                                           "Label Font",
                                           "Button Font",
                                           "Reports"}));
    EXPECT_EQ(ini.keys("Field Order").first(), "Item");
    EXPECT_EQ(ini.keys("Field Order").at(5), "Descriptio");
    EXPECT_EQ(ini.keys("Edit Window Color"),
              (QStringList{"Main Background", "Major Title", "Minor Title", "Edit Background",
                           "Edit Text", "Combo Background", "Combo Text", "List Box Background",
                           "List Box Text", "Radio Background", "Radio Text", "Check Background",
                           "Check Text"}));
    EXPECT_EQ(ini.keys("Grid Title Font"), (QStringList{"Color", "Font Name", "Size", "Bold",
                                                        "Italic", "Underline", "Strikeout"}));
    EXPECT_EQ(ini.keys("Reports").size(), 13);
    EXPECT_EQ(ini.value("Grid Title", "Background Color"), "8553090");
}

TEST(Settings, SavingKeepsForeignKeysAndReportsUnwritableFiles) {
    TestDir dir;
    writeAll(dir.file("DB.INI"), "[Sort Order]\r\nPrimary Sort=1\r\nMy Note=keep me\r\n"
                                 "[Other Program]\r\nX=1\r\n");
    DatabaseSettings s;
    s.sortKeys = {2, 0, 0, 0};
    ASSERT_TRUE(saveDatabaseSettings(s, dir.file("DB.INI")));
    const IniFile ini = IniFile::load(dir.file("DB.INI"));
    EXPECT_EQ(ini.value("Sort Order", "Primary Sort"), "2");
    EXPECT_EQ(ini.value("Sort Order", "My Note"), "keep me");
    EXPECT_EQ(ini.value("Other Program", "X"), "1");
    EXPECT_EQ(ini.sections().first(), "Sort Order");

    QString error;
    EXPECT_FALSE(saveDatabaseSettings(s, dir.file("gone/DB.INI"), &error));
    EXPECT_FALSE(error.isEmpty());
    writeAll(dir.file("plainfile"), "x");
    EXPECT_FALSE(saveGlobalSettings(GlobalSettings(), dir.file("plainfile/sub"), &error));
    EXPECT_EQ(readAll(dir.file("plainfile")), "x");
}

TEST(Settings, ColoursAndFontsConvertBothWays) {
    EXPECT_EQ(toQColor(255), QColor(255, 0, 0)); // red in the low byte
    EXPECT_EQ(toQColor(16711680), QColor(0, 0, 255));
    EXPECT_EQ(toQColor(kLightGrey), QColor(192, 192, 192));
    EXPECT_EQ(toColorRef(QColor(128, 0, 64)), 4194432);
    EXPECT_EQ(toColorRef(toQColor(8553090)), 8553090);

    GridFontSettings title{255, "Arial", 12, true, false, true, false};
    QFont font = toQFont(title);
    EXPECT_EQ(font.pointSize(), 12);
    EXPECT_TRUE(font.bold());
    EXPECT_TRUE(font.underline());
    font.setStrikeOut(true);
    font.setBold(false);
    const GridFontSettings saved = gridFontFrom(font, 255);
    EXPECT_FALSE(saved.bold);
    EXPECT_TRUE(saved.strikeout);
    EXPECT_TRUE(saved.underline);
    EXPECT_EQ(saved.size, 12);

    const UserFontSettings label{"Arial", false, true};
    EXPECT_EQ(userFontFrom(toQFont(label, 9)), label);
}
