#include "mainwindow/main_window_rules.h"

#include <gtest/gtest.h>

TEST(RecentFiles, SwitchesFillTheListMostRecentFirst) {
    RecentFileList list;
    DoLastFiles(list, "/a/A.DBF", "/b/B.DBF");
    EXPECT_EQ(list[0], "/a/A.DBF");
    EXPECT_TRUE(list[1].isEmpty());
    EXPECT_EQ(recentFileCaption(1, list[0]), "&1   /a/A.DBF");

    // A -> B -> A: B is entry 1 and A is not listed at all.
    DoLastFiles(list, "/b/B.DBF", "/a/A.DBF");
    EXPECT_EQ(list[0], "/b/B.DBF");
    for (const QString& e : list)
        EXPECT_NE(e, "/a/A.DBF");

    // Reopening the current database puts its own path first.
    DoLastFiles(list, "/a/A.DBF", "/a/A.DBF");
    EXPECT_EQ(list[0], "/a/A.DBF");
    EXPECT_EQ(list[1], "/b/B.DBF");
}

TEST(RecentFiles, OldestDropsOffAndMatchingIsExact) {
    RecentFileList list{"1", "2", "3", "4", "5"};
    DoLastFiles(list, "P", "x");
    EXPECT_EQ(list, (RecentFileList{"P", "1", "2", "3", "4"}));
    list = {"1", "2", "3", "4", "5"};
    DoLastFiles(list, "P", "3");
    EXPECT_EQ(list, (RecentFileList{"P", "1", "2", "4", "5"}));
    list = {"/a/a.dbf", "", "", "", ""};
    DoLastFiles(list, "P", "/a/A.DBF"); // letter case counts
    EXPECT_EQ(list, (RecentFileList{"P", "/a/a.dbf", "", "", ""}));
}

TEST(ButtonBar, LayoutsFollowTheClientArea) {
    const auto speed = buttonBarLayout(ButtonBarMode::Speed, 632, 434);
    EXPECT_EQ(speed.viewerGridTop, 70);
    EXPECT_EQ(speed.viewerGridHeight, 434 - 77);
    EXPECT_EQ(speed.viewerGridWidth, 618);
    EXPECT_EQ(speed.navigatorLeft, 424);
    const auto lettered = buttonBarLayout(ButtonBarMode::Lettered, 632, 434);
    EXPECT_EQ(lettered.viewerBevelTop, 86);
    EXPECT_EQ(lettered.viewerBevelHeight, 434 - 89);
    EXPECT_EQ(lettered.count2Top, 105);
    // With no bar the navigator follows the right edge.
    EXPECT_EQ(buttonBarLayout(ButtonBarMode::None, 632, 434).navigatorLeft, 425);
    EXPECT_EQ(buttonBarLayout(ButtonBarMode::None, 900, 434).navigatorLeft, 693);
    EXPECT_EQ(buttonBarModeFrom(7), ButtonBarMode::Speed);
}

TEST(ScreenPresets, FactorsAndRefusals) {
    EXPECT_EQ(scaleFactorFor(1280, {800, 600}), 1.0);
    EXPECT_EQ(scaleFactorFor(1280, {1280, 1024}), 2.0);
    EXPECT_EQ(scaleFactorFor(800, {800, 600}), 1.25);
    EXPECT_EQ(scaleFactorFor(1024, {1024, 767}), 1.0);
    EXPECT_EQ(scaleFactorFor(999, {2000, 2000}), 1.0);
    EXPECT_EQ(presetRefusal(1024, {1280, 720}),
              "Your current screen resolution does not support 1024 x 768 pixels.");
    EXPECT_TRUE(presetRefusal(1280, {1280, 1024}).isEmpty());
    EXPECT_TRUE(presetRefusal(640, {320, 200}).isEmpty());
}
