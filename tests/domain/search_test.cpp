#include "session/inventory_session.h"
#include "items/database_ops.h"
#include "items/database_paths.h"
#include "items/item_schema.h"
#include "find/search_criteria.h"
#include "find/search_session.h"
#include "scripted_prompter.h"
#include "test_files.h"

#include "qstring_printer.h"

#include <gtest/gtest.h>

#include <random>

namespace {
namespace F = item_field;

struct Rec {
    QString item;
    QString brand;
    QString owner;
    std::optional<double> cost;
    std::optional<QDate> bought;
    std::optional<int> quantity;
    QString category;
};

// An item table made the way the program makes one, holding the given records.
struct Inventory {
    TestDir dir;
    ScriptedPrompter prompter;
    InventorySession session;
    int reapplied = 0;
    std::function<void()> reapply = [this] { ++reapplied; };

    Inventory() {
        const QString path = dir.file(QStringLiteral("HOME.DBF"));
        EXPECT_TRUE(MakeNewDB(path, prompter));
        session.items.setPaths(DatabasePaths::forTable(path));
        session.items.open();
    }
    void add(const Rec& r) {
        ItemTable& t = session.items;
        t.table().append();
        t.setText(F::Item, r.item);
        t.setText(F::Brand, r.brand);
        t.setText(F::Owner, r.owner);
        t.setText(F::Category, r.category);
        if (r.cost)
            t.setFloating(F::Cost, *r.cost);
        t.setDate(F::PurchDate, r.bought);
        if (r.quantity)
            t.setInteger(F::Quantity, *r.quantity);
        t.table().post();
    }
    // Items of the records the item table shows, in walking order.
    QStringList shown() {
        QStringList names;
        dbase::Table& t = session.items.table();
        for (t.first(); !t.eof() && !t.isEmpty(); t.next())
            names << session.items.text(F::Item);
        return names;
    }
    // Items of the records the criteria would pick, without switching a search on.
    QStringList picked(const SearchItems& items) {
        session.items.table().setFilter(BuildFilter(items, session.items));
        QStringList names = shown();
        session.items.table().clearFilter();
        return names;
    }
};

std::array<QString, kSearchRows> noCells() {
    return {};
}
std::array<RowOperator, kSearchRows> equalsEverywhere() {
    std::array<RowOperator, kSearchRows> ops;
    ops.fill(RowOperator::Equals);
    return ops;
}

DateFormat mdy() {
    return DateFormat{QLatin1Char('/'), QStringLiteral("mm/dd/yyyy")};
}

// One level from (row, cell) pairs; the operators given per row, equals elsewhere.
SaveResult saveLevel(SearchCriteria& c, std::initializer_list<std::pair<int, QString>> cells,
                     std::initializer_list<std::pair<int, RowOperator>> ops = {},
                     const DateFormat& dates = mdy()) {
    auto grid = noCells();
    for (const auto& [row, text] : cells)
        grid[size_t(row - 1)] = text;
    auto operators = equalsEverywhere();
    for (const auto& [row, op] : ops)
        operators[size_t(row - 1)] = op;
    return SaveFields(c, grid, operators, dates);
}

SearchItems itemsOf(std::initializer_list<std::initializer_list<std::pair<int, QString>>> levels,
                    std::initializer_list<std::pair<int, RowOperator>> ops = {}) {
    SearchCriteria c;
    for (const auto& level : levels) {
        const SaveResult r = saveLevel(c, level, ops);
        EXPECT_EQ(r.outcome, SaveOutcome::Saved);
    }
    return c.items;
}

} // namespace

