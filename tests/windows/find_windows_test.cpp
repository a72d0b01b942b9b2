#include "appearance/view_config.h"
#include "appearance/view_config_rules.h"
#include "find/locate_dialog.h"
#include "find/search_replace.h"
#include "find/search_window.h"
#include "find/sort_order.h"
#include "items/database_ops.h"
#include "items/item_schema.h"
#include "mainwindow/main_window.h"
#include "mainwindow/viewer_model.h"
#include "modal_helper.h"
#include "scripted_prompter.h"
#include "settings/settings.h"
#include "test_files.h"

#include "qstring_printer.h"
#include "ui/window_services.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {
namespace F = item_field;

struct Fixture {
    TestDir dir;
    AppPaths paths;
    QString dbf;
    Fixture() {
        paths.programDir = dir.file("prog");
        paths.settingsDir = dir.file("cfg");
        paths.currentDir = dir.path();
        dbf = paths.programDir + "/MASTER.DBF";
        ScriptedPrompter first;
        TMain w(first, paths, {1024, 768});
        w.session().global.showTips = false;
        w.close();
        ItemTable items;
        items.setPaths(DatabasePaths::forTable(dbf));
        items.open();
        for (const char* n : {"Lamp", "Chair", "Table", "Lampshade"}) {
            items.table().append();
            items.setText(F::Item, QString::fromLatin1(n));
            items.setText(F::Category, QStringLiteral("Cat ") + QString::fromLatin1(n));
            items.table().post();
        }
    }
    // Values of one field as the file holds them, in record order, read by another opener.
    QStringList fileColumn(int field) {
        ItemTable items;
        items.setPaths(DatabasePaths::forTable(dbf));
        items.open(dbase::OpenMode::ReadOnly);
        QStringList values;
        for (std::uint32_t n = 1; n <= items.table().recordCount(); ++n) {
            items.table().gotoBookmark({n});
            values << items.text(field);
        }
        return values;
    }
};

QString currentItem(TMain& w) {
    const int row = w.viewerGrid()->currentIndex().row();
    const int column = [&] {
        for (int c = 0; c < w.viewerModel()->columnCount(); ++c)
            if (w.viewerModel()->fieldAt(c) == F::Item)
                return c;
        return -1;
    }();
    return w.viewerModel()->index(row, column).data().toString();
}

void startSearch(TMain& w, const QString& itemText) {
    whenModalShown([&](QWidget* modal) {
        auto* search = qobject_cast<TMySearch*>(modal);
        ASSERT_NE(search, nullptr);
        search->setCriterion(F::Item, itemText);
        search->OkButtonClick();
    });
    w.action("Navi&gate/&Search (Query)")->trigger();
}
} // namespace

