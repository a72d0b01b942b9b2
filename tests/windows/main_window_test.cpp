#include "find/search_window.h"
#include "items/database_ops.h"
#include "mainwindow/main_window.h"
#include "mainwindow/tip_dialog.h"
#include "mainwindow/viewer_model.h"
#include "modal_helper.h"
#include "scripted_prompter.h"
#include "settings/settings.h"
#include "test_files.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {
struct Fixture {
    TestDir dir;
    AppPaths paths;
    Fixture() {
        paths.programDir = dir.file("prog");
        paths.settingsDir = dir.file("cfg");
        paths.currentDir = dir.path();
    }
};

// Runs the program once so MASTER.DBF and the settings exist, with tips off for later runs.
void firstRun(const Fixture& f, bool fieldEditing = false) {
    ScriptedPrompter first;
    TMain w(first, f.paths, {1024, 768});
    w.session().global.showTips = false;
    w.session().db.fieldEditing = fieldEditing;
    w.close();
}

// Adds items to a database through a second table object, as another copy would.
void addItems(const QString& dbf, const QStringList& names) {
    ItemTable items;
    items.setPaths(DatabasePaths::forTable(dbf));
    items.open();
    for (const QString& n : names) {
        items.table().append();
        items.setText(1, n);
        items.setText(12, QStringLiteral("Cat ") + n);
        items.table().post();
    }
}
} // namespace

TEST(MainWindow, FirstStartCreatesMasterAndShowsTheTip) {
    Fixture f;
    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {1024, 768});
    ASSERT_TRUE(w.startedUp());
    EXPECT_TRUE(QFile::exists(f.paths.programDir + "/MASTER.DBF"));
    EXPECT_EQ(w.windowTitle(), "Tallywick Inventory 97 (MASTER)");
    EXPECT_EQ(w.size(), QSize(640, 480));
    EXPECT_EQ(w.pos(), QPoint(0, 0));
    EXPECT_EQ(w.buttonBarMode(), ButtonBarMode::Speed);
    EXPECT_TRUE(w.action("&Options/&Screen Access/&Speed Buttons")->isChecked());
    EXPECT_TRUE(w.action("&Options/&Date Format/mm/dd/yy")->isChecked());
    EXPECT_FALSE(w.action("&Options/&Date Format/&Leading Zeros")->isChecked());

    bool tipShown = false;
    whenModalShown([&](QWidget* modal) {
        tipShown = qobject_cast<TTipOfDay*>(modal) != nullptr;
        EXPECT_EQ(modal->windowTitle(), "Tip of the Day");
    });
    w.show();
    w.activateWindow();
    QApplication::setActiveWindow(&w);
    EXPECT_TRUE(QTest::qWaitFor([&] { return tipShown; }, 3000));
    EXPECT_EQ(w.countLabel()->text(), "0");
    w.close();
}