TEST(SearchRows, KindsOptionCellsAndMasks) {
    EXPECT_EQ(searchRowKind(F::Item), RowKind::Text);
    EXPECT_EQ(searchRowKind(F::Quantity), RowKind::Numeric);
    EXPECT_EQ(searchRowKind(F::Value), RowKind::Numeric);
    EXPECT_EQ(searchRowKind(F::PurchDate), RowKind::Date);
    EXPECT_EQ(searchRowKind(F::WarDate), RowKind::Date);

    // Option cells: operator rows, the five list rows and Warranty; nothing else.
    std::vector<int> withOption;
    for (int row = 0; row <= 23; ++row)
        if (hasOptionCell(row))
            withOption.push_back(row);
    EXPECT_EQ(withOption, (std::vector<int>{2, 5, 7, 9, 10, 11, 12, 13, 14, 15, 17, 18}));
    EXPECT_EQ(searchRowLookupList(F::BoughtFrom), 3);
    EXPECT_EQ(searchRowLookupList(F::Owner), 5);
    EXPECT_EQ(searchRowLookupList(F::Warranty), 0);
    EXPECT_TRUE(hasYesNoChoices(F::Warranty));

    EXPECT_EQ(criterionMask(F::Descriptio, RowOperator::Range, '/'), "");
    EXPECT_EQ(criterionMaxLength(F::Descriptio), 110);
    EXPECT_EQ(criterionMaxLength(F::Warranty), 3);
    EXPECT_EQ(criterionMask(F::Cost, RowOperator::Equals, '/'), "= xxxxxxxxx;_");
    EXPECT_EQ(criterionMask(F::Cost, RowOperator::Less, '/'), "\\< xxxxxxxxx;_");
    // The upper side of a number range has one place fewer.
    EXPECT_EQ(criterionMask(F::Quantity, RowOperator::Range, '/'),
              "\\> xxxxxxxxx \\A\\N\\D \\< xxxxxxxx;_");
    EXPECT_EQ(criterionMask(F::PurchDate, RowOperator::Greater, '-'), "\\> 00\\-00\\-9999;_");
    EXPECT_EQ(criterionMask(F::WarDate, RowOperator::Range, '.'),
              "\\> 00\\.00\\.9999 \\A\\N\\D \\< 00\\.00\\.9999;_");
}

TEST(SearchCriteria, PlainDecimalReader) {
    EXPECT_EQ(readPlainDecimal(u"150"), 150.0);
    EXPECT_EQ(readPlainDecimal(u"  -2.5 "), -2.5);
    EXPECT_EQ(readPlainDecimal(u"+7"), 7.0);
    EXPECT_EQ(readPlainDecimal(u"1.5e3"), 1500.0);
    EXPECT_EQ(readPlainDecimal(u".5"), 0.5);
    EXPECT_EQ(readPlainDecimal(u"0.1"), 0.1);
    for (const char16_t* bad : {u"", u"-", u"1,000", u"$100", u"100$", u"1e", u"1.2.3", u"12 3",
                                u"inf", u"nan", u"0x10", u"1e999", u"\u0661"})
        EXPECT_FALSE(readPlainDecimal(bad)) << QString::fromUtf16(bad).toStdString();
}

