// The test desktop itself: a window manager and a tray host on a 24-bit screen.
#include "desktop.hpp"

#include <gtest/gtest.h>

TEST(Desktop, RunsAWindowManagerAndATrayHostOnA24BitScreen) {
    auto& desktop = e2e::Desktop::Get();
    EXPECT_NE(desktop.Run("xdpyinfo").find("depth of root window:    24 planes"),
              std::string::npos);
    EXPECT_NE(desktop.Run("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id"),
              std::string::npos);
    // The tray selection is owned once trayer is up.
    EXPECT_NE(desktop.Run("xdotool search --onlyvisible --name '^panel$'"), "");
    const auto shot = desktop.Screenshot();
    EXPECT_EQ(shot.width, 1024);
    EXPECT_EQ(shot.height, 768);
    // Nothing is written outside the scratch folder: HOME points into it.
    EXPECT_EQ(desktop.Run("printf %s \"$HOME\""), desktop.Scratch() + "/home");
}
