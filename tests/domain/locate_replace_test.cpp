#include "find/locate.h"
#include "find/search_criteria.h"
#include "find/search_replace_ops.h"
#include "find/search_session.h"
#include "items/database_ops.h"
#include "items/item_schema.h"
#include "items/sort_index.h"
#include "items/sort_string.h"
#include "scripted_prompter.h"
#include "session/inventory_session.h"
#include "test_files.h"

#include "qstring_printer.h"

#include <QFileInfo>
#include <gtest/gtest.h>

namespace {
namespace F = item_field;

struct Rec {
    QString item;
    QString brand;
    std::optional<double> cost;
    std::optional<QDate> bought;
    QString category;
};

struct Inventory {
    TestDir dir;
    ScriptedPrompter prompter;
    InventorySession session;
    QString path;
    int reapplied = 0;
    std::function<void()> reapply = [this] { ++reapplied; };

    explicit Inventory(const std::vector<Rec>& records) {
        path = dir.file(QStringLiteral("HOME.DBF"));
        EXPECT_TRUE(MakeNewDB(path, prompter));
        session.items.setPaths(DatabasePaths::forTable(path));
        session.items.open();
        for (const Rec& r : records) {
            ItemTable& t = session.items;
            t.table().append();
            t.setText(F::Item, r.item);
            t.setText(F::Brand, r.brand);
            t.setText(F::Category, r.category);
            if (r.cost)
                t.setFloating(F::Cost, *r.cost);
            t.setDate(F::PurchDate, r.bought);
            t.table().post();
        }
        session.db.sortKeys = {0, 0, 0, 0};
        session.sortExpression.clear();
    }
    ~Inventory() { prompter.verifyDone(); }

    void sortBy(int field) {
        session.db.sortKeys = {field, 0, 0, 0};
        session.sortExpression = BuildSortString(session.db.sortKeys);
        selectSortIndex(session.items, session.sortExpression, SortIndexUse::Rebuild);
    }
    QString current() { return session.items.text(F::Item); }
    void goTo(const QString& item) {
        dbase::Table& t = session.items.table();
        for (t.first(); !t.eof(); t.next())
            if (current() == item)
                return;
        ADD_FAILURE() << "no item " << item.toStdString();
    }
    LocateOutcome locate(const char* field, const QString& value, bool first,
                         TMyLocateMatchType match, bool caseSensitive = false) {
        return locateValue(session.items,
                           {QString::fromLatin1(field), value, first, caseSensitive, match},
                           session.formats.current());
    }
    // Every item found by repeated Next after a First, in the order found.
    QStringList allFound(const char* field, const QString& value, TMyLocateMatchType match,
                         bool caseSensitive = false) {
        QStringList found;
        if (locate(field, value, true, match, caseSensitive) != LocateOutcome::Found)
            return found;
        do
            found << current();
        while (locate(field, value, false, match, caseSensitive) == LocateOutcome::Found);
        return found;
    }
    // The records as the file holds them, in record order, read by a second opener.
    QStringList fileColumn(int field) {
        dbase::Table t;
        t.openFile(path.toStdString(), dbase::OpenMode::ReadOnly, false);
        QStringList values;
        const int index = t.fieldIndex(itemField(field)->name);
        for (std::uint32_t n = 1; n <= t.recordCount(); ++n) {
            const std::string raw = t.readRecord(n);
            const dbase::Field& fd = t.field(index);
            values
                << QString::fromLatin1(raw.substr(size_t(fd.offset), size_t(fd.length))).trimmed();
        }
        return values;
    }
    QStringList order() {
        QStringList names;
        dbase::Table& t = session.items.table();
        for (t.first(); !t.eof() && !t.isEmpty(); t.next())
            names << current();
        return names;
    }
    ReplaceResult replace(int field, const QString& search, const QString& replacement,
                          bool confirm = false) {
        const ReplaceCheckResult check =
            checkReplaceInput({field, search, replacement}, session.formats.current());
        EXPECT_EQ(check.outcome, ReplaceCheck::Ok) << check.message.toStdString();
        return runSearchAndReplace(session, check.values, confirm, prompter, {{}, reapply});
    }
    void expectFinished() { prompter.expectMessage("Finished", kReplaceCompleteMessage); }
};

std::vector<Rec> lamps() {
    return {{"Lamp", "Acme", 12.5, QDate(2020, 5, 1), "Light"},
            {"Floor lamp", "ACME", 12.49, QDate(2021, 1, 1), "Light"},
            {"LAMINATOR", "Brio", {}, {}, "Office"},
            {QString::fromUtf8("Élan lampe"), "acme", 30, QDate(2020, 5, 1), ""},
            {"Desk", "", 12.5, {}, "Office"}};
}

} // namespace