TEST(SearchCriteria, SavingALevelReadsEachRowKind) {
    SearchCriteria c;
    const SaveResult r =
        saveLevel(c,
                  {{F::Brand, QStringLiteral("  son ")},
                   {F::Cost, QStringLiteral("> 100 AND < 200")},
                   {F::Quantity, QStringLiteral("< 3")},
                   {F::PurchDate, QStringLiteral("= 05/01/2020")},
                   {F::WarDate, QStringLiteral("> //AND < //")}, // untouched range: nothing
                   {F::RepCost, QStringLiteral("=")},            // untouched number: nothing
                   {F::Owner, QStringLiteral("   ")}},
                  {{F::Cost, RowOperator::Range},
                   {F::Quantity, RowOperator::Less},
                   {F::WarDate, RowOperator::Range}});
    ASSERT_EQ(r.outcome, SaveOutcome::Saved);
    ASSERT_EQ(c.items.size(), 5u);

    EXPECT_EQ(c.items[0].field, F::Brand);
    EXPECT_EQ(c.items[0].text, "SON");
    EXPECT_EQ(c.items[0].kind, SearchKind::Contains);
    EXPECT_EQ(c.items[1].field, F::Quantity);
    EXPECT_EQ(c.items[1].kind, SearchKind::Less);
    EXPECT_EQ(c.items[1].number, 3.0);
    EXPECT_EQ(c.items[2].field, F::PurchDate);
    EXPECT_TRUE(c.items[2].isDate);
    EXPECT_EQ(c.items[2].date, QDate(2020, 5, 1));
    EXPECT_EQ(c.items[2].text, "43952"); // the day number, kept but not matched on
    EXPECT_EQ(c.items[3].kind, SearchKind::Greater);
    EXPECT_EQ(c.items[3].number, 100.0);
    EXPECT_EQ(c.items[3].text, "100");
    EXPECT_EQ(c.items[4].kind, SearchKind::Less);
    EXPECT_EQ(c.items[4].number, 200.0);
    for (size_t i = 0; i < 4; ++i)
        EXPECT_FALSE(c.items[i].endOfLevel);
    EXPECT_TRUE(c.items[4].endOfLevel);

    // Dates are read in the current format and with its separator only.
    SearchCriteria d;
    const DateFormat dmy{QLatin1Char('-'), QStringLiteral("dd/mm/yy")};
    EXPECT_EQ(saveLevel(d, {{F::PurchDate, QStringLiteral("= 01-05-2020")}}, {}, dmy).outcome,
              SaveOutcome::Saved);
    EXPECT_EQ(d.items[0].date, QDate(2020, 5, 1));
    EXPECT_EQ(saveLevel(d, {{F::PurchDate, QStringLiteral("= 01/05/2020")}}, {}, dmy).outcome,
              SaveOutcome::Invalid);
    // Untouched slots with any of the three separators add nothing.
    for (const char* slot : {"= //", "= --", "= ..", "= __/__/____", "=   /  /    "})
        EXPECT_EQ(saveLevel(d, {{F::WarDate, QString::fromLatin1(slot)}}, {}, dmy).outcome,
                  SaveOutcome::NoCriteria)
            << slot;
}

TEST(SearchCriteria, FailuresKeepEarlierLevelsAndNameTheRow) {
    SearchCriteria c;
    ASSERT_EQ(saveLevel(c, {{F::Brand, QStringLiteral("x")}}).outcome, SaveOutcome::Saved);
    const std::pair<int, QString> bad[] = {
        {F::Cost, QStringLiteral("= 1,000")},
        {F::Cost, QStringLiteral("= $100")},
        {F::Value, QStringLiteral("= 12abc")},
        {F::PurchDate, QStringLiteral("= 13/45/2020")},
        {F::PurchDate, QStringLiteral("= 12//2020")},
    };
    for (const auto& [row, text] : bad) {
        // A good row before the bad one is discarded with the level.
        const SaveResult r = saveLevel(c, {{F::Item, QStringLiteral("lamp")}, {row, text}});
        EXPECT_EQ(r.outcome, SaveOutcome::Invalid) << text.toStdString();
        EXPECT_EQ(r.row, row);
        ASSERT_EQ(c.items.size(), 1u);
        EXPECT_EQ(c.items[0].text, "X");
    }
    // A range with one side typed is refused; both sides empty adds nothing.
    for (const char* cell : {"> 100 AND <", "> AND < 200", ">100AND<"}) {
        const SaveResult r =
            saveLevel(c, {{F::Cost, QString::fromLatin1(cell)}}, {{F::Cost, RowOperator::Range}});
        EXPECT_EQ(r.outcome, SaveOutcome::Invalid) << cell;
        EXPECT_EQ(r.row, F::Cost);
    }
    EXPECT_EQ(saveLevel(c, {{F::PurchDate, QStringLiteral("> 01/01/2020 AND < //")}},
                        {{F::PurchDate, RowOperator::Range}})
                  .outcome,
              SaveOutcome::Invalid);
    EXPECT_EQ(saveLevel(c, {{F::Cost, QStringLiteral("> AND <")}}, {{F::Cost, RowOperator::Range}})
                  .outcome,
              SaveOutcome::NoCriteria);
    EXPECT_EQ(saveLevel(c, {}).outcome, SaveOutcome::NoCriteria);
    EXPECT_EQ(c.items.size(), 1u);
    EXPECT_TRUE(c.items[0].endOfLevel);
}

