#include "app/main_window.h"
#include "scripted_prompter.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTableView>
#include <QToolButton>
#include <gtest/gtest.h>

namespace {
AppPaths testPaths() {
    AppPaths p;
    p.programDir = "/nonexistent-program-dir";
    p.settingsDir = "/nonexistent-settings-dir";
    return p;
}
} // namespace

TEST(MainWindow, MenusCarryEveryCommandWithItsShortcut) {
    ScriptedPrompter prompter;
    TMain w(prompter, testPaths(), {1024, 768});
    EXPECT_EQ(w.windowTitle(), "Tallywick Inventory 97");
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
}

TEST(MainWindow, RecentFilesMenuEndsWithExitUntilThereAreEntries) {
    ScriptedPrompter prompter;
    TMain w(prompter, testPaths(), {1024, 768});
    QMenu* file = w.menu("&File");
    auto lastVisible = [file] {
        QAction* last = nullptr;
        for (QAction* a : file->actions())
            if (a->isVisible())
                last = a;
        return last;
    };
    EXPECT_EQ(lastVisible()->text(), "E&xit");
}

TEST(MainWindow, ButtonBarModesShowTheirControlsAndLayOutTheViewer) {
    ScriptedPrompter prompter;
    TMain w(prompter, testPaths(), {1024, 768});
    w.show();
    w.SetButtonBar(ButtonBarMode::Lettered);
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
}

TEST(MainWindow, ScreenSizePresetsRefuseLargerThanTheScreen) {
    ScriptedPrompter prompter;
    TMain w(prompter, testPaths(), {800, 600});
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
