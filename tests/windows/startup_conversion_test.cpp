// Start-up with an older version's table in the program directory, and with a database named on
// the command line ("Open with" from a file manager).

#include "items/database_ops.h"
#include "mainwindow/main_window.h"
#include "mainwindow/viewer_model.h"
#include "scripted_prompter.h"
#include "session/conversion.h"
#include "session/session_lifecycle.h"
#include "test_files.h"

#include <QFile>
#include <QLabel>
#include <gtest/gtest.h>

namespace {
const QSize kScreen(1024, 768);

struct Start {
    TestDir dir;
    AppPaths paths;
    QString master;

    // The program directory with MASTER.DBF holding one item; tips off.
    Start() {
        paths.programDir = dir.file("prog");
        paths.settingsDir = dir.file("cfg");
        paths.currentDir = dir.path();
        master = paths.programDir + "/MASTER.DBF";
        {
            ScriptedPrompter p;
            TMain w(p, paths, kScreen);
            w.session().global.showTips = false;
            w.close();
        }
        ItemTable items;
        items.setPaths(DatabasePaths::forTable(master));
        items.open();
        items.table().append();
        items.setText(1, QStringLiteral("Lamp"));
        items.table().post();
    }
};
} // namespace

TEST(StartUpConversion, AnOldTableIsOfferedAfterTheDatabaseOpensAndItsItemsShow) {
    Start s;
    using dbase::FieldDef;
    std::vector<FieldDef> fields = {FieldDef::integer("ID")};
    for (const char* name : {"Item", "Brand", "Model", "Serial", "Room", "Descriptio", "BoughtFrom",
                             "IDMarks", "Quantity", "PurchDay", "PurchMonth", "PurchYear"})
        fields.push_back(FieldDef::character(name, 20));
    fields.push_back(FieldDef::floating("Cost"));
    fields.push_back(FieldDef::character("Category", 20));
    dbase::Table::create(s.paths.programDir.toStdString(), "HLOG.DBF", fields);
    {
        dbase::Table old;
        old.openFile((s.paths.programDir + "/HLOG.DBF").toStdString(), dbase::OpenMode::Shared);
        for (const char* item : {"Radio", "Clock"}) {
            old.append();
            old.setFieldText("ITEM", item);
            old.setFieldText("PURCHDAY", "5");
            old.setFieldText("PURCHMONTH", "Mar");
            old.setFieldText("PURCHYEAR", "1996");
            old.post();
        }
    }

    ScriptedPrompter p;
    p.expectMessage("Convert", conversionQuestion("1.X", "HLOG.DBF"), MsgButton::Yes);
    TMain w(p, s.paths, kScreen);
    ASSERT_TRUE(w.startedUp());
    p.verifyDone();
    EXPECT_EQ(w.windowTitle(), "Tallywick Inventory 97 (MASTER)");
    EXPECT_EQ(p.seen().front().message.defaultButton, MsgButton::Yes);
    w.show();
    EXPECT_EQ(w.countLabel()->text(), "3");
    EXPECT_EQ(w.viewerModel()->rowCount(), 3);
    EXPECT_FALSE(QFile::exists(s.paths.programDir + "/HLOG.DBF"));
    w.close();
}

TEST(StartUpConversion, ADatabaseOnTheCommandLineOpensInsteadOfTheLastOne) {
    Start s;
    const QString other = s.dir.file("OTHER.DBF");
    {
        ScriptedPrompter p;
        ASSERT_TRUE(MakeNewDB(other, p));
    }
    const QStringList dirs = {"--program-dir", s.paths.programDir, "--settings-dir",
                              s.paths.settingsDir};
    {
        const CommandLine line = parseCommandLine(QStringList{"tallywick-inventory"} + dirs +
                                                  QStringList{"/BROWSE", other});
        ASSERT_EQ(line.outcome, CommandLine::Outcome::Run);
        ScriptedPrompter p;
        TMain w(p, line.paths, kScreen, line.paths.arguments);
        ASSERT_TRUE(w.startedUp());
        EXPECT_EQ(w.windowTitle(), "Tallywick Inventory 97 (OTHER)");
        EXPECT_TRUE(w.session().browseMode);
        EXPECT_EQ(w.session().global.lastDatabase, other);
        w.close();
    }
    // A name that leads nowhere is said, and the last database opens as usual.
    const QString missing = s.dir.file("GONE.DBF");
    const CommandLine line = parseCommandLine(QStringList{"tallywick-inventory", missing} + dirs);
    ScriptedPrompter p;
    p.expectMessage("Error", missingDatabaseMessage(missing));
    TMain w(p, line.paths, kScreen, line.paths.arguments);
    ASSERT_TRUE(w.startedUp());
    EXPECT_EQ(w.windowTitle(), "Tallywick Inventory 97 (OTHER)");
    w.close();
}
