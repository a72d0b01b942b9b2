#include "settings/ini_file.h"
#include "mainwindow/main_window.h"
#include "settings/settings.h"
#include "mainwindow/viewer_model.h"
#include "items/database_ops.h"
#include "scripted_prompter.h"
#include "test_files.h"

#include <QAction>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <gtest/gtest.h>

namespace {
struct Fixture {
    TestDir dir;
    AppPaths paths;
    QString a, b;
    Fixture() {
        paths.programDir = dir.file("prog");
        paths.settingsDir = dir.file("cfg");
        paths.currentDir = dir.path();
        a = dir.file("A.DBF");
        b = dir.file("B.DBF");
        ScriptedPrompter p;
        EXPECT_TRUE(MakeNewDB(a, p));
        EXPECT_TRUE(MakeNewDB(b, p));
        // Start on A without the tip.
        GlobalSettings g = defaultGlobalSettings(dir.path());
        g.lastDatabase = a;
        g.showTips = false;
        saveGlobalSettings(g, paths.settingsDir);
    }
    void addItem(const QString& dbf, const QString& name) {
        ItemTable items;
        items.setPaths(DatabasePaths::forTable(dbf));
        items.open();
        items.table().append();
        items.setText(1, name);
        items.table().post();
    }
};
} // namespace

TEST(DatabaseSwitch, OpeningBSavesAFirstAndShowsB) {
    Fixture f;
    f.addItem(f.b, "Bike");
    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {1024, 768});
    ASSERT_TRUE(w.startedUp());
    EXPECT_EQ(w.windowTitle(), "Tallywick Inventory 97 (A)");
    w.session().db.fieldNames[0] = "Thing";
    w.session().lists.addTypedValue(1, "Acme");

    prompter.expectOpenFile(f.b);
    w.action("&File/&Open Database")->trigger();
    EXPECT_EQ(w.windowTitle(), "Tallywick Inventory 97 (B)");
    EXPECT_EQ(w.countLabel()->text(), "1");
    // A's settings and lists reached its files before B's were read.
    EXPECT_EQ(IniFile::load(f.dir.file("A.INI")).value("Field Names", "Item"), "Thing");
    EXPECT_TRUE(QFile::exists(f.dir.file("A.001")));
    EXPECT_EQ(readListFile(f.dir.file("A.001")), QStringList{"Acme"});
    EXPECT_EQ(w.session().db.fieldNames[0], "Item");
    EXPECT_EQ(w.recentFiles()[0], f.a);
    EXPECT_EQ(w.action("&File/&1")->text(), "&1   " + f.a);
    EXPECT_TRUE(w.action("&File/&1")->isVisible());
    const FileDialogRequest& dialog = prompter.seen().front().file;
    EXPECT_EQ(dialog.caption, "Open Database File");
    EXPECT_TRUE(dialog.mustExist);

    // Back to A through the recent-files entry: B becomes entry 1, A is not listed.
    w.action("&File/&1")->trigger();
    EXPECT_EQ(w.windowTitle(), "Tallywick Inventory 97 (A)");
    EXPECT_EQ(w.recentFiles()[0], f.b);
    for (const QString& e : w.recentFiles())
        EXPECT_NE(e, f.a);
    EXPECT_EQ(w.session().db.fieldNames[0], "Thing");
    EXPECT_EQ(w.session().lists.editorList(1), QStringList{"Acme"});
    w.close();
}

TEST(DatabaseSwitch, RefusedChoicesKeepTheOpenDatabase) {
    Fixture f;
    QFile notes(f.dir.file("NOTES.TXT"));
    ASSERT_TRUE(notes.open(QIODevice::WriteOnly));
    notes.write("not a table");
    notes.close();
    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {1024, 768});
    prompter.expectOpenFile(f.dir.file("NOTES.TXT"));
    prompter.expectMessage("Error", "Invalid file type selected.");
    w.DoOpen();
    prompter.expectSaveFile(f.dir.file("NOTES.TXT"));
    prompter.expectMessage("Error", "Invalid file type selected.");
    w.DoNew();
    prompter.expectOpenFile(std::nullopt);
    w.DoOpen();
    prompter.expectSaveFile(std::nullopt);
    w.DoNew();
    EXPECT_EQ(w.windowTitle(), "Tallywick Inventory 97 (A)");
    EXPECT_TRUE(w.session().items.isOpen());

    // A foreign dBase table is refused by the own-table check.
    const QString foreign = f.dir.copyFixture("foreign-mdx/TEST3.DBF");
    f.dir.copyFixture("foreign-mdx/TEST3.MDX");
    prompter.expectOpenFile(foreign);
    prompter.expectMessage("Error", kNotOwnTableMessage);
    w.DoOpen();
    EXPECT_EQ(w.windowTitle(), "Tallywick Inventory 97 (A)");

    // A recent-files entry whose file has gone: the engine's error, A stays open.
    prompter.expectOpenFile(f.b);
    w.DoOpen();
    ASSERT_EQ(w.recentFiles()[0], f.a);
    w.action("&File/&1")->trigger(); // back to A, B is entry 1
    ASSERT_EQ(w.recentFiles()[0], f.b);
    QFile::remove(f.b);
    prompter.expectMessage("Error", "");
    w.action("&File/&1")->trigger();
    EXPECT_EQ(w.windowTitle(), "Tallywick Inventory 97 (A)");
    EXPECT_TRUE(w.session().items.isOpen());
    EXPECT_TRUE(prompter.lastMessage().text.contains("B.DBF"));
    w.close();
}