TEST(SearchCriteria, SeventyFiveItemsFitTheSeventySixthClearsAll) {
    // A full level: 16 text rows, four number ranges and two date ranges = 28 items.
    std::initializer_list<std::pair<int, QString>> full = {{1, "a"},
                                                           {2, "a"},
                                                           {3, "a"},
                                                           {4, "a"},
                                                           {5, "a"},
                                                           {6, "a"},
                                                           {7, "a"},
                                                           {8, "a"},
                                                           {12, "a"},
                                                           {14, "a"},
                                                           {16, "a"},
                                                           {17, "a"},
                                                           {19, "a"},
                                                           {20, "a"},
                                                           {21, "a"},
                                                           {22, "a"},
                                                           {9, "> 1 AND < 2"},
                                                           {11, "> 1 AND < 2"},
                                                           {13, "> 1 AND < 2"},
                                                           {18, "> 1 AND < 2"},
                                                           {10, "> 01/01/2000 AND < 01/01/2001"},
                                                           {15, "> 01/01/2000 AND < 01/01/2001"}};
    std::initializer_list<std::pair<int, RowOperator>> ranges = {
        {9, RowOperator::Range},  {10, RowOperator::Range}, {11, RowOperator::Range},
        {13, RowOperator::Range}, {15, RowOperator::Range}, {18, RowOperator::Range}};
    SearchCriteria c;
    ASSERT_EQ(saveLevel(c, full, ranges).outcome, SaveOutcome::Saved);
    ASSERT_EQ(saveLevel(c, full, ranges).outcome, SaveOutcome::Saved);
    ASSERT_EQ(c.items.size(), 56u);
    // 19 text rows more make exactly 75.
    ASSERT_EQ(saveLevel(c, {{1, "b"},
                            {2, "b"},
                            {3, "b"},
                            {4, "b"},
                            {5, "b"},
                            {6, "b"},
                            {7, "b"},
                            {8, "b"},
                            {12, "b"},
                            {14, "b"},
                            {16, "b"},
                            {17, "b"},
                            {19, "b"},
                            {20, "b"},
                            {21, "b"},
                            {22, "b"},
                            {9, "= 1"},
                            {11, "= 1"},
                            {13, "= 1"}})
                  .outcome,
              SaveOutcome::Saved);
    EXPECT_EQ(c.items.size(), 75u);
    c.level = 4;
    EXPECT_EQ(saveLevel(c, {{F::Item, QStringLiteral("c")}}).outcome, SaveOutcome::Overflow);
    EXPECT_TRUE(c.items.empty());
    EXPECT_EQ(c.level, 1);

    // The overflow can come in the middle of a range, too.
    SearchCriteria d;
    ASSERT_EQ(saveLevel(d, full, ranges).outcome, SaveOutcome::Saved);
    ASSERT_EQ(saveLevel(d, full, ranges).outcome, SaveOutcome::Saved);
    auto nineteen = noCells();
    for (int row : {1, 2, 3, 4, 5, 6, 7, 8, 12, 14, 16, 17, 19, 20, 21, 22, 9, 13})
        nineteen[size_t(row - 1)] = QStringLiteral("= 1");
    nineteen[size_t(F::Item - 1)] = QStringLiteral("zz");
    nineteen[size_t(F::Cost - 1)] = QStringLiteral("> 5 AND < 6"); // items 75 and 76
    auto ops = equalsEverywhere();
    ops[size_t(F::Cost - 1)] = RowOperator::Range;
    EXPECT_EQ(SaveFields(d, nineteen, ops, mdy()).outcome, SaveOutcome::Overflow);
    EXPECT_TRUE(d.items.empty());
}