TEST(Locate, MatchTypesCaseAndAccents) {
    Inventory inv(lamps());
    EXPECT_EQ(inv.allFound("Item", "lam", mtPartialMatchStart), QStringList({"Lamp", "LAMINATOR"}));
    EXPECT_EQ(inv.allFound("Item", "lam", mtPartialMatchAny),
              QStringList({"Lamp", "Floor lamp", "LAMINATOR", QString::fromUtf8("Élan lampe")}));
    EXPECT_EQ(inv.allFound("Item", "lam", mtPartialMatchStart, true), QStringList());
    EXPECT_EQ(inv.allFound("Item", "Lam", mtPartialMatchStart, true), QStringList({"Lamp"}));
    // Accented letters fold like any other, as typed.
    EXPECT_EQ(inv.allFound("ITEM", QString::fromUtf8("élan"), mtPartialMatchStart),
              QStringList({QString::fromUtf8("Élan lampe")}));
    EXPECT_EQ(inv.allFound("Item", "lamp", mtExactMatch), QStringList({"Lamp"}));
    // An empty value matches empty fields exactly, and never partially.
    EXPECT_EQ(inv.allFound("Brand", "", mtExactMatch), QStringList({"Desk"}));
    EXPECT_EQ(inv.allFound("Brand", "", mtPartialMatchAny), QStringList());
}

TEST(Locate, NumbersAndDates) {
    Inventory inv(lamps());
    EXPECT_EQ(inv.allFound("Cost", "12.5", mtExactMatch), QStringList({"Lamp", "Desk"}));
    EXPECT_EQ(inv.allFound("Cost", "12.49", mtExactMatch), QStringList({"Floor lamp"}));
    EXPECT_EQ(inv.allFound("Cost", "twelve", mtExactMatch), QStringList());
    // Partially, numbers are compared as their shortest text.
    EXPECT_EQ(inv.allFound("Cost", "12.4", mtPartialMatchStart), QStringList({"Floor lamp"}));
    // Dates as the display format writes them (m/d/yy unless chosen otherwise).
    EXPECT_EQ(inv.allFound("PurchDate", "5/1/20", mtExactMatch),
              QStringList({"Lamp", QString::fromUtf8("Élan lampe")}));
    inv.session.formats.apply(3, true); // another format: the same date reads differently
    const QString typed = inv.session.formats.format(QDate(2021, 1, 1));
    EXPECT_EQ(inv.allFound("PurchDate", typed, mtExactMatch), QStringList({"Floor lamp"}));
}

TEST(Locate, NextStartsAfterTheCurrentRecordAndAFailureMovesNothing) {
    Inventory inv(lamps());
    inv.goTo("Lamp");
    // Next never answers the record it starts on; First may answer the first record.
    EXPECT_EQ(inv.locate("Item", "Lamp", false, mtExactMatch), LocateOutcome::NotFound);
    EXPECT_EQ(inv.current(), "Lamp");
    EXPECT_EQ(inv.locate("Item", "Lamp", true, mtExactMatch), LocateOutcome::Found);
    EXPECT_EQ(inv.current(), "Lamp");
    inv.goTo("LAMINATOR");
    EXPECT_EQ(inv.locate("Item", "Floor", true, mtExactMatch), LocateOutcome::NotFound);
    EXPECT_EQ(inv.current(), "LAMINATOR");
    EXPECT_EQ(inv.locate("Nowhere", "x", true, mtExactMatch), LocateOutcome::NoField);
    EXPECT_EQ(inv.current(), "LAMINATOR");
    EXPECT_EQ(locateNoFieldMessage("Nowhere"), "Field Nowhere not found.");
}

TEST(Locate, FollowsTheSortOrderAndFindsOnlyRecordsOfTheSearch) {
    Inventory inv(lamps());
    inv.sortBy(F::Item);
    EXPECT_EQ(inv.allFound("Item", "L", mtPartialMatchAny),
              QStringList({"Floor lamp", "LAMINATOR", "Lamp", QString::fromUtf8("Élan lampe")}));
    SearchItem item;
    item.field = F::Brand;
    item.text = "ACME";
    item.endOfLevel = true;
    ASSERT_TRUE(applySearch(inv.session, {item}, inv.reapply));
    EXPECT_EQ(inv.allFound("Item", "lam", mtPartialMatchStart), QStringList({"Lamp"}));
    inv.goTo("Lamp");
    EXPECT_EQ(inv.locate("Category", "Office", true, mtExactMatch), LocateOutcome::NotFound);
    EXPECT_EQ(inv.current(), "Lamp");
}

