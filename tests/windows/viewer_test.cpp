#include "find/search_window.h"
#include "items/database_ops.h"
#include "mainwindow/main_window.h"
#include "mainwindow/viewer_model.h"
#include "modal_helper.h"
#include "scripted_prompter.h"
#include "settings/settings.h"
#include "test_files.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QStyleOptionViewItem>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <optional>

// The viewer over tables far larger than a screen: every row reachable at once in record
// order, in index order and with a search in force, and the count right after every change.

namespace {

constexpr int kItems = 3000;

struct Fixture {
    TestDir dir;
    AppPaths paths;
    QString dbf;
    Fixture() {
        paths.programDir = dir.file("prog");
        paths.settingsDir = dir.file("cfg");
        paths.currentDir = dir.path();
        dbf = paths.programDir + "/MASTER.DBF";
    }
    // One run that creates MASTER.DBF and leaves these settings for the next.
    void firstRun(std::array<int, 4> sortKeys, bool fieldEditing) const {
        ScriptedPrompter first;
        TMain w(first, paths, {1024, 768});
        w.session().global.showTips = false;
        w.session().db.sortKeys = sortKeys;
        w.session().db.fieldEditing = fieldEditing;
        w.close();
    }
};

QString itemName(int rec) {
    return QStringLiteral("Item %1").arg(rec, 4, 10, QLatin1Char('0'));
}
// Unique categories in an order unrelated to the record order.
QString category(int rec) {
    return QStringLiteral("C%1").arg((rec * 7919) % 10007, 5, 10, QLatin1Char('0'));
}
bool matches(int rec) {
    return rec % 3 == 0;
}

void fillItems(const QString& dbf) {
    ItemTable items;
    items.setPaths(DatabasePaths::forTable(dbf));
    items.open();
    for (int rec = 1; rec <= kItems; ++rec) {
        items.table().append();
        items.setText(1, itemName(rec));
        items.setText(3, matches(rec) ? QStringLiteral("match") : QStringLiteral("other"));
        items.setText(12, category(rec));
        items.table().post();
    }
}

// The item names the viewer should show, in order.
QStringList expectedRows(bool byCategory, bool searched) {
    std::vector<int> recs;
    for (int rec = 1; rec <= kItems; ++rec)
        if (!searched || matches(rec))
            recs.push_back(rec);
    if (byCategory)
        std::sort(recs.begin(), recs.end(), [](int a, int b) { return category(a) < category(b); });
    QStringList names;
    for (int rec : recs)
        names << itemName(rec);
    return names;
}

QString shownItem(TMain& w, int row) {
    return w.viewerModel()->index(row, 0).data().toString();
}

QString currentItem(TMain& w) {
    ItemTable& items = w.session().items;
    return items.text(1);
}

// Last, Ctrl+End, First and a drag of the scroll bar to the middle, each checked against
// what the grid shows and the record the table stands on.
void checkReachesEveryRow(TMain& w, const QStringList& expected) {
    SCOPED_TRACE(expected.size());
    QTableView* grid = w.viewerGrid();
    ASSERT_EQ(w.viewerModel()->rowCount(), expected.size());
    EXPECT_EQ(w.countLabel()->text(), QString::number(expected.size()));
    EXPECT_EQ(w.session().items.table().countVisible(), quint32(expected.size()));

    w.navigator()->button(RecordNavigator::Last)->click();
    EXPECT_EQ(grid->currentIndex().row(), expected.size() - 1);
    EXPECT_EQ(currentItem(w), expected.last());
    EXPECT_EQ(shownItem(w, grid->currentIndex().row()), expected.last());

    w.navigator()->button(RecordNavigator::First)->click();
    EXPECT_EQ(grid->currentIndex().row(), 0);
    EXPECT_EQ(currentItem(w), expected.first());

    grid->setFocus();
    QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(grid->currentIndex().row(), expected.size() - 1);
    EXPECT_EQ(currentItem(w), expected.last());
    QTest::keyClick(grid, Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(currentItem(w), expected.first());

    QScrollBar* bar = grid->verticalScrollBar();
    bar->setValue(bar->maximum() / 2);
    const int top = grid->rowAt(0);
    EXPECT_GT(top, expected.size() / 3);
    EXPECT_LT(top, expected.size() * 2 / 3);
    ASSERT_GE(top, 0);
    EXPECT_EQ(shownItem(w, top), expected[top]);
    EXPECT_EQ(shownItem(w, top + 5), expected[top + 5]);
}

int columnOf(TMain& w, int field) {
    for (int c = 0; c < w.viewerModel()->columnCount(); ++c)
        if (w.viewerModel()->fieldAt(c) == field)
            return c;
    return -1;
}

void search(TMain& w, int row, const QString& criterion) {
    whenModalShown([&](QWidget* modal) {
        auto* window = qobject_cast<TMySearch*>(modal);
        ASSERT_NE(window, nullptr);
        window->setCriterion(row, criterion);
        window->OkButtonClick();
    });
    w.action("Navi&gate/&Search (Query)")->trigger();
    ASSERT_TRUE(w.session().searchOn);
}

} // namespace

TEST(ViewerAtScale, EveryRowIsReachedAtOnceInEveryOrderAndWithASearch) {
    Fixture f;
    f.firstRun({0, 0, 0, 0}, false);
    fillItems(f.dbf);
    {
        ScriptedPrompter prompter;
        TMain w(prompter, f.paths, {1024, 768});
        w.show();
        ASSERT_TRUE(w.session().items.indexName().isEmpty());
        checkReachesEveryRow(w, expectedRows(false, false));
        search(w, 3, "match");
        checkReachesEveryRow(w, expectedRows(false, true));
        w.action("Navi&gate/&End Search")->trigger();
        w.session().db.sortKeys = {12, 0, 0, 0};
        w.close();
    }
    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {1024, 768});
    w.show();
    ASSERT_FALSE(w.session().items.indexName().isEmpty());
    checkReachesEveryRow(w, expectedRows(true, false));
    search(w, 3, "match");
    checkReachesEveryRow(w, expectedRows(true, true));
    // A second search over the one in force is read afresh, not patched.
    search(w, 1, "Item 00");
    EXPECT_EQ(w.viewerModel()->rowCount(), 99); // Item 0001 ... Item 0099
    EXPECT_EQ(w.countLabel()->text(), "99");
    w.close();
}

