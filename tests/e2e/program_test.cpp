// A real program on the test desktop: the probe form shown through the X11 back end,
// driven with real input (xdotool) and looked at from outside (xprop, xwininfo, pixels).
#include "../read_file.hpp"
#include "desktop.hpp"
#include "e2e_support.hpp"
#include "framework/application.hpp"
#include "os/sim_platform.hpp"
#include "probe_form.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace std::chrono_literals;

namespace {

class ProgramTest : public ::testing::Test {
protected:
    e2e::Desktop& desktop = e2e::Desktop::Get();
    pid_t pid = 0;
    std::string window;
    std::string log_path = desktop.Scratch() + "/e2e_probe.log";

    void SetUp() override {
        std::remove(log_path.c_str());
        pid = desktop.Spawn({std::string(MIRELO_BINARY_DIR) + "/tests/e2e/probe/e2e_probe"});
        window = e2e::ShownWindow(desktop, "^Probe$", 10);
        ASSERT_FALSE(window.empty()) << Log();
        Settle();
    }
    void TearDown() override {
        if (pid) desktop.Stop(pid);
    }
    // The window manager acts asynchronously: give it a moment.
    void Settle() const { std::this_thread::sleep_for(300ms); }
    std::string Log() const { return tests::ReadFile(log_path); }
    bool LogHas(const std::string& line) const { return e2e::LogHas(log_path, line, 5); }
    std::pair<int, int> Position() const { return e2e::WindowPosition(desktop, window); }
    void Xdo(const std::string& args) const { desktop.Run("xdotool " + args); }
};

} // namespace

TEST_F(ProgramTest, MapsUndecoratedAtItsPlaceAndStaysAboveAnActiveOverlappingWindow) {
    EXPECT_EQ(Position(), std::make_pair(probe::kLeft, probe::kTop));
    const std::string geometry = desktop.Run("xdotool getwindowgeometry " + window);
    EXPECT_NE(geometry.find("Geometry: 160x120"), std::string::npos) << geometry;
    // No frame: the window manager reports no extents around it.
    const std::string extents = desktop.Run("xprop -id " + window + " _NET_FRAME_EXTENTS");
    EXPECT_TRUE(extents.find("not found") != std::string::npos ||
                extents.find("= 0, 0, 0, 0") != std::string::npos)
        << extents;
    EXPECT_NE(desktop.Run("xprop -id " + window + " _NET_WM_STATE").find("_NET_WM_STATE_ABOVE"),
              std::string::npos);
    // Another window over it, made active, stays below it.
    const pid_t other = desktop.Spawn({"xlogo", "-geometry", "300x300+150+100"});
    ASSERT_TRUE(desktop.WaitFor("xdotool search --onlyvisible --class xlogo", 10));
    const std::string logo = desktop.Run("xdotool search --onlyvisible --class xlogo | head -n1");
    desktop.Run("xdotool windowactivate --sync " + logo);
    Settle();
    const std::string stacking = desktop.Run("xprop -root _NET_CLIENT_LIST_STACKING");
    auto hex = [](std::string id) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "0x%lx", std::stoul(id));
        return std::string(buf);
    };
    const auto ours = stacking.find(hex(window));
    const auto theirs = stacking.find(hex(logo));
    ASSERT_NE(ours, std::string::npos) << stacking;
    ASSERT_NE(theirs, std::string::npos) << stacking;
    EXPECT_GT(ours, theirs) << "later in the list is higher in the stack: " << stacking;
    desktop.Stop(other);
}

