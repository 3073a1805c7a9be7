// The real program's take end to end, on the test desktop with a user sound server: a known
// signal recorded with R and played back with P comes out of the speaker brought to a peak
// of 30000; with the sound server gone, R shows the failure and the program ends.
#include "audio/audio_io.hpp"
#include "desktop.hpp"
#include "framework/application.hpp"
#include "framework/message_box.hpp"
#include "os/sim_platform.hpp"
#include "os/wave/wav_file.hpp"
#include "sound_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

class TakeTest : public ::testing::Test {
protected:
    e2e::Desktop& desktop = e2e::Desktop::Get();
    e2e::SoundServer server;
    std::string dir;
    pid_t pid = 0;
    std::string window;

    void SetUp() override {
        if (!e2e::OnPath("pulseaudio")) GTEST_SKIP() << "pulseaudio is not installed";
        dir = desktop.Scratch() + "/take-sound";
        ASSERT_TRUE(server.Start(dir)) << server.Error();
        // An empty configuration: the window starts at its default place.
        std::filesystem::remove_all(desktop.Scratch() + "/config/mirelo");
        pid = desktop.Spawn({std::string(MIRELO_BINARY_DIR) + "/src/app/mirelo"});
        ASSERT_TRUE(desktop.WaitFor("xdotool search --onlyvisible --name '^Mirelo$'", 15));
        window = desktop.Run("xdotool search --onlyvisible --name '^Mirelo$' | head -n1");
        window.erase(window.find_last_not_of('\n') + 1);
        ASSERT_TRUE(desktop.WaitFor(
            "xdotool getwindowgeometry " + window + " | grep -q 'Position: 858,570'", 5));
    }
    void TearDown() override {
        if (pid) desktop.Stop(pid);
        server.Stop();
        if (!HasFailure()) std::filesystem::remove_all(dir);
    }
    void Key(const std::string& key) const {
        desktop.Run("xdotool windowactivate --sync " + window + " key " + key);
    }
    // Whether the program has a capture ("source-outputs") or playback ("sink-inputs")
    // stream open on the sound server now.
    bool Streams(const std::string& kind) const {
        return desktop.Run("pactl list " + kind).find("\"mirelo\"") != std::string::npos;
    }
    bool WaitForStreams(const std::string& kind, bool open, double seconds) const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end) {
            if (Streams(kind) == open) return true;
            std::this_thread::sleep_for(20ms);
        }
        return false;
    }
    // The exit status once the program has ended by itself, or -1.
    int ExitStatus(double seconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end) {
            int status = 0;
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = 0;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(20ms);
        }
        return -1;
    }
};

// Noise whose loudest sample is exactly 10000, so that the level of the take is this
// signal times three, with no rounding.
std::vector<std::int16_t> Signal(std::size_t frames) {
    auto s = e2e::Noise(frames, 5);
    for (auto& v : s)
        v = static_cast<std::int16_t>(v * 10000 / 16384 == 0 ? 1 : v * 10000 / 16384);
    s[frames / 2] = 10000;
    return s;
}

} // namespace