TEST(ViewerAtScale, CountAndRowsFollowAddsEditsLeavingTheSearchAndDeletes) {
    Fixture f;
    f.firstRun({12, 0, 0, 0}, true);
    fillItems(f.dbf);
    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {1024, 768});
    w.show();
    search(w, 3, "match");
    QStringList expected = expectedRows(true, true);
    ViewerModel* m = w.viewerModel();
    ASSERT_EQ(m->rowCount(), expected.size());
    auto consistent = [&] {
        EXPECT_EQ(m->rowCount(), int(w.session().items.table().countVisible()));
        EXPECT_EQ(w.countLabel()->text(), QString::number(m->rowCount()));
    };

    // A grid edit that leaves the search takes its row away.
    const int modelColumn = columnOf(w, 3);
    ASSERT_GE(modelColumn, 0);
    const int row = expected.size() / 2;
    EXPECT_TRUE(m->setData(m->index(row, modelColumn), "other", Qt::EditRole));
    QApplication::processEvents();
    expected.removeAt(row);
    consistent();
    EXPECT_EQ(shownItem(w, row), expected[row]);

    // A grid edit of the sort key moves the row, and the grid's current cell goes with it,
    // so the next edit reaches the record the user sees selected.
    const int categoryColumn = columnOf(w, 12);
    ASSERT_GE(categoryColumn, 0);
    const QString moved = expected[10];
    w.viewerGrid()->setCurrentIndex(m->index(10, categoryColumn));
    EXPECT_TRUE(m->setData(m->index(10, categoryColumn), "ZZ", Qt::EditRole));
    QApplication::processEvents();
    expected.removeAt(10);
    expected.append(moved);
    consistent();
    EXPECT_EQ(w.viewerGrid()->currentIndex().row(), expected.size() - 1);
    EXPECT_EQ(shownItem(w, expected.size() - 1), moved);
    EXPECT_EQ(shownItem(w, 10), expected[10]);

    // Delete from the middle.
    w.viewerGrid()->setCurrentIndex(m->index(100, 0));
    prompter.expectMessage("Confirm", "Delete this record?", MsgButton::Yes);
    w.action("&Records/&Delete")->trigger();
    expected.removeAt(100);
    consistent();
    EXPECT_EQ(shownItem(w, 100), expected[100]);

    // Add through the record editor: an item that matches and sorts first (no category).
    whenModalShown([&](QWidget* modal) {
        QTest::keyClicks(modal->findChild<QLineEdit*>("Item"), "Aardvark");
        QTest::keyClicks(modal->findChild<QLineEdit*>("Model"), "match");
        QTest::mouseClick(modal->findChild<QPushButton*>("UpdateExitButton"), Qt::LeftButton);
    });
    w.action("&Records/&Add")->trigger();
    expected.prepend("Aardvark");
    consistent();
    EXPECT_EQ(shownItem(w, 0), "Aardvark");
    EXPECT_EQ(shownItem(w, expected.size() - 1), expected.last());

    // Another copy of the program appends meanwhile; Refresh shows it.
    {
        ItemTable other;
        other.setPaths(DatabasePaths::forTable(f.dbf));
        other.open();
        other.table().append();
        other.setText(1, "Zulu");
        other.setText(3, "match");
        other.setText(12, "ZZZ");
        other.table().post();
    }
    w.navigator()->button(RecordNavigator::Refresh)->click();
    expected.append("Zulu");
    consistent();
    w.navigator()->button(RecordNavigator::Last)->click();
    EXPECT_EQ(currentItem(w), "Zulu");
    w.close();
}

