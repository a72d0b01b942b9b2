#include "edit/record_editor_rules.h"

#include "formats/date_format.h"
#include "lists/lookup_lists.h"
#include "items/database_ops.h"
#include "items/item_schema.h"
#include "items/item_table.h"
#include "formats/value_format.h"
#include "qstring_printer.h"
#include "scripted_prompter.h"
#include "test_files.h"

#include <QFile>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <gtest/gtest.h>

namespace {
using C = EditorControl;
namespace f = item_field;

const QDate kToday(2026, 12, 8);

DateFormat format(int number, bool zeros = false) {
    return *numberedDateFormat(number, zeros);
}

NumberFormatter usNumbers() {
    return NumberFormatter(RegionalSettings{}, kUsFormat, kUsFormat);
}

NumberFormatter germanNumbers(int currency = kRegionalFormat, int numeric = kRegionalFormat) {
    return NumberFormatter(RegionalSettings{QLatin1Char(','), QLatin1Char('.'), 2}, currency,
                           numeric);
}

// A new, empty item table in a temporary directory, open shared.
struct TableFixture {
    TestDir dir;
    ScriptedPrompter prompter;
    QString path;
    ItemTable items;
    TableFixture() {
        path = dir.file("HOME.DBF");
        EXPECT_TRUE(MakeNewDB(path, prompter));
        items.setPaths(DatabasePaths::forTable(path));
        items.open();
    }
};

// Reads the table file with a table object of its own, so what is checked is what was written.
struct FileReader {
    dbase::Table table;
    explicit FileReader(const QString& path) {
        table.openFile(path.toStdString(), dbase::OpenMode::ReadOnly);
        table.first();
    }
    std::string text(const char* field) { return table.fieldText(field); }
};

std::variant<CheckedEntry, EntryProblem> check(const EditorValues& v, const ItemTable& items,
                                               const NumberFormatter& numbers = usNumbers(),
                                               const DateFormat& dates = format(1)) {
    return checkEntry(v, dates, numbers, items, kToday);
}

std::optional<EntryProblem> problemOf(const std::variant<CheckedEntry, EntryProblem>& r) {
    if (const auto* p = std::get_if<EntryProblem>(&r))
        return *p;
    return std::nullopt;
}

} // namespace

TEST(RecordEditorRules, DateBoxesShowFullDatesInTheOrderAndSeparatorOfTheFormat) {
    const QDate d(1997, 12, 31);
    const DateBoxFormat us = dateBoxFormat(format(1));
    EXPECT_EQ(us.inputMask, "00/00/0000;_");
    EXPECT_EQ(us.blankText, "  /  /    ");
    EXPECT_EQ(us.format(d), "12/31/1997");
    EXPECT_EQ(us.format(QDate(2003, 1, 5)), "01/05/2003"); // always fills the mask

    const DateBoxFormat dashes = dateBoxFormat(format(5));
    EXPECT_EQ(dashes.inputMask, "00-00-0000;_");
    EXPECT_EQ(dashes.blankText, "  -  -    ");
    EXPECT_EQ(dashes.format(d), "31-12-1997");
    EXPECT_EQ(dateBoxFormat(format(12, true)).format(d), "31.12.1997");

    // A regional format with the year first keeps its order in the box.
    const DateBoxFormat iso = dateBoxFormat(DateFormat{QLatin1Char('-'), "yyyy/mm/dd"});
    EXPECT_EQ(iso.inputMask, "0000-00-00;_");
    EXPECT_EQ(iso.format(d), "1997-12-31");

    for (const char* blank : {"", "   ", "  /  /    ", "/  /", "  -  -    ", "  .  .  "})
        EXPECT_TRUE(isBlankDateText(blank)) << blank;
    for (const char* date : {"12/31/1997", "1 /  /    ", "  /  /1997"})
        EXPECT_FALSE(isBlankDateText(date)) << date;
}

