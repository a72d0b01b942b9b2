#include "find/search_options.h"
#include "find/search_window.h"
#include "items/database_ops.h"
#include "items/item_schema.h"
#include "scripted_prompter.h"
#include "session/inventory_session.h"
#include "test_files.h"
#include "ui/help_window.h"
#include "ui/window_context.h"

#include <QApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include "qstring_printer.h"

namespace {
namespace F = item_field;

// A search window over a table of six known items.
struct Fixture {
    TestDir dir;
    ScriptedPrompter prompter;
    WindowContext context{prompter};
    InventorySession session;
    int reapplied = 0;
    std::unique_ptr<TMySearch> search;

    Fixture() {
        context.screen = QSize(1024, 768);
        const QString path = dir.file(QStringLiteral("HOME.DBF"));
        EXPECT_TRUE(MakeNewDB(path, prompter));
        session.items.setPaths(DatabasePaths::forTable(path));
        session.items.open();
        session.formats.apply(7, true); // mm/dd/yyyy
        for (int n = 1; n <= kFieldCount; ++n)
            session.db.fieldNames[size_t(n - 1)] = itemField(n)->qLabel();
        session.db.fieldNames[F::Brand - 1] = QStringLiteral("Make");
        session.lists.setList(1, {QStringLiteral("Acme"), QStringLiteral("Sonar")});
        add("tv", "Sonar", "Ann", 150);
        add("radio", "PARSONS", "Bob", 100);
        add("lamp", "mason", "Cy", 200);
        add("desk", "Acme", "Y", 99.99);
        add("chair", "Acme", "Bob", 20);
        add("sofa", "Sony", "Ann", 300);
        search = std::make_unique<TMySearch>(session, context, [this] { ++reapplied; });
        search->FormShow();
    }
    ~Fixture() { prompter.verifyDone(); }