TEST(SearchPredicate, LevelsContainsAndExclusiveRanges) {
    Inventory inv;
    inv.add({"tv", "Sonar", "Ann", 150, QDate(2020, 5, 1), 1, "Video"});
    inv.add({"radio", "PARSONS", "Bob", 100, QDate(2019, 12, 31), 2, "Audio"});
    inv.add({"lamp", "mason", "Y", 200, QDate(2020, 1, 1), 3, "Light"});
    inv.add({"desk", "Acme", "Y", 99.99, std::nullopt, std::nullopt, "Office"});
    inv.add({"chair", "", "", std::nullopt, QDate(2021, 6, 30), 0, ""});
    inv.add({"sofa", "Sony", "Ann", -150, QDate(2020, 1, 2), 1, "Living"});

    // Case-blind substring.
    EXPECT_EQ(inv.picked(itemsOf({{{F::Brand, "son"}}})),
              QStringList({"tv", "radio", "lamp", "sofa"}));
    // Exclusive bounds; equals is exact; a blank cost matches no number.
    EXPECT_EQ(
        inv.picked(itemsOf({{{F::Cost, "> 100 AND < 200"}}}, {{F::Cost, RowOperator::Range}})),
        QStringList({"tv"}));
    EXPECT_EQ(inv.picked(itemsOf({{{F::Cost, "= 100"}}})), QStringList({"radio"}));
    EXPECT_EQ(inv.picked(itemsOf({{{F::Cost, "= 99.99"}}})), QStringList({"desk"}));
    EXPECT_EQ(inv.picked(itemsOf({{{F::Cost, "< 100"}}}, {{F::Cost, RowOperator::Less}})),
              QStringList({"desk", "sofa"}));
    EXPECT_EQ(inv.picked(itemsOf({{{F::Quantity, "< 1"}}}, {{F::Quantity, RowOperator::Less}})),
              QStringList({"chair"}));
    // Dates: exclusive range, chronological across years; a blank date matches nothing.
    EXPECT_EQ(inv.picked(itemsOf({{{F::PurchDate, "> 12/31/2019 AND < 05/01/2020"}}},
                                 {{F::PurchDate, RowOperator::Range}})),
              QStringList({"lamp", "sofa"}));
    EXPECT_EQ(inv.picked(
                  itemsOf({{{F::PurchDate, "< 01/01/2100"}}}, {{F::PurchDate, RowOperator::Less}})),
              QStringList({"tv", "radio", "lamp", "chair", "sofa"}));
    EXPECT_EQ(inv.picked(itemsOf({{{F::PurchDate, "= 06/30/2021"}}})), QStringList({"chair"}));
    // AND within a level, OR across levels.
    EXPECT_EQ(inv.picked(itemsOf({{{F::Brand, "son"}, {F::Owner, "ann"}}})),
              QStringList({"tv", "sofa"}));
    EXPECT_EQ(inv.picked(itemsOf({{{F::Brand, "acme"}}, {{F::Owner, "bob"}}})),
              QStringList({"radio", "desk"}));
    // A failing first level does not spoil the second; a failed item ends only its level.
    EXPECT_EQ(inv.picked(itemsOf({{{F::Brand, "nomatch"}, {F::Owner, "Y"}},
                                  {{F::Owner, "Y"}, {F::Category, "off"}}})),
              QStringList({"desk"}));
    // An empty field never contains anything.
    EXPECT_EQ(inv.picked(itemsOf({{{F::UserDef1, "a"}}})), QStringList());
    // No items: nothing passes.
    EXPECT_EQ(inv.picked({}), QStringList());
}