TEST(LocateWindow, LocateAndLocateNextMoveTheViewerOnlyToMatches) {
    Fixture f;
    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {1024, 768});
    w.session().global.showTips = false;
    w.session().db.fieldNames[F::Brand - 1] = "Maker";
    w.show();
    ASSERT_TRUE(w.action("Navi&gate/&Locate")->isEnabled());
    ASSERT_TRUE(w.speedButton("LocateNextSpeed")->isEnabled());

    // Locate Next before any locate opens the dialog, with the remembered choices.
    bool shown = false;
    whenModalShown([&](QWidget* modal) {
        auto* dlg = qobject_cast<TMyLocateDlg*>(modal);
        ASSERT_NE(dlg, nullptr);
        shown = true;
        EXPECT_EQ(dlg->windowTitle(), "Locate Field Value");
        EXPECT_TRUE(dlg->nextButton()->isDefault());
        EXPECT_TRUE(dlg->matchRadio(mtPartialMatchStart)->isChecked());
        EXPECT_FALSE(dlg->caseBox()->isChecked());
        EXPECT_EQ(dlg->fieldList()->currentIndex(), -1);
        // Display names, sorted.
        QStringList labels;
        for (int i = 0; i < dlg->fieldList()->count(); ++i)
            labels << dlg->fieldList()->itemText(i);
        EXPECT_EQ(labels.size(), 22);
        EXPECT_TRUE(labels.contains("Maker"));
        EXPECT_FALSE(labels.contains("Brand"));
        EXPECT_TRUE(std::is_sorted(labels.begin(), labels.end()));

        dlg->fieldList()->setCurrentIndex(labels.indexOf("Item"));
        dlg->valueBox()->setText("lamb");
        prompter.expectMessage("Information", "No matches found");
        dlg->firstButton()->click();
        EXPECT_TRUE(dlg->isVisible());
        dlg->valueBox()->setText("LAMP");
        dlg->nextButton()->click(); // after Chair, the first row by category: Lamp
        EXPECT_FALSE(dlg->isVisible());
    });
    w.action("Navi&gate/Locate &Next")->trigger();
    ASSERT_TRUE(shown);
    EXPECT_EQ(currentItem(w), "Lamp");

    // Repeating goes on from there, in the viewer's order, until nothing more matches; the
    // viewer then stays where it was.
    w.action("Navi&gate/Locate &Next")->trigger();
    EXPECT_EQ(currentItem(w), "Lampshade");
    prompter.expectMessage("Information", "No more matches found");
    w.action("Navi&gate/Locate &Next")->trigger();
    EXPECT_EQ(currentItem(w), "Lampshade");

    // The dialog opens again on the last field and value.
    whenModalShown([&](QWidget* modal) {
        auto* dlg = qobject_cast<TMyLocateDlg*>(modal);
        ASSERT_NE(dlg, nullptr);
        EXPECT_EQ(dlg->fieldList()->currentText(), "Item");
        EXPECT_EQ(dlg->valueBox()->text(), "LAMP");
        dlg->matchRadio(mtPartialMatchAny)->setChecked(true);
        dlg->valueBox()->setText("abl");
        dlg->firstButton()->click();
    });
    w.action("Navi&gate/&Locate")->trigger();
    EXPECT_EQ(currentItem(w), "Table");
    EXPECT_EQ(w.locateDialog()->MatchType, mtPartialMatchAny);
    EXPECT_EQ(w.locateDialog()->SearchField.toUpper(), "ITEM");

    // With a search in force only its records can be found.
    startSearch(w, "lamp");
    ASSERT_TRUE(w.session().searchOn);
    whenModalShown([&](QWidget* modal) {
        auto* dlg = qobject_cast<TMyLocateDlg*>(modal);
        ASSERT_NE(dlg, nullptr);
        dlg->valueBox()->setText("abl");
        prompter.expectMessage("Information", "No matches found");
        dlg->firstButton()->click();
        dlg->cancelButton()->click();
    });
    w.action("Navi&gate/&Locate")->trigger();
    EXPECT_EQ(w.viewerModel()->rowCount(), 2);
    w.close();
}

TEST(LocateWindow, ChoosingAFieldEmptiesTheValueAndEnterOnTheListDoesNotSearch) {
    Fixture f;
    ScriptedPrompter prompter;
    WindowContext context(prompter);
    InventorySession session;
    session.items.setPaths(DatabasePaths::forTable(f.dbf));
    session.items.open();
    TMyLocateDialog locate(context, nullptr);
    locate.DataSource = &session;
    auto dlg = locate.prepare();
    ASSERT_NE(dlg, nullptr);
    dlg->show();
    QApplication::setActiveWindow(dlg.get());
    dlg->valueBox()->setText("something");
    dlg->fieldList()->setFocus();
    EXPECT_TRUE(QTest::qWaitFor([&] { return dlg->fieldList()->hasFocus(); }));
    EXPECT_FALSE(dlg->nextButton()->isDefault());
    QTest::keyClick(dlg->fieldList(), Qt::Key_Return); // no search, no message
    EXPECT_TRUE(dlg->isVisible());
    dlg->fieldList()->setCurrentIndex(2);
    EXPECT_EQ(dlg->valueBox()->text(), "");
    EXPECT_TRUE(QTest::qWaitFor([&] { return dlg->valueBox()->hasFocus(); }));
    EXPECT_TRUE(dlg->nextButton()->isDefault());
    dlg->reject();
    locate.storeBack(*dlg);
    EXPECT_FALSE(locate.SearchField.isEmpty());
    EXPECT_EQ(locate.SearchField, locate.fieldForLabel(dlg->fieldList()->itemText(2)));
    EXPECT_EQ(locate.lastValue(), "");

    // No open table: the component says so and shows nothing.
    session.items.close();
    prompter.expectMessage("Error", "DataSource does not reference an active DataSet");
    EXPECT_EQ(locate.prepare(), nullptr);
    prompter.expectMessage("Warning", "DataSource does not refer to an active table!");
    EXPECT_FALSE(locate.DoFindNext());
    prompter.verifyDone();
}

