#include "items/sort_index.h"

#include "items/database_ops.h"
#include "items/item_schema.h"
#include "items/item_table.h"
#include "items/sort_string.h"
#include "qstring_printer.h"
#include "scripted_prompter.h"
#include "test_files.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {
QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// An open item table at dir/HOME.DBF holding items with these categories and costs.
void fill(const TestDir& dir, ItemTable& items,
          const std::vector<std::pair<QString, double>>& rows) {
    ScriptedPrompter p;
    const QString path = dir.file("HOME.DBF");
    ASSERT_TRUE(MakeNewDB(path, p));
    items.setPaths(DatabasePaths::forTable(path));
    items.open();
    int n = 0;
    for (const auto& [category, cost] : rows) {
        items.table().append();
        items.setText(item_field::Item, QStringLiteral("Item %1").arg(++n));
        items.setText(item_field::Category, category);
        items.setFloating(item_field::Cost, cost);
        items.table().post();
    }
}

// The items in walking order, as "Item 2,Item 1,...".
std::string walk(ItemTable& items) {
    QStringList seen;
    for (items.table().first(); !items.table().eof(); items.table().next())
        seen << items.text(item_field::Item);
    return seen.join(',').toStdString();
}

std::vector<dbase::IndexTag> tags(ItemTable& items) {
    return items.table().hasIndex() ? items.table().indexTags() : std::vector<dbase::IndexTag>{};
}
} // namespace

TEST(SortIndex, BuildsTheTagFromTheExpressionOrReadsInRecordOrder) {
    TestDir dir;
    ItemTable items;
    fill(dir, items, {{"tools", 5}, {"Art", 100}, {"books", 20}, {"Zoo", -20}});

    selectSortIndex(items, "", SortIndexUse::Rebuild);
    EXPECT_FALSE(QFile::exists(dir.file("HOME.MDX")));
    EXPECT_EQ(walk(items), "Item 1,Item 2,Item 3,Item 4");

    selectSortIndex(items, BuildSortString({12, 0, 0, 0}), SortIndexUse::Rebuild);
    EXPECT_EQ(walk(items), "Item 2,Item 3,Item 1,Item 4"); // case-blind
    ASSERT_EQ(tags(items).size(), 1u);
    EXPECT_EQ(readAll(dir.file("HOME.DBF"))[28], '\x01');

    // A new expression replaces the tag; the file keeps exactly one.
    selectSortIndex(items, BuildSortString({11, 0, 0, 0}), SortIndexUse::Rebuild);
    // Money sorts as right-aligned text: blanks before the minus sign, so -20 comes after
    // amounts with fewer digits.
    EXPECT_EQ(walk(items), "Item 1,Item 3,Item 4,Item 2"); // 5, 20, -20, 100
    ASSERT_EQ(tags(items).size(), 1u);
    EXPECT_EQ(QString::fromStdString(tags(items)[0].expression), "STR(Cost,12,2)");

    // The order survives closing and reopening (pack and rebuild do that).
    items.close();
    items.open();
    EXPECT_EQ(walk(items), "Item 1,Item 3,Item 4,Item 2");
}

TEST(SortIndex, ATableWithoutTheTagOpensInRecordOrder) {
    TestDir dir;
    ItemTable items;
    fill(dir, items, {{"b", 1}, {"a", 2}});
    selectSortIndex(items, BuildSortString({12, 0, 0, 0}), SortIndexUse::Rebuild);
    items.close();

    // Switching to a database whose index could not be rebuilt (someone held it open).
    ScriptedPrompter p;
    ASSERT_TRUE(MakeNewDB(dir.file("OTHER.DBF"), p));
    items.setPaths(DatabasePaths::forTable(dir.file("OTHER.DBF")));
    items.open();
    EXPECT_TRUE(items.indexName().isEmpty());
    EXPECT_EQ(walk(items), "");
}

