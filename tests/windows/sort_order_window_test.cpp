#include "ui/help_window.h"
#include "session/inventory_session.h"
#include "ui/window_context.h"
#include "appearance/set_colors.h"
#include "items/database_ops.h"
#include "items/item_schema.h"
#include "find/sort_order.h"
#include "find/sort_order_ops.h"
#include "scripted_prompter.h"
#include "test_files.h"

#include "qstring_printer.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

namespace {
namespace F = item_field;

struct Fixture {
    TestDir dir;
    ScriptedPrompter prompter;
    WindowContext context{prompter};
    InventorySession session;
    QString path;
    int reapplied = 0;

    Fixture() {
        context.screen = QSize(1024, 768);
        path = dir.file(QStringLiteral("HOME.DBF"));
        EXPECT_TRUE(MakeNewDB(path, prompter));
        session.items.setPaths(DatabasePaths::forTable(path));
        session.items.open();
        for (int n = 1; n <= kFieldCount; ++n)
            session.db.fieldNames[size_t(n - 1)] = itemField(n)->qLabel();
        session.db.fieldNames[F::Brand - 1] = QStringLiteral("Make");
        session.db.sortKeys = {F::Category, 0, F::Cost, 0};
        session.sortExpression = QStringLiteral("Upper(Left(Category,40))+STR(Cost,12,2)");
        for (const char* brand : {"Zed", "alpha", "Mid"}) {
            session.items.table().append();
            session.items.setText(F::Brand, QString::fromLatin1(brand));
            session.items.table().post();
        }
    }
    ~Fixture() { prompter.verifyDone(); }
    QStringList brands() {
        QStringList names;
        dbase::Table& t = session.items.table();
        for (t.first(); !t.eof() && !t.isEmpty(); t.next())
            names << session.items.text(F::Brand);
        return names;
    }
};
} // namespace

TEST(SortOrderWindow, ListsHeadingsAndStoredLevels) {
    Fixture f;
    TMySortOrder w(f.session, f.context, [&] { ++f.reapplied; });
    w.FormShow();
    EXPECT_EQ(w.windowTitle(), "Sort Order");
    const char* headings[] = {"Primary Sort", "Secondary Sort", "Third Level Sort",
                              "Fourth Level Sort"};
    for (int level = 0; level < 4; ++level) {
        QComboBox* list = w.levelList(level);
        EXPECT_EQ(list->objectName(), QStringLiteral("ComboBox%1").arg(level + 1));
        ASSERT_EQ(list->count(), 23);
        EXPECT_EQ(list->itemText(0), "<NONE>");
        EXPECT_EQ(list->itemText(F::Brand), "Make");
        EXPECT_EQ(list->itemText(22), "User Defined 4");
        auto* label = w.findChild<QLabel*>(QStringLiteral("Label%1").arg(level + 1));
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), headings[level]);
        EXPECT_EQ(headingOf(label), Heading::Minor);
    }
    EXPECT_EQ(w.levelList(0)->currentIndex(), F::Category);
    EXPECT_EQ(w.levelList(1)->currentIndex(), 0);
    EXPECT_EQ(w.levelList(2)->currentIndex(), F::Cost);
    EXPECT_EQ(w.findChild<QPushButton*>("OkButton")->text(), "&Ok");
    EXPECT_EQ(w.findChild<QPushButton*>("CancelButton")->text(), "&Cancel");
    EXPECT_NE(helpPageForKeyword("Sort Order"), helpContentsPage());

    // A stored level that names no field shows as none.
    f.session.db.sortKeys = {40, -2, 22, 0};
    w.FormShow();
    EXPECT_EQ(w.levelList(0)->currentIndex(), 0);
    EXPECT_EQ(w.levelList(1)->currentIndex(), 0);
    EXPECT_EQ(w.levelList(2)->currentIndex(), 22);
}

TEST(SortOrderWindow, OkAppliesCancelAndInUseKeepTheOrder) {
    Fixture f;
    {
        TMySortOrder w(f.session, f.context, [&] { ++f.reapplied; });
        w.FormShow();
        w.levelList(0)->setCurrentIndex(F::Brand);
        w.CancelButtonClick();
        EXPECT_FALSE(w.applied());
    }
    EXPECT_EQ(f.session.db.sortKeys, (std::array<int, 4>{F::Category, 0, F::Cost, 0}));

    // Another copy holds the table: the message, the window stays, nothing changes.
    dbase::Table other;
    other.openFile(f.path.toStdString());
    {
        TMySortOrder w(f.session, f.context, [&] { ++f.reapplied; });
        w.FormShow();
        w.levelList(0)->setCurrentIndex(F::Brand);
        w.levelList(2)->setCurrentIndex(0);
        f.prompter.expectMessage("Error", kSortOrderInUseMessage);
        w.OkButtonClick();
        EXPECT_FALSE(w.applied());
        EXPECT_EQ(w.result(), 0);
        EXPECT_EQ(f.reapplied, 1);
        other.close();

        // Once the other copy lets go, Ok rebuilds the order and closes the window.
        w.OkButtonClick();
        EXPECT_TRUE(w.applied());
        EXPECT_EQ(w.result(), QDialog::Accepted);
    }
    EXPECT_EQ(f.session.db.sortKeys, (std::array<int, 4>{F::Brand, 0, 0, 0}));
    EXPECT_EQ(f.session.sortExpression, "Upper(Left(Brand,80))");
    EXPECT_EQ(f.brands(), QStringList({"alpha", "Mid", "Zed"}));

    // Through the modal entry point.
    QTimer::singleShot(0, [] {
        auto* w = qobject_cast<TMySortOrder*>(QApplication::activeModalWidget());
        ASSERT_NE(w, nullptr);
        w->levelList(0)->setCurrentIndex(0);
        w->findChild<QPushButton*>("OkButton")->click();
    });
    EXPECT_TRUE(TMySortOrder::run(f.session, f.context, {}, nullptr));
    EXPECT_EQ(f.brands(), QStringList({"Zed", "alpha", "Mid"}));
}
