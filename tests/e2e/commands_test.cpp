// Mirelo driven from other windows on the test desktop: command-line commands to the running
// program (one that starts it, a take recorded and played back at a peak of 30000, the take
// saved as PLAY sends it, fast failures without a holder or an answer), and the X key grabs
// (Ctrl+Alt+R with another window focused; a combination held by another client reported
// and the rest working). GoogleTest first: Xlib's macros would break its templates.
#include <gtest/gtest.h>

#include "desktop.hpp"
#include "os/wave/wav_file.hpp"
#include "sound_support.hpp"

#include <X11/Xlib.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

using namespace std::chrono_literals;

namespace {

const std::string kMirelo = std::string(MIRELO_BINARY_DIR) + "/src/app/mirelo";

class CommandsTest : public ::testing::Test {
protected:
    e2e::Desktop& desktop = e2e::Desktop::Get();
    e2e::SoundServer server;
    std::string dir;
    pid_t pid = 0, xlogo = 0;

    void SetUp() override {
        if (!e2e::OnPath("pulseaudio")) GTEST_SKIP() << "pulseaudio is not installed";
        dir = desktop.Scratch() + "/commands";
        ASSERT_TRUE(server.Start(dir)) << server.Error();
        std::filesystem::remove_all(desktop.Scratch() + "/config/mirelo");
        xlogo = desktop.Spawn({"xlogo", "-name", "lesson"});
        ASSERT_TRUE(desktop.WaitFor("xdotool search --onlyvisible --classname '^lesson$'", 10));
    }
    void TearDown() override {
        if (pid) desktop.Stop(pid);
        if (xlogo) desktop.Stop(xlogo);
        server.Stop();
    }
    // Mirelo, its standard error in a file, once its window shows.
    void StartMirelo(const std::string& args = "") {
        pid = desktop.Spawn({"sh", "-c", "exec " + kMirelo + " " + args + " 2>" + dir + "/err"});
        ASSERT_TRUE(desktop.WaitFor("xdotool search --onlyvisible --name '^Mirelo$'", 15));
    }
    void FocusLesson() const {
        desktop.Run("xdotool search --onlyvisible --classname '^lesson$' | head -n1 | "
                    "xargs xdotool windowactivate --sync");
    }
    // The exit status of `mirelo ARGS` and what it printed; `seconds` how long it took.
    int Command(const std::string& args, std::string* out = nullptr, double* seconds = nullptr) {
        const auto start = std::chrono::steady_clock::now();
        const std::string o =
            desktop.Run("cd " + dir + " && " + kMirelo + " " + args + " 2>&1; echo \" status=$?\"");
        if (seconds)
            *seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (out) *out = o;
        return std::stoi(o.substr(o.rfind("status=") + 7));
    }
    bool Streams(const std::string& kind, bool open, double seconds = 5) const {
        return desktop.WaitFor(std::string(open ? "" : "! ") + "pactl list " + kind +
                                   " | grep -q '\"mirelo\"'",
                               seconds);
    }
};

} // namespace

TEST_F(CommandsTest, RecordPlayAndSaveFromAnotherWindowAndFailFastWithoutAnAnswer) {
    std::string out;
    EXPECT_EQ(Command("--play", &out), 1);
    EXPECT_NE(out.find("not running"), std::string::npos) << out;

    // --record with none running starts Mirelo, which records.
    StartMirelo("--record");
    ASSERT_TRUE(Streams("source-outputs", true)) << "--record started no recording";
    FocusLesson();
    auto signal = e2e::Noise(e2e::kRate * 3 / 2, 5);
    for (auto& v : signal)
        v = static_cast<std::int16_t>(v * 10000 / 16384 == 0 ? 1 : v * 10000 / 16384);
    signal[signal.size() / 2] = 10000;
    os::WriteWavFile(dir + "/signal.wav", e2e::kRate, 1, signal);
    desktop.Run("paplay -d mic " + dir + "/signal.wav");
    EXPECT_EQ(Command("--record"), 0);
    ASSERT_TRUE(Streams("source-outputs", false)) << "--record did not stop the recording";

    const pid_t recorder = e2e::RecordSpeaker(dir + "/heard.raw");
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(Command("--play"), 0);
    ASSERT_TRUE(Streams("sink-inputs", true));
    EXPECT_TRUE(Streams("sink-inputs", false, 10));
    std::this_thread::sleep_for(300ms);
    e2e::Stop(recorder, SIGINT);
    const auto heard = e2e::ReadRaw(dir + "/heard.raw");
    EXPECT_GE(e2e::HeardShare(heard, e2e::Levelled(signal)), 0.8);
    EXPECT_EQ(e2e::Peak(heard), 30000);

    // Saved, relative to the sender's folder: what PLAY sent, the levelled signal in it.
    EXPECT_EQ(Command("--save-take take.wav"), 0);
    const os::WavAudio take = os::ReadWavFile(dir + "/take.wav");
    EXPECT_EQ(take.rate, 22050u);
    EXPECT_EQ(take.channels, 1);
    EXPECT_GE(e2e::HeardShare(take.samples, e2e::Levelled(signal)), 0.8);
    EXPECT_GE(e2e::HeardShare(heard, take.samples), 0.8);
    EXPECT_EQ(e2e::Peak(take.samples), 30000);

    // A holder that cannot answer: the sender gives up after 2 s. A killed one: at once.
    kill(pid, SIGSTOP);
    double took = 0;
    EXPECT_EQ(Command("--stop", &out, &took), 1);
    EXPECT_LT(took, 3.0);
    EXPECT_NE(out.find("did not answer"), std::string::npos) << out;
    kill(pid, SIGKILL);
    kill(pid, SIGCONT);
    desktop.Stop(pid);
    pid = 0;
    EXPECT_EQ(Command("--stop", &out, &took), 1);
    EXPECT_LT(took, 2.0);
}

TEST_F(CommandsTest, KeyGrabsActWithAnotherWindowFocusedAndSkipATakenCombination) {
    // Another client holds Ctrl+Alt+P.
    ::Display* other = XOpenDisplay(desktop.Display().c_str());
    ASSERT_NE(other, nullptr);
    const KeyCode p = XKeysymToKeycode(other, XStringToKeysym("p"));
    for (const unsigned lock :
         {0u, unsigned(LockMask), unsigned(Mod2Mask), unsigned(LockMask | Mod2Mask)})
        XGrabKey(other, p, ControlMask | Mod1Mask | lock, DefaultRootWindow(other), False,
                 GrabModeAsync, GrabModeAsync);
    XSync(other, False);
    StartMirelo();
    FocusLesson();
    desktop.Run("xdotool key ctrl+alt+r");
    EXPECT_TRUE(Streams("source-outputs", true)) << "Ctrl+Alt+R started no recording";
    desktop.Run("xdotool key ctrl+alt+s");
    EXPECT_TRUE(Streams("source-outputs", false)) << "Ctrl+Alt+S did not stop it";
    std::ifstream err(dir + "/err");
    std::stringstream text;
    text << err.rdbuf();
    EXPECT_NE(text.str().find("Ctrl+Alt+P is taken by another program"), std::string::npos)
        << text.str();
    XCloseDisplay(other);
}
