#include "backup/backup_ops.h"
#include "backup/backup_window.h"
#include "backup/restore_ops.h"
#include "backup/restore_window.h"
#include "items/database_ops.h"
#include "mainwindow/main_window.h"
#include "mainwindow/viewer_model.h"
#include "modal_helper.h"
#include "scripted_prompter.h"
#include "test_files.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <gtest/gtest.h>

namespace {

QByteArray bytesOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

struct Fixture {
    TestDir dir;
    AppPaths paths;
    QString home;
    QString backupDir;
    Fixture() {
        paths.programDir = dir.file("prog");
        paths.settingsDir = dir.file("cfg");
        paths.currentDir = dir.path();
        backupDir = dir.file("backup");
        QDir().mkpath(backupDir);
        QDir().mkpath(paths.programDir);
        home = dir.file("HOME.DBF");
        ScriptedPrompter p;
        EXPECT_TRUE(MakeNewDB(home, p));
        addItems(home, {"tv", "radio", "lamp"});
        GlobalSettings g = defaultGlobalSettings(dir.path());
        g.lastDatabase = home;
        g.showTips = false;
        saveGlobalSettings(g, paths.settingsDir);
    }
    static void addItems(const QString& dbf, const QStringList& names) {
        ItemTable items;
        items.setPaths(DatabasePaths::forTable(dbf));
        items.open();
        for (const QString& name : names) {
            items.table().append();
            items.setText(1, name);
            items.table().post();
        }
    }
};

template <typename T> T* child(QWidget* w, const char* name) {
    T* found = w->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(found, nullptr) << name;
    return found;
}

} // namespace

TEST(BackupWindow, BacksUpFromTheFileMenuAndKeepsTheViewerAndSearch) {
    Fixture f;
    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {1024, 768});
    ASSERT_TRUE(w.startedUp());
    w.show();
    // A search in force: only the lamp shows.
    ItemTable& items = w.session().items;
    items.table().setFilter([](const dbase::Table& t) { return t.fieldText("ITEM") == "lamp"; });
    items.table().refresh();
    w.EnableEndSearch();
    w.SetViewerOptions();
    w.DisplayCount();
    ASSERT_EQ(w.countLabel()->text(), "1");

    QAction* command = w.action("&File/&Back Up Data");
    ASSERT_TRUE(command->isEnabled());
    EXPECT_EQ(command->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_B));
    bool seen = false;
    whenModalShown([&](QWidget* modal) {
        auto* dialog = qobject_cast<TMyBackup*>(modal);
        ASSERT_NE(dialog, nullptr);
        seen = true;
        EXPECT_EQ(dialog->windowTitle(), "Backup");
        EXPECT_EQ(child<QLabel>(dialog, "Label1")->text(), "What To Back Up");
        EXPECT_EQ(child<QLabel>(dialog, "Label2")->text(), "Where To Back Up To");
        EXPECT_EQ(child<QRadioButton>(dialog, "BackINI")->text(),
                  "Config &File of Current Database (*.INI)");
        EXPECT_TRUE(dialog->kindButton(BackupKind::Database)->isChecked());
        EXPECT_EQ(dialog->dirBox()->text(), QDir::toNativeSeparators(f.paths.programDir));
        EXPECT_EQ(dialog->cancelButton()->text(), "&Cancel");

        // The database's own directory, reached through the chooser: refused, nothing closed.
        prompter.expectDirectory(f.dir.path())
            .expectMessage("Error", kBackupIdenticalMessage)
            .expectDirectory(std::nullopt)
            .expectDirectory(f.backupDir);
        child<QPushButton>(dialog, "ChooseButton")->click();
        dialog->startButton()->click();
        EXPECT_EQ(dialog->cancelButton()->text(), "&Cancel");
        child<QPushButton>(dialog, "ChooseButton")->click(); // cancelled: the choice stays
        EXPECT_EQ(dialog->destination(), QDir::toNativeSeparators(f.dir.path()));
        child<QPushButton>(dialog, "ChooseButton")->click();
        // A full target: told so, nothing copied, the window not finished.
        dialog->setFreeSpaceProbe([](const QString&) { return std::optional<quint64>(0); });
        prompter.expectMessage("Error", kBackupNoRoomMessage);
        dialog->startButton()->click();
        EXPECT_EQ(dialog->cancelButton()->text(), "&Cancel");
        EXPECT_FALSE(QFile::exists(f.backupDir + "/HOME.DBF"));
        dialog->setFreeSpaceProbe(fileSystemFreeSpace);
        prompter.expectMessage("Notice", kBackupDoneMessage);
        dialog->startButton()->click();
        EXPECT_EQ(dialog->cancelButton()->text(), "&Close");
        EXPECT_EQ(dialog->focusWidget(), dialog->cancelButton());
        EXPECT_TRUE(dialog->isVisible()); // open for the next kind
    });
    command->trigger();
    ASSERT_TRUE(seen);
    EXPECT_EQ(bytesOf(f.backupDir + "/HOME.DBF"), bytesOf(f.home));
    // The viewer is back on the table with the same search.
    EXPECT_TRUE(w.session().searchOn);
    EXPECT_FALSE(w.searchOnLabel()->isHidden());
    EXPECT_EQ(w.countLabel()->text(), "1");
    EXPECT_EQ(w.viewerModel()->rowCount({}), 1);
    EXPECT_EQ(items.openMode(), dbase::OpenMode::Shared);
    prompter.verifyDone();
    w.close();
}