TEST(MainWindow, MenusCarryEveryCommandWithItsShortcut) {
    Fixture f;
    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {1024, 768});
    struct Row {
        const char* path;
        const char* keys;
    };
    const Row rows[] = {
        {"&File/&New Database", "Ctrl+W"},
        {"&File/&Open Database", "Ctrl+O"},
        {"&File/&Update Database", "Ctrl+Z"},
        {"&File/&Back Up Data", "Ctrl+B"},
        {"&File/&Restore Data", "Ctrl+Y"},
        {"&File/&Print", "Ctrl+P"},
        {"&File/E&xit", "Ctrl+X"},
        {"&Records/&Add", "Ctrl+A"},
        {"&Records/&Edit", "Ctrl+E"},
        {"&Records/&Copy", "Ctrl+C"},
        {"&Records/&Delete", "Ctrl+D"},
        {"&Records/&Import", "Ctrl+M"},
        {"&Records/E&xport", "Ctrl+T"},
        {"Navi&gate/&Search (Query)", "Ctrl+S"},
        {"Navi&gate/&End Search", "Ctrl+I"},
        {"Navi&gate/&Locate", "Ctrl+L"},
        {"Navi&gate/Locate &Next", "Ctrl+N"},
        {"Navi&gate/&Reports", "Ctrl+R"},
        {"Navi&gate/&Viewer", "Ctrl+V"},
        {"&Options/Sort &Order", "Ctrl+Q"},
        {"&Options/Screen Si&ze/640 x 480", "Shift+F1"},
        {"&Options/Screen Si&ze/1280 x 1024", "Shift+F4"},
        {"&Options/&Screen Access/&Speed Buttons", "Ctrl+F1"},
        {"&Options/&Screen Access/&None", "Ctrl+F3"},
        {"&Options/&Color/&Main Window Color", "Ctrl+F4"},
        {"&Options/&Color/&ALL Windows Color", "Ctrl+F9"},
        {"&Options/&Label Font", "Shift+F8"},
        {"&Options/&Button Font", "Shift+F10"},
        {"&Tools/&Search and Replace", "Ctrl+F"},
        {"&Help/&Contents", "Ctrl+H"},
    };
    for (const Row& r : rows) {
        QAction* a = w.action(r.path);
        ASSERT_NE(a, nullptr) << r.path;
        EXPECT_EQ(a->shortcut().toString(), r.keys) << r.path;
    }
    ASSERT_NE(w.action("&Help/&Review \"Tips of the Day\""), nullptr);
    ASSERT_NE(w.action("&Options/List &Maintenance/Load In &Defaults"), nullptr);
    ASSERT_NE(w.action("&Options/&Date Format/dd.mm.yyyy"), nullptr);
    // With no recent files the File menu ends with Exit.
    QAction* last = nullptr;
    for (QAction* a : w.menu("&File")->actions())
        if (a->isVisible())
            last = a;
    EXPECT_EQ(last->text(), "E&xit");
    // No search is on, so End Search is off everywhere.
    EXPECT_FALSE(w.action("Navi&gate/&End Search")->isEnabled());
    EXPECT_FALSE(w.speedButton("EndSearchSpeed")->isEnabled());
}

TEST(MainWindow, ButtonBarModesShowTheirControlsAndLayOutTheViewer) {
    Fixture f;
    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {1024, 768});
    w.show();
    w.action("&Options/&Screen Access/&Lettered Buttons")->trigger();
    EXPECT_EQ(w.buttonBarMode(), ButtonBarMode::Lettered);
    EXPECT_FALSE(w.speedPanel()->isVisible());
    EXPECT_TRUE(w.letteredButton("AddButton")->isVisible());
    EXPECT_TRUE(w.letteredButton("ButtonExit")->isEnabled());
    EXPECT_FALSE(w.letteredButton("EndSearchButton")->isEnabled());
    EXPECT_EQ(w.viewerGrid()->y(), 122);
    const int ch = w.centralWidget()->height();
    EXPECT_EQ(w.viewerGrid()->height(), ch - 129);

    w.SetButtonBar(ButtonBarMode::None);
    EXPECT_FALSE(w.letteredButton("AddButton")->isVisible());
    EXPECT_EQ(w.viewerGrid()->y(), 40);
    w.resize(900, 600);
    const int cw = w.centralWidget()->width();
    EXPECT_EQ(w.navigator()->x(), cw - 207);
    EXPECT_EQ(w.viewerGrid()->width(), cw - 14);

    w.SetButtonBar(ButtonBarMode::Speed);
    EXPECT_TRUE(w.speedPanel()->isVisible());
    EXPECT_EQ(w.speedButton("SpeedSetOrder")->toolTip(), "Set Sorting Order");
    EXPECT_EQ(w.viewerGrid()->y(), 70);
    w.session().global.showTips = false;
    w.close();
}