TEST_F(ProgramTest, ClicksInsideTheShapeReachTheControlAndOutsideItReachNothing) {
    const std::string shape = desktop.Run("xwininfo -shape -id " + window);
    EXPECT_NE(shape.find("Window shape extents:  160x110+0+0"), std::string::npos) << shape;
    Xdo("mousemove " + std::to_string(probe::kLeft + 50) + " " + std::to_string(probe::kTop + 80) +
        " click 1");
    EXPECT_TRUE(LogHas("down 0 30 20"));
    EXPECT_TRUE(LogHas("click"));
    EXPECT_TRUE(LogHas("up 0 30 20"));
    const std::string before = Log();
    // Inside the bounding box, in the notch cut out of the shape.
    Xdo("mousemove " + std::to_string(probe::kLeft + 140) + " " + std::to_string(probe::kTop + 20) +
        " click 3");
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(Log(), before);
    // The desktop shows through the notch; our pixels show right beside it.
    const auto shot = desktop.Screenshot(probe::kLeft, probe::kTop, probe::kWidth, probe::kHeight);
    EXPECT_NE(shot.At(140, 20), shot.At(119, 20));
}

TEST_F(ProgramTest, ADragOnTheBackdropMovesTheWindowAndADragOnTheButtonDoesNot) {
    const auto start = Position();
    Xdo("mousemove " + std::to_string(probe::kLeft + 100) + " " +
        std::to_string(probe::kTop + 100));
    Xdo("mousedown 1");
    std::this_thread::sleep_for(100ms);
    Xdo("mousemove " + std::to_string(probe::kLeft + 130) + " " +
        std::to_string(probe::kTop + 120));
    std::this_thread::sleep_for(100ms);
    Xdo("mousemove " + std::to_string(probe::kLeft + 150) + " " +
        std::to_string(probe::kTop + 140));
    std::this_thread::sleep_for(100ms);
    Xdo("mouseup 1");
    EXPECT_TRUE(LogHas("moved " + std::to_string(probe::kLeft + 50) + " " +
                       std::to_string(probe::kTop + 40)))
        << Log();
    Settle();
    EXPECT_EQ(Position(), std::make_pair(start.first + 50, start.second + 40));
    // A drag that starts on the button only presses the button.
    const auto moved = Position();
    Xdo("mousemove " + std::to_string(moved.first + 30) + " " + std::to_string(moved.second + 70));
    Xdo("mousedown 1");
    std::this_thread::sleep_for(100ms);
    Xdo("mousemove " + std::to_string(moved.first + 90) + " " + std::to_string(moved.second + 110));
    std::this_thread::sleep_for(100ms);
    Xdo("mouseup 1");
    EXPECT_TRUE(LogHas("up 0 70 50"));
    Settle();
    EXPECT_EQ(Position(), moved);
}

TEST_F(ProgramTest, KeysReachOnKeyDownWithTheirCodesAndEscapeEndsTheProgram) {
    desktop.Run("xdotool windowactivate --sync " + window);
    Xdo("key r");
    EXPECT_TRUE(LogHas("key 82")) << Log();
    Xdo("key shift+m");
    EXPECT_TRUE(LogHas("key 77 shift")) << Log();
    Xdo("key ctrl+p");
    EXPECT_TRUE(LogHas("key 80 ctrl")) << Log();
    Xdo("key Escape");
    EXPECT_TRUE(LogHas("key 27"));
    EXPECT_TRUE(LogHas("exit"));
}

TEST_F(ProgramTest, ScreenshotMatchesTheSimulatedDisplayInsideTheShape) {
    const auto real = desktop.Screenshot(probe::kLeft, probe::kTop, probe::kWidth, probe::kHeight);
    os::SimPlatform platform;
    fw::Runtime runtime(platform);
    probe::CreateProbeForm([](const std::string&) {});
    runtime.Loop().RunFor(10ms);
    const auto sim = platform.Screen().Screenshot();
    int compared = 0, differing = 0;
    for (int y = 0; y < probe::kHeight; ++y)
        for (int x = 0; x < probe::kWidth; ++x) {
            if (probe::kNotch.Contains(x, y) || y >= probe::kShapeHeight) continue;
            ++compared;
            if (real.At(x, y) != sim.At(probe::kLeft + x, probe::kTop + y)) ++differing;
        }
    EXPECT_EQ(compared, 160 * 110 - 40 * 40);
    EXPECT_EQ(differing, 0);
}
