#include "appearance/color_sets.h"
#include "items/database_ops.h"
#include "items/database_paths.h"
#include "lists/list_maintenance.h"
#include "modal_helper.h"
#include "scripted_prompter.h"
#include "session/inventory_session.h"
#include "test_files.h"
#include "ui/help_window.h"
#include "ui/window_context.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

namespace {

const QString kSortQuestion =
    QStringLiteral("Are you sure you want to sort the data?  Sorting cannot be undone.");

// A new database on disk with five distinct lists in memory.
struct Fixture {
    TestDir dir;
    ScriptedPrompter prompter;
    WindowContext context{prompter};
    InventorySession session;
    QString base;

    Fixture() {
        const QString dbf = dir.file("HOME.DBF");
        EXPECT_TRUE(MakeNewDB(dbf, prompter));
        session.items.setPaths(DatabasePaths::forTable(dbf));
        base = session.items.paths().base;
        session.lists.setList(1, {"Sony", "Zenith", "acme"});
        session.lists.setList(2, {"Kitchen", "Attic"});
        session.lists.setList(3, {"Hardware Store"});
        session.lists.setList(4, {"Furniture", "Tools", "Electronics"});
        session.lists.setList(5, {"Pat"});
    }
    ~Fixture() { prompter.verifyDone(); }

    QByteArray fileBytes(int list) const {
        QFile f(lookupListPath(base, list));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
};

template <typename W> W* child(QWidget& window, const char* name) {
    W* w = window.findChild<W*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << name;
    return w;
}

QColor role(QWidget* w, QPalette::ColorRole r) {
    return w->palette().color(QPalette::Active, r);
}

void select(TMyEditBox& dialog, int row) {
    dialog.theList()->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
}

} // namespace

TEST(ListMaintenance, OpensEachListWithItsCaptionEntriesAndLongestEntry) {
    Fixture f;
    const std::tuple<int, const char*, int> lists[] = {{1, "Edit \"Brand\" List", 20},
                                                       {2, "Edit \"Location\" List", 30},
                                                       {3, "Edit \"Purchased From\" List", 40},
                                                       {4, "Edit \"Category\" List", 30},
                                                       {5, "Edit \"Owner\" List", 30}};
    for (const auto& [list, caption, longest] : lists) {
        TMyEditBox dialog(f.session.lists, f.session.items.paths().base,
                          f.session.db.colors(WindowKind::Configure), f.context, list);
        EXPECT_EQ(dialog.windowTitle(), caption);
        EXPECT_EQ(dialog.addInfo()->maxLength(), longest) << caption;
        EXPECT_TRUE(dialog.addInfo()->text().isEmpty());
        EXPECT_EQ(dialog.entries(), f.session.lists.editorList(list)) << caption;
    }

    TMyEditBox dialog(f.session.lists, f.session.items.paths().base,
                      f.session.db.colors(WindowKind::Configure), f.context, 1);
    const std::pair<const char*, const char*> buttons[] = {{"AddButton", "&Add"},
                                                           {"DeleteButton", "&Delete"},
                                                           {"SortButton", "&Sort"},
                                                           {"OkButton", "&Ok"},
                                                           {"CancelButton", "&Cancel"}};
    for (const auto& [name, text] : buttons)
        EXPECT_EQ(child<QPushButton>(dialog, name)->text(), text);
    EXPECT_EQ(child<QLineEdit>(dialog, "AddInfo"), dialog.addInfo());
    EXPECT_EQ(child<QListWidget>(dialog, "TheList"), dialog.theList());

    // Showing puts the focus on the list with its first entry selected.
    dialog.show();
    EXPECT_EQ(dialog.focusWidget(), dialog.theList());
    EXPECT_EQ(dialog.selectedRow(), 0);

    f.session.lists.setList(5, {});
    TMyEditBox empty(f.session.lists, f.session.items.paths().base,
                     f.session.db.colors(WindowKind::Configure), f.context, 5);
    empty.show();
    EXPECT_EQ(empty.theList()->count(), 0);
    EXPECT_EQ(empty.selectedRow(), -1);
}

TEST(ListMaintenance, ShowScalesCentresPaintsAndAppliesTheUserFonts) {
    Fixture f;
    f.context.scaleFactor = 1.25;
    f.context.screen = QSize(1024, 768);
    f.context.fonts.button.setFamily("DejaVu Serif");
    f.context.fonts.button.setBold(true);
    f.context.fonts.label.setItalic(true);
    ColorSet& configure = f.session.db.colors(WindowKind::Configure);
    applyCombination(configure, 3); // "Midnight Black": nothing like the defaults
    // The other kinds stay as they are, so painting from the wrong set shows.

    TMyEditBox dialog(f.session.lists, f.session.items.paths().base,
                      f.session.db.colors(WindowKind::Configure), f.context, 2);
    for (int pass = 0; pass < 2; ++pass) {
        dialog.show();
        // 125% of the design size however often it is shown.
        EXPECT_EQ(dialog.size(), QSize(328, 553)) << pass;
        EXPECT_EQ(dialog.theList()->geometry(), QRect(10, 53, 308, 403)) << pass;
        EXPECT_EQ(dialog.pos(), QPoint((1024 - dialog.frameGeometry().width()) / 2,
                                       (768 - dialog.frameGeometry().height()) / 2));
        dialog.hide();
    }
    dialog.show();
    EXPECT_EQ(role(&dialog, QPalette::Window), toQColor(configure[ColorSet::MainBackground]));
    EXPECT_EQ(role(dialog.addInfo(), QPalette::Base),
              toQColor(configure[ColorSet::EditBackground]));
    EXPECT_EQ(role(dialog.addInfo(), QPalette::Text), toQColor(configure[ColorSet::EditText]));
    EXPECT_EQ(role(dialog.theList(), QPalette::Base),
              toQColor(configure[ColorSet::ListBoxBackground]));
    EXPECT_EQ(role(dialog.theList(), QPalette::Text), toQColor(configure[ColorSet::ListBoxText]));

    // Family and style come from the user fonts, size from the scaled design (9 points).
    QPushButton* ok = child<QPushButton>(dialog, "OkButton");
    EXPECT_EQ(ok->font().family(), "DejaVu Serif");
    EXPECT_TRUE(ok->font().bold());
    EXPECT_EQ(ok->font().pointSize(), 11);
    EXPECT_TRUE(dialog.theList()->font().italic());
    EXPECT_FALSE(dialog.addInfo()->font().italic());
}

TEST(ListMaintenance, AddAppendsTheTrimmedTextAtTheEndWithoutCheckingForDuplicates) {
    Fixture f;
    TMyEditBox dialog(f.session.lists, f.session.items.paths().base,
                      f.session.db.colors(WindowKind::Configure), f.context, 1);
    dialog.show();

    dialog.addInfo()->setText("  Sony  ");
    child<QPushButton>(dialog, "AddButton")->click();
    EXPECT_EQ(dialog.entries(), QStringList({"Sony", "Zenith", "acme", "Sony"}));
    EXPECT_TRUE(dialog.addInfo()->text().isEmpty());
    EXPECT_EQ(dialog.focusWidget(), dialog.addInfo());

    // Nothing but spaces adds nothing, and still empties the box.
    dialog.addInfo()->setText("    ");
    dialog.addClicked();
    EXPECT_EQ(dialog.entries().size(), 4);
    EXPECT_TRUE(dialog.addInfo()->text().isEmpty());

    // Enter in the box adds the entry and leaves the dialog open.
    QTest::keyClicks(dialog.addInfo(), "Philips");
    QTest::keyClick(dialog.addInfo(), Qt::Key_Return);
    EXPECT_EQ(dialog.entries().last(), "Philips");
    EXPECT_EQ(dialog.entries().size(), 5);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);