TEST(RecordEditorRules, ClearedBoxesAndTheirTotals) {
    const DateBoxFormat box = dateBoxFormat(format(1));
    const EditorValues v = clearedEditorValues(box);
    EXPECT_EQ(v[C::Cost], "0");
    EXPECT_EQ(v[C::Value], "0");
    EXPECT_EQ(v[C::Quantity], "1");
    EXPECT_EQ(v[C::RepCost], "0");
    EXPECT_EQ(v[C::Item], "");
    EXPECT_EQ(v[C::WarDate], "  /  /    ");
    EXPECT_FALSE(v.warranty);
    const EditorTotals t = computeTotals(v, usNumbers());
    EXPECT_EQ(t.cost, "0.00 ");
    EXPECT_EQ(t.repCost, "0.00 ");
    EXPECT_EQ(t.value, "0.00 ");
}

TEST(RecordEditorRules, ValueBoxesAndTotalsUnderUsAndRegionalSettings) {
    // U.S.: quantity 3 and cost 1,000.00 give 3,000.00 and one space.
    EditorValues v;
    v[C::Quantity] = "3";
    v[C::Cost] = "1,000.00";
    v[C::RepCost] = "";
    v[C::Value] = "garbage";
    EditorTotals t = computeTotals(v, usNumbers());
    EXPECT_EQ(t.cost, "3,000.00 ");
    EXPECT_EQ(t.repCost, "0.00 "); // empty counts as 0
    EXPECT_EQ(t.value, "0.00 ");   // so does text that is no number

    EXPECT_EQ(leftQuantityBox("2.6", usNumbers()), "3");
    EXPECT_EQ(leftQuantityBox("1,234", usNumbers()), "1,234");
    EXPECT_EQ(leftMoneyBox("999.999", usNumbers()), "1,000.00");
    EXPECT_EQ(leftMoneyBox("-1000", usNumbers()), "-1,000.00");
    EXPECT_EQ(leftMoneyBox("  ", usNumbers()), "  ");
    EXPECT_EQ(leftMoneyBox("12abc", usNumbers()), "12abc"); // left for the update to report

    // German-style regional settings: 1.234,5 is one thousand two hundred and something.
    EXPECT_EQ(leftMoneyBox("1.234,5", germanNumbers()), "1.234,50");
    // Read under U.S. rules the same text is 1.2345.
    EXPECT_EQ(leftMoneyBox("1.234,5", germanNumbers(kUsFormat)), "1.23");
    EXPECT_EQ(leftMoneyBox("-123", germanNumbers()), "-123,00");

    v[C::Quantity] = "2";
    v[C::Cost] = "1.234,50";
    v[C::Value] = "-100";
    t = computeTotals(v, germanNumbers());
    EXPECT_EQ(t.cost, "2.469,00 ");
    EXPECT_EQ(t.value, "-200,00 ");
}

TEST(RecordEditorRules, SnapshotNoticesEveryChangeButNotDateSpacing) {
    const DateBoxFormat box = dateBoxFormat(format(1));
    EditorValues v = clearedEditorValues(box);
    EntrySnapshot snap;
    snap.take(v);
    EXPECT_FALSE(snap.changed(v));

    for (const EditorControlInfo& info : editorControls()) {
        EditorValues changed = v;
        if (info.kind == EditorControlKind::Check)
            changed.warranty = true;
        else
            changed[info.control] += "x";
        EXPECT_TRUE(snap.changed(changed)) << info.name;
    }
    // Letter case counts.
    v[C::Brand] = "Sony";
    snap.take(v);
    EditorValues lower = v;
    lower[C::Brand] = "sony";
    EXPECT_TRUE(snap.changed(lower));

    // Dates are compared trimmed.
    EditorValues spaced = v;
    spaced[C::WarDate] = "/  /";
    EXPECT_FALSE(snap.changed(spaced));

    // Quantity keeps only ten characters in the snapshot; a longer text still counts as a
    // change rather than slipping through.
    v[C::Quantity] = "123456789012";
    snap.take(v);
    EXPECT_EQ(snap.values()[C::Quantity], "1234567890");
    EditorValues longer = v;
    longer[C::Quantity] = "123456789099";
    EXPECT_TRUE(snap.changed(longer));
}