TEST_F(TakeTest, RAKnownSignalRAndPPlaysTheTakeBackAtAPeakOf30000) {
    const auto signal = Signal(e2e::kRate * 3 / 2);
    std::vector<std::int16_t> sound(e2e::kRate / 4, 0);
    sound.insert(sound.end(), signal.begin(), signal.end());
    sound.resize(sound.size() + e2e::kRate / 4, 0);
    os::WriteWavFile(dir + "/signal.wav", e2e::kRate, 1, sound);

    Key("r");
    ASSERT_TRUE(WaitForStreams("source-outputs", true, 5)) << "R started no recording";
    const pid_t player = e2e::Spawn({"paplay", "-d", "mic", dir + "/signal.wav"});
    ASSERT_GT(player, 0);
    int status = 0;
    ASSERT_EQ(waitpid(player, &status, 0), player);
    std::this_thread::sleep_for(500ms);
    Key("r");
    ASSERT_TRUE(WaitForStreams("source-outputs", false, 5)) << "R did not stop the recording";

    const std::string heard_path = dir + "/heard.raw";
    const pid_t recorder = e2e::RecordSpeaker(heard_path);
    ASSERT_GT(recorder, 0);
    std::this_thread::sleep_for(300ms);
    Key("p");
    ASSERT_TRUE(WaitForStreams("sink-inputs", true, 5)) << "P started no playback";
    // The take is about 3 s long; the playback ends by itself after its last block.
    EXPECT_TRUE(WaitForStreams("sink-inputs", false, 8)) << "the playback did not end";
    std::this_thread::sleep_for(300ms);
    e2e::Stop(recorder, SIGINT);

    // The take levelled to a peak of 30000: exactly three times the signal, whose loudest
    // sample is 10000. Heard in tenths of a second, so that a stall of the speaker's
    // recorder under load does not hide the rest.
    const auto heard = e2e::ReadRaw(heard_path);
    EXPECT_GE(e2e::HeardShare(heard, e2e::Levelled(signal)), 0.8)
        << "the levelled signal was not heard in " << heard.size() << " samples";
    EXPECT_EQ(e2e::Peak(heard), 30000);
}

TEST_F(TakeTest, TheRKeyRecordsByItsPlaceWithARussianLayoutActive) {
    // Russian is the first group, the one in use: key 27, R on the keyboard, gives ka.
    desktop.Run("setxkbmap -layout ru,us");
    Key("27");
    const bool started = WaitForStreams("source-outputs", true, 5);
    desktop.Run("setxkbmap -layout us");
    EXPECT_TRUE(started) << "R started no recording";
}

TEST_F(TakeTest, WithTheSoundServerGoneRShowsTheFailureAndTheProgramEnds) {
    server.Stop(SIGKILL);
    Key("r");
    ASSERT_TRUE(desktop.WaitFor(
        "test $(xdotool search --onlyvisible --name '^Mirelo$' | wc -l) -eq 2", 10));
    // The box carries the application's title too.
    std::string box =
        desktop.Run("xdotool search --onlyvisible --name '^Mirelo$' | grep -vx " + window);
    box.erase(box.find_last_not_of('\n') + 1);
    ASSERT_FALSE(box.empty());

    // The box as the framework draws it for the same reason, on the simulated display.
    std::string reason;
    {
        e2e::AlsaPlatform platform;
        fw::Runtime runtime(platform);
        auto* in = fw::New<audio::TAudioIn>(*fw::Application);
        ASSERT_FALSE(in->Start(in));
        reason = in->ErrorText();
    }
    os::SimPlatform sim;
    fw::Runtime runtime(sim);
    os::PixelBuffer expected(1, 1);
    os::Rect bounds{};
    sim.Virtual().Schedule(sim.GetClock().Monotonic() + 50ms, [&] {
        bounds = sim.Screen().Window(sim.Screen().ActiveWindow()).bounds;
        expected = sim.Screen().Screenshot();
        sim.Screen().KeyDown(fw::VK_RETURN);
    });
    fw::ShowMessage("Recording failed because: \r" + reason +
                    "\rMIRELO WILL IMMEDIATELY TERMINATED !!!");
    const auto [x, y] = desktop.WindowOrigin(box);
    const int w = bounds.Width(), h = bounds.Height();
    const auto shot = desktop.Screenshot(x, y, w, h);
    int differing = 0;
    for (int yy = 0; yy < h; ++yy)
        for (int xx = 0; xx < w; ++xx)
            if (shot.At(xx, yy) != expected.At(bounds.left + xx, bounds.top + yy)) ++differing;
    EXPECT_EQ(differing, 0) << "the box does not show \"" << reason << "\"";

    desktop.Run("xdotool windowactivate --sync " + box + " key Return");
    EXPECT_EQ(ExitStatus(10), 0);
}
