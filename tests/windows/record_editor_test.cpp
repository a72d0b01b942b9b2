#include "edit/record_editor.h"

#include "appearance/set_colors.h"
#include "items/database_ops.h"
#include "items/item_schema.h"
#include "scripted_prompter.h"
#include "session/inventory_session.h"
#include "test_files.h"
#include "ui/help_window.h"
#include "ui/window_context.h"
#include "ui/window_services.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMap>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>

namespace {
using C = EditorControl;

const QString kWarning = QStringLiteral("Warning");
const QString kError = QStringLiteral("Error");

// A database of its own in a temporary directory and one editor over it.
struct Fixture {
    TestDir dir;
    ScriptedPrompter prompter;
    WindowContext context{prompter};
    InventorySession session;
    QString path;
    std::unique_ptr<TMyEdit> editor;

    explicit Fixture(bool browse = false) {
        path = dir.file("HOME.DBF");
        EXPECT_TRUE(MakeNewDB(path, prompter));
        session.paths.programDir = dir.path();
        session.items.setPaths(DatabasePaths::forTable(path));
        session.items.open();
        session.formats.apply(1, false);
        session.browseMode = browse;
        context.screen = QSize(1024, 768);
        editor = std::make_unique<TMyEdit>(session, context);
    }
    ~Fixture() {
        editor.reset();
        prompter.verifyDone();
    }

    // Adds records straight through the table, then makes the first one current.
    void addItems(const QStringList& names) {
        for (const QString& name : names) {
            session.items.table().append();
            session.items.setText(item_field::Item, name);
            session.items.setInteger(item_field::Quantity, 1);
            session.items.table().post();
        }
        session.items.table().first();
    }

    void open(EditorMode mode) {
        editor->setEditorMode(mode);
        editor->show();
        QApplication::setActiveWindow(editor.get());
        editor->activateWindow();
    }

    // Every record in the file, read with a table object of its own.
    QStringList itemsInFile() {
        dbase::Table file;
        file.openFile(path.toStdString(), dbase::OpenMode::ReadOnly);
        QStringList out;
        for (file.first(); !file.eof() && !file.isEmpty(); file.next())
            out << QString::fromStdString(file.fieldText("ITEM"));
        return out;
    }

    QLineEdit* edit(C c) { return editor->lineEdit(c); }
    // Types as the user would, into whatever has the focus.
    void type(const QString& text) { QTest::keyClicks(QApplication::focusWidget(), text); }
    void key(int k, Qt::KeyboardModifiers mods = Qt::NoModifier) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(k), mods);
    }
};

QString shortcutOf(TMyEdit& e, const char* name) {
    return e.action(name)->shortcut().toString();
}

} // namespace