TEST(ViewerAtScale, AnUnreadableIndexIsAMessageAndRebuildIndexesRepairsIt) {
    Fixture f;
    f.firstRun({12, 0, 0, 0}, false);
    {
        ItemTable items;
        items.setPaths(DatabasePaths::forTable(f.dbf));
        items.open();
        for (const char* cat : {"A", "B", "C", "Y", "Z"}) {
            items.table().append();
            items.setText(1, QStringLiteral("In ") + QLatin1String(cat));
            items.setText(12, QLatin1String(cat));
            items.table().post();
        }
    }
    // What a pack killed after its rename leaves: the index names records past the end.
    {
        QFile file(f.dbf);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        file.seek(4);
        const char three[4] = {3, 0, 0, 0};
        file.write(three, 4);
    }
    ScriptedPrompter prompter;
    prompter.expectMessage("Error", "");
    TMain w(prompter, f.paths, {1024, 768});
    w.show();
    EXPECT_TRUE(QTest::qWaitFor([&] { return prompter.done(); }));
    EXPECT_TRUE(prompter.lastMessage().text.contains("past the end"));
    QAction* rebuild = w.action("&Tools/&Rebuild Indexes");
    ASSERT_TRUE(rebuild->isEnabled());
    prompter.expectMessage("Confirm", kRebuildQuestion, MsgButton::Yes);
    rebuild->trigger();
    QApplication::processEvents();
    EXPECT_EQ(w.viewerModel()->rowCount(), 3);
    EXPECT_EQ(w.countLabel()->text(), "3");
    EXPECT_EQ(shownItem(w, 2), "In C");
    w.close();
}

TEST(ViewerAtScale, RowsTheFileNoLongerHoldsAreOneMessageNotACrash) {
    Fixture f;
    f.firstRun({0, 0, 0, 0}, false);
    fillItems(f.dbf);
    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {1024, 768});
    w.show();
    ASSERT_EQ(w.viewerModel()->rowCount(), kItems);
    // Another program cuts the file short behind our back; the header still counts every row.
    {
        QFile file(f.dbf);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.resize(file.size() / 2));
    }
    prompter.expectMessage("Error", "");
    QTableView* grid = w.viewerGrid();
    grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum());
    grid->viewport()->repaint();
    EXPECT_TRUE(QTest::qWaitFor([&] { return prompter.done(); }));
    // Every further unreadable cell is the same fault: no second message.
    grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum() - 40);
    grid->viewport()->repaint();
    QApplication::processEvents();
    EXPECT_TRUE(w.action("&Tools/&Rebuild Indexes")->isEnabled());
    EXPECT_EQ(shownItem(w, 0), itemName(1));
    w.close();
}

