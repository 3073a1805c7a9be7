// The real program on a desktop at 200 % (Xft.dpi 192 in the root's resources), and what
// overrides them. Screenshots at scales 1 and 2 are kept in e2e-scratch/scale-shots.
#include "../read_file.hpp"
#include "desktop.hpp"
#include "e2e_support.hpp"
#include "os/display/png.hpp"
#include "sound_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace std::chrono_literals;

namespace {

class ScaleTest : public ::testing::Test {
protected:
    e2e::Desktop& desktop = e2e::Desktop::Get();
    std::string shots = std::string(MIRELO_BINARY_DIR) + "/e2e-scratch/scale-shots";
    pid_t pid = 0;
    std::string window;

    void SetUp() override {
        std::filesystem::remove_all(desktop.Scratch() + "/config/mirelo");
        std::filesystem::create_directories(shots);
        desktop.Run("echo 'Xft.dpi: 192' | xrdb -merge");
    }
    void TearDown() override {
        if (pid) desktop.Stop(pid);
        unsetenv("GDK_SCALE");
        desktop.Run("xrdb -remove");
    }
    void Start() {
        pid = desktop.Spawn({e2e::MireloProgram()});
        window = e2e::ShownWindow(desktop, "^Mirelo$", 15);
        ASSERT_FALSE(window.empty());
    }
    // The window's place, size and icon sizes on one line match `pattern`.
    bool Shows(const std::string& pattern) const {
        return desktop.WaitFor("(xdotool getwindowgeometry " + window + "; xprop -id " + window +
                                   " _NET_WM_ICON | grep -o 'Icon ([0-9]* x [0-9]*)') | tr '\\n' "
                                   "' ' | grep -q '" +
                                   pattern + "'",
                               5);
    }
};

} // namespace

TEST_F(ScaleTest, AtDpi192TheWindowIsTwiceAsLargeShapedAndRecordsWithATraceOfBlocks) {
    if (!e2e::OnPath("pulseaudio")) GTEST_SKIP() << "pulseaudio is not installed";
    e2e::SoundServer server;
    ASSERT_TRUE(server.Start(desktop.Scratch() + "/scale-sound")) << server.Error();
    const os::PixelBuffer bare = desktop.Screenshot(692, 372, 332, 340);
    ASSERT_NO_FATAL_FAILURE(Start());
    // 166 and 198 logical pixels from the edges of the 512 x 384 screen; icons to 64 px.
    EXPECT_TRUE(Shows("Position: 692,372 .*Geometry: 334x340 Icon (32 x 32) Icon (48 x 48) "
                      "Icon (64 x 64) $"));
    EXPECT_EQ(desktop.Run("xwininfo -shape -id " + window).find("extents:  334x340+0+0"),
              std::string::npos);
    std::this_thread::sleep_for(300ms);
    const os::PixelBuffer look = desktop.Screenshot(692, 372, 332, 340);
    os::WritePng(shots + "/scale-2.png", look);
    EXPECT_EQ(look.At(0, 0), bare.At(0, 0)) << "the corner does not show the desktop";
    // REC's centre (59, 137); the trace at column 63, rows 36 to 41: 2 x 2 blocks.
    desktop.Run("xdotool mousemove 810 646 click 1");
    const auto traced = [&] {
        const auto t = desktop.Screenshot(692 + 2 * 63 - 1, 372 + 2 * 36, 3, 12);
        std::string rows; // column 63's two device pixels per row: k black, g green
        for (int y = 0; y < 12; ++y) {
            if (t.At(0, y) == 0xFF00) return false;
            for (int x = 1; x < 3; ++x)
                rows += t.At(x, y) == 0 ? 'k' : t.At(x, y) == 0xFF00 ? 'g' : '.';
        }
        return rows == "kkkkkkkkggggggggkkkkkkkk";
    };
    bool seen = false;
    for (int i = 0; i < 100 && !seen; ++i, std::this_thread::sleep_for(50ms))
        seen = traced();
    os::WritePng(shots + "/scale-2-recording.png", desktop.Screenshot(692, 372, 332, 340));
    EXPECT_TRUE(seen) << "no 2 x 2 trace at logical column 63; see " << shots;
}

