// The real program when what it stands on goes away or is missing: the sound server killed
// during a recording leaves it running and answering, and R and P work again once the server
// is back; the X server killed under it ends it within a second with its message; with no
// window manager, minimising takes the window off the screen and restoring brings it back.
#include "../read_file.hpp"
#include "bare_server.hpp"
#include "desktop.hpp"
#include "e2e_support.hpp"
#include "os/display/png.hpp"
#include "sound_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <span>
#include <sys/wait.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

using e2e::Alive;
using e2e::Eventually;
using e2e::ExpectNoReport;
using e2e::HasStream;
using e2e::WriteSignal;
using tests::ReadFile;

// Noise whose loudest sample, early on, is exactly 10000: a take of any part of it that
// includes that sample is levelled by exactly three.
std::vector<std::int16_t> Signal(std::size_t frames, std::uint32_t seed) {
    return e2e::PeakedNoise(frames, seed, 100);
}

class SoundServerKilled : public ::testing::Test {
protected:
    e2e::Desktop& desktop = e2e::Desktop::Get();
    e2e::SoundServer server;
    std::string sound_dir = desktop.Scratch() + "/hardening-sound";
    std::string files = desktop.Scratch() + "/hardening";
    std::string log = desktop.Scratch() + "/mirelo.log";
    std::size_t log_from = 0;
    pid_t pid = 0;
    std::string window;

    void SetUp() override {
        if (!e2e::OnPath("pulseaudio")) GTEST_SKIP() << "pulseaudio is not installed";
        std::filesystem::remove_all(files);
        std::filesystem::create_directories(files);
        ASSERT_TRUE(server.Start(sound_dir)) << server.Error();
        std::filesystem::remove_all(desktop.Scratch() + "/config/mirelo");
        log_from = ReadFile(log).size();
        pid = desktop.Spawn({e2e::MireloProgram()});
        window = e2e::ShownWindow(desktop, "^Mirelo$", 15);
        ASSERT_FALSE(window.empty());
    }
    void TearDown() override {
        if (pid) desktop.Stop(pid);
        server.Stop();
        if (!HasFailure()) {
            std::filesystem::remove_all(sound_dir);
            std::filesystem::remove_all(files);
        }
    }
    std::string Said() const { return ReadFile(log).substr(log_from); }
    void Key(const std::string& key) const {
        desktop.Run("xdotool windowactivate --sync " + window + " key " + key);
    }
    // The REC button as the screen shows it.
    os::PixelBuffer RecButton() const {
        const auto [x, y] = desktop.WindowOrigin(window);
        return desktop.Screenshot(x + 8, y + 112, 103, 50);
    }
    // The REC button once the window has been painted: more than one colour, and the same
    // on two looks in a row.
    os::PixelBuffer PaintedRecButton() const {
        os::PixelBuffer last;
        Eventually(
            [&] {
                auto now = RecButton();
                const bool same = now == last;
                last = std::move(now);
                return same && std::adjacent_find(last.pixels.begin(), last.pixels.end(),
                                                  std::not_equal_to<>()) != last.pixels.end();
            },
            5);
        return last;
    }
    // Keeps a look of the REC button for when the test fails.
    void Keep(const std::string& name, const os::PixelBuffer& look) const {
        os::WritePng(files + "/" + name + ".png", look);
    }
    // Plays the take with P and returns what the speaker played meanwhile.
    std::vector<std::int16_t> PlayTake(const std::string& name) {
        e2e::SpeakerRecording speaker(files + "/" + name + ".raw");
        EXPECT_GT(speaker.Pid(), 0);
        Key("p");
        EXPECT_TRUE(Eventually([] { return HasStream("sink-inputs"); }, 5)) << "P played nothing";
        EXPECT_TRUE(Eventually([] { return !HasStream("sink-inputs"); }, 10))
            << "the playback did not end";
        return speaker.Heard();
    }
};

} // namespace