TEST(MainWindow, ScreenSizePresetsRefuseLargerThanTheScreen) {
    Fixture f;
    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {800, 600});
    w.applyWindowSizeSetting(1280); // stored 1280 on an 800 x 600 screen
    EXPECT_EQ(w.context().scaleFactor, 1.0);
    EXPECT_TRUE(w.action("&Options/Screen Si&ze/640 x 480")->isChecked());
    EXPECT_EQ(w.windowSizePreset(), 1280);

    prompter.expectMessage("Error",
                           "Your current screen resolution does not support 1024 x 768 pixels.");
    w.action("&Options/Screen Si&ze/1024 x 768")->trigger();
    EXPECT_TRUE(w.action("&Options/Screen Si&ze/640 x 480")->isChecked());
    EXPECT_EQ(w.windowSizePreset(), 1280);

    w.action("&Options/Screen Si&ze/800 x 600")->trigger();
    EXPECT_EQ(w.windowSizePreset(), 800);
    EXPECT_EQ(w.context().scaleFactor, 1.25);
    EXPECT_TRUE(w.action("&Options/Screen Si&ze/800 x 600")->isChecked());
}

TEST(MainWindow, ViewerShowsItemsAndDeleteAnsweredNoKeepsThem) {
    Fixture f;
    firstRun(f);
    addItems(f.paths.programDir + "/MASTER.DBF", {"Lamp", "Chair", "Table"});
    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {1024, 768});
    w.session().global.showTips = false;
    w.show();
    EXPECT_EQ(w.countLabel()->text(), "3");
    EXPECT_EQ(w.viewerModel()->rowCount(), 3);
    EXPECT_EQ(w.viewerModel()->headerData(0, Qt::Horizontal).toString(), "Item");
    // Sorted by category: "Cat Chair", "Cat Lamp", "Cat Table".
    EXPECT_EQ(w.viewerModel()->index(0, 0).data().toString(), "Chair");

    prompter.expectMessage("Confirm", "Delete this record?", MsgButton::No);
    w.action("&Records/&Delete")->trigger();
    EXPECT_EQ(w.countLabel()->text(), "3");

    w.viewerGrid()->setCurrentIndex(w.viewerModel()->index(1, 0));
    prompter.expectMessage("Confirm", "Delete this record?", MsgButton::Yes);
    w.action("&Records/&Delete")->trigger();
    EXPECT_EQ(w.countLabel()->text(), "2");
    EXPECT_EQ(w.viewerModel()->index(0, 0).data().toString(), "Chair");
    EXPECT_EQ(w.viewerModel()->index(1, 0).data().toString(), "Table");
    w.close();
}

TEST(MainWindow, DeleteNeverTakesTheNeighbourOfAnItemAnotherCopyRemoved) {
    Fixture f;
    firstRun(f);
    const QString dbf = f.paths.programDir + "/MASTER.DBF";
    // Record order unlike the sort order, as a household's items come.
    QStringList names;
    for (int i = 1; i <= 40; ++i)
        names << QStringLiteral("Item %1").arg((i * 7919) % 1009, 4, 10, QLatin1Char('0'));
    names[20] = QStringLiteral("Lamp");
    addItems(dbf, names);
    names.sort();
    const int row = int(names.indexOf("Lamp"));
    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {1024, 768});
    w.show();
    w.viewerGrid()->setCurrentIndex(w.viewerModel()->index(row, 0));
    ASSERT_EQ(w.viewerModel()->index(row, 0).data().toString(), "Lamp");
    // This copy changes another item (the file is read afresh from then on)...
    {
        ItemTable& items = w.session().items;
        ASSERT_TRUE(items.goToRecord(1));
        items.table().edit();
        items.setText(3, QStringLiteral("M-1"));
        items.table().post();
    }
    // ...and another copy of the program deletes Lamp; this viewer still shows it.
    {
        ItemTable other;
        other.setPaths(DatabasePaths::forTable(dbf));
        other.open();
        for (other.table().first(); other.text(1) != "Lamp"; other.table().next())
            ASSERT_FALSE(other.table().eof());
        other.table().deleteRecord();
    }
    prompter.expectMessage("Error", "");
    w.action("&Records/&Delete")->trigger();
    prompter.verifyDone();
    names.removeOne("Lamp");
    ASSERT_EQ(w.viewerModel()->rowCount(), names.size());
    for (int r = 0; r < names.size(); ++r)
        EXPECT_EQ(w.viewerModel()->index(r, 0).data().toString(), names[r]);
    EXPECT_EQ(w.countLabel()->text(), "39");
    w.close();
}

