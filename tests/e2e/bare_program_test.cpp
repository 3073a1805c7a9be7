// The probe program on an X server of its own with no window manager: minimising takes the
// window off the screen and restoring brings it back; and the server killed under the
// program, while it plays sound, ends it within a second with its message and status.
#include "../read_file.hpp"
#include "bare_server.hpp"
#include "e2e_support.hpp"
#include "sound_support.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <sys/wait.h>

namespace {

using e2e::MapState;
using tests::ReadFile;

const std::string kProbe = std::string(MIRELO_BINARY_DIR) + "/tests/e2e/probe/e2e_probe";

} // namespace

TEST(BareProgram, WithoutAWindowManagerMinimiseHidesTheWindowAndRestoreShowsIt) {
    e2e::BareServer server;
    const std::string log = server.Scratch() + "/probe.log";
    const pid_t probe = server.Spawn({kProbe}, log);
    const std::string window = e2e::ShownWindow(server, "^Probe$", 10);
    ASSERT_FALSE(window.empty()) << ReadFile(log);
    EXPECT_NE(server.Run("xprop -id " + window + " _NET_WM_ICON").find("Icon (32 x 32)"),
              std::string::npos);
    server.Run("xdotool windowfocus --sync " + window + " key i");
    ASSERT_TRUE(e2e::LogHas(log, "minimised", 10)) << ReadFile(log);
    EXPECT_EQ(MapState(server, window), "IsUnMapped");
    // The probe restores itself a second later.
    ASSERT_TRUE(e2e::LogHas(log, "restored", 10)) << ReadFile(log);
    EXPECT_TRUE(server.WaitFor("xwininfo -id " + window + " | grep -q IsViewable", 5))
        << MapState(server, window);
    server.Run("xdotool windowfocus --sync " + window + " key Escape");
    const auto status = e2e::WaitExit(probe, 5);
    ASSERT_TRUE(status) << ReadFile(log);
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << ReadFile(log);
}

TEST(BareProgram, AKilledServerEndsThePlayingProgramWithinASecondWithItsMessage) {
    if (!e2e::OnPath("pulseaudio")) GTEST_SKIP() << "pulseaudio is not installed";
    const std::string sound_dir =
        std::string(MIRELO_BINARY_DIR) + "/e2e-sound-bare-" + std::to_string(getpid());
    e2e::SoundServer sound;
    ASSERT_TRUE(sound.Start(sound_dir)) << sound.Error();
    e2e::BareServer server;
    const std::string log = server.Scratch() + "/probe.log";
    // The sound server's variables are in this process's environment, so the probe finds it.
    const pid_t probe = server.Spawn({kProbe, "--play"}, log);
    ASSERT_FALSE(e2e::ShownWindow(server, "^Probe$", 10).empty()) << ReadFile(log);
    ASSERT_TRUE(e2e::LogHas(log, "playing", 10)) << ReadFile(log);

    server.Kill();
    const auto killed = std::chrono::steady_clock::now();
    const auto status = e2e::WaitExit(probe, 1.0);
    const auto took = std::chrono::steady_clock::now() - killed;
    if (!status) e2e::KillChild(probe);
    ASSERT_TRUE(status) << "still running a second after the server went\n" << ReadFile(log);
    const std::string said = ReadFile(log);
    EXPECT_TRUE(WIFEXITED(*status)) << "ended by signal " << WTERMSIG(*status) << "\n" << said;
    EXPECT_NE(WEXITSTATUS(*status), 0);
    e2e::ExpectLostConnectionOnce(said);
    // Neither a normal end, nor a sanitizer's or the C++ runtime's report.
    EXPECT_EQ(said.find("\nexit\n"), std::string::npos) << said;
    e2e::ExpectNoReport(said);
    std::printf("ended %.0f ms after the server was killed, status %d\n",
                std::chrono::duration<double, std::milli>(took).count(), WEXITSTATUS(*status));
    sound.Stop();
    if (!HasFailure()) std::filesystem::remove_all(sound_dir);
}
