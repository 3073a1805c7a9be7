// The program as the Debian package installs it, unpacked into a folder: it starts on the
// test desktop and shows its shaped window under the name and class its desktop entry
// promises, and closes cleanly. MIRELO_PACKAGED_ROOT names the folder; with
// MIRELO_SCREENSHOT set, the window on the desktop is saved there as a PNG.
#include "../e2e/desktop.hpp"
#include "os/display/png.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/wait.h>
#include <thread>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// The value of `key=` in a desktop entry, or "" when it has none.
std::string EntryValue(const fs::path& entry, const std::string& key) {
    std::ifstream in(entry);
    for (std::string line; std::getline(in, line);)
        if (line.rfind(key + "=", 0) == 0) return line.substr(key.size() + 1);
    return "";
}

std::string Trimmed(std::string s) {
    s.erase(s.find_last_not_of('\n') + 1);
    return s;
}

} // namespace

TEST(PackagedProgram, ShowsItsWindowAsItsDesktopEntrySaysAndClosesCleanly) {
    const char* root_env = std::getenv("MIRELO_PACKAGED_ROOT");
    ASSERT_TRUE(root_env && *root_env) << "MIRELO_PACKAGED_ROOT names no unpacked package";
    const fs::path root = root_env;
    const fs::path binary = root / "usr/bin/mirelo";
    ASSERT_TRUE(fs::is_regular_file(binary)) << binary;
    fs::path entry;
    for (const auto& f : fs::directory_iterator(root / "usr/share/applications"))
        if (f.path().extension() == ".desktop") entry = f.path();
    ASSERT_FALSE(entry.empty()) << "no desktop entry in the package";
    // The entry starts the installed program and shows the installed icon.
    EXPECT_EQ(EntryValue(entry, "Exec"), "mirelo");
    const std::string icon = EntryValue(entry, "Icon");
    for (int size : {16, 32, 48, 64, 128}) {
        const std::string side = std::to_string(size);
        const fs::path png =
            root / "usr/share/icons/hicolor" / (side + "x" + side) / "apps" / (icon + ".png");
        ASSERT_TRUE(fs::is_regular_file(png)) << png;
        std::ifstream in(png, std::ios::binary);
        const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
        const os::IconPixels pixels = os::DecodeIconPng(std::as_bytes(std::span(bytes)));
        EXPECT_EQ(pixels.width, size);
        EXPECT_EQ(pixels.height, size);
    }

    e2e::Desktop& desktop = e2e::Desktop::Get();
    EXPECT_EQ(desktop.Run(binary.string() + " --version").rfind("Mirelo 2.15.0 (file version", 0),
              0u);
    fs::remove_all(desktop.Scratch() + "/config/mirelo");
    // A backdrop the skin never has, to tell the window's shape from what is behind it.
    constexpr std::uint32_t kBackdrop = 0x7D94AB;
    desktop.Run("xsetroot -solid '#7d94ab'");
    pid_t pid = desktop.Spawn({binary.string()});
    ASSERT_TRUE(desktop.WaitFor("xdotool search --onlyvisible --name '^Mirelo$'", 15))
        << "no window named Mirelo";
    const std::string window =
        Trimmed(desktop.Run("xdotool search --onlyvisible --name '^Mirelo$' | head -n1"));

    // At its default place near the bottom right corner of the 1024 x 768 screen, cut to the
    // skin's shape, with the class a launcher matches it to its entry by.
    ASSERT_TRUE(desktop.WaitFor(
        "xdotool getwindowgeometry " + window + " | grep -q 'Position: 858,570'", 5))
        << desktop.Run("xdotool getwindowgeometry " + window);
    const std::string shape = desktop.Run("xwininfo -shape -id " + window);
    EXPECT_NE(shape.find("Window shape extents:"), std::string::npos) << shape;
    const std::string wm_class = desktop.Run("xprop -id " + window + " WM_CLASS");
    EXPECT_NE(wm_class.find(", \"" + EntryValue(entry, "StartupWMClass") + "\""), std::string::npos)
        << wm_class;
    EXPECT_NE(desktop.Run("xprop -id " + window + " _NET_WM_ICON").find("Icon (32 x 32)"),
              std::string::npos);

    // The skin is drawn: the window's pixels hold many colours, the corner the shape cuts
    // away shows the desktop behind it. (Its last column is off the screen.)
    std::this_thread::sleep_for(300ms);
    const os::PixelBuffer shot = desktop.Screenshot(858, 570, 166, 170);
    const std::set<std::uint32_t> colours(shot.pixels.begin(), shot.pixels.end());
    EXPECT_GT(colours.size(), 100u);
    EXPECT_EQ(shot.At(0, 0), kBackdrop);
    const auto behind = std::count(shot.pixels.begin(), shot.pixels.end(), kBackdrop);
    EXPECT_GT(behind, 500);
    EXPECT_LT(behind, static_cast<long>(shot.pixels.size() / 5));
    // The picture for the software centre: the window moved to where it has room around it.
    if (const char* path = std::getenv("MIRELO_SCREENSHOT"); path && *path) {
        desktop.Run("xdotool windowmove --sync " + window + " 400 280");
        ASSERT_TRUE(desktop.WaitFor(
            "xdotool getwindowgeometry " + window + " | grep -q 'Position: 400,280'", 5));
        std::this_thread::sleep_for(300ms);
        os::WritePng(path, desktop.Screenshot(400 - 40, 280 - 40, 167 + 80, 170 + 80));
    }

    desktop.Run("xdotool windowactivate --sync " + window + " key Escape");
    int status = -1;
    for (auto end = std::chrono::steady_clock::now() + 10s;
         std::chrono::steady_clock::now() < end;) {
        if (waitpid(pid, &status, WNOHANG) == pid) {
            pid = 0;
            break;
        }
        std::this_thread::sleep_for(20ms);
    }
    if (pid) desktop.Stop(pid);
    ASSERT_EQ(pid, 0) << "Escape did not close the program";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_TRUE(fs::is_regular_file(desktop.Scratch() + "/config/mirelo/settings.ini"));
}
