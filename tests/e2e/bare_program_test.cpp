// The probe program on an X server of its own with no window manager: minimising takes the
// window off the screen and restoring brings it back; and the server killed under the
// program, while it plays sound, ends it within a second with its message and status.
#include "bare_server.hpp"
#include "sound_support.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

const std::string kProbe = std::string(MIRELO_BINARY_DIR) + "/tests/e2e/probe/e2e_probe";

std::string ReadFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool LogHas(const std::string& path, const std::string& line, double seconds = 10) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        if (("\n" + ReadFile(path)).find("\n" + line + "\n") != std::string::npos) return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

// The probe's window, once it is on the screen.
std::string ProbeWindow(const e2e::BareServer& server) {
    if (!server.WaitFor("xdotool search --onlyvisible --name '^Probe$'", 10)) return "";
    std::string id = server.Run("xdotool search --onlyvisible --name '^Probe$' | head -n1");
    return id.substr(0, id.find('\n'));
}

std::string MapState(const e2e::BareServer& server, const std::string& window) {
    const std::string info = server.Run("xwininfo -id " + window);
    const auto at = info.find("Map State: ");
    return at == std::string::npos ? info : info.substr(at + 11, info.find('\n', at) - at - 11);
}

} // namespace

TEST(BareProgram, WithoutAWindowManagerMinimiseHidesTheWindowAndRestoreShowsIt) {
    e2e::BareServer server;
    const std::string log = server.Scratch() + "/probe.log";
    const pid_t probe = server.Spawn({kProbe}, log);
    const std::string window = ProbeWindow(server);
    ASSERT_FALSE(window.empty()) << ReadFile(log);
    EXPECT_NE(server.Run("xprop -id " + window + " _NET_WM_ICON").find("Icon (32 x 32)"),
              std::string::npos);
    server.Run("xdotool windowfocus --sync " + window + " key i");
    ASSERT_TRUE(LogHas(log, "minimised")) << ReadFile(log);
    EXPECT_EQ(MapState(server, window), "IsUnMapped");
    // The probe restores itself a second later.
    ASSERT_TRUE(LogHas(log, "restored")) << ReadFile(log);
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
    ASSERT_FALSE(ProbeWindow(server).empty()) << ReadFile(log);
    ASSERT_TRUE(LogHas(log, "playing")) << ReadFile(log);

    server.Kill();
    const auto killed = std::chrono::steady_clock::now();
    const auto status = e2e::WaitExit(probe, 1.0);
    const auto took = std::chrono::steady_clock::now() - killed;
    if (!status) e2e::KillChild(probe);
    ASSERT_TRUE(status) << "still running a second after the server went\n" << ReadFile(log);
    const std::string said = ReadFile(log);
    EXPECT_TRUE(WIFEXITED(*status)) << "ended by signal " << WTERMSIG(*status) << "\n" << said;
    EXPECT_NE(WEXITSTATUS(*status), 0);
    const std::string message = "mirelo: lost the connection to the X server\n";
    const auto at = said.find(message);
    EXPECT_NE(at, std::string::npos) << said;
    EXPECT_EQ(said.find(message, at + 1), std::string::npos) << said;
    // Neither a normal end, nor a sanitizer's or the C++ runtime's report.
    EXPECT_EQ(said.find("\nexit\n"), std::string::npos) << said;
    EXPECT_EQ(said.find("Sanitizer"), std::string::npos) << said;
    EXPECT_EQ(said.find("runtime error"), std::string::npos) << said;
    EXPECT_EQ(said.find("terminate"), std::string::npos) << said;
    std::printf("ended %.0f ms after the server was killed, status %d\n",
                std::chrono::duration<double, std::milli>(took).count(), WEXITSTATUS(*status));
    sound.Stop();
    if (!HasFailure()) std::filesystem::remove_all(sound_dir);
}