TEST(RecordEditorRules, ChecksComeInOrderWithTheirPagesAndFocus) {
    TableFixture t;
    const DateBoxFormat box = dateBoxFormat(format(1));
    EditorValues good = clearedEditorValues(box);

    EditorValues v = good;
    v[C::WarDate] = "13/01/1997"; // month 13
    v[C::PurchDate] = "02/30/1997";
    v[C::Cost] = "abc";
    std::optional<EntryProblem> p = problemOf(check(v, t.items));
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->message, "Invalid warranty date specified.  Please correct.");
    EXPECT_EQ(p->page, 2);
    EXPECT_EQ(p->focus, C::WarDate);

    v[C::WarDate] = "  /  /    ";
    p = problemOf(check(v, t.items));
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->message, "Invalid purchase date specified.  Please correct.");
    EXPECT_EQ(p->focus, C::PurchDate);

    v[C::PurchDate] = "12/31/97  ";
    p = problemOf(check(v, t.items));
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->message, "Invalid cost specified.  Please correct.");
    EXPECT_EQ(p->page, 1);
    EXPECT_EQ(p->focus, C::Cost);

    const std::pair<C, const char*> amounts[] = {
        {C::Value, "Invalid value specified.  Please correct."},
        {C::RepCost, "Invalid replacement cost specified.  Please correct."},
        {C::Quantity, "Invalid quantity specified.  Please correct."}};
    for (const auto& [control, message] : amounts) {
        EditorValues one = good;
        one[control] = "1.2.3";
        p = problemOf(check(one, t.items));
        ASSERT_TRUE(p.has_value()) << message;
        EXPECT_EQ(p->message, message);
        EXPECT_EQ(p->page, 1);
        EXPECT_EQ(p->focus, control);
    }

    // A fraction is no quantity; neither is an amount the table cannot hold.
    for (const char* q : {"2.6", "99999999999", "1e3"}) {
        EditorValues one = good;
        one[C::Quantity] = q;
        p = problemOf(check(one, t.items));
        ASSERT_TRUE(p.has_value()) << q;
        EXPECT_EQ(p->focus, C::Quantity) << q;
    }
    EditorValues huge = good;
    huge[C::Cost] = "9e99";
    p = problemOf(check(huge, t.items));
    ASSERT_TRUE(p.has_value());
    EXPECT_EQ(p->focus, C::Cost);

    // Everything readable: blanks store 0, a two-digit year falls in the century window.
    v = good;
    v[C::Cost] = "";
    v[C::Quantity] = " 1,234 ";
    v[C::Value] = "-12.5";
    v[C::PurchDate] = "12/31/97  ";
    const auto r = check(v, t.items);
    ASSERT_TRUE(std::holds_alternative<CheckedEntry>(r));
    const CheckedEntry& e = std::get<CheckedEntry>(r);
    EXPECT_EQ(e.cost, 0.0);
    EXPECT_EQ(e.value, -12.5);
    EXPECT_EQ(e.quantity, 1234);
    EXPECT_FALSE(e.warDate.has_value());
    EXPECT_EQ(e.purchDate, QDate(1997, 12, 31));

    // Dates are read in the order of the current format.
    v[C::PurchDate] = "31.12.1997";
    EXPECT_TRUE(std::holds_alternative<CheckedEntry>(check(v, t.items, usNumbers(), format(12))));
    EXPECT_TRUE(problemOf(check(v, t.items, usNumbers(), format(9))).has_value());
}