TEST(MainWindow, ShutdownWritesBothSettingsFilesAndBrowseModeKeepsFieldEditing) {
    Fixture f;
    firstRun(f, true);
    ScriptedPrompter prompter;
    {
        TMain w(prompter, f.paths, {1024, 768}, {"/BrOwSe"});
        EXPECT_TRUE(w.session().browseMode);
        EXPECT_FALSE(w.action("&Records/&Delete")->isEnabled());
        EXPECT_FALSE(w.speedButton("DeleteSpeed")->isEnabled());
        EXPECT_FALSE(w.action("Navi&gate/&Viewer")->isEnabled());
        EXPECT_FALSE(w.speedButton("ViewerSpeed")->isEnabled());
        EXPECT_FALSE(w.action("&Tools/&Search and Replace")->isEnabled());
        EXPECT_TRUE(w.speedButton("LocateSpeed")->isEnabled());
        EXPECT_FALSE(w.action("&Options/List &Maintenance/&Brand")->isEnabled() &&
                     w.menu("List &Maintenance")->isEnabled());
        w.show();
        // Whole rows are selected even though Field Editing is set.
        EXPECT_EQ(w.viewerGrid()->selectionBehavior(), QAbstractItemView::SelectRows);
        EXPECT_FALSE(w.viewerModel()->isEditable());
        w.move(30, 40);
        w.resize(700, 500);
        w.close();
    }
    const GlobalSettings g = loadGlobalSettings(f.paths.settingsDir, f.paths.currentDir);
    EXPECT_EQ(g.mainWindowWidth, 700);
    EXPECT_EQ(g.mainWindowHeight, 500);
    EXPECT_FALSE(g.showTips);
    EXPECT_EQ(g.lastDatabase, f.paths.programDir + "/MASTER.DBF");
    const DatabaseSettings db = loadDatabaseSettings(f.paths.programDir + "/MASTER.INI",
                                                     globalSettingsPath(f.paths.settingsDir));
    EXPECT_TRUE(db.fieldEditing);
}

TEST(MainWindow, ViewerFollowsTheSortIndexAndPackAndRebuildKeepIt) {
    Fixture f;
    firstRun(f);
    const QString dbf = f.paths.programDir + "/MASTER.DBF";
    {
        ItemTable items;
        items.setPaths(DatabasePaths::forTable(dbf));
        items.open();
        for (const char* cat : {"tools", "Books", "apples", "Zebra"}) {
            items.table().append();
            items.setText(1, QString::fromLatin1(cat) + " item");
            items.setText(12, QString::fromLatin1(cat));
            items.table().post();
        }
    }
    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {1024, 768});
    w.session().global.showTips = false;
    w.show();
    ASSERT_TRUE(QFile::exists(f.paths.programDir + "/MASTER.MDX"));
    auto column0 = [&w] {
        QStringList items;
        for (int r = 0; r < w.viewerModel()->rowCount(); ++r)
            items << w.viewerModel()->index(r, 0).data().toString();
        return items;
    };
    // Case-blind category order.
    EXPECT_EQ(column0(), (QStringList{"apples item", "Books item", "tools item", "Zebra item"}));

    // Pack with another program holding the table: refused, and the table stays usable.
    {
        dbase::Table other;
        other.openFile(dbf.toStdString(), dbase::OpenMode::Shared);
        prompter.expectMessage("Confirm", kPackQuestion, MsgButton::Yes);
        prompter.expectMessage("Error", kPackFailure);
        w.action("&Tools/&Pack Database")->trigger();
        EXPECT_EQ(w.countLabel()->text(), "4");
        EXPECT_EQ(column0().size(), 4);
    }

    w.viewerGrid()->setCurrentIndex(w.viewerModel()->index(1, 0));
    prompter.expectMessage("Confirm", "Delete this record?", MsgButton::Yes);
    w.action("&Records/&Delete")->trigger();
    const qint64 before = QFileInfo(dbf).size();
    prompter.expectMessage("Confirm", kPackQuestion, MsgButton::Yes);
    w.action("&Tools/&Pack Database")->trigger();
    EXPECT_LT(QFileInfo(dbf).size(), before);
    EXPECT_EQ(column0(), (QStringList{"apples item", "tools item", "Zebra item"}));

    prompter.expectMessage("Confirm", kRebuildQuestion, MsgButton::Yes);
    w.action("&Tools/&Rebuild Indexes")->trigger();
    EXPECT_EQ(column0(), (QStringList{"apples item", "tools item", "Zebra item"}));
    EXPECT_EQ(w.countLabel()->text(), "3");
    w.close();
}