    void add(const char* item, const char* brand, const char* owner, double cost) {
        ItemTable& t = session.items;
        t.table().append();
        t.setText(F::Item, QString::fromLatin1(item));
        t.setText(F::Brand, QString::fromLatin1(brand));
        t.setText(F::Owner, QString::fromLatin1(owner));
        t.setFloating(F::Cost, cost);
        t.table().post();
    }
    QStringList shown() {
        QStringList names;
        dbase::Table& t = session.items.table();
        for (t.first(); !t.eof() && !t.isEmpty(); t.next())
            names << session.items.text(F::Item);
        return names;
    }
    // Types into a criterion cell as the user would.
    void type(int row, const QString& text) {
        QLineEdit* e = search->criterionEdit(row);
        e->setFocus();
        e->home(false);
        e->end(true);
        e->del();
        e->home(false);
        for (QChar c : text)
            e->insert(QString(c));
    }
};

// Answers the modal Search Options dialog that a click on an option cell opens.
void whenOptionsOpen(std::function<void(TSearchOptions&)> act) {
    QTimer::singleShot(0, [act] {
        auto* dialog = qobject_cast<TSearchOptions*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        act(*dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
}
} // namespace

TEST(SearchWindow, GridLayoutNamesAndOptionCells) {
    Fixture f;
    TMySearch& s = *f.search;
    EXPECT_EQ(s.windowTitle(), "Search");
    QTableWidget* g = s.grid();
    EXPECT_EQ(g->rowCount(), 22);
    EXPECT_EQ(g->horizontalHeaderItem(0)->text(), " FIELD");
    EXPECT_EQ(s.criteriaHeader(), " SEARCH CRITERIA    (Level 1)");
    EXPECT_EQ(g->item(0, 0)->text(), " Item");
    EXPECT_EQ(g->item(F::Brand - 1, 0)->text(), " Make");
    EXPECT_EQ(g->item(F::UserDef4 - 1, 0)->text(), " User Defined 4");
    EXPECT_EQ(g->width(), 620);
    EXPECT_EQ(g->columnWidth(0), 200);
    EXPECT_EQ(g->columnWidth(1), 20);
    EXPECT_EQ(g->columnWidth(2), 378);
    for (int row = 1; row <= 22; ++row) {
        QTableWidgetItem* option = g->item(row - 1, 1);
        const bool expected = hasOptionCell(row);
        EXPECT_EQ(option->text(), expected ? "..." : "") << row;
        EXPECT_EQ(option->background().color() == QColor(128, 128, 128), expected) << row;
    }
    for (const char* name : {"OkButton", "ExitButton", "ClearButton", "MoreButton", "HelpButton"})
        EXPECT_NE(s.findChild<QPushButton*>(QString::fromLatin1(name)), nullptr) << name;
    EXPECT_EQ(s.findChild<QPushButton*>("MoreButton")->text(), "&Find More");
    EXPECT_EQ(s.findChild<QPushButton*>("ClearButton")->text(), "&Clear Search");

    // 800 x 600 scales the columns and rows, shown twice without compounding; back to
    // 640 x 480 returns to the design size.
    f.context.scaleFactor = 1.25;
    s.FormShow();
    s.FormShow();
    EXPECT_EQ(g->columnWidth(0), 250);
    EXPECT_EQ(g->columnWidth(2), 473);
    EXPECT_EQ(g->rowHeight(5), 20);
    EXPECT_EQ(g->width(), 775);
    f.context.scaleFactor = 1.0;
    s.FormShow();
    EXPECT_EQ(g->columnWidth(2), 378);
    EXPECT_EQ(g->rowHeight(5), 16);
    EXPECT_EQ(helpPageForKeyword("Search Window"), helpPageForKeyword("search window"));
    EXPECT_NE(helpPageForKeyword("Search Window"), helpContentsPage());
}

TEST(SearchWindow, TemplatesFollowTheOperatorAndDateSeparator) {
    Fixture f;
    TMySearch& s = *f.search;
    EXPECT_EQ(s.criterionEdit(F::Item)->maxLength(), 40);
    EXPECT_EQ(s.criterionEdit(F::Cost)->displayText(), "= _________");
    EXPECT_EQ(s.criterionEdit(F::PurchDate)->displayText(), "= __/__/____");

    f.type(F::Cost, QStringLiteral("150"));
    EXPECT_EQ(s.criterion(F::Cost), "= 150");
    s.setRowOperator(F::Cost, RowOperator::Range);
    // What was typed is kept, as the lower side.
    EXPECT_EQ(s.criterion(F::Cost), "> 150 AND < ");
    EXPECT_EQ(s.criterionEdit(F::Cost)->displayText(), "> 150______ AND < ________");
    f.type(F::Cost, QStringLiteral("100"));
    s.criterionEdit(F::Cost)->setCursorPosition(18); // the upper side
    s.criterionEdit(F::Cost)->insert(QStringLiteral("200"));
    EXPECT_EQ(s.criterion(F::Cost), "> 100 AND < 200");
    s.setRowOperator(F::Cost, RowOperator::Less);
    EXPECT_EQ(s.criterion(F::Cost), "< 100");

    f.type(F::PurchDate, QStringLiteral("12252020"));
    EXPECT_EQ(s.criterion(F::PurchDate), "= 12/25/2020");
    s.setRowOperator(F::PurchDate, RowOperator::Range);
    EXPECT_EQ(s.criterion(F::PurchDate), "> 12/25/2020 AND < //");

    // A new date format shows its separator at the next showing; operators stay for the run.
    f.session.formats.apply(5, true);
    s.FormShow();
    EXPECT_EQ(s.rowOperator(F::Cost), RowOperator::Less);
    EXPECT_EQ(s.rowOperator(F::PurchDate), RowOperator::Range);
    EXPECT_EQ(s.criterionEdit(F::PurchDate)->displayText(), "> __-__-____ AND < __-__-____");
    EXPECT_EQ(s.criterionEdit(F::Cost)->displayText(), "< _________");
}

TEST(SearchWindow, OkAppliesLevelsAndClosesOnlyOnMatches) {
    Fixture f;
    TMySearch& s = *f.search;
    // An empty grid: the message, and nothing changes.
    f.prompter.expectMessage("Error", "No search criteria entered.");
    s.OkButtonClick();
    EXPECT_FALSE(f.session.searchOn);
    EXPECT_EQ(s.result(), 0);

    // Level 1 Brand = acme, Find More, level 2 Owner = ann: brand or owner.
    f.type(F::Brand, QStringLiteral("acme"));
    s.MoreButtonClick();
    EXPECT_EQ(s.level(), 2);
    EXPECT_EQ(s.criteriaHeader(), " SEARCH CRITERIA    (Level 2)");
    EXPECT_EQ(s.criterion(F::Brand), "");
    f.type(F::Owner, QStringLiteral("ann"));
    s.OkButtonClick();
    EXPECT_EQ(s.result(), QDialog::Accepted);
    EXPECT_TRUE(f.session.searchOn);
    EXPECT_EQ(f.shown(), QStringList({"tv", "desk", "chair", "sofa"}));

    // Showing again starts empty at level 1; a search nothing matches says so, clears the
    // criteria, ends the search and keeps the window open.
    s.setResult(0);
    s.FormShow();
    EXPECT_EQ(s.level(), 1);
    EXPECT_TRUE(s.criteria().items.empty());
    f.type(F::Item, QStringLiteral("piano"));
    s.MoreButtonClick();
    f.type(F::Cost, QStringLiteral("1"));
    f.prompter.expectMessage("Notice", "No valid matches found.  Search criteria will be cleared.");
    s.OkButtonClick();
    EXPECT_EQ(s.result(), 0);
    EXPECT_FALSE(f.session.searchOn);
    EXPECT_EQ(s.level(), 1);
    EXPECT_TRUE(s.criteria().items.empty());
    EXPECT_EQ(s.criterion(F::Cost), "= ");
    EXPECT_EQ(f.shown().size(), 6);
}

TEST(SearchWindow, ExitKeepsThePreviousSearch) {
    Fixture f;
    TMySearch& s = *f.search;
    f.type(F::Owner, QStringLiteral("bob"));
    s.OkButtonClick();
    ASSERT_TRUE(f.session.searchOn);
    EXPECT_EQ(f.shown(), QStringList({"radio", "chair"}));

    // Reopened: the working criteria are empty, yet the viewer still shows the search,
    // during the showing and after Exit.
    s.FormShow();
    EXPECT_EQ(f.shown(), QStringList({"radio", "chair"}));
    f.type(F::Brand, QStringLiteral("son"));
    s.MoreButtonClick();
    EXPECT_EQ(f.shown(), QStringList({"radio", "chair"}));
    s.ExitButtonClick();
    EXPECT_EQ(s.result(), QDialog::Rejected);
    EXPECT_TRUE(f.session.searchOn);
    EXPECT_EQ(f.session.items.table().countVisible(), 2u);
}

TEST(SearchWindow, FailuresLevelsAndTheOverflow) {
    Fixture f;
    TMySearch& s = *f.search;
    // A bad number: the message, the row made current, the level's items dropped.
    f.type(F::Brand, QStringLiteral("acme"));
    s.MoreButtonClick();
    f.type(F::Item, QStringLiteral("lamp"));
    f.type(F::Cost, QStringLiteral("$100"));
    f.prompter.expectMessage("Error", "Invalid search criteria entered.  Please correct.");
    s.MoreButtonClick();
    EXPECT_EQ(s.level(), 2);
    EXPECT_EQ(s.currentRow(), F::Cost);
    ASSERT_EQ(s.criteria().items.size(), 1u);
    EXPECT_EQ(s.criterion(F::Item), "lamp"); // the typing stays for correcting

    // Find More stops at level 10; Ok still saves and applies level 10.
    f.type(F::Cost, QString());
    for (int level = 2; level <= 9; ++level) {
        f.type(F::Item, QStringLiteral("no such %1").arg(level));
        s.MoreButtonClick();
        EXPECT_EQ(s.moreButton()->isEnabled(), level < 9) << level;
    }
    EXPECT_EQ(s.level(), 10);
    EXPECT_EQ(s.criteriaHeader(), " SEARCH CRITERIA    (Level 10)");
    // A failed Ok at level 10 leaves Find More off: there is no eleventh level.
    f.type(F::Cost, QStringLiteral("$1"));
    f.prompter.expectMessage("Error", "Invalid search criteria entered.  Please correct.");
    s.OkButtonClick();
    EXPECT_FALSE(s.moreButton()->isEnabled());
    s.MoreButtonClick();
    EXPECT_EQ(s.level(), 10);
    f.type(F::Cost, QString());
    f.type(F::Owner, QStringLiteral("cy"));
    s.OkButtonClick();
    EXPECT_EQ(s.criteria().items.size(), 10u);
    EXPECT_EQ(f.shown(), QStringList({"lamp", "desk", "chair"}));

    // Left at level 10 by Escape rather than Exit: the next showing offers Find More again.
    s.FormShow();
    for (int level = 1; level <= 9; ++level) {
        f.type(F::Item, QStringLiteral("n"));
        s.MoreButtonClick();
    }
    ASSERT_FALSE(s.moreButton()->isEnabled());
    s.reject();
    s.FormShow();
    EXPECT_TRUE(s.moreButton()->isEnabled());

    // Clear Search empties the grid and goes back to level 1 with Find More on.
    s.FormShow();
    f.type(F::Item, QStringLiteral("x"));
    s.MoreButtonClick();
    f.type(F::Item, QStringLiteral("y"));
    s.ClearSearch();
    EXPECT_EQ(s.level(), 1);
    EXPECT_EQ(s.criterion(F::Item), "");
    EXPECT_TRUE(s.criteria().items.empty());
    EXPECT_TRUE(s.moreButton()->isEnabled());

    // The 76th item clears everything.
    for (int level = 1; level <= 4; ++level) {
        for (int row = 1; row <= 22; ++row)
            if (searchRowKind(row) == RowKind::Text)
                f.type(row, QStringLiteral("a"));
        f.type(F::Cost, QStringLiteral("1"));
        f.type(F::Value, QStringLiteral("1"));
        f.type(F::RepCost, QStringLiteral("1"));
        f.type(F::Quantity, QStringLiteral("1"));
        f.type(F::PurchDate, QStringLiteral("01012020"));
        f.type(F::WarDate, QStringLiteral("01012020"));
        if (level == 4) {
            EXPECT_EQ(s.criteria().items.size(), 66u);
            f.prompter.expectMessage("Error",
                                     "More than 75 search items have been entered.  This exceeds "
                                     "the maximum allowable.  Search criteria will be cleared.");
        }
        s.MoreButtonClick();
    }
    EXPECT_EQ(s.level(), 1);
    EXPECT_TRUE(s.criteria().items.empty());
    EXPECT_EQ(s.criterion(F::Item), "");
    EXPECT_EQ(s.criteriaHeader(), " SEARCH CRITERIA    (Level 1)");
}

TEST(SearchOptions, OperatorRowsAndPickLists) {
    Fixture f;
    TMySearch& s = *f.search;
    const ColorSet colors = f.session.db.colors(WindowKind::Search);

    // Operator rows: four entries, the row's operator selected; the template changes at once.
    {
        TSearchOptions o(s, F::Cost, QStringLiteral("Cost"), {" = ", " > ", " < ", " > X < "}, 0,
                         f.context, colors);
        EXPECT_EQ(o.windowTitle(), "Search Options");
        EXPECT_EQ(o.heading()->text(), "Cost");
        EXPECT_EQ(o.list()->currentRow(), 0);
        o.list()->setCurrentRow(3);
        o.OkButtonClick();
    }
    EXPECT_EQ(s.rowOperator(F::Cost), RowOperator::Range);
    EXPECT_EQ(s.currentRow(), F::Cost);
    EXPECT_EQ(s.criterionEdit(F::Cost)->displayText(), "> _________ AND < ________");

    // Pick lists: the choice overwrites what was typed; Ok with nothing chosen changes
    // nothing but makes the row current; Cancel changes nothing.
    f.type(F::Brand, QStringLiteral("typed"));
    {
        TSearchOptions o(s, F::Brand, QStringLiteral("Make"), {"Acme", "Sonar"}, -1, f.context,
                         colors);
        EXPECT_EQ(o.list()->currentItem(), nullptr);
        s.makeRowCurrent(F::Item);
        o.OkButtonClick();
    }
    EXPECT_EQ(s.criterion(F::Brand), "typed");
    EXPECT_EQ(s.currentRow(), F::Brand);
    {
        TSearchOptions o(s, F::Brand, QStringLiteral("Make"), {"Acme", "Sonar"}, -1, f.context,
                         colors);
        o.list()->setCurrentRow(1);
        o.CancelButtonClick();
    }
    EXPECT_EQ(s.criterion(F::Brand), "typed");
    {
        TSearchOptions o(s, F::Brand, QStringLiteral("Make"), {"Acme", "Sonar"}, -1, f.context,
                         colors);
        o.list()->setCurrentRow(1);
        o.OkButtonClick();
    }
    EXPECT_EQ(s.criterion(F::Brand), "Sonar");

    // Through the grid: the option cell opens the dialog with the list the main window
    // holds, or YES and NO for Warranty; rows without options open nothing.
    QStringList offered;
    whenOptionsOpen([&](TSearchOptions& o) {
        EXPECT_EQ(o.heading()->text(), "Make");
        for (int i = 0; i < o.list()->count(); ++i)
            offered << o.list()->item(i)->text();
        o.list()->setCurrentRow(0);
        o.OkButtonClick();
    });
    s.GridCellClick(F::Brand, 1);
    EXPECT_EQ(offered, QStringList({"Acme", "Sonar"}));
    EXPECT_EQ(s.criterion(F::Brand), "Acme");

    whenOptionsOpen([&](TSearchOptions& o) {
        EXPECT_EQ(o.list()->count(), 2);
        EXPECT_EQ(o.list()->item(0)->text(), "YES");
        EXPECT_EQ(o.list()->item(1)->text(), "NO");
        o.list()->setCurrentRow(1);
        o.OkButtonClick();
    });
    s.GridCellClick(F::Warranty, 1);
    EXPECT_EQ(s.criterion(F::Warranty), "NO");

    whenOptionsOpen([&](TSearchOptions& o) {
        EXPECT_EQ(o.list()->currentRow(), 3); // the range chosen above
        o.list()->setCurrentRow(1);
        o.OkButtonClick();
    });
    s.GridCellClick(F::Cost, 1);
    EXPECT_EQ(s.rowOperator(F::Cost), RowOperator::Greater);

    s.GridCellClick(F::Item, 1);  // no options
    s.GridCellClick(F::Brand, 2); // not the option column
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

// The option cell takes no focus: F4 or Alt+Down in a criterion cell opens its choices, so a
// range or a list entry can be searched for without the mouse.
TEST(SearchOptions, KeyboardReachesTheOptionsOfTheCurrentRow) {
    Fixture f;
    TMySearch& s = *f.search;
    s.show();
    QApplication::setActiveWindow(&s);
    const auto answer = [](std::vector<int> keys) {
        whenOptionsOpen([keys](TSearchOptions& o) {
            EXPECT_TRUE(QTest::qWaitFor([&o] { return o.list()->hasFocus(); }, 1000));
            for (int k : keys)
                QTest::keyClick(o.list(), Qt::Key(k));
            QTest::keyClick(o.list(), Qt::Key_Return); // Ok is the default button
        });
    };

    s.makeRowCurrent(F::Brand);
    answer({Qt::Key_Space}); // the first entry of the list
    QTest::keyClick(s.criterionEdit(F::Brand), Qt::Key_Down, Qt::AltModifier);
    EXPECT_EQ(s.criterion(F::Brand), "Acme");
    EXPECT_EQ(s.focusWidget(), s.criterionEdit(F::Brand));
    s.criterionEdit(F::Brand)->clear();

    s.makeRowCurrent(F::Cost);
    answer({Qt::Key_Down, Qt::Key_Down, Qt::Key_Down}); // " > X < "
    QTest::keyClick(s.criterionEdit(F::Cost), Qt::Key_F4);
    EXPECT_EQ(s.rowOperator(F::Cost), RowOperator::Range);
    EXPECT_EQ(s.focusWidget(), s.criterionEdit(F::Cost));

    // The range typed and Enter: the table shows only what lies inside it.
    QTest::keyClicks(s.criterionEdit(F::Cost), QStringLiteral("99       160"));
    QTest::keyClick(s.criterionEdit(F::Cost), Qt::Key_Return);
    EXPECT_FALSE(s.isVisible());
    EXPECT_TRUE(f.session.searchOn);
    EXPECT_EQ(f.shown(), QStringList({"tv", "radio", "desk"}));
}