TEST(RestoreWindow, ARestoredTableBecomesTheOpenDatabaseOnScreen) {
    Fixture f;
    // A backup of HOME with five items; the open HOME lives outside the program directory.
    const QString backup = f.backupDir + "/HOME.DBF";
    ASSERT_TRUE(QFile::copy(f.home, backup));
    Fixture::addItems(backup, {"bike", "desk"});
    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {1024, 768});
    ASSERT_TRUE(w.startedUp());
    w.show();
    ItemTable& items = w.session().items;
    items.table().setFilter([](const dbase::Table&) { return false; });
    w.EnableEndSearch();

    const QByteArray left = bytesOf(f.home);
    QAction* command = w.action("&File/&Restore Data");
    ASSERT_TRUE(command->isEnabled());
    bool seen = false;
    whenModalShown([&](QWidget* modal) {
        auto* dialog = qobject_cast<TMyRestore*>(modal);
        ASSERT_NE(dialog, nullptr);
        seen = true;
        EXPECT_EQ(dialog->windowTitle(), "Restore");
        EXPECT_TRUE(dialog->kindButton(RestoreKind::Database)->isChecked());
        EXPECT_EQ(child<QRadioButton>(dialog, "RestoreLST")->text(),
                  "Data &Lists of a Database (*.0xx)");

        // Cancelled in the file dialog: nothing happens.
        prompter.expectOpenFile(std::nullopt);
        dialog->startButton()->click();
        EXPECT_EQ(dialog->cancelButton()->text(), "&Cancel");
        EXPECT_TRUE(w.session().searchOn); // still in force
        const FileDialogRequest& request = prompter.seen().back().file;
        EXPECT_EQ(request.caption, "Restore Database File");
        EXPECT_TRUE(request.mustExist);
        EXPECT_EQ(request.filters, QStringList({"DBase Files (*.dbf *.DBF)"}));

        prompter.expectOpenFile(backup).expectMessage("Notice", kRestoreDoneMessage);
        dialog->startButton()->click();
        EXPECT_EQ(dialog->cancelButton()->text(), "&Close");

        // The report definitions dialog proposes TWKINV.URP.
        dialog->kindButton(RestoreKind::ReportDefinitions)->setChecked(true);
        prompter.expectOpenFile(std::nullopt);
        dialog->startButton()->click();
        EXPECT_EQ(prompter.seen().back().file.caption, "Restore URP File");
        EXPECT_EQ(prompter.seen().back().file.fileName, "TWKINV.URP");
    });
    command->trigger();
    ASSERT_TRUE(seen);
    const QString restored = QDir(f.paths.programDir).filePath("HOME.DBF");
    EXPECT_EQ(items.paths().current, restored);
    EXPECT_EQ(w.windowTitle(), "Tallywick Inventory 97 (HOME)");
    EXPECT_EQ(w.session().global.lastDatabase, restored);
    // The search ended with the restore; every restored item shows.
    EXPECT_TRUE(w.searchOnLabel()->isHidden());
    EXPECT_FALSE(w.action("Navi&gate/&End Search")->isEnabled());
    EXPECT_EQ(w.countLabel()->text(), "5");
    EXPECT_EQ(w.viewerModel()->rowCount({}), 5);
    // The database left is as it was.
    EXPECT_EQ(bytesOf(f.home), left);
    prompter.verifyDone();
    w.close();
}

TEST(RestoreWindow, BrowseModeLeavesBothCommandsDisabled) {
    Fixture f;
    ScriptedPrompter prompter;
    TMain w(prompter, f.paths, {1024, 768}, {"/browse"});
    ASSERT_TRUE(w.startedUp());
    EXPECT_FALSE(w.action("&File/&Back Up Data")->isEnabled());
    EXPECT_FALSE(w.action("&File/&Restore Data")->isEnabled());
    w.close();
}