TEST(SearchPredicate, UpperCaseFollowsTheCodePage) {
    Inventory inv;
    inv.add({QStringLiteral("café table"), "", "", {}, {}, {}, ""});
    inv.add({QStringLiteral("CAFÉ CHAIR"), "", "", {}, {}, {}, ""});
    inv.add({QStringLiteral("cafe stool"), "", "", {}, {}, {}, ""});
    inv.add({QStringLiteral("Straße sign"), "", "", {}, {}, {}, ""});
    EXPECT_EQ(inv.picked(itemsOf({{{F::Item, QStringLiteral("Café")}}})),
              QStringList({QStringLiteral("café table"), QStringLiteral("CAFÉ CHAIR")}));
    EXPECT_EQ(inv.picked(itemsOf({{{F::Item, QStringLiteral("straße")}}})),
              QStringList({QStringLiteral("Straße sign")}));
    // A character the table cannot hold is in no record, and is no error.
    EXPECT_EQ(inv.picked(itemsOf({{{F::Item, QStringLiteral("caf\u4e00")}}})), QStringList());
    EXPECT_EQ(inv.picked(itemsOf({{{F::Item, QStringLiteral("caf\u4e00")}}, {{F::Item, "stool"}}})),
              QStringList({"cafe stool"}));
}

// The compiled predicate against a plain reading of the rules through the item table's own
// accessors, over random records and random criteria.
TEST(SearchPredicate, AgreesWithThePlainReadingOfTheRules) {
    Inventory inv;
    std::mt19937 rng(97);
    const QStringList brands = {"Sonar", "PARSONS", "mason", "Acme", "", "sony", "ACME co"};
    const auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    for (int i = 0; i < 300; ++i) {
        Rec r;
        r.item = QStringLiteral("item %1").arg(i);
        r.brand = brands[pick(brands.size())];
        r.owner = pick(3) ? QStringLiteral("Ann") : QString();
        if (pick(5))
            r.cost = pick(40) * 12.5 - 50;
        if (pick(4))
            r.bought = QDate(2019, 1, 1).addDays(pick(900));
        if (pick(3))
            r.quantity = pick(5);
        inv.add(r);
    }
    const auto holds = [&](const SearchItem& item) {
        ItemTable& t = inv.session.items;
        if (item.kind == SearchKind::Contains) {
            const QString v = t.text(item.field).toUpper();
            return !v.isEmpty() && v.contains(item.text);
        }
        double v = 0;
        double want = item.number;
        if (item.isDate) {
            const auto d = t.date(item.field);
            if (!d)
                return false;
            v = double(d->toJulianDay());
            want = double(item.date.toJulianDay());
        } else {
            const auto f = t.floating(item.field);
            if (!f)
                return false;
            v = *f;
        }
        return item.kind == SearchKind::Equals    ? v == want
               : item.kind == SearchKind::Greater ? v > want
                                                  : v < want;
    };
    const auto reference = [&](const SearchItems& items) {
        QStringList names;
        dbase::Table& t = inv.session.items.table();
        for (t.first(); !t.eof() && !t.isEmpty(); t.next()) {
            bool ok = true;
            bool result = false;
            for (const SearchItem& item : items) {
                ok = ok && holds(item);
                if (item.endOfLevel) {
                    if (ok) {
                        result = true;
                        break;
                    }
                    ok = true;
                }
            }
            if (result)
                names << inv.session.items.text(F::Item);
        }
        return names;
    };
    const QStringList texts = {"son", "AC", "o", "ann", "zz"};
    const QStringList numbers = {"= 100", "> 0", "< 25", "> -50 AND < 150", "= 12.5"};
    const QStringList dates = {"> 01/01/2020", "< 06/01/2019", "> 01/01/2019 AND < 03/01/2020"};
    for (int round = 0; round < 60; ++round) {
        SearchCriteria c;
        const int levels = 1 + pick(3);
        for (int l = 0; l < levels; ++l) {
            auto cells = noCells();
            auto ops = equalsEverywhere();
            if (pick(2))
                cells[F::Brand - 1] = texts[pick(texts.size())];
            if (pick(2))
                cells[F::Owner - 1] = texts[pick(texts.size())];
            const QString n = numbers[pick(numbers.size())];
            cells[F::Cost - 1] = n;
            ops[F::Cost - 1] = n.contains("AND") ? RowOperator::Range
                               : n[0] == '>'     ? RowOperator::Greater
                               : n[0] == '<'     ? RowOperator::Less
                                                 : RowOperator::Equals;
            if (pick(2)) {
                const QString d = dates[pick(dates.size())];
                cells[F::PurchDate - 1] = d;
                ops[F::PurchDate - 1] = d.contains("AND") ? RowOperator::Range
                                        : d[0] == '>'     ? RowOperator::Greater
                                                          : RowOperator::Less;
            }
            ASSERT_EQ(SaveFields(c, cells, ops, mdy()).outcome, SaveOutcome::Saved);
        }
        EXPECT_EQ(inv.picked(c.items), reference(c.items)) << "round " << round;
    }
}

