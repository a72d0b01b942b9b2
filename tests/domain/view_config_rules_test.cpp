#include "appearance/view_config_rules.h"
#include "settings/ini_file.h"
#include "test_files.h"

#include "qstring_printer.h"

#include <gtest/gtest.h>

TEST(ViewConfigRules, WidthsOutsideOneTo255BecomeTen) {
    for (const char* bad : {"0", "300", "256", "abc", "", "  ", "-5", "12x", "1.5"})
        EXPECT_EQ(closingFieldWidth(QString::fromLatin1(bad)), 10) << bad;
    EXPECT_EQ(closingFieldWidth(" 12 "), 12);
    EXPECT_EQ(closingFieldWidth("1"), 1);
    EXPECT_EQ(closingFieldWidth("255"), 255);
}

TEST(ViewConfigRules, ARenamedFieldKeepsItsMoveAndNamesAreCut) {
    DatabaseSettings db;
    ViewConfigCells cells = viewConfigCells(db);
    ASSERT_EQ(cells.ordered[1], "Brand");
    // Brand moved to the top and renamed in the same visit.
    std::swap(cells.ordered[0], cells.ordered[1]);
    cells.names[1] = "Maker";
    cells.names[0] = "An item name far longer than twenty";
    cells.shown[2] = "No";
    cells.shown[3] = "yes"; // only "Yes" shows a field
    cells.widths[4] = "300";
    applyViewConfig(db, cells);
    EXPECT_EQ(db.fieldOrder[1], 1);
    EXPECT_EQ(db.fieldOrder[0], 2);
    EXPECT_EQ(db.fieldOrder[2], 3);
    EXPECT_EQ(db.fieldNames[1], "Maker");
    EXPECT_EQ(db.fieldNames[0], "An item name far lon");
    EXPECT_FALSE(db.displayFields[2]);
    EXPECT_FALSE(db.displayFields[3]);
    EXPECT_TRUE(db.displayFields[4]);
    EXPECT_EQ(db.fieldWidth[4], 10);
    EXPECT_EQ(db.fieldWidth[5], 15);

    // The window opens next time with the new names in the new order.
    const ViewConfigCells again = viewConfigCells(db);
    EXPECT_EQ(again.ordered[0], "Maker");
    EXPECT_EQ(again.ordered[1], "An item name far lon");
}

TEST(ViewConfigRules, DuplicateNamesAreFound) {
    DatabaseSettings db;
    ViewConfigCells cells = viewConfigCells(db);
    EXPECT_FALSE(duplicateFieldName(cells.names));
    cells.names[5] = "Brand";
    EXPECT_EQ(duplicateFieldName(cells.names), "Brand");
    EXPECT_EQ(duplicateFieldNameMessage("Brand"),
              "Two field names have the same name \"Brand\".  Please change one.");
    cells = viewConfigCells(db);
    cells.names[3] = "";
    EXPECT_FALSE(duplicateFieldName(cells.names));
    cells.names[20] = "";
    EXPECT_EQ(duplicateFieldName(cells.names), "");
    // Letter case counts: "brand" is another name.
    cells = viewConfigCells(db);
    cells.names[5] = "brand";
    EXPECT_FALSE(duplicateFieldName(cells.names));
}

TEST(ViewConfigRules, FieldsNamedAlikeInTheSettingsKeepDistinctPlaces) {
    DatabaseSettings db;
    db.fieldNames[2] = "Brand"; // an edited settings file
    ViewConfigCells cells = viewConfigCells(db);
    cells.names[2] = "Model";
    applyViewConfig(db, cells);
    EXPECT_EQ(db.fieldOrder[1], 2);
    EXPECT_EQ(db.fieldOrder[2], 3);
}

TEST(ViewConfigRules, HidingEveryFieldIsStored) {
    TestDir dir;
    DatabaseSettings db;
    ViewConfigCells cells = viewConfigCells(db);
    cells.shown.fill("No");
    applyViewConfig(db, cells);
    const QString ini = dir.file("HOME.INI");
    ASSERT_TRUE(saveDatabaseSettings(db, ini));
    const DatabaseSettings back = loadDatabaseSettings(ini, dir.file("NONE.INI"));
    for (bool shown : back.displayFields)
        EXPECT_FALSE(shown);
}
