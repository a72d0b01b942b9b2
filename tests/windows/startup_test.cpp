#include "appearance/color_sets.h"
#include "items/database_ops.h"
#include "mainwindow/main_window.h"
#include "mainwindow/viewer_model.h"
#include "scripted_prompter.h"
#include "session/session_lifecycle.h"
#include "settings/ini_file.h"
#include "settings/settings.h"
#include "test_files.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QProcess>
#include <QTableView>
#include <gtest/gtest.h>

#include <unistd.h>

namespace {
const QSize kScreen(1024, 768);

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

struct Fixture {
    TestDir dir;
    AppPaths paths;
    Fixture() {
        paths.programDir = dir.file("prog");
        paths.settingsDir = dir.file("cfg");
        paths.currentDir = dir.path();
    }
    QString master() const { return paths.programDir + "/MASTER.DBF"; }
    // MASTER.DBF with one item, tips off.
    void firstRun() {
        {
            ScriptedPrompter p;
            TMain w(p, paths, kScreen);
            w.session().global.showTips = false;
            w.close();
        }
        ItemTable items;
        items.setPaths(DatabasePaths::forTable(master()));
        items.open();
        items.table().append();
        items.setText(1, QStringLiteral("Lamp"));
        items.table().post();
    }
    void setSetting(const QString& file, const QString& section, const QString& key,
                    const QString& value) {
        IniFile ini = IniFile::load(file);
        ini.setValue(section, key, value);
        ASSERT_TRUE(ini.save(file));
    }
};

// Makes a directory read-only for this process and undoes it at the end: a read-only mount
// when running as root (root writes through permission bits), the permission bits otherwise.
class ReadOnlyDirectory {
public:
    explicit ReadOnlyDirectory(const QString& dir) : m_dir(dir) {}
    ~ReadOnlyDirectory() {
        if (m_mounted)
            QProcess::execute("umount", {m_dir});
        else
            QFile::setPermissions(m_dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    // Before filling it: as root, the directory becomes a fresh file system of its own.
    bool prepare() {
        if (::geteuid() != 0)
            return true;
        m_mounted = QProcess::execute("mount", {"-t", "tmpfs", "none", m_dir}) == 0;
        return m_mounted;
    }
    bool lock() {
        if (m_mounted)
            return QProcess::execute("mount", {"-o", "remount,ro", m_dir}) == 0;
        for (const QString& f : QDir(m_dir).entryList(QDir::Files))
            QFile::setPermissions(m_dir + "/" + f, QFile::ReadOwner);
        return QFile::setPermissions(m_dir, QFile::ReadOwner | QFile::ExeOwner);
    }

private:
    QString m_dir;
    bool m_mounted = false;
};
} // namespace

TEST(StartUp, TheRealCommandLineReachesBrowseMode) {
    Fixture f;
    f.firstRun();
    const QStringList dirs = {"--program-dir", f.paths.programDir, "--settings-dir",
                              f.paths.settingsDir};
    for (const QStringList& args :
         {QStringList{"tallywick-inventory", "/bRoWsE"} + dirs,
          QStringList{"tallywick-inventory"} + dirs + QStringList{"--browse"}}) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const CommandLine line = parseCommandLine(args);
        ASSERT_EQ(line.outcome, CommandLine::Outcome::Run);
        EXPECT_EQ(line.paths.programDir, f.paths.programDir);
        ScriptedPrompter p;
        TMain w(p, line.paths, kScreen, line.paths.arguments);
        ASSERT_TRUE(w.startedUp());
        EXPECT_TRUE(w.session().browseMode);
        EXPECT_FALSE(w.action("&Records/&Add")->isEnabled());
        w.close();
    }
    {
        ScriptedPrompter p;
        const CommandLine line = parseCommandLine(QStringList{"tallywick-inventory"} + dirs);
        TMain w(p, line.paths, kScreen, line.paths.arguments);
        EXPECT_FALSE(w.session().browseMode);
        EXPECT_TRUE(w.action("&Records/&Add")->isEnabled());
        w.close();
    }
    EXPECT_EQ(parseCommandLine({"p", "--help"}).outcome, CommandLine::Outcome::ShowHelp);
    EXPECT_TRUE(parseCommandLine({"p", "--help"}).text.contains("--settings-dir"));
    EXPECT_EQ(parseCommandLine({"p", "--version"}).outcome, CommandLine::Outcome::ShowVersion);
    EXPECT_EQ(parseCommandLine({"p", "--bogus"}).outcome, CommandLine::Outcome::Refused);
    EXPECT_EQ(parseCommandLine({"p", "--program-dir"}).outcome, CommandLine::Outcome::Refused);
}

TEST(StartUp, TheProgramEndsWhenTheDefaultDatabaseCannotBeCreated) {
    Fixture f;
    QFile blocker(f.dir.file("prog"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly)); // a file where the folder should be
    blocker.close();
    ScriptedPrompter p;
    p.expectMessage("Error", {});
    TMain w(p, f.paths, kScreen);
    EXPECT_FALSE(w.startedUp());
    EXPECT_FALSE(w.session().items.isOpen());
    EXPECT_TRUE(p.lastMessage().text.startsWith("The default database"));
    w.close(); // nothing to save, nothing written
    EXPECT_FALSE(QFile::exists(f.paths.settingsDir + "/TWKINV.INI"));
}

TEST(StartUp, AGarbageDatabaseIsLeftAloneAndAnotherIsChosen) {
    Fixture f;
    f.firstRun();
    QByteArray garbage(2048, '\x5a');
    garbage[0] = '\x03';
    garbage[28] = '\x01';
    writeAll(f.master(), garbage);
    const QString other = f.dir.file("OTHER.DBF");
    ScriptedPrompter p;
    ASSERT_TRUE(MakeNewDB(other, p));

    p.expectMessage("Error", {}); // the engine's words about the damaged file
    p.expectMessage("Error", kNotValidLastDatabaseMessage);
    p.expectOpenFile(other);
    TMain w(p, f.paths, kScreen);
    ASSERT_TRUE(w.startedUp());
    EXPECT_EQ(w.windowTitle(), "Tallywick Inventory 97 (OTHER)");
    EXPECT_EQ(readAll(f.master()), garbage); // not one byte written
    w.close();
}

TEST(StartUp, ALastDatabaseWithAnUnreadableIndexOpensWithTheIndexRebuilt) {
    Fixture f;
    f.firstRun(); // Lamp, no category
    {
        ItemTable items;
        items.setPaths(DatabasePaths::forTable(f.master()));
        items.open();
        for (const char* category : {"Tools", "Audio"}) {
            items.table().append();
            items.setText(1, QLatin1String(category) + QStringLiteral(" item"));
            items.setText(12, QLatin1String(category));
            items.table().post();
        }
    }
    const QString mdx = f.paths.programDir + "/MASTER.MDX";
    for (const QByteArray& damage : {QByteArray(4096, '\x45'), QByteArray("garbage")}) {
        SCOPED_TRACE(damage.size());
        writeAll(mdx, damage);
        // No word about the index, no forced choice of another database: the user's items.
        ScriptedPrompter p;
        TMain w(p, f.paths, kScreen);
        ASSERT_TRUE(w.startedUp());
        w.show();
        EXPECT_EQ(w.windowTitle(), "Tallywick Inventory 97 (MASTER)");
        ASSERT_EQ(w.viewerModel()->rowCount(), 3);
        EXPECT_EQ(w.viewerModel()->index(0, 0).data().toString(), "Lamp");
        EXPECT_EQ(w.viewerModel()->index(1, 0).data().toString(), "Audio item");
        EXPECT_EQ(w.viewerModel()->index(2, 0).data().toString(), "Tools item");
        EXPECT_EQ(w.session().items.indexName(), "NewIndex");
        w.close();
        p.verifyDone();
        EXPECT_NE(readAll(mdx), damage);
    }
}

TEST(StartUp, ADatabaseThatCannotBeWrittenOpensForBrowsing) {
    Fixture f;
    ReadOnlyDirectory readOnly(f.dir.file("prog"));
    QDir().mkpath(f.paths.programDir);
    if (!readOnly.prepare())
        GTEST_SKIP() << "no way to make a read-only folder here";
    f.firstRun();
    f.setSetting(f.paths.programDir + "/MASTER.INI", "Grid Options", "Field Editing", "Yes");
    const QByteArray tableBefore = readAll(f.master());
    const QByteArray settingsBefore = readAll(f.paths.programDir + "/MASTER.INI");
    if (!readOnly.lock())
        GTEST_SKIP() << "no way to make a read-only folder here";

    ScriptedPrompter p;
    p.expectMessage("Error", readOnlyDatabaseMessage(f.master()));
    {
        TMain w(p, f.paths, kScreen);
        ASSERT_TRUE(w.startedUp());
        EXPECT_TRUE(w.session().browseMode);
        EXPECT_TRUE(w.session().readOnly);
        EXPECT_FALSE(w.action("&Records/&Delete")->isEnabled());
        w.show();
        EXPECT_EQ(w.countLabel()->text(), "1"); // the inventory is there to see
        EXPECT_EQ(w.viewerModel()->rowCount(), 1);
        // Pack needs to write: refused with the reason, nothing asked.
        p.expectMessage("Error", {});
        w.action("&Tools/&Pack Database")->trigger();
        EXPECT_TRUE(p.lastMessage().text.contains("browsing only"));
        w.close(); // the global settings still save; the database's are left alone
    }
    EXPECT_EQ(readAll(f.master()), tableBefore);
    EXPECT_EQ(readAll(f.paths.programDir + "/MASTER.INI"), settingsBefore);
}

TEST(StartUp, DamagedSettingsStillGiveAUsableWindow) {
    Fixture f;
    f.firstRun();
    const QString global = f.paths.settingsDir + "/TWKINV.INI";
    f.setSetting(global, "Misc", "Main Window Left", "-5000");
    f.setSetting(global, "Misc", "Main Window Width", "-640");
    f.setSetting(global, "Misc", "Main Window Height", "2147483647");
    const QString local = f.paths.programDir + "/MASTER.INI";
    f.setSetting(local, "Grid Title Font", "Size", "10000");
    for (const char* field : {"Item", "Brand", "Model", "Serial", "Location"})
        f.setSetting(local, "Field Order", field, "1");

    ScriptedPrompter p;
    TMain w(p, f.paths, kScreen);
    ASSERT_TRUE(w.startedUp());
    // Placed wholly on the screen (the desktop adds its frame around this).
    EXPECT_TRUE(QRect(QPoint(0, 0), kScreen).contains(w.geometry()));
    EXPECT_GE(w.width(), kMinWindowWidth);
    w.show();
    EXPECT_LE(w.viewerGrid()->horizontalHeader()->font().pointSize(), kMaxFontSize);
    // Every field shows once, the first to claim a place keeping it.
    QStringList titles;
    for (int c = 0; c < w.viewerModel()->columnCount(); ++c)
        titles << w.viewerModel()->headerData(c, Qt::Horizontal).toString();
    EXPECT_EQ(titles.size(), kFieldCount);
    EXPECT_EQ(titles.removeDuplicates(), 0);
    EXPECT_EQ(titles.value(0), "Item");
    EXPECT_EQ(titles.value(1), "Brand");
    w.close();
}

TEST(StartUp, EveryColourSetKeepsTheMenuBarAndTheCountReadable) {
    Fixture f;
    f.firstRun();
    ScriptedPrompter p;
    TMain w(p, f.paths, kScreen);
    w.show();
    const QPalette desktop = QApplication::palette(w.menuBar());
    for (int n = 1; n <= kCombinationCount; ++n) {
        SCOPED_TRACE(combinationName(n).toStdString());
        ColorSet set;
        ASSERT_TRUE(applyCombination(set, n));
        // Every text element differs from the background it is painted on.
        using E = ColorSet;
        for (auto [text, background] : {std::pair{E::MajorTitle, E::MainBackground},
                                        {E::MinorTitle, E::MainBackground},
                                        {E::EditText, E::EditBackground},
                                        {E::ComboText, E::ComboBackground},
                                        {E::ListBoxText, E::ListBoxBackground},
                                        {E::RadioText, E::RadioBackground},
                                        {E::CheckText, E::CheckBackground}})
            EXPECT_NE(set[text], set[background]) << text;

        w.session().db.colors(WindowKind::Main) = set;
        w.SetColors();
        const QPalette menu = w.menuBar()->palette();
        EXPECT_EQ(menu.color(QPalette::Window), desktop.color(QPalette::Window));
        EXPECT_EQ(menu.color(QPalette::WindowText), desktop.color(QPalette::WindowText));
        const QColor background = w.palette().color(QPalette::Window);
        EXPECT_EQ(background, toQColor(set[E::MainBackground]));
        for (QLabel* label : {w.countLabel(), w.findChild<QLabel*>("Count2Label")})
            EXPECT_NE(label->palette().color(QPalette::WindowText), background);
    }
    w.close();
}