    // A pasted line break must not split the entry into two lines of the list file.
    dialog.addInfo()->setText("Two\r\nLines");
    dialog.addClicked();
    const QString pasted = dialog.entries().last();
    EXPECT_FALSE(pasted.contains('\n') || pasted.contains('\r'));
    dialog.okClicked();
    EXPECT_EQ(readListFile(lookupListPath(f.base, 1)), f.session.lists.editorList(1));
    EXPECT_EQ(f.session.lists.editorList(1).size(), 6);
}

TEST(ListMaintenance, TypedEntriesStopAtTheListsLongestEntry) {
    Fixture f;
    // Category accepts 30 characters although its field holds 20.
    const std::tuple<int, int> lists[] = {{4, 30}, {1, 20}, {3, 40}};
    for (const auto& [list, longest] : lists) {
        TMyEditBox dialog(f.session.lists, f.session.items.paths().base,
                          f.session.db.colors(WindowKind::Configure), f.context, list);
        dialog.show();
        const QString exact(longest, QChar('x'));
        QTest::keyClicks(dialog.addInfo(), exact);
        EXPECT_EQ(dialog.addInfo()->text(), exact) << list;
        QTest::keyClick(dialog.addInfo(), Qt::Key_Y);
        EXPECT_EQ(dialog.addInfo()->text(), exact) << list;
        dialog.addClicked();
        EXPECT_EQ(dialog.entries().last(), exact) << list;
    }
}