TEST(RecordEditor, WindowHasEveryControlLabelButtonAndMenu) {
    Fixture f;
    f.session.db.fieldNames[item_field::Brand - 1] = "Maker";
    f.session.db.fieldNames[item_field::Warranty - 1] = "Guarantee";
    f.session.db.colors(WindowKind::Edit)[ColorSet::MainBackground] = 255; // red
    f.session.db.colors(WindowKind::Edit)[ColorSet::MajorTitle] = 65280;   // green
    f.open(EditorMode::New);
    TMyEdit& e = *f.editor;

    EXPECT_EQ(e.windowTitle(), "Edit");
    EXPECT_FALSE(e.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(e.windowFlags() & Qt::WindowMaximizeButtonHint);
    QTabWidget* book = e.notebook();
    ASSERT_EQ(book->count(), 4);
    EXPECT_EQ(book->tabText(0), "De&scription");
    EXPECT_EQ(book->tabText(1), "&Worth");
    EXPECT_EQ(book->tabText(2), "W&arranty");
    EXPECT_EQ(book->tabText(3), "&Other");

    // Each control on its page with its limit; labels carry the display names.
    for (const EditorControlInfo& info : editorControls()) {
        QWidget* w = e.control(info.control);
        ASSERT_NE(w, nullptr) << info.name;
        EXPECT_EQ(w->objectName(), info.name);
        EXPECT_EQ(book->indexOf(w->parentWidget()), info.page) << info.name;
        if (info.kind == EditorControlKind::Edit || info.kind == EditorControlKind::Combo) {
            EXPECT_EQ(e.lineEdit(info.control)->maxLength(),
                      info.maxLength > 0 ? info.maxLength : 32767)
                << info.name;
        }
        if (info.kind != EditorControlKind::Check) {
            EXPECT_EQ(e.label(info.labelName)->text(),
                      f.session.db.fieldNames[size_t(info.fieldNumber - 1)])
                << info.labelName;
        }
    }
    EXPECT_EQ(e.label("BrandLabel")->text(), "Maker");
    EXPECT_EQ(e.warrantyBox()->text(), "Guarantee");
    EXPECT_EQ(e.lineEdit(C::WarDate)->inputMask(), "00/00/0000;_");
    EXPECT_EQ(e.controlText(C::WarDate), "  /  /    ");
    EXPECT_TRUE(e.combo(C::Brand)->isEditable());

    const std::pair<const char*, const char*> buttons[] = {{"UpdateExitButton", "&Update && Exit"},
                                                           {"UpdateButton", "Up&date"},
                                                           {"ClearButton", "C&lear"},
                                                           {"CancelButton", "E&xit"},
                                                           {"PrevButton", "&Previous"},
                                                           {"NextButton", "&Next"},
                                                           {"BlankWarDate", "Blank Date"},
                                                           {"BlankPurchDate", "Blank Date"}};
    for (const auto& [name, caption] : buttons) {
        ASSERT_NE(e.button(name), nullptr) << name;
        EXPECT_EQ(e.button(name)->text(), caption);
    }

    const std::tuple<const char*, const char*, const char*> items[] = {
        {"MenuNew", "N&ew Record", "Ctrl+E"},
        {"MenuCopyRecord", "Cop&y Record", "Ctrl+Y"},
        {"MenuClear", "&Clear Record", "Ctrl+L"},
        {"MenuUpdate", "Up&date Record", "Ctrl+R"},
        {"MenuUpdateExit", "&Update && Exit", "Ctrl+U"},
        {"MenuPrintRecord", "Prin&t Record", "Ctrl+T"},
        {"MenuPrevious", "&Previous Record", "Ctrl+P"},
        {"MenuNext", "&Next Record", "Ctrl+N"},
        {"MenuExit", "E&xit", ""},
        {"MenuCut", "Cu&t", "Ctrl+X"},
        {"MenuCopy", "&Copy", "Ctrl+C"},
        {"MenuPaste", "&Paste", "Ctrl+V"},
        {"MenuDelete", "&Delete", "Ctrl+D"},
        {"MenuHelp", "&Help", "Ctrl+H"}};
    for (const auto& [name, caption, keys] : items) {
        ASSERT_NE(e.action(name), nullptr) << name;
        EXPECT_EQ(e.action(name)->text(), caption);
        EXPECT_EQ(shortcutOf(e, name), keys);
        EXPECT_TRUE(e.action(name)->isEnabled()) << name;
    }
    QStringList menus;
    for (QAction* a : e.menuBar()->actions())
        menus << a->text();
    EXPECT_EQ(menus, (QStringList{"&File", "&Edit", "&Help"}));

    // Edit window colours: background, the Totals heading major, every other label minor.
    EXPECT_EQ(e.palette().color(QPalette::Window), QColor(255, 0, 0));
    EXPECT_EQ(headingOf(e.label("TotLabel")), Heading::Major);
    EXPECT_EQ(e.label("TotLabel")->palette().color(QPalette::WindowText), QColor(0, 255, 0));
    EXPECT_TRUE(e.label("TotLabel")->font().bold());
    for (const char* name : {"ItemLabel", "TotCostLabel", "WorthItem", "UserDef4Lab"})
        EXPECT_EQ(headingOf(e.label(name)), Heading::Minor) << name;
    EXPECT_EQ(e.notebook()->currentIndex(), 0);
    EXPECT_EQ(e.focusedControl(), C::Item);
}

TEST(RecordEditor, NewModeDefaultsAndAnEmptyUpdateInsertsARecord) {
    Fixture f;
    f.open(EditorMode::New);
    TMyEdit& e = *f.editor;
    EXPECT_EQ(e.controlText(C::Cost), "0");
    EXPECT_EQ(e.controlText(C::Value), "0");
    EXPECT_EQ(e.controlText(C::Quantity), "1");
    EXPECT_EQ(e.controlText(C::RepCost), "0");
    EXPECT_EQ(e.label("TotCostLabel")->text(), "0.00 ");
    EXPECT_EQ(e.label("TotValueLabel")->text(), "0.00 ");
    EXPECT_EQ(e.label("TotRepCostLabel")->text(), "0.00 ");
    EXPECT_FALSE(e.ValuesChanged());

    e.button("UpdateExitButton")->click();
    EXPECT_FALSE(e.isVisible());
    EXPECT_EQ(e.editorMode(), EditorMode::Edit);

    dbase::Table file;
    file.openFile(f.path.toStdString(), dbase::OpenMode::ReadOnly);
    ASSERT_EQ(file.recordCount(), 1u);
    file.first();
    EXPECT_EQ(file.fieldText("ITEM"), "");
    EXPECT_EQ(file.fieldInteger("QUANTITY"), 1);
    EXPECT_EQ(file.fieldText("WARRANTY"), "No");
    EXPECT_FALSE(file.fieldDate("PURCHDATE").has_value());
    // Closing saved the five lists.
    for (int n = 1; n <= 5; ++n)
        EXPECT_TRUE(QFile::exists(f.session.items.paths().listFile(n))) << n;
}

TEST(RecordEditor, KeyboardOnlyEntryWalksThePagesAndSaves) {
    Fixture f;
    f.session.lists.setList(1, {"Sony"});
    f.open(EditorMode::New);
    TMyEdit& e = *f.editor;

    const std::pair<C, QString> typed[] = {
        {C::Item, "Television"},    {C::Brand, "Zenith"},     {C::Model, "Z-100"},
        {C::Serial, "S123"},        {C::IDMarks, "scratch"},  {C::Comments, "living room set"},
        {C::Category, "Video"},     {C::Location, "Den"},     {C::TheOwner, "Pat"},
        {C::Quantity, "2"},         {C::Value, "250"},        {C::Cost, "1000"},
        {C::RepCost, "1200.5"},     {C::WarDate, "01022027"}, {C::WarNotes, "two years"},
        {C::PurchDate, "12311997"}, {C::Bought, "Mall"},      {C::UserDef1, "u1"},
        {C::UserDef2, "u2"},        {C::UserDef3, "u3"},      {C::UserDef4, "u4"}};
    for (const auto& [control, text] : typed) {
        ASSERT_EQ(e.focusedControl(), control) << editorControlInfo(control).name;
        EXPECT_EQ(e.notebook()->currentIndex(), editorControlInfo(control).page);
        f.type(text);
        f.key(Qt::Key_Return);
    }
    // Round the chain and back on the first page.
    EXPECT_EQ(e.focusedControl(), C::Item);
    EXPECT_EQ(e.notebook()->currentIndex(), 0);

    // Leaving the boxes reformatted them and the totals followed.
    EXPECT_EQ(e.controlText(C::Cost), "1,000.00");
    EXPECT_EQ(e.controlText(C::RepCost), "1,200.50");
    EXPECT_EQ(e.label("TotCostLabel")->text(), "2,000.00 ");
    EXPECT_EQ(e.label("TotRepCostLabel")->text(), "2,401.00 ");
    EXPECT_EQ(e.label("TotValueLabel")->text(), "500.00 ");
    EXPECT_EQ(e.label("WorthItem")->text(), "Item: Television");
    EXPECT_EQ(e.controlText(C::WarDate), "01/02/2027");

    // Enter on the check box goes nowhere and does not tick it.
    e.focusControl(C::Warranty);
    f.key(Qt::Key_Return);
    EXPECT_EQ(e.focusedControl(), C::Warranty);
    EXPECT_FALSE(e.warrantyBox()->isChecked());
    f.key(Qt::Key_Space);
    EXPECT_TRUE(e.warrantyBox()->isChecked());

    f.key(Qt::Key_U, Qt::ControlModifier); // Update & Exit
    EXPECT_FALSE(e.isVisible());

    dbase::Table file;
    file.openFile(f.path.toStdString(), dbase::OpenMode::ReadOnly);
    ASSERT_EQ(file.recordCount(), 1u);
    file.first();
    EXPECT_EQ(file.fieldText("ITEM"), "Television");
    EXPECT_EQ(file.fieldText("BRAND"), "Zenith");
    EXPECT_EQ(file.fieldText("DESCRIPTIO"), "living room set");
    EXPECT_EQ(file.fieldInteger("QUANTITY"), 2);
    EXPECT_EQ(file.fieldDouble("COST"), 1000.0);
    EXPECT_EQ(file.fieldDouble("REPCOST"), 1200.5);
    EXPECT_EQ(file.fieldDouble("VALUE"), 250.0);
    EXPECT_EQ(file.fieldText("WARDATE"), "20270102");
    EXPECT_EQ(file.fieldText("PURCHDATE"), "19971231");
    EXPECT_EQ(file.fieldText("BOUGHTFROM"), "Mall");
    EXPECT_EQ(file.fieldText("WARRANTY"), "Yes");
    EXPECT_EQ(file.fieldText("USERDEF4"), "u4");

    // The new values joined both copies of their lists and the list files.
    EXPECT_EQ(f.session.lists.editorList(1), (QStringList{"Sony", "Zenith"}));
    EXPECT_EQ(f.session.lists.gridList(1), (QStringList{"Sony", "Zenith"}));
    EXPECT_EQ(f.session.lists.gridList(3), QStringList{"Mall"});
    EXPECT_EQ(readListFile(f.session.items.paths().listFile(2)), QStringList{"Den"});
    EXPECT_EQ(e.combo(C::Brand)->count(), 2);
}

TEST(RecordEditor, RefusedUpdatesShowTheirMessagePageAndFocusAndWriteNothing) {
    Fixture f;
    f.open(EditorMode::New);
    TMyEdit& e = *f.editor;
    e.setControlText(C::Item, "Lamp");

    // Both dates invalid: only the warranty date is reported.
    e.setControlText(C::WarDate, "13/01/1997");
    e.setControlText(C::PurchDate, "02/30/1997");
    f.prompter.expectMessage(kError, "Invalid warranty date specified.  Please correct.");
    EXPECT_FALSE(e.DoUpdate());
    EXPECT_EQ(e.notebook()->currentIndex(), 2);
    EXPECT_EQ(e.focusedControl(), C::WarDate);

    e.BlankWarDateClick();
    EXPECT_EQ(e.controlText(C::WarDate), "  /  /    ");
    f.prompter.expectMessage(kError, "Invalid purchase date specified.  Please correct.");
    EXPECT_FALSE(e.DoUpdate());
    EXPECT_EQ(e.focusedControl(), C::PurchDate);
    e.BlankPurchDateClick();

    // 2.6 typed and Update pressed without leaving the box is no quantity.
    e.focusControl(C::Quantity);
    e.setControlText(C::Quantity, "");
    f.type("2.6");
    f.prompter.expectMessage(kError, "Invalid quantity specified.  Please correct.");
    f.key(Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(e.notebook()->currentIndex(), 1);
    EXPECT_EQ(e.focusedControl(), C::Quantity);
    EXPECT_EQ(e.editorMode(), EditorMode::New);
    EXPECT_TRUE(f.itemsInFile().isEmpty());

    // Leaving the box rounds it; the update then stores 3.
    f.key(Qt::Key_Return);
    EXPECT_EQ(e.controlText(C::Quantity), "3");
    EXPECT_TRUE(e.DoUpdate());
    dbase::Table file;
    file.openFile(f.path.toStdString(), dbase::OpenMode::ReadOnly);
    file.first();
    EXPECT_EQ(file.fieldInteger("QUANTITY"), 3);
    EXPECT_EQ(e.editorMode(), EditorMode::Edit);
}

TEST(RecordEditor, RegionalSettingsReadAndShowGermanStyleAmounts) {
    Fixture f;
    f.session.numbers =
        NumberFormatter({QLatin1Char(','), QLatin1Char('.'), 2}, kRegionalFormat, kRegionalFormat);
    f.open(EditorMode::New);
    TMyEdit& e = *f.editor;
    e.focusControl(C::Cost);
    e.setControlText(C::Cost, "");
    f.type("1.234,5");
    e.focusControl(C::Quantity);
    EXPECT_EQ(e.controlText(C::Cost), "1.234,50");
    EXPECT_EQ(e.label("TotCostLabel")->text(), "1.234,50 ");
    e.setControlText(C::Quantity, "");
    f.type("1.000");
    e.focusControl(C::Value);
    EXPECT_EQ(e.controlText(C::Quantity), "1.000");
    EXPECT_EQ(e.label("TotCostLabel")->text(), "1.234.500,00 ");
    ASSERT_TRUE(e.DoUpdate());
    dbase::Table file;
    file.openFile(f.path.toStdString(), dbase::OpenMode::ReadOnly);
    file.first();
    EXPECT_EQ(file.fieldDouble("COST"), 1234.5);
    EXPECT_EQ(file.fieldInteger("QUANTITY"), 1000);

    // Under U.S. money rules the same typing means 1.2345.
    f.session.numbers.setCurrencyFormat(kUsFormat);
    e.setControlText(C::Cost, "1.234,5");
    e.CostExit();
    EXPECT_EQ(e.controlText(C::Cost), "1.23");
}

TEST(RecordEditor, BrandLearnsLetterCaseButNotSpaces) {
    Fixture f;
    f.session.lists.setList(1, {"Sony"});
    f.open(EditorMode::New);
    TMyEdit& e = *f.editor;
    e.setControlText(C::Brand, "  Sony ");
    ASSERT_TRUE(e.DoUpdate());
    EXPECT_EQ(f.session.lists.editorList(1), QStringList{"Sony"});
    e.setControlText(C::Brand, "sony");
    ASSERT_TRUE(e.DoUpdate());
    EXPECT_EQ(f.session.lists.editorList(1), (QStringList{"Sony", "sony"}));
    EXPECT_EQ(f.session.lists.gridList(1), (QStringList{"Sony", "sony"}));
    EXPECT_EQ(e.combo(C::Brand)->count(), 2);
    EXPECT_EQ(e.controlText(C::Brand), "sony"); // what was typed stays in the box
}

TEST(RecordEditor, CopyThenUpdateTwiceEditsTheNewRecord) {
    Fixture f;
    f.addItems({"Original"});
    f.open(EditorMode::Edit);
    TMyEdit& e = *f.editor;
    EXPECT_EQ(e.controlText(C::Item), "Original");

    e.setControlText(C::Model, "changed first");
    f.prompter.expectMessage(
        kWarning,
        "Data has changed.  Update this record before creating new one with the "
        "current data?",
        MsgButton::No);
    e.action("MenuCopyRecord")->trigger();
    EXPECT_EQ(e.windowTitle(), "Edit (New Copied Record)");
    EXPECT_EQ(e.editorMode(), EditorMode::New);
    EXPECT_EQ(e.controlText(C::Model), "changed first"); // contents kept

    e.setControlText(C::Item, "Copy");
    e.DoAnUpdate();
    EXPECT_EQ(e.windowTitle(), "Edit");
    EXPECT_EQ(f.itemsInFile(), (QStringList{"Original", "Copy"}));

    e.setControlText(C::Item, "Copy edited");
    e.DoAnUpdate();
    EXPECT_EQ(f.itemsInFile(), (QStringList{"Original", "Copy edited"}));
    EXPECT_FALSE(e.ValuesChanged());
    EXPECT_EQ(f.prompter.beeps(), 1);
}

TEST(RecordEditor, PreviousAndNextAskAndMoveInEveryMode) {
    Fixture f;
    f.addItems({"First", "Second"});
    f.open(EditorMode::Edit);
    TMyEdit& e = *f.editor;

    // Unchanged: Previous on the first record reloads it without a question.
    e.setControlText(C::Item, "typed over");
    e.setControlText(C::Item, "First");
    e.DoPrevious();
    EXPECT_EQ(e.controlText(C::Item), "First");
    EXPECT_EQ(e.editorMode(), EditorMode::Edit);

    // Changed: Cancel stays, No moves without writing.
    e.setControlText(C::Item, "First changed");
    f.prompter.expectMessage(
        kWarning, "Data has changed.  Update this record before moving to the next record?",
        MsgButton::Cancel);
    e.DoNext();
    EXPECT_EQ(e.controlText(C::Item), "First changed");
    f.prompter.expectMessage(
        kWarning, "Data has changed.  Update this record before moving to the next record?",
        MsgButton::No);
    e.action("MenuNext")->trigger();
    EXPECT_EQ(e.controlText(C::Item), "Second");
    EXPECT_EQ(f.itemsInFile(), (QStringList{"First", "Second"}));

    // Yes writes first; a refused update stays put.
    e.setControlText(C::Item, "Second changed");
    e.setControlText(C::Cost, "x");
    f.prompter
        .expectMessage(kWarning,
                       "Data has changed.  Update this record before moving to the previous "
                       "record?",
                       MsgButton::Yes)
        .expectMessage(kError, "Invalid cost specified.  Please correct.");
    e.DoPrevious();
    EXPECT_EQ(e.controlText(C::Item), "Second changed");
    e.setControlText(C::Cost, "5");
    f.prompter.expectMessage(
        kWarning, "Data has changed.  Update this record before moving to the previous record?",
        MsgButton::Yes);
    e.DoPrevious();
    EXPECT_EQ(e.controlText(C::Item), "First");
    EXPECT_EQ(f.itemsInFile(), (QStringList{"First", "Second changed"}));

    // A new record is always asked about, even with nothing typed.
    e.action("MenuNew")->trigger();
    EXPECT_EQ(e.windowTitle(), "Edit (New Record)");
    EXPECT_EQ(e.controlText(C::Quantity), "1");
    EXPECT_EQ(e.editorMode(), EditorMode::New);
    f.prompter.expectMessage(kWarning,
                             "This record has not been updated yet.  Update this record before "
                             "moving to the previous record?",
                             MsgButton::No);
    e.DoPrevious();
    EXPECT_EQ(e.editorMode(), EditorMode::Edit);
    EXPECT_EQ(e.windowTitle(), "Edit");
    EXPECT_EQ(f.itemsInFile().size(), 2);
}

TEST(RecordEditor, NewRecordAsksWhenSomethingWasTyped) {
    Fixture f;
    f.addItems({"Chair"});
    f.open(EditorMode::Edit);
    TMyEdit& e = *f.editor;
    e.setControlText(C::Brand, "Ikea");
    f.prompter.expectMessage(kWarning,
                             "Data has changed.  Update this record before creating new one?",
                             MsgButton::Cancel);
    e.MenuNewClick();
    EXPECT_EQ(e.controlText(C::Brand), "Ikea");
    EXPECT_EQ(f.prompter.lastMessage().buttons,
              MsgButton::Yes | MsgButton::No | static_cast<unsigned>(MsgButton::Cancel));
    EXPECT_EQ(f.prompter.lastMessage().defaultButton, MsgButton::No);
    f.prompter.expectMessage(
        kWarning, "Data has changed.  Update this record before creating new one?", MsgButton::Yes);
    // Ctrl+E from inside a text box (where line edits would take it to move the cursor).
    e.focusControl(C::WarNotes); // on the third page
    f.key(Qt::Key_E, Qt::ControlModifier);
    EXPECT_EQ(e.controlText(C::Brand), "");
    EXPECT_EQ(e.windowTitle(), "Edit (New Record)");
    EXPECT_EQ(e.focusedControl(), C::Item); // back on the first page, ready for the name
    dbase::Table file;
    file.openFile(f.path.toStdString(), dbase::OpenMode::ReadOnly);
    file.first();
    EXPECT_EQ(file.fieldText("BRAND"), "Ikea");

    // Clear changes nothing but the boxes: the caption and mode stay.
    e.setControlText(C::Item, "x");
    e.action("MenuClear")->trigger();
    EXPECT_EQ(e.controlText(C::Item), "");
    EXPECT_EQ(e.windowTitle(), "Edit (New Record)");
    EXPECT_EQ(e.editorMode(), EditorMode::New);
    EXPECT_EQ(f.prompter.beeps(), 2);
}

TEST(RecordEditor, ExitAsksOnlyAboutChangesAndTheCloseBoxNever) {
    Fixture f;
    f.addItems({"Desk"});
    f.session.lists.setList(2, {"Office"});
    f.open(EditorMode::Edit);
    TMyEdit& e = *f.editor;
    e.setControlText(C::Item, "Desk 2");
    f.prompter.expectMessage(kWarning, "Data has changed.  Do you want to exit without updating?",
                             MsgButton::No);
    e.button("CancelButton")->click();
    EXPECT_TRUE(e.isVisible());
    EXPECT_EQ(f.prompter.lastMessage().defaultButton, MsgButton::No);
    EXPECT_EQ(f.prompter.beeps(), 1);
    f.prompter.expectMessage(kWarning, "Data has changed.  Do you want to exit without updating?",
                             MsgButton::Yes);
    e.action("MenuExit")->trigger();
    EXPECT_FALSE(e.isVisible());
    EXPECT_EQ(f.itemsInFile(), QStringList{"Desk"});
    EXPECT_EQ(readListFile(f.session.items.paths().listFile(2)), QStringList{"Office"});

    // Unchanged: closes at once. The close box never asks.
    f.open(EditorMode::Edit);
    e.DoExit();
    EXPECT_FALSE(e.isVisible());
    f.open(EditorMode::Edit);
    e.setControlText(C::Item, "Desk 3");
    e.close();
    EXPECT_FALSE(e.isVisible());
    EXPECT_EQ(f.itemsInFile(), QStringList{"Desk"});
}

TEST(RecordEditor, BrowseModeNeverAsksAndNeverWrites) {
    Fixture f(true);
    f.addItems({"One", "Two"});
    f.open(EditorMode::Edit);
    TMyEdit& e = *f.editor;
    for (const char* name : {"MenuNew", "MenuClear", "MenuUpdate", "MenuUpdateExit", "MenuCut",
                             "MenuCopy", "MenuPaste", "MenuDelete"})
        EXPECT_FALSE(e.action(name)->isEnabled()) << name;
    for (const char* name :
         {"MenuCopyRecord", "MenuPrintRecord", "MenuPrevious", "MenuNext", "MenuExit", "MenuHelp"})
        EXPECT_TRUE(e.action(name)->isEnabled()) << name;
    for (const char* name : {"UpdateExitButton", "UpdateButton", "ClearButton"})
        EXPECT_FALSE(e.button(name)->isEnabled()) << name;
    EXPECT_TRUE(e.button("PrevButton")->isEnabled());

    e.setControlText(C::Item, "changed");
    e.DoNext();
    EXPECT_EQ(e.controlText(C::Item), "Two");
    e.setControlText(C::Item, "changed");
    e.action("MenuCopyRecord")->trigger();
    EXPECT_FALSE(e.DoUpdate());
    f.key(Qt::Key_U, Qt::ControlModifier);
    e.DoPrevious();
    EXPECT_EQ(e.controlText(C::Item), "One");
    e.setControlText(C::Item, "changed");
    e.DoExit();
    EXPECT_FALSE(e.isVisible());
    EXPECT_EQ(f.itemsInFile(), (QStringList{"One", "Two"}));
    EXPECT_EQ(f.prompter.beeps(), 0);
}

TEST(RecordEditor, PrintRecordPrintsOnePagePerCopy) {
    Fixture f;
    f.addItems({"Clock"});
    f.open(EditorMode::Edit);
    TMyEdit& e = *f.editor;

    // Cancelled: nothing printed.
    f.prompter.expectPrint(std::nullopt);
    e.MenuPrintRecordClick();

    PrintRequest request;
    request.outputFileName = f.dir.file("clock.pdf");
    request.copies = 3;
    f.prompter.expectPrint(request);
    e.action("MenuPrintRecord")->trigger();
    QProcess text;
    text.start("pdftotext", {"-layout", request.outputFileName, "-"});
    ASSERT_TRUE(text.waitForFinished(30000));
    const QStringList pages = QString::fromUtf8(text.readAllStandardOutput())
                                  .split(QLatin1Char('\f'), Qt::SkipEmptyParts);
    ASSERT_EQ(pages.size(), 3);
    for (const QString& page : pages) {
        EXPECT_TRUE(page.contains("Item: Clock"));
        EXPECT_TRUE(page.contains("Quantity: 1"));
        EXPECT_TRUE(page.contains("Warranty: No"));
    }

    // While another job runs the print dialog is not even shown.
    PrintJobGuard other;
    f.prompter.expectMessage(kError, "Other print job currently in progress.");
    e.MenuPrintRecordClick();
}

TEST(RecordEditor, UnwritablePdfIsReported) {
    Fixture f;
    f.open(EditorMode::New);
    PrintRequest request;
    request.outputFileName = f.dir.file("no/such/dir/x.pdf");
    f.prompter.expectPrint(request).expectMessage(kError, QString());
    f.editor->MenuPrintRecordClick();
    EXPECT_TRUE(f.prompter.lastMessage().text.contains("x.pdf"));
}

TEST(RecordEditor, ShowsScaledTheSameEveryTimeAndFollowsTheDateFormat) {
    Fixture f;
    f.context.scaleFactor = 1.25;
    f.open(EditorMode::New);
    const QSize first = f.editor->size();
    f.editor->close();
    f.session.formats.chooseDateFormat(11); // dd-mm-yyyy
    f.open(EditorMode::New);
    EXPECT_EQ(f.editor->size(), first);
    EXPECT_EQ(first.width(), 790); // 632 at 125%
    EXPECT_EQ(f.editor->lineEdit(C::WarDate)->inputMask(), "00-00-0000;_");
    EXPECT_EQ(f.editor->controlText(C::WarDate), "  -  -    ");
    f.editor->setControlText(C::WarDate, "31-12-1997");
    ASSERT_TRUE(f.editor->DoUpdate());
    dbase::Table file;
    file.openFile(f.path.toStdString(), dbase::OpenMode::ReadOnly);
    file.first();
    EXPECT_EQ(file.fieldText("WARDATE"), "19971231");
}

namespace {
THelpWindow* visibleHelp() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* help = qobject_cast<THelpWindow*>(w); help && help->isVisible())
            return help;
    return nullptr;
}
} // namespace

