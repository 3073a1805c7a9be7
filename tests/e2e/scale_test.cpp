// The real program on a high-density desktop (Xft.dpi 192 in the root window's resources):
// the whole window at twice the size, shaped, at its logical place; REC at its device place
// records and the trace is drawn in 2 x 2 blocks; a drag and Escape keep the logical place;
// GDK_SCALE and the Scale setting override the resources. Screenshots at scales 1 and 2 are
// kept side by side in the build's e2e-scratch/scale-shots for a look.
#include "desktop.hpp"
#include "os/display/png.hpp"
#include "sound_support.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
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
        pid = desktop.Spawn({std::string(MIRELO_BINARY_DIR) + "/src/app/mirelo"});
        ASSERT_TRUE(desktop.WaitFor("xdotool search --onlyvisible --name '^Mirelo$'", 15));
        window = desktop.Run("xdotool search --onlyvisible --name '^Mirelo$' | head -n1");
        window.erase(window.find_last_not_of('\n') + 1);
    }
    bool PlacedAt(const std::string& geometry) const {
        return desktop.WaitFor("xdotool getwindowgeometry " + window +
                                   " | tr '\\n' ' ' | grep -q '" + geometry + "'",
                               5);
    }
    bool Exited(double seconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end) {
            if (waitpid(pid, nullptr, WNOHANG) == pid) return pid = 0, true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
    // The sizes of the window's icon for the taskbar.
    std::string IconSizes() const {
        return desktop.Run("xprop -id " + window +
                           " _NET_WM_ICON | grep -o 'Icon ([0-9]* x [0-9]*)' | tr '\\n' ' '");
    }
    std::string Settings() const {
        std::stringstream s;
        s << std::ifstream(desktop.Scratch() + "/config/mirelo/settings.ini").rdbuf();
        return s.str();
    }
};

} // namespace

TEST_F(ScaleTest, AtDpi192TheWindowIsTwiceAsLargeShapedAndRecordsWithATraceOfBlocks) {
    if (!e2e::OnPath("pulseaudio")) GTEST_SKIP() << "pulseaudio is not installed";
    e2e::SoundServer server;
    ASSERT_TRUE(server.Start(desktop.Scratch() + "/scale-sound")) << server.Error();
    const os::PixelBuffer bare = desktop.Screenshot(692, 372, 332, 340);
    ASSERT_NO_FATAL_FAILURE(Start());
    // 166 and 198 logical pixels from the right and bottom edges of the 512 x 384 screen.
    EXPECT_TRUE(PlacedAt("Position: 692,372 .*Geometry: 334x340"))
        << desktop.Run("xdotool getwindowgeometry " + window);
    const std::string shape = desktop.Run("xwininfo -shape -id " + window);
    EXPECT_NE(shape.find("Window shape extents:"), std::string::npos) << shape;
    EXPECT_EQ(shape.find("Window shape extents:  334x340+0+0"), std::string::npos) << shape;
    std::this_thread::sleep_for(300ms);
    const os::PixelBuffer look = desktop.Screenshot(692, 372, 332, 340);
    os::WritePng(shots + "/scale-2.png", look);
    EXPECT_EQ(look.At(0, 0), bare.At(0, 0)) << "the corner does not show the desktop";
    EXPECT_NE(look.At(167, 170), bare.At(167, 170));
    EXPECT_EQ(IconSizes(), "Icon (32 x 32) Icon (48 x 48) Icon (64 x 64) ");

    // REC's centre (8 + 51, 112 + 25) in device pixels.
    desktop.Run("xdotool mousemove " + std::to_string(692 + 2 * 59) + " " +
                std::to_string(372 + 2 * 137) + " click 1");
    // Logical column 63, rows 36 to 41: black, black, green, green, black, black.
    auto traced = [&] {
        const auto t = desktop.Screenshot(692 + 2 * 63 - 1, 372 + 2 * 36, 4, 12);
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 4; ++x) {
                const bool column = x == 1 || x == 2;
                const bool green = column && (y / 2 == 2 || y / 2 == 3);
                if ((t.At(x, y) == 0x00FF00) != green || (column && !green && t.At(x, y) != 0))
                    return false;
            }
        return true;
    };
    bool seen = false;
    for (int i = 0; i < 100 && !seen; ++i, std::this_thread::sleep_for(50ms))
        seen = traced();
    os::WritePng(shots + "/scale-2-recording.png", desktop.Screenshot(692, 372, 332, 340));
    EXPECT_TRUE(seen) << "no 2 x 2 trace at logical column 63; see " << shots;
    desktop.Stop(pid);
    pid = 0;
    server.Stop();
}

TEST_F(ScaleTest, ADragAndEscapeKeepTheLogicalPlace) {
    ASSERT_NO_FATAL_FAILURE(Start());
    ASSERT_TRUE(PlacedAt("Position: 692,372"));
    // The skin at logical (145, 102), away from every button; 200 and 100 device pixels.
    desktop.Run("xdotool mousemove 982 576 mousedown 1");
    std::this_thread::sleep_for(100ms);
    desktop.Run("xdotool mousemove 882 526");
    std::this_thread::sleep_for(100ms);
    desktop.Run("xdotool mousemove 782 476");
    std::this_thread::sleep_for(100ms);
    desktop.Run("xdotool mouseup 1");
    EXPECT_TRUE(PlacedAt("Position: 492,272"))
        << desktop.Run("xdotool getwindowgeometry " + window);
    desktop.Run("xdotool windowactivate --sync " + window + " key Escape");
    ASSERT_TRUE(Exited(10));
    // Logical: 512 - 246 from the right, 384 - 136 from the bottom.
    EXPECT_NE(Settings().find("Top=dword:248\nLeft=dword:266\n"), std::string::npos) << Settings();
    EXPECT_NE(Settings().find("ScrWidth=dword:512\nScrHeight=dword:384\n"), std::string::npos)
        << Settings();
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_TRUE(PlacedAt("Position: 492,272"))
        << desktop.Run("xdotool getwindowgeometry " + window);
}

TEST_F(ScaleTest, GdkScaleOverridesTheResourcesAndTheScaleSettingOverridesBoth) {
    setenv("GDK_SCALE", "1", 1);
    ASSERT_NO_FATAL_FAILURE(Start());
    EXPECT_TRUE(PlacedAt("Position: 858,570 .*Geometry: 167x170"))
        << desktop.Run("xdotool getwindowgeometry " + window);
    std::this_thread::sleep_for(300ms);
    os::WritePng(shots + "/scale-1.png", desktop.Screenshot(858, 570, 166, 170));
    EXPECT_EQ(IconSizes(), "Icon (32 x 32) ");
    desktop.Stop(pid);
    pid = 0;

    std::filesystem::create_directories(desktop.Scratch() + "/config/mirelo");
    std::ofstream(desktop.Scratch() + "/config/mirelo/settings.ini")
        << "[\\Software\\Mirelo]\nScale=dword:3\n";
    ASSERT_NO_FATAL_FAILURE(Start());
    // 1024 x 768 is 341 x 256 at scale 3: 175 = 341 - 166, 58 = 256 - 198.
    EXPECT_TRUE(PlacedAt("Position: 525,174 .*Geometry: 501x510"))
        << desktop.Run("xdotool getwindowgeometry " + window);
}
