#include "items/database_paths.h"
#include "items/item_schema.h"
#include "items/sort_string.h"

#include "qstring_printer.h"

#include <gtest/gtest.h>

TEST(SortString, ExpressionsForTheFourLevels) {
    EXPECT_EQ(BuildSortString({12, 0, 0, 0}), "Upper(Left(Category,80))");
    EXPECT_EQ(BuildSortString({12, 10, 0, 0}), "Upper(Left(Category,40))+DTOS(PurchDate)");
    EXPECT_EQ(BuildSortString({12, 11, 0, 0}), "Upper(Left(Category,40))+STR(Cost,12,2)");
    EXPECT_EQ(BuildSortString({0, 0, 0, 0}), "");
    EXPECT_EQ(BuildSortString({1, 2, 3, 4}),
              "Upper(Left(Item,20))+Upper(Left(Brand,20))+Upper(Left(Model,20))+"
              "Upper(Left(Serial,20))");
    EXPECT_EQ(BuildSortString({2, 0, 11, 0}), "Upper(Left(Brand,40))+STR(Cost,12,2)");
    EXPECT_EQ(BuildSortString({9, 15, 6, 0}),
              "STR(Quantity,12,0)+DTOS(WarDate)+Upper(Left(Descriptio,26))");
    EXPECT_EQ(BuildSortString({5, 5, 0, 0}), "Upper(Left(Location,40))+Upper(Left(Location,40))");
    // A number no field has adds nothing, though it still takes its share of the width.
    EXPECT_EQ(BuildSortString({23, 1, 0, 0}), "Upper(Left(Item,40))");
    EXPECT_EQ(BuildSortString({99, 0, 0, 0}), "");
    EXPECT_EQ(BuildSortString({-1, 1, 0, 0}), "Upper(Left(Item,80))");
}

TEST(DatabasePaths, NameStopsAtTheFirstDot) {
    const DatabasePaths p = DatabasePaths::forTable("/home/u/inv/MY.DATA.DBF");
    EXPECT_EQ(p.name, "MY");
    EXPECT_EQ(p.directory, "/home/u/inv");
    EXPECT_EQ(p.base, "/home/u/inv/MY");
    EXPECT_EQ(p.index, "/home/u/inv/MY.MDX");
    EXPECT_EQ(p.settings, "/home/u/inv/MY.INI");
    EXPECT_EQ(p.listFile(1), "/home/u/inv/MY.001");
    EXPECT_EQ(p.listFile(5), "/home/u/inv/MY.005");
    EXPECT_EQ(p.current, "/home/u/inv/MY.DATA.DBF");

    const DatabasePaths lower = DatabasePaths::forTable("/x/../y/home.dbf");
    EXPECT_EQ(lower.base, "/y/home");
    EXPECT_EQ(lower.index, "/y/home.MDX");
    EXPECT_EQ(defaultDatabasePath("/prog"), "/prog/MASTER.DBF");
}

TEST(ItemSchema, TwentyTwoFieldsByNumberAndName) {
    ASSERT_EQ(kItemFields.size(), 22u);
    for (int n = 1; n <= 22; ++n) {
        EXPECT_EQ(itemField(n)->number, n);
        EXPECT_LE(itemField(n)->name.size(), 10u);
        EXPECT_EQ(itemFieldNumber(itemField(n)->qName().toUpper()), n);
    }
    EXPECT_EQ(itemField(0), nullptr);
    EXPECT_EQ(itemField(23), nullptr);
    EXPECT_EQ(itemFieldNumber(u"descriptio"), 6);
    EXPECT_FALSE(itemFieldNumber(u"Description"));
    EXPECT_EQ(itemField(item_field::Warranty)->width, 3);
    EXPECT_EQ(itemField(item_field::Cost)->type, FieldType::Float);
    EXPECT_EQ(itemField(item_field::Quantity)->letter, 'N');
    EXPECT_EQ(itemField(item_field::WarDate)->type, FieldType::Date);
}