// Opens the cell's editor as the grid does (F2), holding the cell's text.
static std::unique_ptr<QWidget> openCellEditor(QTableView* grid, const QModelIndex& cell) {
    QAbstractItemDelegate* delegate = grid->itemDelegateForIndex(cell);
    QStyleOptionViewItem option;
    option.initFrom(grid);
    std::unique_ptr<QWidget> editor(delegate->createEditor(grid->viewport(), option, cell));
    if (editor)
        delegate->setEditorData(editor.get(), cell);
    return editor;
}

// Closes the editor as Enter does: the delegate hands its text to the model.
static void closeCellEditor(QTableView* grid, const QModelIndex& cell, QWidget* editor) {
    grid->itemDelegateForIndex(cell)->setModelData(editor, grid->model(), cell);
    QApplication::processEvents();
}

// What the grid does with a typed cell: the text typed over what the cell offers.
static void typeIntoCell(QTableView* grid, const QModelIndex& cell, const QString& text) {
    const std::unique_ptr<QWidget> widget = openCellEditor(grid, cell);
    auto* editor = qobject_cast<QLineEdit*>(widget.get());
    ASSERT_NE(editor, nullptr);
    editor->selectAll();
    QTest::keyClicks(editor, text);
    closeCellEditor(grid, cell, editor);
}

// Adds one item of that name to the fixture's table; `more` sets its other fields.
static void addOneItem(const Fixture& f, const char* name,
                       const std::function<void(ItemTable&)>& more = {}) {
    ItemTable items;
    items.setPaths(DatabasePaths::forTable(f.dbf));
    items.open();
    items.table().append();
    items.setText(1, name);
    if (more)
        more(items);
    items.table().post();
}

// What the table file holds for the first item, read afresh.
template <class Get> static auto storedInFirstItem(const Fixture& f, Get get) {
    ItemTable reader;
    reader.setPaths(DatabasePaths::forTable(f.dbf));
    reader.open(dbase::OpenMode::ReadOnly);
    reader.table().first();
    return get(reader);
}
static std::optional<double> storedNumber(const Fixture& f, int field) {
    return storedInFirstItem(f, [&](ItemTable& r) { return r.floating(field); });
}
static std::optional<QDate> storedDate(const Fixture& f, int field) {
    return storedInFirstItem(f, [&](ItemTable& r) { return r.date(field); });
}
static QString storedText(const Fixture& f, int field) {
    return storedInFirstItem(f, [&](ItemTable& r) { return r.text(field); });
}

TEST(ViewerGrid, DatesTypedInFullInEveryFormatReachTheFileAndBadOnesAreRefused) {
    Fixture f;
    f.firstRun({12, 0, 0, 0}, true);
    addOneItem(f, "Clock");
    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {1024, 768});
    w.show();
    QTableView* grid = w.viewerGrid();
    const int dateColumn = columnOf(w, 10);
    ASSERT_GE(dateColumn, 0);
    const QModelIndex cell = w.viewerModel()->index(0, dateColumn);
    ASSERT_TRUE(w.viewerModel()->isEditable());
    ASSERT_TRUE(cell.flags() & Qt::ItemIsEditable);
    auto type = [&](const QString& text) { typeIntoCell(grid, cell, text); };
    auto stored = [&] { return storedDate(f, 10); };
    struct Case {
        const char* menu;
        bool leadingZeros;
        const char* typed;
        QDate date;
    };
    const Case cases[] = {
        {"dd-mm-yyyy", true, "15-06-2001", {2001, 6, 15}},
        {"mm/dd/yyyy", true, "12/31/1999", {1999, 12, 31}},
        {"dd.mm.yyyy", false, "5.6.2003", {2003, 6, 5}},
        {"mm.dd.yyyy", false, "2.29.2004", {2004, 2, 29}},
        {"dd/mm/yy", true, "01/02/03", {2003, 2, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        w.action(QStringLiteral("&Options/&Date Format/") + c.menu)->trigger();
        QAction* zeros = w.action("&Options/&Date Format/&Leading Zeros");
        if (zeros->isChecked() != c.leadingZeros)
            zeros->trigger();
        type(c.typed);
        EXPECT_EQ(stored(), c.date);
        EXPECT_EQ(cell.data().toString(), QString::fromLatin1(c.typed));
    }

    // Refused, and the stored date stays as it was.
    w.action("&Options/&Date Format/dd-mm-yyyy")->trigger();
    for (const char* bad : {"31-02-2001", "15-13-2001", "15-06"}) {
        SCOPED_TRACE(bad);
        prompter.expectMessage("Error", "");
        type(QString::fromLatin1(bad));
        EXPECT_TRUE(prompter.done());
        EXPECT_EQ(stored(), QDate(2003, 2, 1));
    }
    w.close();
}

TEST(ViewerGrid, AmountsTypedWithGroupingReachTheFileWholeAndWideOnesAreRefused) {
    Fixture f;
    f.firstRun({12, 0, 0, 0}, true);
    addOneItem(f, "Clock");
    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {1024, 768});
    w.show();
    QTableView* grid = w.viewerGrid();
    auto type = [&](int field, const QString& text) {
        typeIntoCell(grid, w.viewerModel()->index(0, columnOf(w, field)), text);
    };
    auto stored = [&](int field) { return storedNumber(f, field); };

    // Read as the record editor reads its value boxes; no typing limit cuts "1,000" to 100.
    type(9, "1,000");
    EXPECT_EQ(stored(9), 1000);
    type(11, "12,345,678.90");
    EXPECT_EQ(stored(11), 12345678.9);
    // Too wide for an amount, or no number: the editor's message, and the amount stays.
    prompter.expectMessage("Error", "Invalid cost specified.  Please correct.");
    type(11, "1,234,567,890");
    prompter.expectMessage("Error", "Invalid value specified.  Please correct.");
    type(18, "12 dollars");
    prompter.verifyDone();
    EXPECT_EQ(stored(11), 12345678.9);
    w.close();
}