TEST(ListMaintenance, DeleteSelectsTheEntryThatTookItsPlace) {
    Fixture f;
    TMyEditBox dialog(f.session.lists, f.session.items.paths().base,
                      f.session.db.colors(WindowKind::Configure), f.context,
                      4); // Furniture, Tools, Electronics
    dialog.show();

    // Deleting the last of three selects the new last entry.
    select(dialog, 2);
    child<QPushButton>(dialog, "DeleteButton")->click();
    EXPECT_EQ(dialog.entries(), QStringList({"Furniture", "Tools"}));
    EXPECT_EQ(dialog.selectedRow(), 1);

    // Deleting from the top selects the entry that moved up.
    dialog.addInfo()->setText("Books");
    dialog.addClicked();
    select(dialog, 0);
    dialog.deleteClicked();
    EXPECT_EQ(dialog.entries(), QStringList({"Tools", "Books"}));
    EXPECT_EQ(dialog.selectedRow(), 0);
    EXPECT_EQ(dialog.theList()->currentItem()->text(), "Tools");

    // With nothing selected Delete removes nothing.
    dialog.theList()->clearSelection();
    dialog.deleteClicked();
    EXPECT_EQ(dialog.entries().size(), 2);

    // Deleting the only entry leaves no selection.
    select(dialog, 0);
    dialog.deleteClicked();
    select(dialog, 0);
    dialog.deleteClicked();
    EXPECT_TRUE(dialog.entries().isEmpty());
    EXPECT_EQ(dialog.selectedRow(), -1);
    dialog.deleteClicked(); // and an empty list takes another Delete calmly
    EXPECT_TRUE(dialog.entries().isEmpty());
}

TEST(ListMaintenance, SortAsksThenOrdersOnceIgnoringLetterCase) {
    Fixture f;
    f.session.lists.setList(1, {"zenith", "Apple", "banana", "apple", "Cherry", "APPLE"});
    TMyEditBox dialog(f.session.lists, f.session.items.paths().base,
                      f.session.db.colors(WindowKind::Configure), f.context, 1);
    dialog.show();
    const QStringList before = dialog.entries();

    f.prompter.expectMessage("Confirm", kSortQuestion, MsgButton::No);
    child<QPushButton>(dialog, "SortButton")->click();
    EXPECT_EQ(dialog.entries(), before);
    const MessageRequest& asked = f.prompter.lastMessage();
    EXPECT_EQ(asked.buttons, MsgButton::Yes | MsgButton::No);
    EXPECT_EQ(asked.icon, MsgIcon::Question);

    select(dialog, 4); // "Cherry"
    f.prompter.expectMessage("Confirm", kSortQuestion, MsgButton::Yes);
    dialog.sortClicked();
    // Entries equal but for case keep their order.
    EXPECT_EQ(dialog.entries(),
              QStringList({"Apple", "apple", "APPLE", "banana", "Cherry", "zenith"}));
    EXPECT_EQ(dialog.theList()->currentItem()->text(), "Cherry");
    EXPECT_EQ(dialog.selectedRow(), 4);

    // The list does not stay sorted.
    dialog.addInfo()->setText("Aardvark");
    dialog.addClicked();
    EXPECT_EQ(dialog.entries().last(), "Aardvark");
    EXPECT_EQ(f.session.lists.editorList(1), before); // nothing kept before Ok
}

TEST(ListMaintenance, OkReplacesBothCopiesAndWritesAllFiveListFiles) {
    Fixture f;
    TMyEditBox dialog(f.session.lists, f.session.items.paths().base,
                      f.session.db.colors(WindowKind::Configure), f.context, 4);
    dialog.show();
    dialog.addInfo()->setText("Jewelry");
    dialog.addClicked();
    select(dialog, 0);
    dialog.deleteClicked();
    child<QPushButton>(dialog, "OkButton")->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);

    const QStringList expected = {"Tools", "Electronics", "Jewelry"};
    EXPECT_EQ(f.session.lists.editorList(4), expected);
    EXPECT_EQ(f.session.lists.gridList(4), expected);
    for (int n = 1; n <= kLookupListCount; ++n) {
        EXPECT_EQ(readListFile(lookupListPath(f.base, n)), f.session.lists.editorList(n)) << n;
        EXPECT_EQ(f.session.lists.gridList(n), f.session.lists.editorList(n)) << n;
    }
    EXPECT_EQ(f.fileBytes(4), QByteArray("Tools\r\nElectronics\r\nJewelry\r\n"));
    EXPECT_TRUE(QFile::exists(f.dir.file("HOME.005")));
}