TEST(DatabaseSwitch, NewDatabaseStartsFromTheGlobalFileAndTheDefaultLists) {
    Fixture f;
    QDir().mkpath(f.paths.programDir);
    ASSERT_TRUE(writeListFile(f.paths.programDir + "/BRAND.LST", {"Sony", "Bosch"}));
    ASSERT_TRUE(writeListFile(f.paths.programDir + "/CATEGORY.LST", {"Tools"}));
    IniFile global = IniFile::load(globalSettingsPath(f.paths.settingsDir));
    global.setValue("Field Names", "Item", "Gadget");
    ASSERT_TRUE(global.save(globalSettingsPath(f.paths.settingsDir)));

    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {1024, 768});
    prompter.expectSaveFile(f.dir.file("NEW.DBF"));
    w.DoNew();
    EXPECT_EQ(w.windowTitle(), "Tallywick Inventory 97 (NEW)");
    EXPECT_TRUE(QFile::exists(f.dir.file("NEW.DBF")));
    EXPECT_EQ(w.session().db.fieldNames[0], "Gadget");
    EXPECT_EQ(w.session().lists.editorList(1), (QStringList{"Sony", "Bosch"}));
    EXPECT_EQ(w.session().lists.gridList(4), QStringList{"Tools"});
    EXPECT_TRUE(prompter.seen().front().file.confirmOverwrite);
    w.close();
    EXPECT_TRUE(QFile::exists(f.dir.file("NEW.INI")));
}

TEST(DatabaseSwitch, ATableHeldByAnotherCopyStillOpensShared) {
    Fixture f;
    f.addItem(f.b, "Bike");
    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {1024, 768});
    dbase::Table other;
    other.openFile(f.b.toStdString(), dbase::OpenMode::Shared);
    prompter.expectOpenFile(f.b);
    w.DoOpen();
    EXPECT_EQ(w.windowTitle(), "Tallywick Inventory 97 (B)");
    EXPECT_EQ(w.countLabel()->text(), "1");
    // The index was not rebuilt under the other copy's feet.
    EXPECT_FALSE(QFile::exists(f.dir.file("B.MDX")));
    w.close();
}

TEST(DatabaseSwitch, StartUpInsistsOnAValidDatabase) {
    Fixture f;
    const QString foreign = f.dir.copyFixture("foreign-mdx/TEST3.DBF");
    f.dir.copyFixture("foreign-mdx/TEST3.MDX");
    GlobalSettings g = loadGlobalSettings(f.paths.settingsDir, f.dir.path());
    g.lastDatabase = foreign;
    saveGlobalSettings(g, f.paths.settingsDir);

    ScriptedPrompter prompter;
    prompter.expectMessage("Error", kNotOwnTableMessage);
    prompter.expectMessage("Error",
                           "The last database used as recorded in the INI file is not a valid "
                           "Tallywick Inventory 97 file.  You will need to choose a new file.");
    prompter.expectOpenFile(std::nullopt); // cancelling only asks again
    prompter.expectOpenFile(foreign);
    prompter.expectMessage("Error", kNotOwnTableMessage);
    prompter.expectOpenFile(f.b);
    TMain w(prompter, f.paths, {1024, 768});
    ASSERT_TRUE(w.startedUp());
    EXPECT_EQ(w.windowTitle(), "Tallywick Inventory 97 (B)");
    // Nothing was saved for the rejected table.
    EXPECT_FALSE(QFile::exists(f.dir.file("TEST3.INI")));
    w.close();
    EXPECT_EQ(loadGlobalSettings(f.paths.settingsDir, f.dir.path()).lastDatabase, f.b);
}