TEST(SortIndex, StartUpReusesOnlyATagThatStillMatches) {
    TestDir dir;
    ItemTable items;
    fill(dir, items, {{"b", 1}, {"a", 2}});
    const QString byCategory = BuildSortString({12, 0, 0, 0});
    selectSortIndex(items, byCategory, SortIndexUse::Rebuild);
    const QByteArray built = readAll(dir.file("HOME.MDX"));

    items.close();
    items.open();
    selectSortIndex(items, byCategory, SortIndexUse::Reuse);
    EXPECT_EQ(readAll(dir.file("HOME.MDX")), built); // not rebuilt
    EXPECT_EQ(walk(items), "Item 2,Item 1");

    // A damaged tag is rebuilt rather than keeping the program from starting.
    items.close();
    {
        QFile mdx(dir.file("HOME.MDX"));
        ASSERT_TRUE(mdx.open(QIODevice::ReadWrite));
        mdx.seek(mdx.size() - 1024);
        mdx.write(QByteArray(1024, '\xFF'));
    }
    items.open();
    selectSortIndex(items, byCategory, SortIndexUse::Reuse);
    EXPECT_EQ(walk(items), "Item 2,Item 1");
    EXPECT_TRUE(items.table().checkIndexes().empty());

    selectSortIndex(items, BuildSortString({1, 0, 0, 0}), SortIndexUse::Reuse);
    EXPECT_EQ(walk(items), "Item 1,Item 2");
    EXPECT_EQ(QString::fromStdString(tags(items).at(0).expression), "Upper(Left(Item,80))");
}

TEST(SortIndex, ALeftOverIndexFileOfAReplacedTableIsWrittenOver) {
    TestDir dir;
    dir.copyFixture("foreign-mdx/TB.MDX", "HOME.MDX"); // not this table's index
    ItemTable items;
    fill(dir, items, {{"z", 1}, {"y", 2}});
    selectSortIndex(items, BuildSortString({12, 0, 0, 0}), SortIndexUse::Rebuild);
    EXPECT_EQ(walk(items), "Item 2,Item 1");
    ASSERT_EQ(tags(items).size(), 1u);
    EXPECT_EQ(QString::fromStdString(tags(items)[0].name).toUpper(), "NEWINDEX");
}

TEST(RebuildIndexes, AsksRegeneratesAndKeepsTheOrder) {
    TestDir dir;
    ItemTable items;
    fill(dir, items, {{"b", 1}, {"a", 2}, {"c", 3}});
    selectSortIndex(items, BuildSortString({12, 0, 0, 0}), SortIndexUse::Rebuild);

    int reapplied = 0;
    {
        ScriptedPrompter p;
        p.expectMessage("Confirm", kRebuildQuestion, MsgButton::No);
        EXPECT_FALSE(rebuildIndexes(items, p, [&] { ++reapplied; }));
    }
    {
        ItemTable otherCopy;
        otherCopy.setPaths(items.paths());
        otherCopy.open();
        ScriptedPrompter p;
        p.expectMessage("Confirm", kRebuildQuestion, MsgButton::Yes);
        p.expectMessage("Error", kRebuildFailure);
        EXPECT_FALSE(rebuildIndexes(items, p, [&] { ++reapplied; }));
        EXPECT_EQ(items.openMode(), dbase::OpenMode::Shared);
        EXPECT_EQ(walk(items), "Item 2,Item 1,Item 3");
    }
    ScriptedPrompter p;
    p.expectMessage("Confirm", kRebuildQuestion, MsgButton::Yes);
    EXPECT_TRUE(rebuildIndexes(items, p, [&] { ++reapplied; }));
    EXPECT_EQ(reapplied, 2);
    EXPECT_EQ(items.openMode(), dbase::OpenMode::Shared);
    EXPECT_TRUE(items.table().checkIndexes().empty());
    EXPECT_EQ(walk(items), "Item 2,Item 1,Item 3");

    // A damaged node of the index file is what the command is for.
    items.close();
    {
        QFile mdx(dir.file("HOME.MDX"));
        ASSERT_TRUE(mdx.open(QIODevice::ReadWrite));
        const qint64 size = mdx.size();
        mdx.seek(size - 1024); // the root node of this small tag
        mdx.write(QByteArray(1024, '\xFF'));
    }
    items.open();
    EXPECT_TRUE(items.indexProblem().contains("HOME.MDX")) << items.indexProblem().toStdString();
    EXPECT_EQ(walk(items), "Item 1,Item 2,Item 3"); // record order until repaired
    ScriptedPrompter again;
    again.expectMessage("Confirm", kRebuildQuestion, MsgButton::Yes);
    EXPECT_TRUE(rebuildIndexes(items, again, {}));
    EXPECT_TRUE(items.indexProblem().isEmpty());
    EXPECT_TRUE(items.table().checkIndexes().empty());
    EXPECT_EQ(walk(items), "Item 2,Item 1,Item 3");

    // Pack keeps the order as well.
    items.table().first();
    items.table().deleteRecord();
    ScriptedPrompter packing;
    packing.expectMessage("Confirm", kPackQuestion, MsgButton::Yes);
    EXPECT_TRUE(packDatabase(items, packing, {}));
    EXPECT_EQ(walk(items), "Item 1,Item 3");
}
