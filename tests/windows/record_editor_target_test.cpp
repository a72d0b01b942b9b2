// The record editor inside the running program: whatever the search, the sort order and the
// viewer do while it is open, each update reaches the record it loaded or inserted.

#include "edit/record_editor.h"
#include "find/search_window.h"
#include "items/database_paths.h"
#include "items/item_schema.h"
#include "items/item_table.h"
#include "mainwindow/main_window.h"
#include "mainwindow/viewer_model.h"
#include "modal_helper.h"
#include "scripted_prompter.h"
#include "test_files.h"

#include <QAction>
#include <QTableView>
#include <gtest/gtest.h>

#include <functional>
#include <map>

namespace {
using C = EditorControl;
namespace F = item_field;

// Item, brand, model and category of one record as the file holds it.
struct Row {
    std::string item, brand, model, category;
    bool operator==(const Row&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Row& r) {
    return os << '{' << r.item << '|' << r.brand << '|' << r.model << '|' << r.category << '}';
}
using FileRows = std::map<std::uint32_t, Row>;

struct Program {
    TestDir dir;
    AppPaths paths;
    QString dbf;
    ScriptedPrompter prompter;
    std::unique_ptr<TMain> main;

    // MASTER.DBF with four items, sorted by category (the default sort order).
    Program() {
        paths.programDir = dir.file("prog");
        paths.settingsDir = dir.file("cfg");
        paths.currentDir = dir.path();
        {
            ScriptedPrompter first;
            TMain w(first, paths, {1024, 768});
            w.session().global.showTips = false;
            w.close();
        }
        dbf = paths.programDir + "/MASTER.DBF";
        ItemTable items;
        items.setPaths(DatabasePaths::forTable(dbf));
        items.open();
        for (const auto& [item, brand, category] : {std::tuple{"Television", "Sony", "Video"},
                                                    {"Drill", "Bosch", "Tools"},
                                                    {"Speaker", "Sonos", "Audio"},
                                                    {"Guitar", "Jackson", "Music"}}) {
            items.table().append();
            items.setText(F::Item, QString::fromLatin1(item));
            items.setText(F::Brand, QString::fromLatin1(brand));
            items.setText(F::Category, QString::fromLatin1(category));
            items.table().post();
        }
        items.close();
        main = std::make_unique<TMain>(prompter, paths, QSize{1024, 768});
        main->show();
    }
    ~Program() {
        main->close();
        prompter.verifyDone();
    }

    // Search (Query) for a brand containing the text.
    void searchBrand(const QString& text) {
        whenModalShown([&](QWidget* modal) {
            auto* search = qobject_cast<TMySearch*>(modal);
            ASSERT_NE(search, nullptr);
            search->setCriterion(F::Brand, text);
            search->OkButtonClick();
        });
        main->action("Navi&gate/&Search (Query)")->trigger();
        ASSERT_TRUE(main->session().searchOn);
    }

    void selectRow(int row) {
        main->viewerGrid()->setCurrentIndex(main->viewerModel()->index(row, 0));
    }

    // Runs a Records command and drives the editor it opens.
    void inEditor(const char* command, const std::function<void(TMyEdit&)>& act) {
        bool ran = false;
        whenModalShown([&](QWidget* modal) {
            auto* editor = qobject_cast<TMyEdit*>(modal);
            ASSERT_NE(editor, nullptr);
            act(*editor);
            ran = true;
        });
        main->action(QString("&Records/") + command)->trigger();
        EXPECT_TRUE(ran) << command;
    }

    FileRows fileRows() const {
        dbase::Table file;
        file.openFile(dbf.toStdString(), dbase::OpenMode::ReadOnly, false);
        FileRows rows;
        for (std::uint32_t r = 1; r <= file.recordCount(); ++r) {
            file.gotoBookmark({r});
            rows[r] = {file.fieldText("ITEM"), file.fieldText("BRAND"), file.fieldText("MODEL"),
                       file.fieldText("CATEGORY")};
        }
        return rows;
    }
};

const FileRows kStart = {{1, {"Television", "Sony", "", "Video"}},
                         {2, {"Drill", "Bosch", "", "Tools"}},
                         {3, {"Speaker", "Sonos", "", "Audio"}},
                         {4, {"Guitar", "Jackson", "", "Music"}}};

// Update and stay, then change another box and update again.
void updateTwice(TMyEdit& e, C first, const QString& firstText, C second,
                 const QString& secondText) {
    e.setControlText(first, firstText);
    e.action("MenuUpdate")->trigger();
    EXPECT_EQ(e.windowTitle(), "Edit");
    e.setControlText(second, secondText);
    e.action("MenuUpdate")->trigger();
    EXPECT_FALSE(e.ValuesChanged());
    e.DoExit();
}

} // namespace

TEST(RecordEditorTarget, EditKeepsItsRecordWhenItLeavesTheSearch) {
    Program p;
    p.searchBrand("son"); // Sony, Sonos, Jackson; first in category order: Speaker (Audio)
    p.selectRow(0);
    p.inEditor("&Edit", [](TMyEdit& e) {
        ASSERT_EQ(e.controlText(C::Item), "Speaker");
        updateTwice(e, C::Brand, "Bosch", C::Model, "SUB-1");
    });
    FileRows expected = kStart;
    expected[3] = {"Speaker", "Bosch", "SUB-1", "Audio"};
    EXPECT_EQ(p.fileRows(), expected);
    EXPECT_EQ(p.main->viewerModel()->rowCount(), 2);
}

TEST(RecordEditorTarget, EditKeepsItsRecordWhenTheSortOrderMovesIt) {
    Program p;
    p.selectRow(0); // Speaker (Audio) first in category order
    p.inEditor("&Edit", [](TMyEdit& e) {
        ASSERT_EQ(e.controlText(C::Item), "Speaker");
        updateTwice(e, C::Category, "Zoo", C::Model, "SUB-2");
    });
    FileRows expected = kStart;
    expected[3] = {"Speaker", "Sonos", "SUB-2", "Zoo"};
    EXPECT_EQ(p.fileRows(), expected);
}

TEST(RecordEditorTarget, NewAndCopyKeepTheRecordTheyInserted) {
    Program p;
    p.searchBrand("son");
    // New: the record leaves the search at once (no "son" in its brand).
    p.inEditor("&Add", [](TMyEdit& e) {
        e.setControlText(C::Item, "Radio");
        updateTwice(e, C::Brand, "Sanyo", C::Model, "R-7");
    });
    FileRows expected = kStart;
    expected[5] = {"Radio", "Sanyo", "R-7", ""};
    EXPECT_EQ(p.fileRows(), expected);

    // Copy of the second row (Television), moved by the sort order and out of the search.
    p.selectRow(2);
    p.inEditor("&Copy", [](TMyEdit& e) {
        ASSERT_EQ(e.controlText(C::Item), "Television");
        e.setControlText(C::Item, "Television 2");
        updateTwice(e, C::Category, "Aaa", C::Brand, "Philips");
    });
    expected[6] = {"Television 2", "Philips", "", "Aaa"};
    EXPECT_EQ(p.fileRows(), expected);

    // Copy Record inside the editor, then Previous and Next from the copy.
    p.selectRow(0);
    p.inEditor("&Edit", [](TMyEdit& e) {
        ASSERT_EQ(e.controlText(C::Item), "Speaker");
        e.action("MenuCopyRecord")->trigger();
        updateTwice(e, C::Item, "Speaker 2", C::Brand, "Bose");
    });
    expected[7] = {"Speaker 2", "Bose", "", "Audio"};
    EXPECT_EQ(p.fileRows(), expected);
}