TEST(MainWindow, AddOpensTheRecordEditorAndTheCountFollows) {
    Fixture f;
    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {1024, 768});
    w.session().global.showTips = false;
    w.show();
    ASSERT_NE(w.editor(), nullptr);
    bool edited = false;
    whenModalShown([&](QWidget* modal) {
        auto* item = modal->findChild<QLineEdit*>("Item");
        ASSERT_NE(item, nullptr);
        QTest::keyClicks(item, "Desk lamp");
        auto* update = modal->findChild<QPushButton*>("UpdateExitButton");
        ASSERT_NE(update, nullptr);
        QTest::mouseClick(update, Qt::LeftButton);
        edited = true;
    });
    w.action("&Records/&Add")->trigger();
    EXPECT_TRUE(edited);
    EXPECT_EQ(w.countLabel()->text(), "1");
    EXPECT_EQ(w.viewerModel()->index(0, 0).data().toString(), "Desk lamp");
    w.close();
}

TEST(MainWindow, SearchNarrowsTheViewerUntilEndSearch) {
    Fixture f;
    firstRun(f);
    addItems(f.paths.programDir + "/MASTER.DBF", {"Lamp", "Chair", "Table", "Lampshade"});
    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {1024, 768});
    w.session().global.showTips = false;
    w.show();
    EXPECT_FALSE(w.searchOnLabel()->isVisible());
    whenModalShown([&](QWidget* modal) {
        auto* search = qobject_cast<TMySearch*>(modal);
        ASSERT_NE(search, nullptr);
        search->setCriterion(1, "lamp");
        search->OkButtonClick();
    });
    w.action("Navi&gate/&Search (Query)")->trigger();
    EXPECT_TRUE(w.session().searchOn);
    EXPECT_TRUE(w.searchOnLabel()->isVisible());
    EXPECT_TRUE(w.action("Navi&gate/&End Search")->isEnabled());
    EXPECT_EQ(w.countLabel()->text(), "2");
    EXPECT_EQ(w.viewerModel()->rowCount(), 2);

    // Update Database keeps the search in force.
    w.action("&File/&Update Database")->trigger();
    EXPECT_EQ(w.countLabel()->text(), "2");

    w.action("Navi&gate/&End Search")->trigger();
    EXPECT_FALSE(w.session().searchOn);
    EXPECT_FALSE(w.searchOnLabel()->isVisible());
    EXPECT_EQ(w.countLabel()->text(), "4");
    EXPECT_EQ(w.viewerModel()->rowCount(), 4);
    w.close();
}