// Types at the end of what the cell's editor offers and closes it; the offered text comes back.
static QString typeAtEndOfCell(QTableView* grid, const QModelIndex& cell, const QString& keys) {
    const std::unique_ptr<QWidget> widget = openCellEditor(grid, cell);
    auto* editor = qobject_cast<QLineEdit*>(widget.get());
    if (!editor)
        return QStringLiteral("(no line editor)");
    const QString offered = editor->text();
    editor->end(false);
    QTest::keyClicks(editor, keys);
    closeCellEditor(grid, cell, editor);
    return offered;
}

TEST(ViewerGrid, AmountsAreOfferedForEditingInTheRegionalFormAndReadBackAsShown) {
    Fixture f;
    f.firstRun({12, 0, 0, 0}, true);
    addOneItem(f, "Clock");
    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {1024, 768});
    w.show();
    // Decimal comma, grouping point.
    w.session().numbers.setRegional({QLatin1Char(','), QLatin1Char('.'), 2});
    w.action("&Options/C&urrency Format/&Windows Setting")->trigger();
    w.action("&Options/&Numeric Format/&Windows Setting")->trigger();
    QTableView* grid = w.viewerGrid();
    auto cell = [&](int field) { return w.viewerModel()->index(0, columnOf(w, field)); };
    auto stored = [&](int field) { return storedNumber(f, field); };
    typeIntoCell(grid, cell(11), "1.234,5");
    typeIntoCell(grid, cell(9), "1.500");
    ASSERT_EQ(stored(11), 1234.5);
    ASSERT_EQ(stored(9), 1500);

    // A cell closed unchanged keeps its amount (the file's "1234.50" read with a decimal
    // comma would be 123450).
    EXPECT_EQ(typeAtEndOfCell(grid, cell(11), QString()), "1.234,50");
    EXPECT_EQ(stored(11), 1234.5);
    EXPECT_EQ(typeAtEndOfCell(grid, cell(9), QString()), "1.500");
    EXPECT_EQ(stored(9), 1500);
    // One more digit typed after what the cell offers: 1234.507, kept to two decimals.
    EXPECT_EQ(typeAtEndOfCell(grid, cell(11), QStringLiteral("7")), "1.234,50");
    EXPECT_EQ(stored(11), 1234.51);
    prompter.verifyDone();
    w.close();
}

TEST(ViewerGrid, ADateWithATwoDigitYearFormatKeepsItsCenturyWhenEdited) {
    Fixture f;
    f.firstRun({12, 0, 0, 0}, true);
    addOneItem(f, "Piano", [](ItemTable& items) { items.setDate(10, QDate(1935, 1, 1)); });
    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {1024, 768}); // date format 1: m/d/yy
    w.show();
    const QModelIndex cell = w.viewerModel()->index(0, columnOf(w, 10));
    ASSERT_EQ(cell.data().toString(), "1/1/35");
    auto stored = [&] { return storedDate(f, 10); };
    // The year's last digit changed in what the cell offers.
    EXPECT_EQ(typeAtEndOfCell(w.viewerGrid(), cell, QStringLiteral("\b6")), "01/01/1935");
    EXPECT_EQ(stored(), QDate(1936, 1, 1));
    EXPECT_EQ(cell.data().toString(), "1/1/36");
    prompter.verifyDone();
    w.close();
}