TEST(SearchReplaceWindow, ChecksFocusTheOffendingBoxAndMasksFollowTheField) {
    Fixture f;
    ScriptedPrompter prompter;
    WindowContext context(prompter);
    InventorySession session;
    session.items.setPaths(DatabasePaths::forTable(f.dbf));
    session.items.open();
    for (int n = 1; n <= kFieldCount; ++n)
        session.db.fieldNames[size_t(n - 1)] = itemField(n)->qLabel();
    session.db.fieldNames[F::Cost - 1] = "Price Paid";
    TSearchAndReplace w(session, context, [] {});
    w.show();
    QApplication::setActiveWindow(&w);
    EXPECT_EQ(w.windowTitle(), "Search and Replace");
    EXPECT_EQ(w.fieldBox()->count(), 22);
    EXPECT_EQ(w.fieldBox()->itemText(F::Cost - 1), "Price Paid");
    EXPECT_EQ(w.fieldBox()->currentIndex(), -1);

    prompter.expectMessage("Error", "No field has been selected.");
    w.startButton()->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.fieldBox()->hasFocus(); }));

    w.searchText()->setText("old");
    w.fieldBox()->setCurrentIndex(F::PurchDate - 1);
    w.FieldBoxChange(F::PurchDate - 1);
    EXPECT_EQ(w.searchText()->text(), "//");
    EXPECT_EQ(w.replaceText()->maxLength(), 10);
    prompter.expectMessage("Error", "Invalid search date entered.  Please correct.");
    w.startButton()->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.searchText()->hasFocus(); }));

    w.fieldBox()->setCurrentIndex(F::Cost - 1);
    w.FieldBoxChange(F::Cost - 1);
    EXPECT_EQ(w.searchText()->inputMask(), "");
    EXPECT_EQ(w.searchText()->maxLength(), 9);
    w.searchText()->setText("12.5");
    w.replaceText()->setText("1,000");
    prompter.expectMessage("Error", "Invalid replacement value entered.  Please correct.");
    w.startButton()->click();
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.replaceText()->hasFocus(); }));
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(f.fileColumn(F::Cost), QStringList({"", "", "", ""}));
    prompter.verifyDone();
}

TEST(SearchReplaceWindow, ReplacingFromTheMainWindowKeepsTheSearchAndTheOrder) {
    Fixture f;
    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {1024, 768});
    w.session().global.showTips = false;
    w.show();
    ASSERT_EQ(w.session().sortExpression.isEmpty(), false); // by category
    startSearch(w, "lamp");
    ASSERT_EQ(w.countLabel()->text(), "2");

    whenModalShown([&](QWidget* modal) {
        auto* sr = qobject_cast<TSearchAndReplace*>(modal);
        ASSERT_NE(sr, nullptr);
        sr->fieldBox()->setCurrentIndex(F::Category - 1);
        sr->FieldBoxChange(F::Category - 1);
        sr->searchText()->setText("cat lampshade");
        sr->replaceText()->setText("A Shades");
        sr->confirmBox()->setChecked(true);
        prompter
            .expectMessage("Confirm", "Item = \"Lampshade\".  Change this record?", MsgButton::Yes)
            .expectMessage("Finished", "Global Search and Replace Complete.");
        sr->startButton()->click();
        EXPECT_TRUE(sr->completed());
        EXPECT_EQ(sr->counters().processed, 4);
        EXPECT_EQ(sr->counters().changed, 1);
    });
    w.action("&Tools/&Search and Replace")->trigger();
    EXPECT_EQ(f.fileColumn(F::Category),
              QStringList({"Cat Lamp", "Cat Chair", "Cat Table", "A Shades"}));
    // Still searching, now ordered with the new category first.
    EXPECT_TRUE(w.session().searchOn);
    EXPECT_TRUE(w.searchOnLabel()->isVisible());
    EXPECT_EQ(w.countLabel()->text(), "2");
    ASSERT_EQ(w.viewerModel()->rowCount(), 2);
    w.viewerGrid()->setCurrentIndex(w.viewerModel()->index(0, 0));
    EXPECT_EQ(currentItem(w), "Lampshade");
    w.close();
}