TEST_F(SoundServerKilled, MidRecordingTheWindowAnswersKeepsWhatArrivedAndRecordsAgainOnceItIsBack) {
    const auto idle = PaintedRecButton();
    Keep("idle", idle);
    const auto first = Signal(e2e::kRate * 3, 7);
    WriteSignal(files + "/first.wav", first);
    Key("r");
    ASSERT_TRUE(Eventually([] { return HasStream("source-outputs"); }, 5))
        << "R started no recording\n"
        << Said();
    const auto down = RecButton();
    Keep("down", down);
    EXPECT_NE(down, idle) << "REC does not show pressed while recording";
    const pid_t player = e2e::Spawn({"paplay", "-d", "mic", files + "/first.wav"});
    ASSERT_GT(player, 0);
    // Well into the signal, with the take still running.
    std::this_thread::sleep_for(1500ms);
    server.Stop(SIGKILL);
    e2e::Stop(player, SIGKILL);

    // Alive, without a failure box, and REC still down: the user has not stopped.
    std::this_thread::sleep_for(1s);
    ASSERT_TRUE(Alive(pid)) << Said();
    EXPECT_EQ(desktop.Run("xdotool search --onlyvisible --name '^Mirelo$' | wc -l"), "1\n");
    EXPECT_EQ(RecButton(), down);
    // S still answers: it ends the take and releases REC.
    Key("s");
    EXPECT_TRUE(Eventually([&] { return RecButton() == idle; }, 5))
        << "S did not release REC; the look now is in " << files << "/stopped.png";
    Keep("stopped", RecButton());
    ASSERT_TRUE(Alive(pid)) << Said();

    ASSERT_TRUE(server.Start(sound_dir)) << server.Error();
    // The take holds what arrived before the server went, levelled to a peak of 30000.
    const auto kept = PlayTake("kept");
    const double kept_share =
        e2e::HeardShare(kept, e2e::Levelled(std::span(first).first(e2e::kRate / 2)));
    std::printf("kept take: %.0f%% of its first half second heard levelled\n", kept_share * 100);
    EXPECT_GE(kept_share, 0.8) << "the first half second of the take was not heard levelled, in "
                               << kept.size() << " samples";
    EXPECT_EQ(e2e::Peak(kept), 30000);

    // A new take of about two seconds, recorded and played through the new server.
    const auto second = Signal(e2e::kRate * 3 / 2, 11);
    WriteSignal(files + "/second.wav", second);
    Key("r");
    ASSERT_TRUE(Eventually([] { return HasStream("source-outputs"); }, 5))
        << "R started no recording on the new server\n"
        << Said();
    ASSERT_NO_FATAL_FAILURE(e2e::SayIntoMicrophone(files + "/second.wav"));
    std::this_thread::sleep_for(300ms);
    Key("r");
    ASSERT_TRUE(Eventually([] { return !HasStream("source-outputs"); }, 5))
        << "R did not end the recording";
    EXPECT_TRUE(Eventually([&] { return RecButton() == idle; }, 5))
        << "R did not release REC; the look now is in " << files << "/stopped-again.png";
    Keep("stopped-again", RecButton());
    const auto heard = PlayTake("heard");
    const double share = e2e::HeardShare(heard, e2e::Levelled(second));
    std::printf("new take: %.0f%% heard levelled\n", share * 100);
    EXPECT_GE(share, 0.8) << "the new take was not heard levelled, in " << heard.size()
                          << " samples";
    EXPECT_EQ(e2e::Peak(heard), 30000);
    ASSERT_TRUE(Alive(pid));
    ExpectNoReport(Said());
}

