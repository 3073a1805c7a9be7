// The real program's take end to end, on the test desktop with a user sound server: a known
// signal recorded with R and played back with P comes out of the speaker brought to a peak
// of 30000; with the sound server gone, R shows the failure and the program ends.
#include "audio/audio_io.hpp"
#include "desktop.hpp"
#include "e2e_support.hpp"
#include "framework/application.hpp"
#include "framework/message_box.hpp"
#include "os/sim_platform.hpp"
#include "sound_support.hpp"

#include <gtest/gtest.h>

#include <chrono>
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
        pid = desktop.Spawn({e2e::MireloProgram()});
        window = e2e::ShownWindow(desktop, "^Mirelo$", 15);
        ASSERT_FALSE(window.empty());
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
    // Whether the program's capture ("source-outputs") or playback ("sink-inputs") stream
    // is `open` on the sound server within `seconds`.
    bool WaitForStreams(const std::string& kind, bool open, double seconds) const {
        return e2e::Eventually([&] { return e2e::HasStream(kind) == open; }, seconds);
    }
    // The exit status once the program has ended by itself, or -1.
    int ExitStatus(double seconds) {
        const auto status = e2e::WaitExit(pid, seconds);
        if (!status) return -1;
        pid = 0;
        return WIFEXITED(*status) ? WEXITSTATUS(*status) : -1;
    }
};

} // namespace

TEST_F(TakeTest, RAKnownSignalRAndPPlaysTheTakeBackAtAPeakOf30000) {
    // Its loudest sample is 10000, so that the level of the take is this signal times three.
    const auto signal = e2e::PeakedNoise(e2e::kRate * 3 / 2, 5, e2e::kRate * 3 / 4);
    e2e::WriteSignal(dir + "/signal.wav", signal);

    Key("r");
    ASSERT_TRUE(WaitForStreams("source-outputs", true, 5)) << "R started no recording";
    ASSERT_NO_FATAL_FAILURE(e2e::SayIntoMicrophone(dir + "/signal.wav"));
    std::this_thread::sleep_for(500ms);
    Key("r");
    ASSERT_TRUE(WaitForStreams("source-outputs", false, 5)) << "R did not stop the recording";

    e2e::SpeakerRecording speaker(dir + "/heard.raw");
    ASSERT_GT(speaker.Pid(), 0);
    Key("p");
    ASSERT_TRUE(WaitForStreams("sink-inputs", true, 5)) << "P started no playback";
    // The take is about 3 s long; the playback ends by itself after its last block.
    EXPECT_TRUE(WaitForStreams("sink-inputs", false, 8)) << "the playback did not end";

    // The take levelled to a peak of 30000: exactly three times the signal, whose loudest
    // sample is 10000. Heard in tenths of a second, so that a stall of the speaker's
    // recorder under load does not hide the rest.
    const auto heard = speaker.Heard();
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