TEST(ListMaintenance, CancelAfterAddDeleteAndSortLeavesListAndFilesAsTheyWere) {
    Fixture f;
    ASSERT_TRUE(f.session.lists.saveDatabaseLists(f.base).isEmpty());
    const QByteArray fileBefore = f.fileBytes(1);
    const QStringList listBefore = f.session.lists.editorList(1);

    TMyEditBox dialog(f.session.lists, f.session.items.paths().base,
                      f.session.db.colors(WindowKind::Configure), f.context, 1);
    dialog.show();
    dialog.addInfo()->setText("Bose");
    dialog.addClicked();
    select(dialog, 1);
    dialog.deleteClicked();
    f.prompter.expectMessage("Confirm", kSortQuestion, MsgButton::Yes);
    dialog.sortClicked();
    ASSERT_NE(dialog.entries(), listBefore);
    child<QPushButton>(dialog, "CancelButton")->click();

    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_EQ(f.session.lists.editorList(1), listBefore);
    EXPECT_EQ(f.session.lists.gridList(1), listBefore);
    EXPECT_EQ(f.fileBytes(1), fileBefore);
}

TEST(ListMaintenance, AListFileThatCannotBeWrittenIsReportedAndTheChangeKept) {
    Fixture f;
    // A directory in the place of NAME.003 cannot be replaced by a file.
    ASSERT_TRUE(QDir(f.dir.path()).mkdir("HOME.003"));
    TMyEditBox dialog(f.session.lists, f.session.items.paths().base,
                      f.session.db.colors(WindowKind::Configure), f.context, 2);
    dialog.show();
    dialog.addInfo()->setText("Garage");
    dialog.addClicked();
    f.prompter.expectMessage("Error", QString());
    dialog.okClicked();

    EXPECT_TRUE(f.prompter.lastMessage().text.contains(lookupListPath(f.base, 3)));
    EXPECT_FALSE(f.prompter.lastMessage().text.contains(lookupListPath(f.base, 2)));
    EXPECT_EQ(f.session.lists.editorList(2), QStringList({"Kitchen", "Attic", "Garage"}));
    EXPECT_EQ(readListFile(lookupListPath(f.base, 2)), f.session.lists.editorList(2));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST(ListMaintenance, EditAListShowsTheDialogModallyAndTellsWhetherTheListChanged) {
    Fixture f;
    QWidget owner;
    whenModalShown([](QWidget* modal) {
        auto* dialog = qobject_cast<TMyEditBox*>(modal);
        ASSERT_NE(dialog, nullptr);
        EXPECT_EQ(dialog->windowTitle(), "Edit \"Owner\" List");
        QTest::keyClicks(dialog->addInfo(), "Robin");
        QTest::mouseClick(dialog->findChild<QPushButton*>("AddButton"), Qt::LeftButton);
        QTest::mouseClick(dialog->findChild<QPushButton*>("OkButton"), Qt::LeftButton);
    });
    EXPECT_TRUE(EditAList(f.session.lists, f.session.items.paths().base,
                          f.session.db.colors(WindowKind::Configure), f.context, 5, &owner));
    EXPECT_EQ(f.session.lists.editorList(5), QStringList({"Pat", "Robin"}));
    EXPECT_EQ(readListFile(lookupListPath(f.base, 5)), QStringList({"Pat", "Robin"}));

    // Escape is Cancel.
    whenModalShown([](QWidget* modal) {
        auto* dialog = qobject_cast<TMyEditBox*>(modal);
        ASSERT_NE(dialog, nullptr);
        dialog->addInfo()->setText("Lee");
        dialog->addClicked();
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    EXPECT_FALSE(EditAList(f.session.lists, f.session.items.paths().base,
                           f.session.db.colors(WindowKind::Configure), f.context, 5, &owner));
    EXPECT_EQ(f.session.lists.editorList(5), QStringList({"Pat", "Robin"}));
}

TEST(ListMaintenance, F1OpensTheHelpAtItsPage) {
    Fixture f;
    TMyEditBox dialog(f.session.lists, f.session.items.paths().base,
                      f.session.db.colors(WindowKind::Configure), f.context, 1);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QTest::keyClick(dialog.theList(), Qt::Key_F1);
    auto* help = dialog.findChild<THelpWindow*>();
    ASSERT_NE(help, nullptr);
    EXPECT_EQ(help->currentPage().fileName(), "list_maintenance.html");
    EXPECT_EQ(helpPageForKeyword("List Maintenance"), help->currentPage());
}