TEST(Locate, AnEditInProgressIsPostedFirst) {
    Inventory inv(lamps());
    inv.goTo("Desk");
    inv.session.items.table().edit();
    inv.session.items.setText(F::Brand, "Zenith");
    EXPECT_EQ(inv.locate("Brand", "zen", true, mtPartialMatchStart), LocateOutcome::Found);
    EXPECT_EQ(inv.current(), "Desk");
    EXPECT_EQ(inv.fileColumn(F::Brand).last(), "Zenith");
}

TEST(SearchAndReplace, ChecksEveryInputBeforeTouchingTheTable) {
    const DateFormat dates;
    const auto check = [&](int field, const QString& s, const QString& r) {
        const ReplaceCheckResult c = checkReplaceInput({field, s, r}, dates);
        return std::make_pair(c.outcome, c.message);
    };
    EXPECT_EQ(check(0, "a", "b"),
              std::make_pair(ReplaceCheck::NoField, QString("No field has been selected.")));
    EXPECT_EQ(check(F::Cost, " ", "1").first, ReplaceCheck::BadSearch);
    EXPECT_EQ(check(F::Cost, "12,5", "1").second, "Invalid search value entered.  Please correct.");
    EXPECT_EQ(check(F::Quantity, "2", "two"),
              std::make_pair(ReplaceCheck::BadReplace,
                             QString("Invalid replacement value entered.  Please correct.")));
    // The empty date mask as the box gives it back.
    EXPECT_EQ(check(F::PurchDate, "//", "1/1/2020"),
              std::make_pair(ReplaceCheck::BadSearch,
                             QString("Invalid search date entered.  Please correct.")));
    EXPECT_EQ(check(F::PurchDate, "1/1/2020", "13/40/2020"),
              std::make_pair(ReplaceCheck::BadReplace,
                             QString("Invalid replacement date entered.  Please correct.")));
    // Any character text goes, the empty one included.
    const ReplaceCheckResult text = checkReplaceInput({F::Brand, "  acme ", " Acme Co "}, dates);
    EXPECT_EQ(text.outcome, ReplaceCheck::Ok);
    EXPECT_EQ(text.values.searchText, "ACME");
    EXPECT_EQ(text.values.replaceText, "Acme Co");
    EXPECT_EQ(checkReplaceInput({F::Brand, "", ""}, dates).outcome, ReplaceCheck::Ok);
}

TEST(SearchAndReplace, WithASearchInForceAndTheOrderOnTheReplacedField) {
    Inventory inv(lamps());
    inv.sortBy(F::Brand);
    SearchItem item;
    item.field = F::Category;
    item.text = "LIGHT";
    item.endOfLevel = true;
    ASSERT_TRUE(applySearch(inv.session, {item}, inv.reapply));
    ASSERT_EQ(inv.order(), QStringList({"Lamp", "Floor lamp"}));

    inv.expectFinished();
    const ReplaceResult r = inv.replace(F::Brand, "acme", "Zeta Works");
    EXPECT_EQ(r.outcome, ReplaceOutcome::Completed);
    // Every record was visited, not only the two of the search.
    EXPECT_EQ(r.counters.processed, 5);
    EXPECT_EQ(r.counters.found, 3);
    EXPECT_EQ(r.counters.changed, 3);
    EXPECT_EQ(inv.fileColumn(F::Brand),
              QStringList({"Zeta Works", "Zeta Works", "Brio", "Zeta Works", ""}));

    // The search is in force again, over the rebuilt order, and the table is shared.
    EXPECT_TRUE(inv.session.searchOn);
    EXPECT_EQ(inv.session.items.openMode(), dbase::OpenMode::Shared);
    EXPECT_EQ(inv.session.items.indexName(), "NewIndex");
    EXPECT_EQ(inv.order(), QStringList({"Lamp", "Floor lamp"}));
    endSearch(inv.session, inv.reapply);
    EXPECT_EQ(inv.order(), QStringList({"Desk", "LAMINATOR", "Lamp", "Floor lamp",
                                        QString::fromUtf8("Élan lampe")}));
    EXPECT_GT(inv.reapplied, 0);
}