TEST(SearchSession, ApplyingAndEndingASearch) {
    Inventory inv;
    inv.add({"tv", "Sonar", "Ann", 150, {}, {}, ""});
    inv.add({"radio", "Acme", "Bob", 100, {}, {}, ""});
    inv.add({"lamp", "Acme", "Ann", 20, {}, {}, ""});
    dbase::Table& t = inv.session.items.table();

    EXPECT_TRUE(applySearch(inv.session, itemsOf({{{F::Owner, "ann"}}}), inv.reapply));
    EXPECT_TRUE(inv.session.searchOn);
    EXPECT_EQ(t.countVisible(), 2u);
    EXPECT_EQ(inv.shown(), QStringList({"tv", "lamp"}));
    EXPECT_EQ(inv.reapplied, 0);

    // A new search while one is on replaces it, after reopening the table.
    EXPECT_TRUE(applySearch(inv.session, itemsOf({{{F::Brand, "acme"}}}), inv.reapply));
    EXPECT_EQ(inv.reapplied, 1);
    EXPECT_EQ(inv.shown(), QStringList({"radio", "lamp"}));
    // The filter stays in force through a close and reopen (Update Database does that).
    inv.session.items.close();
    inv.session.items.open();
    EXPECT_EQ(t.countVisible(), 2u);

    // A search nothing matches ends the search: every record shows again.
    EXPECT_FALSE(applySearch(inv.session, itemsOf({{{F::Brand, "nothing"}}}), inv.reapply));
    EXPECT_FALSE(inv.session.searchOn);
    EXPECT_FALSE(t.hasFilter());
    EXPECT_TRUE(t.isOpen());
    EXPECT_EQ(inv.shown(), QStringList({"tv", "radio", "lamp"}));

    EXPECT_TRUE(applySearch(inv.session, itemsOf({{{F::Cost, "= 20"}}}), inv.reapply));
    EXPECT_EQ(t.countVisible(), 1u);
    endSearch(inv.session, inv.reapply);
    EXPECT_FALSE(inv.session.searchOn);
    EXPECT_EQ(t.countVisible(), 3u);
    EXPECT_EQ(t.openMode(), dbase::OpenMode::Shared);

    // A database switch drops the search without reopening the old table.
    EXPECT_TRUE(applySearch(inv.session, itemsOf({{{F::Cost, "= 20"}}}), inv.reapply));
    const int before = inv.reapplied;
    switchSearchOff(inv.session);
    EXPECT_FALSE(inv.session.searchOn);
    EXPECT_FALSE(t.hasFilter());
    EXPECT_EQ(inv.reapplied, before);
}