TEST(RecordEditor, HelpKeysOpenTheInputWindowPage) {
    Fixture f;
    f.open(EditorMode::New);
    for (const QKeyCombination key : {QKeyCombination(Qt::ControlModifier, Qt::Key_H),
                                      QKeyCombination(Qt::NoModifier, Qt::Key_F1)}) {
        if (THelpWindow* open = visibleHelp())
            open->close();
        QApplication::setActiveWindow(f.editor.get());
        f.editor->focusControl(C::Cost);
        f.key(key.key(), key.keyboardModifiers());
        THelpWindow* help = visibleHelp();
        ASSERT_NE(help, nullptr) << QKeySequence(key).toString().toStdString();
        EXPECT_EQ(help->currentPage().fileName(), "record_editor.html");
        EXPECT_TRUE(help->browser()->toPlainText().contains("Update & Exit"));
        help->close();
    }
}

TEST(RecordEditor, ShowModalRunsUntilTheWindowCloses) {
    Fixture f;
    f.addItems({"Vase"});
    QString seen;
    QTimer::singleShot(0, [&] {
        if (auto* w = qobject_cast<TMyEdit*>(QApplication::activeModalWidget())) {
            seen = w->controlText(C::Item);
            w->button("CancelButton")->click();
        }
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [&] { f.editor->reject(); });
    watchdog.start(10000);
    f.editor->showModal(EditorMode::Copy);
    EXPECT_EQ(seen, "Vase");
    EXPECT_EQ(f.editor->editorMode(), EditorMode::Copy);
}

TEST(RecordEditor, MovingInAnEmptyTableKeepsANewRecord) {
    Fixture f;
    f.open(EditorMode::New);
    TMyEdit& e = *f.editor;
    f.prompter.expectMessage(kWarning,
                             "This record has not been updated yet.  Update this record before "
                             "moving to the next record?",
                             MsgButton::No);
    e.DoNext();
    EXPECT_EQ(e.editorMode(), EditorMode::New);
    EXPECT_EQ(e.controlText(C::Quantity), "1");
    e.setControlText(C::Item, "First thing");
    EXPECT_TRUE(e.DoUpdate());
    EXPECT_EQ(f.itemsInFile(), QStringList{"First thing"});
}

TEST(RecordEditor, EscapeAsksLikeExit) {
    Fixture f;
    f.open(EditorMode::New);
    f.type("Lamp");
    f.prompter.expectMessage(kWarning, "Data has changed.  Do you want to exit without updating?",
                             MsgButton::No);
    f.key(Qt::Key_Escape);
    EXPECT_TRUE(f.editor->isVisible());
    EXPECT_EQ(f.editor->controlText(C::Item), "Lamp");
}

// Whichever page the editor was closed on, every control of every page opens at its design
// place and size (scaled), never at another control's.
TEST(RecordEditor, EveryControlReturnsToItsDesignPlaceWhateverPageItClosedOn) {
    Fixture f;
    struct Design {
        QRect geometry;
        int points;
    };
    QMap<QString, Design> design;
    for (QWidget* w : windowComponents(f.editor.get()))
        design.insert(w->objectName(), {w->geometry(), w->font().pointSize()});
    ASSERT_GT(design.size(), 60);

    for (const double factor : {1.0, 1.6}) {
        f.context.scaleFactor = factor;
        for (int page = 0; page < 4; ++page) {
            f.open(EditorMode::New);
            f.editor->notebook()->setCurrentIndex(page);
            f.editor->DoExit();
            f.open(EditorMode::New);
            for (QWidget* w : windowComponents(f.editor.get())) {
                const Design d = design.value(w->objectName());
                const QRect want(scaled(d.geometry.x(), factor), scaled(d.geometry.y(), factor),
                                 scaled(d.geometry.width(), factor),
                                 scaled(d.geometry.height(), factor));
                EXPECT_EQ(w->geometry(), want) << w->objectName().toStdString()
                                               << " closed on page " << page << " at " << factor;
                if (!w->property("bevel").toBool()) {
                    EXPECT_EQ(w->font().pointSize(), scaled(d.points, factor))
                        << w->objectName().toStdString();
                }
            }
            f.editor->DoExit();
        }
    }
}

// Amounts up to what the field holds are stored exactly, whatever the box's typing limit;
// anything larger is refused with the box's message and never cut.
TEST(RecordEditor, AmountsAreStoredWholeOrRefusedNeverCut) {
    Fixture f;
    f.open(EditorMode::New);
    TMyEdit& e = *f.editor;
    const auto typeInto = [&](C box, const QString& text) {
        e.focusControl(box);
        f.type(text);
        f.key(Qt::Key_Tab);
    };
    typeInto(C::Cost, "12345678.91");
    EXPECT_EQ(e.controlText(C::Cost), "12,345,678.91");
    typeInto(C::RepCost, "87654321");
    EXPECT_EQ(e.controlText(C::RepCost), "87,654,321.00");

    // Larger than the field: left as typed, refused on update, nothing written.
    typeInto(C::Value, "1e308");
    EXPECT_EQ(e.controlText(C::Value), "1e308");
    f.prompter.expectMessage(kError, "Invalid value specified.  Please correct.");
    EXPECT_FALSE(e.DoUpdate());
    EXPECT_EQ(e.focusedControl(), C::Value);
    EXPECT_EQ(e.notebook()->currentIndex(), 1);
    e.setControlText(C::Value, "");
    typeInto(C::Value, "99999999999");
    EXPECT_EQ(e.controlText(C::Value), "99999999999");
    f.prompter.expectMessage(kError, "Invalid value specified.  Please correct.");
    EXPECT_FALSE(e.DoUpdate());
    EXPECT_TRUE(f.itemsInFile().isEmpty());

    // Typing stops at twelve characters.
    e.setControlText(C::Value, "");
    typeInto(C::Value, "1234567890123456");
    EXPECT_EQ(e.controlText(C::Value), "123456789012");
    e.setControlText(C::Value, "999999999");
    ASSERT_TRUE(e.DoUpdate());
    {
        dbase::Table file;
        file.openFile(f.path.toStdString(), dbase::OpenMode::ReadOnly);
        file.first();
        EXPECT_EQ(file.fieldText("COST"), "12345678.91");
        EXPECT_EQ(file.fieldText("REPCOST"), "87654321.00");
        EXPECT_EQ(file.fieldText("VALUE"), "999999999.00");
    }

    // The largest amount opens whole and an unchanged update keeps it.
    e.close();
    f.session.items.table().first();
    f.open(EditorMode::Edit);
    EXPECT_EQ(e.controlText(C::Value), "999,999,999.00");
    EXPECT_FALSE(e.ValuesChanged());
    ASSERT_TRUE(e.DoUpdate());
    // The user may shorten the longer text but not lengthen it.
    e.focusControl(C::Value);
    e.lineEdit(C::Value)->end(false);
    f.type("5");
    EXPECT_EQ(e.controlText(C::Value), "999,999,999.00");
    f.key(Qt::Key_Backspace);
    f.key(Qt::Key_Backspace);
    f.type("1");
    EXPECT_EQ(e.controlText(C::Value), "999,999,999.");
    e.lineEdit(C::Value)->selectAll();
    f.type("1234567890123");
    EXPECT_EQ(e.controlText(C::Value), "123456789012");
    dbase::Table file;
    file.openFile(f.path.toStdString(), dbase::OpenMode::ReadOnly);
    file.first();
    EXPECT_EQ(file.fieldText("VALUE"), "999999999.00");
    EXPECT_EQ(file.recordCount(), 1u);
}

// A value the table refuses teaches no list, and the refusal shows where the value is.
TEST(RecordEditor, RefusedWriteTurnsToTheFieldAndTeachesNoList) {
    Fixture f;
    f.addItems({"Radio"});
    const QString longCategory(30, QLatin1Char('k')); // the list allows 30, the field 20
    f.session.lists.setList(4, {"Audio", longCategory});
    f.open(EditorMode::Edit);
    TMyEdit& e = *f.editor;

    e.setControlText(C::Brand, QString::fromUtf8("\xe7\xb4\xa2\xe5\xb0\xbc")); // 索尼
    e.setControlText(C::Location, "Attic");
    e.focusControl(C::Bought); // on another page
    f.prompter.expectMessage(kError, QString());
    EXPECT_FALSE(e.DoUpdate());
    EXPECT_TRUE(f.prompter.lastMessage().text.contains("cannot be stored"));
    EXPECT_EQ(e.notebook()->currentIndex(), 0);
    EXPECT_EQ(e.focusedControl(), C::Brand);
    EXPECT_EQ(e.editorMode(), EditorMode::Edit);

    // A list entry longer than its field comes into the box whole and is refused, not cut.
    e.setControlText(C::Brand, "Sony");
    e.combo(C::Category)->setCurrentIndex(1);
    EXPECT_EQ(e.controlText(C::Category), longCategory);
    e.focusControl(C::UserDef1);
    f.prompter.expectMessage(kError, QString());
    EXPECT_FALSE(e.DoUpdate());
    EXPECT_EQ(e.focusedControl(), C::Category);

    e.close();
    EXPECT_EQ(f.session.lists.editorList(1), QStringList{});
    EXPECT_EQ(f.session.lists.gridList(2), QStringList{});
    EXPECT_TRUE(readListFile(f.session.items.paths().listFile(1)).isEmpty());
    EXPECT_TRUE(readListFile(f.session.items.paths().listFile(2)).isEmpty());
    EXPECT_EQ(f.itemsInFile(), QStringList{"Radio"});
    dbase::Table file;
    file.openFile(f.path.toStdString(), dbase::OpenMode::ReadOnly);
    file.first();
    EXPECT_EQ(file.fieldText("BRAND"), "");
}