TEST(ViewerConfigWindow, SettingsChangeAtOnceAndClosingAppliesTheFieldPages) {
    Fixture f;
    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {1024, 768});
    w.session().global.showTips = false;
    w.show();
    whenModalShown([&](QWidget* modal) {
        auto* vc = qobject_cast<TViewConfig*>(modal);
        ASSERT_NE(vc, nullptr);
        EXPECT_EQ(vc->windowTitle(), "Viewer Configuration");
        EXPECT_EQ(vc->pages()->count(), 6);
        EXPECT_EQ(vc->pages()->tabText(5), "Field &Names");
        EXPECT_EQ(vc->titleFontBox()->text(), "12 pt Arial");
        vc->showTitlesBox()->click();
        EXPECT_FALSE(w.session().db.showTitles); // at once

        // A new title font and colour; Arial, drawn here in another family, keeps its name.
        prompter.expectFont(installedFont(QFont(QStringLiteral("Arial"), 14)), QColor(0, 0, 0x80));
        vc->titleFontClick();
        EXPECT_EQ(vc->titleFontBox()->text(), "14 pt Arial");
        EXPECT_EQ(w.session().db.titleFont.color, 0x800000); // blue in the high byte

        // Brand renamed and moved to the top, Model hidden, a width out of range.
        vc->nameGrid()->item(F::Brand - 1, 1)->setText("Maker");
        vc->orderGrid()->setCurrentCell(F::Brand - 1, 0);
        vc->UpButtonClick();
        EXPECT_EQ(vc->orderGrid()->currentRow(), 0);
        vc->FieldsToDisplayDblClick(F::Model - 1, 1);
        EXPECT_EQ(vc->displayGrid()->item(F::Model - 1, 1)->text(), "No");
        vc->widthGrid()->item(F::Brand - 1, 1)->setText("300");

        // Two fields named alike: refused, the names page shown.
        vc->nameGrid()->item(F::Owner - 1, 1)->setText("Maker");
        prompter.expectMessage("Error",
                               "Two field names have the same name \"Maker\".  Please change one.");
        vc->pages()->setCurrentIndex(TViewConfig::OrderPage);
        vc->ExitButtonClick();
        EXPECT_TRUE(vc->isVisible());
        EXPECT_EQ(vc->pages()->currentIndex(), TViewConfig::NamesPage);
        EXPECT_EQ(vc->helpKeyword(), "Viewer Configuration Names");
        vc->nameGrid()->item(F::Owner - 1, 1)->setText("Owner");
        vc->ExitButtonClick();
        EXPECT_FALSE(vc->isVisible());
        EXPECT_EQ(vc->widthGrid()->item(F::Brand - 1, 1)->text(), "10");
    });
    w.action("Navi&gate/&Viewer")->trigger();
    const auto& db = w.session().db;
    EXPECT_EQ(db.fieldNames[F::Brand - 1], "Maker");
    EXPECT_EQ(db.fieldOrder[F::Brand - 1], 1);
    EXPECT_EQ(db.fieldWidth[F::Brand - 1], 10);
    EXPECT_FALSE(db.displayFields[F::Model - 1]);
    // The viewer shows it: Maker first, no Model column, no titles row.
    EXPECT_EQ(w.viewerModel()->headerData(0, Qt::Horizontal).toString(), "Maker");
    for (int c = 0; c < w.viewerModel()->columnCount(); ++c)
        EXPECT_NE(w.viewerModel()->fieldAt(c), F::Model);
    EXPECT_FALSE(w.viewerGrid()->horizontalHeader()->isVisible());

    // The sort order lists and the search grid name the field the new way.
    TMySortOrder order(w.session(), w.context(), [] {});
    EXPECT_EQ(order.levelList(0)->itemText(F::Brand), "Maker");
    whenModalShown([&](QWidget* modal) {
        auto* search = qobject_cast<TMySearch*>(modal);
        ASSERT_NE(search, nullptr);
        EXPECT_EQ(search->grid()->item(F::Brand - 1, 0)->text(), " Maker");
    });
    w.action("Navi&gate/&Search (Query)")->trigger();
    w.close();
}