TEST(MainWindow, DateFormatMenusChangeTheViewerAtOnce) {
    Fixture f;
    firstRun(f);
    {
        ItemTable items;
        items.setPaths(DatabasePaths::forTable(f.paths.programDir + "/MASTER.DBF"));
        items.open();
        items.table().append();
        items.setText(1, "Clock");
        items.setText(12, "A");
        items.setDate(10, QDate(1997, 12, 31));
        items.table().post();
        items.table().append();
        items.setText(1, "Radio");
        items.setText(12, "B");
        items.setDate(10, QDate(1997, 1, 5));
        items.table().post();
    }
    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {1024, 768});
    w.session().global.showTips = false;
    w.show();
    int dateColumn = -1;
    for (int c = 0; c < w.viewerModel()->columnCount(); ++c)
        if (w.viewerModel()->fieldAt(c) == 10)
            dateColumn = c;
    ASSERT_GE(dateColumn, 0);
    auto shown = [&](int row) { return w.viewerModel()->index(row, dateColumn).data().toString(); };
    EXPECT_EQ(shown(0), "12/31/97");
    EXPECT_EQ(shown(1), "1/5/97");

    w.action("&Options/&Date Format/dd-mm-yy")->trigger();
    EXPECT_TRUE(w.action("&Options/&Date Format/dd-mm-yy")->isChecked());
    EXPECT_FALSE(w.action("&Options/&Date Format/mm/dd/yy")->isChecked());
    EXPECT_EQ(shown(1), "5-1-97");
    w.action("&Options/&Date Format/&Leading Zeros")->trigger();
    EXPECT_TRUE(w.action("&Options/&Date Format/&Leading Zeros")->isChecked());
    EXPECT_EQ(shown(0), "31-12-97");
    EXPECT_EQ(shown(1), "05-01-97");

    w.action("&Options/&Date Format/mm/dd/yyyy")->trigger();
    EXPECT_EQ(shown(0), "12/31/1997");
    w.action("&Options/C&urrency Format/&Windows Setting")->trigger();
    EXPECT_TRUE(w.action("&Options/C&urrency Format/&Windows Setting")->isChecked());
    EXPECT_FALSE(w.action("&Options/C&urrency Format/&U.S. Dollars")->isChecked());
    w.close();
    const GlobalSettings g = loadGlobalSettings(f.paths.settingsDir, f.paths.currentDir);
    EXPECT_EQ(g.dateFormat, 7);
    EXPECT_TRUE(g.dateLeadingZeros);
    EXPECT_EQ(g.currencyFormat, 2);
}

TEST(MainWindow, FieldEditingWritesCellsAndRefusesWhatTheTableCannotHold) {
    Fixture f;
    firstRun(f, true);
    const QString dbf = f.paths.programDir + "/MASTER.DBF";
    addItems(dbf, {"Lamp"});
    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {1024, 768});
    w.session().global.showTips = false;
    w.show();
    ViewerModel* m = w.viewerModel();
    ASSERT_TRUE(m->isEditable());
    int warrantyColumn = -1;
    for (int c = 0; c < m->columnCount(); ++c)
        if (m->fieldAt(c) == 14)
            warrantyColumn = c;
    ASSERT_GE(warrantyColumn, 0);
    EXPECT_TRUE(m->flags(m->index(0, warrantyColumn)) & Qt::ItemIsUserCheckable);

    EXPECT_TRUE(m->setData(m->index(0, 0), "Floor lamp", Qt::EditRole));
    EXPECT_TRUE(m->setData(m->index(0, warrantyColumn), Qt::Checked, Qt::CheckStateRole));
    prompter.expectMessage("Error", "");
    EXPECT_FALSE(m->setData(m->index(0, 0), QString::fromUtf8("Lamp \u4e2d"), Qt::EditRole));
    EXPECT_TRUE(prompter.lastMessage().text.contains(QString::fromUtf8("\u4e2d")));

    // What another reader of the file sees.
    ItemTable reader;
    reader.setPaths(DatabasePaths::forTable(dbf));
    reader.open(dbase::OpenMode::ReadOnly);
    reader.table().first();
    EXPECT_EQ(reader.text(1), "Floor lamp");
    EXPECT_EQ(reader.text(14), "Yes");
    w.close();
}