TEST(RecordEditorRules, WrittenRecordReadsBackFromTheFile) {
    TableFixture t;
    const DateBoxFormat box = dateBoxFormat(format(1));

    // Nothing typed: an empty item, quantity 1, no warranty.
    EditorValues v = clearedEditorValues(box);
    auto r = check(v, t.items);
    ASSERT_TRUE(std::holds_alternative<CheckedEntry>(r));
    writeEntry(t.items, EditorMode::New, v, std::get<CheckedEntry>(r));
    {
        FileReader file(t.path);
        EXPECT_EQ(file.table.recordCount(), 1u);
        EXPECT_EQ(file.text("ITEM"), "");
        EXPECT_EQ(file.table.fieldInteger("QUANTITY"), 1);
        EXPECT_EQ(file.text("WARRANTY"), "No");
        EXPECT_EQ(file.table.fieldDouble("COST"), 0.0);
        EXPECT_FALSE(file.table.fieldDate("WARDATE").has_value());
    }

    // Edit mode changes the same record; texts are stored trimmed.
    v[C::Item] = "  Television ";
    v[C::Brand] = "Sony";
    v[C::Comments] = QString(110, 'c');
    v[C::Cost] = "1,000.00";
    v[C::Quantity] = "2";
    v[C::WarDate] = "01/02/2027";
    v[C::UserDef4] = "last";
    v.warranty = true;
    r = check(v, t.items);
    ASSERT_TRUE(std::holds_alternative<CheckedEntry>(r));
    writeEntry(t.items, EditorMode::Edit, v, std::get<CheckedEntry>(r));
    {
        FileReader file(t.path);
        EXPECT_EQ(file.table.recordCount(), 1u);
        EXPECT_EQ(file.text("ITEM"), "Television");
        EXPECT_EQ(file.text("BRAND"), "Sony");
        EXPECT_EQ(file.text("DESCRIPTIO"), std::string(110, 'c'));
        EXPECT_EQ(file.table.fieldDouble("COST"), 1000.0);
        EXPECT_EQ(file.table.fieldInteger("QUANTITY"), 2);
        EXPECT_EQ(file.text("WARRANTY"), "Yes");
        EXPECT_EQ(file.text("WARDATE"), "20270102");
        EXPECT_EQ(file.text("USERDEF4"), "last");
    }

    // Loading shows it as the boxes do.
    t.items.table().first();
    const EditorValues loaded = loadEditorValues(t.items, box, usNumbers());
    EXPECT_EQ(loaded[C::Item], "Television");
    EXPECT_EQ(loaded[C::Cost], "1,000.00");
    EXPECT_EQ(loaded[C::Quantity], "2");
    EXPECT_EQ(loaded[C::WarDate], "01/02/2027");
    EXPECT_EQ(loaded[C::PurchDate], "  /  /    ");
    EXPECT_TRUE(loaded.warranty);
    EXPECT_EQ(computeTotals(loaded, usNumbers()).cost, "2,000.00 ");
}

TEST(RecordEditorRules, RefusedWriteLeavesTableAndRecordUntouched) {
    TableFixture t;
    const DateBoxFormat box = dateBoxFormat(format(1));
    EditorValues v = clearedEditorValues(box);
    v[C::Item] = "Original";
    writeEntry(t.items, EditorMode::New, v, std::get<CheckedEntry>(check(v, t.items)));

    // A character the table's code page cannot hold, in the last field written.
    EditorValues bad = v;
    bad[C::Item] = "Changed";
    bad[C::UserDef4] = QString::fromUtf8("\xe6\x97\xa5"); // a CJK character
    const CheckedEntry e = std::get<CheckedEntry>(check(bad, t.items));
    EXPECT_THROW(writeEntry(t.items, EditorMode::New, bad, e), dbase::DatabaseError);
    EXPECT_EQ(t.items.table().state(), dbase::TableState::Browse);
    EXPECT_THROW(writeEntry(t.items, EditorMode::Edit, bad, e), dbase::DatabaseError);
    EXPECT_EQ(t.items.table().state(), dbase::TableState::Browse);

    FileReader file(t.path);
    EXPECT_EQ(file.table.recordCount(), 1u);
    EXPECT_EQ(file.text("ITEM"), "Original");
}

TEST(RecordEditorRules, ListsLearnNewValuesExactly) {
    LookupLists lists;
    lists.setList(1, {"Sony", "Zenith"});
    EditorValues v;
    v[C::Brand] = "  Sony  "; // only spaces differ: nothing new
    v[C::Location] = "Den";
    v[C::Category] = "";
    v[C::TheOwner] = "Pat";
    v[C::Bought] = "Mall";
    EXPECT_EQ(learnListValues(lists, v), 3);
    EXPECT_EQ(lists.editorList(1), (QStringList{"Sony", "Zenith"}));
    EXPECT_EQ(lists.editorList(2), QStringList{"Den"});
    EXPECT_TRUE(lists.editorList(4).isEmpty());
    EXPECT_EQ(lists.editorList(5), QStringList{"Pat"});
    EXPECT_EQ(lists.editorList(3), QStringList{"Mall"});

    v[C::Brand] = "sony"; // letter case makes it new
    EXPECT_EQ(learnListValues(lists, v), 1);
    EXPECT_EQ(lists.editorList(1), (QStringList{"Sony", "Zenith", "sony"}));
    for (int n = 1; n <= 5; ++n)
        EXPECT_EQ(lists.gridList(n), lists.editorList(n)) << n;
}