TEST(ViewerGrid, TypingIntoADropDownColumnStoresExactlyWhatWasTyped) {
    Fixture f;
    f.firstRun({12, 0, 0, 0}, true);
    addOneItem(f, "Drill", [](ItemTable& items) {
        items.setText(2, QStringLiteral("Bosch"));
        items.setText(12, QStringLiteral("Tools"));
    });
    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {1024, 768});
    w.show();
    QTableView* grid = w.viewerGrid();
    auto stored = [&](int field) { return storedText(f, field); };
    // The user's keys: the first opens the cell's drop-down, the rest and Enter go to it.
    auto typeIntoGrid = [&](int field, const QString& text) {
        const QModelIndex cell = w.viewerModel()->index(0, columnOf(w, field));
        grid->setCurrentIndex(cell);
        grid->setFocus();
        QTest::keyClicks(grid, text.left(1));
        QWidget* editor = grid->indexWidget(cell);
        ASSERT_NE(editor, nullptr);
        QTest::keyClicks(editor, text.mid(1));
        QTest::keyClick(editor, Qt::Key_Return);
        // The commit is queued, and the row's move after it too.
        QApplication::processEvents();
        QApplication::processEvents();
    };
    typeIntoGrid(2, "Makita");
    EXPECT_EQ(stored(2), "Makita");
    typeIntoGrid(12, "Garden");
    EXPECT_EQ(stored(12), "Garden");
    typeIntoGrid(1, "Saw"); // a plain text cell, for comparison
    EXPECT_EQ(stored(1), "Saw");
    // Stored as typed, as the record editor stores it: neither completed from the list nor
    // put in the letter case of an entry.
    w.session().lists.setList(1, {QStringLiteral("Sanyo"), QStringLiteral("Bosch")});
    typeIntoGrid(2, "Bo");
    EXPECT_EQ(stored(2), "Bo");
    typeIntoGrid(2, "sanyo");
    EXPECT_EQ(stored(2), "sanyo");
    prompter.verifyDone();
    w.close();
}

TEST(ViewerGrid, TitlesStayWholeAndUnboldAndASwitchStartsAtTheFirstColumn) {
    Fixture f;
    f.firstRun({12, 0, 0, 0}, false);
    fillItems(f.dbf);
    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {640, 480});
    w.resize(640, 480);
    w.show();
    QTableView* grid = w.viewerGrid();
    QHeaderView* header = grid->horizontalHeader();
    EXPECT_FALSE(header->highlightSections());
    const int repCost = columnOf(w, 13);
    ASSERT_GE(repCost, 0);
    const QString title = w.viewerModel()->headerData(repCost, Qt::Horizontal).toString();
    EXPECT_EQ(title, "Replacement Cost");
    EXPECT_GT(header->sectionSize(repCost), QFontMetrics(header->font()).horizontalAdvance(title));

    // Every navigator button lies inside the window at 640 wide.
    for (int b = 0; b < RecordNavigator::Count; ++b) {
        QToolButton* button = w.navigator()->button(static_cast<RecordNavigator::Button>(b));
        const QRect r(button->mapTo(&w, QPoint(0, 0)), button->size());
        EXPECT_TRUE(w.rect().contains(r)) << b;
        EXPECT_GE(button->width(), button->iconSize().width()) << b;
    }

    grid->horizontalScrollBar()->setValue(grid->horizontalScrollBar()->maximum());
    ASSERT_GT(grid->horizontalScrollBar()->value(), 0);
    const QString other = f.dir.file("OTHER.DBF");
    prompter.expectSaveFile(other);
    w.action("&File/&New Database")->trigger();
    QApplication::processEvents();
    EXPECT_EQ(w.session().items.paths().current, other);
    EXPECT_EQ(grid->horizontalScrollBar()->value(), 0);
    w.close();
}
