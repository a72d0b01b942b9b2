#include "session/inventory_session.h"
#include "items/database_ops.h"
#include "items/item_schema.h"
#include "items/sort_string.h"
#include "find/search_criteria.h"
#include "find/search_session.h"
#include "find/sort_order_ops.h"
#include "scripted_prompter.h"
#include "test_files.h"

#include "qstring_printer.h"

#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace {
namespace F = item_field;

struct Fixture {
    TestDir dir;
    ScriptedPrompter prompter;
    InventorySession session;
    int reapplied = 0;
    std::function<void()> reapply = [this] { ++reapplied; };
    QString path;

    Fixture() {
        path = dir.file(QStringLiteral("HOME.DBF"));
        EXPECT_TRUE(MakeNewDB(path, prompter));
        session.items.setPaths(DatabasePaths::forTable(path));
        session.items.open();
        session.db.sortKeys = {0, 0, 0, 0};
        add("tv", "sonar", "Video", 150, QDate(2020, 5, 1));
        add("radio", "Acme", "audio", -20, QDate(1999, 12, 31));
        add("lamp", "acme", "Light", 1200.5, QDate(2021, 1, 1));
        add("desk", "Zenith", "AUDIO", -300, QDate(2000, 1, 1));
        add("chair", "Brio", "light", 7, QDate(1998, 6, 30));
    }
    ~Fixture() { prompter.verifyDone(); }

    void add(const char* item, const char* brand, const char* category, double cost,
             const QDate& bought) {
        ItemTable& t = session.items;
        t.table().append();
        t.setText(F::Item, QString::fromLatin1(item));
        t.setText(F::Brand, QString::fromLatin1(brand));
        t.setText(F::Category, QString::fromLatin1(category));
        t.setFloating(F::Cost, cost);
        t.setDate(F::PurchDate, bought);
        t.table().post();
    }
    QStringList order() {
        QStringList names;
        dbase::Table& t = session.items.table();
        for (t.first(); !t.eof() && !t.isEmpty(); t.next())
            names << session.items.text(F::Item);
        return names;
    }
    SortOrderOutcome apply(std::array<int, 4> levels) {
        return applySortOrder(session, levels, prompter, reapply);
    }
    QString tagExpression() {
        dbase::Table& t = session.items.table();
        if (!t.hasIndex())
            return {};
        for (const auto& tag : t.indexTags())
            if (QString::fromStdString(tag.name).compare("NewIndex", Qt::CaseInsensitive) == 0)
                return QString::fromStdString(tag.expression);
        return {};
    }
    std::array<int, 4> storedLevels() {
        return loadDatabaseSettings(session.items.paths().settings, dir.file("NONE.INI")).sortKeys;
    }
};

} // namespace

TEST(SortOrder, BuildsNewIndexAndWritesTheLevels) {
    Fixture f;
    EXPECT_EQ(f.order(), QStringList({"tv", "radio", "lamp", "desk", "chair"}));

    // Text sorts without regard to case; equal keys keep record order.
    ASSERT_EQ(f.apply({F::Category, 0, 0, 0}), SortOrderOutcome::Applied);
    EXPECT_EQ(f.session.sortExpression, "Upper(Left(Category,80))");
    EXPECT_EQ(f.tagExpression().toUpper(), "UPPER(LEFT(CATEGORY,80))");
    EXPECT_EQ(f.order(), QStringList({"radio", "desk", "lamp", "chair", "tv"}));
    EXPECT_EQ(f.session.items.openMode(), dbase::OpenMode::Shared);
    EXPECT_EQ(f.reapplied, 1);
    EXPECT_EQ(f.storedLevels(), (std::array<int, 4>{F::Category, 0, 0, 0}));

    // Money sorts as right-aligned text of twelve characters, so a minus sign sorts among
    // the digits; dates sort chronologically.
    ASSERT_EQ(f.apply({F::Cost, 0, 0, 0}), SortOrderOutcome::Applied);
    EXPECT_EQ(f.session.sortExpression, "STR(Cost,12,2)");
    EXPECT_EQ(f.order(), QStringList({"chair", "radio", "tv", "desk", "lamp"}));
    ASSERT_EQ(f.apply({F::PurchDate, 0, 0, 0}), SortOrderOutcome::Applied);
    EXPECT_EQ(f.order(), QStringList({"chair", "radio", "desk", "tv", "lamp"}));

    // Four text levels take 20 characters each; the same field twice is allowed.
    ASSERT_EQ(f.apply({F::Category, F::Brand, F::Item, F::Category}), SortOrderOutcome::Applied);
    EXPECT_EQ(f.session.sortExpression,
              "Upper(Left(Category,20))+Upper(Left(Brand,20))+Upper(Left(Item,20))+"
              "Upper(Left(Category,20))");
    EXPECT_EQ(f.order(), QStringList({"radio", "desk", "lamp", "chair", "tv"}));
    EXPECT_EQ(f.storedLevels(), (std::array<int, 4>{F::Category, F::Brand, F::Item, F::Category}));

    // The order stays with records added afterwards, and through a reopening.
    f.session.items.close();
    f.session.items.open();
    EXPECT_EQ(f.order().first(), "radio");
    f.add("sofa", "Acme", "Living", 1, QDate(2020, 1, 1));
    EXPECT_EQ(f.order(), QStringList({"radio", "desk", "lamp", "chair", "sofa", "tv"}));

    // All four at none: record order, and the settings say so.
    ASSERT_EQ(f.apply({0, 0, 0, 0}), SortOrderOutcome::Applied);
    EXPECT_EQ(f.session.sortExpression, "");
    EXPECT_EQ(f.order(), QStringList({"tv", "radio", "lamp", "desk", "chair", "sofa"}));
    EXPECT_EQ(f.storedLevels(), (std::array<int, 4>{0, 0, 0, 0}));
    f.session.items.close();
    f.session.items.open();
    EXPECT_EQ(f.order().first(), "tv");
}

