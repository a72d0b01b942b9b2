#include "settings/app_paths.h"

#include <QDir>
#include <gtest/gtest.h>

TEST(AppPaths, CommandLineOverridesAndKeepsOtherArguments) {
    const AppPaths p = AppPaths::fromCommandLine(
        {"prog", "/browse", "--program-dir", "/tmp/x/../prog", "--settings-dir", "/tmp/cfg"});
    EXPECT_EQ(p.programDir, "/tmp/prog");
    EXPECT_EQ(p.settingsDir, "/tmp/cfg");
    EXPECT_EQ(p.arguments, QStringList{"/browse"});
}

TEST(AppPaths, DefaultsFollowXdgAndNeverTheBuildDirectory) {
    qputenv("XDG_DATA_HOME", "/tmp/xdgdata");
    qputenv("XDG_CONFIG_HOME", "relative/ignored");
    const AppPaths p = AppPaths::fromCommandLine({"prog"});
    EXPECT_EQ(p.programDir, "/tmp/xdgdata/tallywick-inventory");
    EXPECT_EQ(p.settingsDir, QDir::homePath() + "/.config");
    qunsetenv("XDG_DATA_HOME");
    qunsetenv("XDG_CONFIG_HOME");
}