TEST_F(ScaleTest, ADragAndEscapeKeepTheLogicalPlace) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(Shows("Position: 692,372"));
    // The skin at logical (145, 102), dragged by 200 and 100 device pixels.
    desktop.Run("xdotool mousemove 982 576 mousedown 1 sleep 0.1 mousemove 882 526 sleep 0.1 "
                "mousemove 782 476 sleep 0.1 mouseup 1");
    EXPECT_TRUE(Shows("Position: 492,272"));
    desktop.Run("xdotool windowactivate --sync " + window + " key Escape");
    if (e2e::WaitExit(pid, 10)) pid = 0;
    ASSERT_EQ(pid, 0);
    const std::string settings = tests::ReadFile(desktop.Scratch() + "/config/mirelo/settings.ini");
    // 512 - 246 from the right, 384 - 136 from the bottom, of a 512 x 384 screen.
    EXPECT_NE(settings.find("Top=dword:248\nLeft=dword:266\nScrWidth=dword:512\n"
                            "ScrHeight=dword:384\n"),
              std::string::npos)
        << settings;
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_TRUE(Shows("Position: 492,272"));
}

TEST_F(ScaleTest, GdkScaleOverridesTheResourcesAndTheScaleSettingOverridesBoth) {
    setenv("GDK_SCALE", "1", 1);
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_TRUE(Shows("Position: 858,570 .*Geometry: 167x170 Icon (32 x 32) $"));
    std::this_thread::sleep_for(300ms);
    os::WritePng(shots + "/scale-1.png", desktop.Screenshot(858, 570, 166, 170));
    desktop.Stop(pid);
    std::filesystem::create_directories(desktop.Scratch() + "/config/mirelo");
    std::ofstream(desktop.Scratch() + "/config/mirelo/settings.ini")
        << "[\\Software\\Mirelo]\nScale=dword:3\n";
    ASSERT_NO_FATAL_FAILURE(Start());
    // 1024 x 768 is 341 x 256 at scale 3: 175 = 341 - 166, 58 = 256 - 198.
    EXPECT_TRUE(Shows("Position: 525,174 .*Geometry: 501x510"));
}

TEST_F(ScaleTest, AMessageBoxAtScale2HasItsTextRasterisedAtTheDeviceSize) {
    {
        // No sound server to be reached: REC fails with its message box.
        e2e::ScopedEnv no_sound("PULSE_SERVER", "unix:" + desktop.Scratch() + "/no-such-server");
        ASSERT_NO_FATAL_FAILURE(Start());
    }
    desktop.Run("xdotool windowactivate --sync " + window + " key r");
    const std::string others =
        "xdotool search --onlyvisible --name '^Mirelo$' | grep -vx " + window;
    ASSERT_TRUE(desktop.WaitFor(others, 10)) << "no message box";
    const std::string box = e2e::FirstLine(desktop.Run(others + " | head -n1"));
    const auto [x, y] = desktop.WindowOrigin(box);
    int w = 0, h = 0;
    std::sscanf(desktop.Run("xdotool getwindowgeometry " + box).c_str(),
                "%*[^G]Geometry: %dx%d", &w, &h);
    std::this_thread::sleep_for(300ms);
    // Wider than this small screen at scale 2: the part on it, from a whole logical pixel.
    const int left = std::max(x, 0) + (std::max(x, 0) - x) % 2;
    const os::PixelBuffer look = desktop.Screenshot(left, y, std::min(x + w, 1024) - left, h);
    os::WritePng(shots + "/scale-2-message.png", look);
    // Fills and edges are whole 2 x 2 blocks; only text drawn at the device's size breaks
    // them up.
    int broken = 0;
    for (int by = 0; by + 1 < look.height; by += 2)
        for (int bx = 0; bx + 1 < look.width; bx += 2) {
            const std::uint32_t p = look.At(bx, by);
            broken += look.At(bx + 1, by) != p || look.At(bx, by + 1) != p ||
                      look.At(bx + 1, by + 1) != p;
        }
    EXPECT_GT(broken, 50) << "the message's text looks enlarged; see " << shots;
}