TEST(RecordEditorRules, EnterChainVisitsEveryBoxOnceAndWrapsToItem) {
    std::vector<C> seen;
    C c = C::Item;
    for (int i = 0; i < 30 && (seen.empty() || c != C::Item); ++i) {
        seen.push_back(c);
        c = *nextInEnterChain(c);
    }
    EXPECT_EQ(seen.size(), 21u);
    EXPECT_EQ(c, C::Item);
    EXPECT_FALSE(nextInEnterChain(C::Warranty).has_value());
    EXPECT_EQ(nextInEnterChain(C::TheOwner), C::Quantity);
    EXPECT_EQ(nextInEnterChain(C::RepCost), C::WarDate);
    EXPECT_EQ(nextInEnterChain(C::Bought), C::UserDef1);
    EXPECT_EQ(itemCaptionLine("A very long display name", "Lamp"), "A very long display na"
                                                                   "Lamp");
    EXPECT_EQ(itemCaptionLine("Item", "Lamp"), "Item: Lamp");
}

TEST(RecordEditorRules, PrintedLinesAndPages) {
    std::array<QString, 22> names;
    for (const ItemField& field : kItemFields)
        names[size_t(field.number - 1)] = field.qLabel();
    names[f::Model - 1] = "Twenty Characters Ab";
    const DateBoxFormat box = dateBoxFormat(format(1));
    EditorValues v = clearedEditorValues(box);
    v[C::Item] = "Lamp";
    v[C::Cost] = "1,000.00";
    v.warranty = true;

    const QStringList lines = printRecordLines(v, names);
    ASSERT_EQ(lines.size(), kPrintLinesPerCopy);
    EXPECT_EQ(lines[0], "Item: Lamp");
    EXPECT_EQ(lines[2], "Twenty Characters Ab: "); // exactly 22 characters
    EXPECT_EQ(lines[9], "Cost: 1,000.00");
    EXPECT_EQ(lines[12], "Quantity: 1");
    EXPECT_EQ(lines[13], "Warranty Date:   /  /    ");
    EXPECT_EQ(lines[16], "Purchased From: ");
    EXPECT_EQ(lines[20], "User Defined 4: ");
    EXPECT_EQ(lines[21], "Warranty: Yes");
    v.warranty = false;
    EXPECT_EQ(printRecordLines(v, names)[21], "Warranty: No");

    // Three copies: three pages of 22 lines each, read back by an independent PDF reader.
    TestDir dir;
    const QString pdf = dir.file("record.pdf");
    QStringList numbered;
    for (int k = 0; k < kPrintLinesPerCopy; ++k)
        numbered << QStringLiteral("Line%1 %2").arg(k).arg(lines[k]);
    {
        QPdfWriter writer(pdf);
        QPainter painter(&writer);
        EXPECT_EQ(paintRecordCopies(painter, numbered, 3, [&] { return writer.newPage(); }), 3);
    }
    QProcess text;
    text.start("pdftotext", {"-layout", pdf, "-"});
    ASSERT_TRUE(text.waitForFinished(30000));
    const QStringList pages = QString::fromUtf8(text.readAllStandardOutput())
                                  .split(QLatin1Char('\f'), Qt::SkipEmptyParts);
    ASSERT_EQ(pages.size(), 3);
    for (const QString& page : pages) {
        int count = 0;
        for (const QString& line : page.split('\n'))
            if (line.trimmed().startsWith("Line"))
                ++count;
        EXPECT_EQ(count, kPrintLinesPerCopy);
        EXPECT_TRUE(page.contains("Line0 Item: Lamp"));
        EXPECT_TRUE(page.contains("Line21 Warranty: Yes"));
    }

    // Only one print job at a time.
    EXPECT_FALSE(PrintJobGuard::active());
    {
        PrintJobGuard job;
        EXPECT_TRUE(PrintJobGuard::active());
    }
    EXPECT_FALSE(PrintJobGuard::active());
}