namespace {

// The real program on an X server of its own, with its settings in that server's scratch
// folder; a sound server started by this process is found through its variables.
pid_t StartOn(const e2e::BareServer& x, const std::string& log) {
    return x.Spawn({"env", "HOME=" + x.Scratch(), "XDG_CONFIG_HOME=" + x.Scratch() + "/config",
                    e2e::MireloProgram()},
                   log);
}

// Kills the X server under the program, recording or idle, and checks how it ends.
void KillTheServerUnder(bool recording) {
    e2e::SoundServer sound;
    const std::string sound_dir =
        std::string(MIRELO_BINARY_DIR) + "/e2e-scratch/hardening-x-" + std::to_string(getpid());
    if (recording) ASSERT_TRUE(sound.Start(sound_dir)) << sound.Error();
    e2e::BareServer x;
    const std::string log = x.Scratch() + "/mirelo.log";
    const pid_t pid = StartOn(x, log);
    const std::string window = e2e::ShownWindow(x, "^Mirelo$", 15);
    if (window.empty()) e2e::KillChild(pid);
    ASSERT_FALSE(window.empty()) << ReadFile(log);
    if (recording) {
        x.Run("xdotool windowfocus --sync " + window + " key r");
        const bool capturing = Eventually([] { return HasStream("source-outputs"); }, 5);
        if (!capturing) e2e::KillChild(pid);
        ASSERT_TRUE(capturing) << "R started no recording\n" << ReadFile(log);
        // Some blocks in, so that the stream is busy when the server goes.
        std::this_thread::sleep_for(500ms);
    }

    x.Kill();
    const auto killed = std::chrono::steady_clock::now();
    const auto status = e2e::WaitExit(pid, 1.0);
    const auto took = std::chrono::steady_clock::now() - killed;
    if (!status) e2e::KillChild(pid);
    const std::string said = ReadFile(log);
    ASSERT_TRUE(status) << "still running a second after the server went\n" << said;
    ASSERT_TRUE(WIFEXITED(*status)) << "ended by signal " << WTERMSIG(*status) << "\n" << said;
    EXPECT_EQ(WEXITSTATUS(*status), 3) << said;
    e2e::ExpectLostConnectionOnce(said);
    ExpectNoReport(said);
    std::printf("%s: ended %.0f ms after the server was killed\n", recording ? "recording" : "idle",
                std::chrono::duration<double, std::milli>(took).count());
    sound.Stop();
    if (!::testing::Test::HasFailure()) std::filesystem::remove_all(sound_dir);
}

} // namespace

TEST(XServerKilled, UnderTheIdleProgramEndsItWithinASecondWithItsMessageAndStatus3) {
    KillTheServerUnder(false);
}

TEST(XServerKilled, UnderTheRecordingProgramEndsItWithinASecondWithItsMessageAndStatus3) {
    if (!e2e::OnPath("pulseaudio")) GTEST_SKIP() << "pulseaudio is not installed";
    KillTheServerUnder(true);
}

// No window manager, but a tray host (trayer docks icons without one): M takes the window
// off the screen, a click on its icon in the tray brings it back.
TEST(NoWindowManager, MinimiseHidesTheProgramsWindowAndRestoreShowsIt) {
    e2e::BareServer x;
    const pid_t tray = x.Spawn(e2e::TrayerCommand(), x.Scratch() + "/trayer.log");
    const std::string log = x.Scratch() + "/mirelo.log";
    pid_t pid = -1;
    // Both children end with the test, however it ends.
    struct Reaper {
        pid_t& a;
        pid_t b;
        ~Reaper() {
            e2e::KillChild(a);
            e2e::KillChild(b);
        }
    } reaper{pid, tray};
    ASSERT_TRUE(x.WaitFor("xdotool search --onlyvisible --name '^panel$'", 10))
        << ReadFile(x.Scratch() + "/trayer.log");
    pid = StartOn(x, log);
    const std::string window = e2e::ShownWindow(x, "^Mirelo$", 15);
    ASSERT_FALSE(window.empty()) << ReadFile(log);
    const std::string viewable = "xwininfo -id " + window + " | grep -q IsViewable";

    x.Run("xdotool windowfocus --sync " + window + " key m");
    ASSERT_TRUE(x.WaitFor("xwininfo -id " + window + " | grep -q IsUnMapped", 5))
        << "M left the window on the screen\n"
        << ReadFile(log);
    // The window is gone; the icon is the one window of the program left on the screen.
    std::string icon;
    ASSERT_TRUE(Eventually(
        [&] {
            try {
                icon = x.Run("xdotool search --onlyvisible --class '^Mirelo$' | head -n1");
            } catch (const std::exception&) {
                return false;
            }
            return !icon.empty();
        },
        5))
        << "no icon in the tray\n"
        << ReadFile(log);
    icon = icon.substr(0, icon.find('\n'));
    ASSERT_NE(icon, window);
    x.Run("xdotool mousemove --window " + icon + " 8 8 click 1");
    EXPECT_TRUE(x.WaitFor(viewable, 5)) << "a click on the icon did not bring the window back";
    ASSERT_TRUE(Alive(pid)) << ReadFile(log);
    x.Run("xdotool windowfocus --sync " + window + " key Escape");
    const auto status = e2e::WaitExit(pid, 5);
    ASSERT_TRUE(status) << ReadFile(log);
    pid = -1;
    EXPECT_TRUE(WIFEXITED(*status) && WEXITSTATUS(*status) == 0) << ReadFile(log);
    ExpectNoReport(ReadFile(log));
}