TEST(ViewerConfigWindow, NamesThatWouldBeStoredAlikeAreRefusedAndWhatIsStoredSurvivesARestart) {
    Fixture f;
    {
        ScriptedPrompter prompter;
        TMain w(prompter, f.paths, {1024, 768});
        w.session().global.showTips = false;
        w.show();
        whenModalShown([&](QWidget* modal) {
            auto* vc = qobject_cast<TViewConfig*>(modal);
            ASSERT_NE(vc, nullptr);
            QTableWidget* names = vc->nameGrid();
            // Two names alike in their first 20 characters, and one alike but for a blank.
            names->item(F::Cost - 1, 1)->setText("Price paid in the shop");
            names->item(F::RepCost - 1, 1)->setText("Price paid in the sh0p");
            prompter.expectMessage(
                "Error", "Two field names have the same name \"Price paid in the sh\".  Please "
                         "change one.");
            vc->ExitButtonClick();
            EXPECT_TRUE(vc->isVisible());
            EXPECT_EQ(vc->pages()->currentIndex(), TViewConfig::NamesPage);

            names->item(F::RepCost - 1, 1)->setText("Cost to replace");
            names->item(F::Value - 1, 1)->setText("  Model ");
            prompter.expectMessage(
                "Error", "Two field names have the same name \"Model\".  Please change one.");
            vc->ExitButtonClick();
            EXPECT_TRUE(vc->isVisible());

            names->item(F::Value - 1, 1)->setText(" Worth ");

            // Typed into a cell, a name stops at 20 characters.
            vc->pages()->setCurrentIndex(TViewConfig::NamesPage);
            names->setFocus();
            names->setCurrentCell(F::Warranty - 1, 1);
            names->editItem(names->item(F::Warranty - 1, 1));
            auto* editor = qobject_cast<QLineEdit*>(QApplication::focusWidget());
            ASSERT_NE(editor, nullptr);
            editor->selectAll();
            QTest::keyClicks(editor, QStringLiteral("Length of the guarantee"));
            EXPECT_EQ(editor->text(), "Length of the guaran");
            vc->ExitButtonClick();
            EXPECT_FALSE(vc->isVisible());
        });
        w.action("Navi&gate/&Viewer")->trigger();
        prompter.verifyDone();
        // The viewer shows the names the settings file will give back.
        const auto& db = w.session().db;
        EXPECT_EQ(db.fieldNames[F::Cost - 1], "Price paid in the sh");
        EXPECT_EQ(db.fieldNames[F::Value - 1], "Worth");
        EXPECT_EQ(db.fieldNames[F::Warranty - 1], "Length of the guaran");
        w.close();
    }
    const DatabaseSettings back = loadDatabaseSettings(f.paths.programDir + "/MASTER.INI",
                                                       globalSettingsPath(f.paths.settingsDir));
    EXPECT_EQ(back.fieldNames[F::Cost - 1], "Price paid in the sh");
    EXPECT_EQ(back.fieldNames[F::RepCost - 1], "Cost to replace");
    EXPECT_EQ(back.fieldNames[F::Value - 1], "Worth");
    EXPECT_FALSE(duplicateFieldName(back.fieldNames));
}

TEST(ViewerConfigWindow, AFontSizeTheSettingsCannotKeepIsBroughtIntoRangeAtOnce) {
    Fixture f;
    {
        ScriptedPrompter prompter;
        TMain w(prompter, f.paths, {1024, 768});
        w.session().global.showTips = false;
        w.show();
        whenModalShown([&](QWidget* modal) {
            auto* vc = qobject_cast<TViewConfig*>(modal);
            ASSERT_NE(vc, nullptr);
            // The font dialog takes any size typed into it.
            prompter.expectFont(installedFont(QFont(QStringLiteral("Arial"), 100)), Qt::black);
            vc->titleFontClick();
            EXPECT_EQ(vc->titleFontBox()->text(), "72 pt Arial");
            prompter.expectFont(installedFont(QFont(QStringLiteral("Arial"), 2)), Qt::black);
            vc->cellFontClick();
            vc->ExitButtonClick();
        });
        w.action("Navi&gate/&Viewer")->trigger();
        prompter.verifyDone();
        EXPECT_EQ(w.viewerGrid()->horizontalHeader()->font().pointSize(), 72);
        EXPECT_EQ(w.session().db.gridFont.size, 4);
        w.close();
    }
    // The next run shows the same sizes.
    const DatabaseSettings back = loadDatabaseSettings(f.paths.programDir + "/MASTER.INI",
                                                       globalSettingsPath(f.paths.settingsDir));
    EXPECT_EQ(back.titleFont.size, 72);
    EXPECT_EQ(back.gridFont.size, 4);
}