TEST(SortOrder, NoFieldsOnAFreshTableAddsNoIndex) {
    Fixture f;
    ASSERT_EQ(f.apply({0, 0, 0, 0}), SortOrderOutcome::Applied);
    EXPECT_FALSE(f.session.items.table().hasIndex());
    EXPECT_FALSE(QFile::exists(f.dir.file("HOME.MDX")));
    EXPECT_EQ(f.order(), QStringList({"tv", "radio", "lamp", "desk", "chair"}));
}

TEST(SortOrder, AnIndexWithoutTheTagGetsItAdded) {
    Fixture f;
    f.session.items.close();
    f.session.items.open(dbase::OpenMode::Exclusive);
    f.session.items.table().addIndex("ITEMS", "ITEM");
    f.session.items.close();
    f.session.items.open();
    ASSERT_EQ(f.apply({F::Brand, 0, 0, 0}), SortOrderOutcome::Applied);
    EXPECT_EQ(f.order(), QStringList({"radio", "lamp", "chair", "tv", "desk"}));
    EXPECT_EQ(f.session.items.table().indexTags().size(), 2u);
}

TEST(SortOrder, ATableHeldByAnotherProgramChangesNothing) {
    Fixture f;
    ASSERT_EQ(f.apply({F::Brand, 0, 0, 0}), SortOrderOutcome::Applied);
    const QByteArray settingsBefore = [&] {
        QFile file(f.session.items.paths().settings);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }();

    dbase::Table other; // opened shared, like a second copy of the program
    other.openFile(f.path.toStdString());
    f.prompter.expectMessage(
        "Error", "Creating a new sort order requires exclusive use of the DBase File.  Make sure "
                 "that the DBase File is not in use by another program  or that no other users "
                 "are running the software or that no other copies of the software are in use.");
    EXPECT_EQ(f.apply({F::Category, 0, 0, 0}), SortOrderOutcome::InUse);
    EXPECT_EQ(f.session.db.sortKeys, (std::array<int, 4>{F::Brand, 0, 0, 0}));
    EXPECT_EQ(f.session.sortExpression, "Upper(Left(Brand,80))");
    EXPECT_TRUE(f.session.items.isOpen());
    EXPECT_EQ(f.session.items.openMode(), dbase::OpenMode::Shared);
    EXPECT_EQ(f.order(), QStringList({"radio", "lamp", "chair", "tv", "desk"}));
    QFile file(f.session.items.paths().settings);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), settingsBefore);
    other.close();
}

TEST(SortOrder, AFailurePutsTheLevelsAndTheOrderBack) {
    Fixture f;
    ASSERT_EQ(f.apply({F::Brand, 0, 0, 0}), SortOrderOutcome::Applied);
    // The settings file cannot be written: a directory stands in its place.
    ASSERT_TRUE(QFile::remove(f.session.items.paths().settings));
    ASSERT_TRUE(QDir().mkdir(f.session.items.paths().settings));
    f.reapplied = 0;
    f.prompter.expectMessage("Error",
                             "Error in implementing sort order.  New sort order not implemented.");
    EXPECT_EQ(f.apply({F::Cost, 0, 0, 0}), SortOrderOutcome::Failed);
    EXPECT_EQ(f.session.db.sortKeys, (std::array<int, 4>{F::Brand, 0, 0, 0}));
    EXPECT_EQ(f.session.sortExpression, "Upper(Left(Brand,80))");
    EXPECT_EQ(f.session.items.openMode(), dbase::OpenMode::Shared);
    EXPECT_EQ(f.reapplied, 1);
    // The viewer keeps the order the levels name, and so will the next start.
    EXPECT_EQ(f.tagExpression().toUpper(), "UPPER(LEFT(BRAND,80))");
    EXPECT_EQ(f.order(), QStringList({"radio", "lamp", "chair", "tv", "desk"}));
}

TEST(SortOrder, AnActiveSearchStaysInForce) {
    Fixture f;
    SearchItem item;
    item.field = F::Brand;
    item.text = "ACME";
    item.endOfLevel = true;
    ASSERT_TRUE(applySearch(f.session, {item}, f.reapply));
    ASSERT_EQ(f.apply({F::Cost, 0, 0, 0}), SortOrderOutcome::Applied);
    EXPECT_TRUE(f.session.searchOn);
    EXPECT_EQ(f.order(), QStringList({"radio", "lamp"})); // -20.00 before 1200.50
    EXPECT_EQ(f.session.items.table().countVisible(), 2u);

    // A new search and End Search reopen the table, and the order stays.
    item.text = "O";
    ASSERT_TRUE(applySearch(f.session, {item}, f.reapply));
    EXPECT_EQ(f.order(), QStringList({"chair", "tv"}));
    endSearch(f.session, f.reapply);
    EXPECT_EQ(f.order(), QStringList({"chair", "radio", "tv", "desk", "lamp"}));
}