TEST(SearchAndReplace, EmptyTextsNumbersDatesAndConfirmation) {
    Inventory inv(lamps());
    inv.sortBy(F::Cost);
    // An empty search text changes the records whose field is empty.
    inv.expectFinished();
    EXPECT_EQ(inv.replace(F::Brand, "", "Unknown").counters.changed, 1);
    EXPECT_EQ(inv.fileColumn(F::Brand).last(), "Unknown");

    // 12.5 matches 12.50, never 12.49.
    inv.expectFinished();
    EXPECT_EQ(inv.replace(F::Cost, "12.5", "99").counters.changed, 2);
    EXPECT_EQ(inv.fileColumn(F::Cost), QStringList({"99.00", "12.49", "", "30.00", "99.00"}));

    inv.expectFinished();
    EXPECT_EQ(inv.replace(F::PurchDate, "05/01/2020", "12/31/1999").counters.changed, 2);
    EXPECT_EQ(inv.fileColumn(F::PurchDate),
              QStringList({"19991231", "20210101", "", "19991231", ""}));

    // Answering No every time counts the matches and changes nothing; the order is rebuilt.
    inv.prompter.expectMessage("Confirm", "Item = \"Lamp\".  Change this record?", MsgButton::No)
        .expectMessage("Confirm", "Item = \"Desk\".  Change this record?", MsgButton::No);
    inv.expectFinished();
    const ReplaceResult no = inv.replace(F::Cost, "99", "1", true);
    EXPECT_EQ(no.counters.found, 2);
    EXPECT_EQ(no.counters.changed, 0);
    EXPECT_EQ(inv.session.items.indexName(), "NewIndex");
    EXPECT_EQ(inv.order(), QStringList({"LAMINATOR", "Floor lamp", QString::fromUtf8("Élan lampe"),
                                        "Lamp", "Desk"}));
}

TEST(SearchAndReplace, AValueTheFieldCannotHoldStopsThePassCleanly) {
    Inventory inv(lamps());
    inv.sortBy(F::Cost);
    const QStringList before = inv.fileColumn(F::Cost);
    inv.prompter.expectMessage("Error", {});
    const ReplaceResult r = inv.replace(F::Cost, "12.5", "9e99");
    EXPECT_EQ(r.outcome, ReplaceOutcome::Stopped);
    EXPECT_EQ(r.counters.changed, 0);
    const QString message = inv.prompter.lastMessage().text;
    EXPECT_TRUE(message.startsWith("Search and replace stopped at record 1 (Item = \"Lamp\")"))
        << message.toStdString();
    EXPECT_TRUE(message.contains("0 of 1 matching records were changed")) << message.toStdString();
    // Nothing half-written, the order rebuilt, the table shared again.
    EXPECT_EQ(inv.fileColumn(F::Cost), before);
    EXPECT_EQ(inv.session.items.openMode(), dbase::OpenMode::Shared);
    EXPECT_EQ(inv.session.items.indexName(), "NewIndex");
    EXPECT_EQ(inv.order().size(), 5);

    // A character the table's code page cannot hold stops it the same way.
    inv.prompter.expectMessage("Error", {});
    EXPECT_EQ(inv.replace(F::Brand, "brio", QString::fromUtf8("Ωmega")).outcome,
              ReplaceOutcome::Stopped);
    EXPECT_EQ(inv.fileColumn(F::Brand)[2], "Brio");
}

TEST(SearchAndReplace, ATableHeldElsewhereIsLeftAlone) {
    Inventory inv(lamps());
    inv.sortBy(F::Brand);
    dbase::Table other;
    other.openFile(inv.path.toStdString());
    inv.prompter.expectMessage("Error", kReplaceInUseMessage);
    EXPECT_EQ(inv.replace(F::Brand, "acme", "X").outcome, ReplaceOutcome::InUse);
    other.close();
    EXPECT_EQ(inv.fileColumn(F::Brand), QStringList({"Acme", "ACME", "Brio", "acme", ""}));
    EXPECT_EQ(inv.session.items.openMode(), dbase::OpenMode::Shared);
    EXPECT_EQ(inv.session.items.indexName(), "NewIndex");
    EXPECT_EQ(kReplaceInUseMessage,
              "Search and Replace requires exclusive use of the DBase File.  Make sure that the "
              "DBase File is not in use by another program  or that no other users are running "
              "the software or that no other copies of the software are in use.");
}
