#include "app/main_window.h"
#include "scripted_prompter.h"

#include <gtest/gtest.h>

TEST(MainWindow, OpensWithTheProgramTitle) {
    ScriptedPrompter prompter;
    TMain w(prompter);
    w.show();
    EXPECT_EQ(w.windowTitle(), "Tallywick Inventory 97");
}
