// The real program on the test desktop: the skinned main window at its default place,
// shaped, moved by its skin, closed by the off button and by Escape, started again where
// it was closed, and placed on the primary monitor when that is not the leftmost.
#include "../read_file.hpp"
#include "desktop.hpp"
#include "e2e_support.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sys/wait.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    e2e::Desktop& desktop = e2e::Desktop::Get();
    pid_t pid = 0;
    std::string window;

    void SetUp() override {
        // Every test starts with an empty configuration, at the default place.
        std::filesystem::remove_all(desktop.Scratch() + "/config/mirelo");
        Start();
    }
    void Start() {
        pid = desktop.Spawn({e2e::MireloProgram()});
        window = e2e::ShownWindow(desktop, "^Mirelo$", 15);
        ASSERT_FALSE(window.empty());
    }
    void TearDown() override {
        if (pid) desktop.Stop(pid);
    }
    // True once the program has ended by itself (it is then reaped here).
    bool Exited(double seconds) {
        const auto status = e2e::WaitExit(pid, seconds);
        if (!status) return false;
        pid = 0;
        return WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
    }
    void Click(int x, int y) const {
        desktop.Run("xdotool mousemove " + std::to_string(x) + " " + std::to_string(y) +
                    " click 1");
    }
};

} // namespace

TEST_F(MainWindowTest, ShowsShapedAtTheDefaultPlaceAndTheOffButtonClosesIt) {
    // 166 pixels left of the right edge and 198 above the bottom of a 1024 x 768 screen.
    EXPECT_TRUE(desktop.WaitFor(
        "xdotool getwindowgeometry " + window + " | grep -q 'Position: 858,570'", 5))
        << desktop.Run("xdotool getwindowgeometry " + window);
    const std::string shape = desktop.Run("xwininfo -shape -id " + window);
    // Cut to the skin: the shape is smaller than the 167 x 170 window.
    EXPECT_NE(shape.find("Window shape extents:"), std::string::npos) << shape;
    EXPECT_EQ(shape.find("Window shape extents:  167x170+0+0"), std::string::npos) << shape;
    EXPECT_NE(desktop.Run("xprop -id " + window + " WM_CLASS").find("\"mirelo\", \"Mirelo\""),
              std::string::npos);
    // The off button's centre (100 + 28, 25 + 29), one click.
    Click(858 + 128, 570 + 54);
    EXPECT_TRUE(Exited(10));
}

TEST_F(MainWindowTest, ADragMovesItEscapeClosesItAndTheNextStartIsAtTheSamePlace) {
    ASSERT_TRUE(desktop.WaitFor(
        "xdotool getwindowgeometry " + window + " | grep -q 'Position: 858,570'", 5));
    // The skin between the speaker slots and STOP, away from every button.
    desktop.Run("xdotool mousemove 1003 672 mousedown 1");
    std::this_thread::sleep_for(100ms);
    desktop.Run("xdotool mousemove 903 622");
    std::this_thread::sleep_for(100ms);
    desktop.Run("xdotool mousemove 803 572");
    std::this_thread::sleep_for(100ms);
    desktop.Run("xdotool mouseup 1");
    EXPECT_TRUE(desktop.WaitFor(
        "xdotool getwindowgeometry " + window + " | grep -q 'Position: 658,470'", 5))
        << desktop.Run("xdotool getwindowgeometry " + window);
    desktop.Run("xdotool windowactivate --sync " + window + " key Escape");
    ASSERT_TRUE(Exited(10));
    // The distances from the right and bottom edges are kept, and the next start uses them.
    const std::string settings = tests::ReadFile(desktop.Scratch() + "/config/mirelo/settings.ini");
    EXPECT_NE(settings.find("Top=dword:298\nLeft=dword:366\n"), std::string::npos) << settings;
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_TRUE(desktop.WaitFor(
        "xdotool getwindowgeometry " + window + " | grep -q 'Position: 658,470'", 5))
        << desktop.Run("xdotool getwindowgeometry " + window);
}

TEST_F(MainWindowTest, StartsOnThePrimaryMonitorRightOfAnother) {
    // RandR monitors: 400 pixels on the left, and the primary one, 500 x 600, right of it.
    desktop.Run("xrandr --setmonitor Side 400/106x768/203+0+0 screen && "
                "xrandr --setmonitor '*Primary' 500/132x600/159+400+0 none");
    desktop.Stop(pid);
    Start();
    EXPECT_TRUE(desktop.WaitFor(
        "xdotool getwindowgeometry " + window + " | grep -q 'Position: 734,402'", 5));
    desktop.Run("xrandr --delmonitor Primary && xrandr --delmonitor Side");
}
