// The audio components on the real ALSA back end against a user PulseAudio with null
// sinks: a known signal fed into the microphone comes back through TAudioIn sample for
// sample, and a known signal played through TAudioOut, driven as the main window drives
// it, is heard in full on the speaker's monitor.
#include "audio/audio_io.hpp"
#include "framework/application.hpp"
#include "os/wave/alsa_wave.hpp"
#include "os/wave/wav_file.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace std::chrono_literals;

namespace {

constexpr std::uint32_t kRate = 22050;
constexpr std::int32_t kBlock = 16384;
const std::string kScript = MIRELO_SOURCE_DIR "/tests/e2e/sound_server.sh";

// The real clock and event wait with ALSA's wave devices; the display is an unused
// in-memory one, since these tests need no windows on a screen.
class AlsaPlatform final : public os::Platform {
public:
    os::Clock& GetClock() override { return clock_; }
    os::EventWait& GetWait() override { return wait_; }
    os::Display& GetDisplay() override { return display_; }
    os::WaveService& GetWave() override { return Alsa(); }
    os::AlsaWaveService& Alsa() {
        if (!wave_) wave_ = os::MakeAlsaWave(Forwarder());
        return *wave_;
    }

private:
    os::RealClock clock_;
    os::PollEventWait wait_{clock_};
    os::SimDisplay display_{clock_};
    std::unique_ptr<os::AlsaWaveService> wave_;
};

// The owner: a form with both components and handlers that run what a test sets.
class TOwnerForm : public fw::TForm {
    FW_CLASS(TOwnerForm, fw::TForm)
public:
    using TForm::TForm;
    audio::TAudioIn* AudioIn1 = nullptr;
    audio::TAudioOut* AudioOut1 = nullptr;
    std::function<bool(void*, std::int32_t&)> filled, fill;
    bool AudioIn1BufferFilled(void* Buffer, std::int32_t& Size) { return filled(Buffer, Size); }
    bool AudioOut1FillBuffer(void* Buffer, std::int32_t& Size) { return fill(Buffer, Size); }
};

bool OnPath(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

// Starts a program with its standard output in `out` (or /dev/null); returns its pid.
pid_t Spawn(std::vector<std::string> args, const std::string& out = "/dev/null") {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

// Ends a child: `sig` first, SIGKILL if it is still there after two seconds.
void Stop(pid_t pid, int sig) {
    if (pid <= 0) return;
    kill(pid, sig);
    for (int i = 0; i < 200; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) return;
        std::this_thread::sleep_for(10ms);
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

// A signal that never contains silence, so that where it starts and ends is plain.
std::vector<std::int16_t> Noise(std::size_t frames, std::uint32_t seed) {
    std::vector<std::int16_t> s(frames);
    for (auto& v : s) {
        seed = seed * 1664525 + 1013904223;
        v = static_cast<std::int16_t>((static_cast<std::int32_t>(seed >> 16) - 32768) / 2);
        if (v == 0) v = 1;
    }
    return s;
}

std::vector<std::int16_t> ReadRaw(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::int16_t> s(bytes.size() / 2);
    std::memcpy(s.data(), bytes.data(), s.size() * 2);
    return s;
}

// Where the first samples of `signal` begin in `stream`, if they do.
std::optional<std::size_t> Find(const std::vector<std::int16_t>& stream,
                                const std::vector<std::int16_t>& signal) {
    const std::size_t probe = std::min<std::size_t>(64, signal.size());
    auto it = std::search(stream.begin(), stream.end(), signal.begin(),
                          signal.begin() + static_cast<std::ptrdiff_t>(probe));
    if (it == stream.end()) return std::nullopt;
    return static_cast<std::size_t>(it - stream.begin());
}

// Samples of `signal` that differ from `stream` at `at`; the first one in `first`.
std::size_t Mismatches(const std::vector<std::int16_t>& stream, std::size_t at,
                       const std::vector<std::int16_t>& signal, std::size_t& first) {
    std::size_t bad = 0;
    first = signal.size();
    for (std::size_t i = 0; i < signal.size(); ++i)
        if (at + i >= stream.size() || stream[at + i] != signal[i])
            if (bad++ == 0) first = i;
    return bad;
}

class AudioComponents : public ::testing::Test {
protected:
    void SetUp() override {
        if (!OnPath("pulseaudio")) GTEST_SKIP() << "pulseaudio is not installed";
        dir_ = std::string(MIRELO_BINARY_DIR) + "/e2e-audio-" + std::to_string(getpid());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
        // The same environment as the script's, so that ALSA's pulse plug-in finds it.
        setenv("HOME", (dir_ + "/home").c_str(), 1);
        setenv("XDG_RUNTIME_DIR", (dir_ + "/run").c_str(), 1);
        setenv("XDG_CONFIG_HOME", (dir_ + "/home/.config").c_str(), 1);
        setenv("XDG_CACHE_HOME", (dir_ + "/home/.cache").c_str(), 1);
        setenv("PULSE_CLIENTCONFIG", (dir_ + "/client.conf").c_str(), 1);
        setenv("PULSE_SERVER", ("unix:" + dir_ + "/run/native").c_str(), 1);
        server_ = Spawn({"bash", kScript, "run", dir_});
        ASSERT_GT(server_, 0) << "could not start " << kScript;
        const std::string wait = "bash '" + kScript + "' wait '" + dir_ + "'";
        if (std::system(wait.c_str()) != 0) {
            std::ifstream log(dir_ + "/pulseaudio.log");
            std::string text((std::istreambuf_iterator<char>(log)),
                             std::istreambuf_iterator<char>());
            FAIL() << "pulseaudio did not start in " << dir_ << "; its log:\n" << text;
        }
        platform_ = std::make_unique<AlsaPlatform>();
        runtime_ = std::make_unique<fw::Runtime>(*platform_);
        form_ = std::make_unique<TOwnerForm>(nullptr);
        auto& in = *(form_->AudioIn1 = fw::New<audio::TAudioIn>(*form_));
        auto& out = *(form_->AudioOut1 = fw::New<audio::TAudioOut>(*form_));
        for (audio::TAudioIO* c :
             {static_cast<audio::TAudioIO*>(&in), static_cast<audio::TAudioIO*>(&out)}) {
            c->SetBufferSize(kBlock);
            c->SetFrameRate(kRate);
            c->SetWaveDevice(0);
        }
        in.OnBufferFilled = fw::Bind<&TOwnerForm::AudioIn1BufferFilled>(*form_);
        out.OnFillBuffer = fw::Bind<&TOwnerForm::AudioOut1FillBuffer>(*form_);
    }
    void TearDown() override {
        form_.reset();
        runtime_.reset();
        platform_.reset();
        Stop(server_, SIGTERM);
        // The server's log and the recordings stay for a failed test to be looked into.
        if (!HasFailure() && !dir_.empty()) std::filesystem::remove_all(dir_);
    }

    os::TimePoint Now() { return platform_->GetClock().Monotonic(); }
    // Runs the message loop until `done` or `limit` passes; false on time-out.
    bool RunUntil(const std::function<bool()>& done, os::Nanos limit) {
        const auto end = Now() + limit;
        fw::HiddenWindow ticker([](fw::TMessage&) {});
        auto& loop = runtime_->Loop();
        loop.SetTimer(ticker.Handle(), 1, 10);
        loop.RunUntil([&] { return done() || Now() >= end; });
        loop.KillTimer(ticker.Handle(), 1);
        return done();
    }

    std::string dir_;
    pid_t server_ = -1;
    std::unique_ptr<AlsaPlatform> platform_;
    std::unique_ptr<fw::Runtime> runtime_;
    std::unique_ptr<TOwnerForm> form_;
};

TEST_F(AudioComponents, CaptureAt22050ReturnsAKnownSignalSampleAccuratelyInOrder) {
    const auto signal = Noise(kRate, 7);
    // The server may skip the first milliseconds of a new stream: let them be silence.
    std::vector<std::int16_t> file(kRate / 4, 0);
    file.insert(file.end(), signal.begin(), signal.end());
    os::WriteWavFile(dir_ + "/signal.wav", kRate, 1, file);

    auto& in = *form_->AudioIn1;
    std::vector<std::int16_t> captured;
    int calls = 0;
    form_->filled = [&](void* buffer, std::int32_t& size) {
        EXPECT_EQ(size, kBlock);
        EXPECT_EQ(in.BlocksDone(), ++calls);
        const auto* s = static_cast<const std::int16_t*>(buffer);
        captured.insert(captured.end(), s, s + size / 2);
        return true;
    };
    ASSERT_TRUE(in.Start(form_->AudioIn1)) << in.ErrorText();
    RunUntil([] { return false; }, 300ms);
    const pid_t player = Spawn({"paplay", "-d", "mic", dir_ + "/signal.wav"});
    ASSERT_GT(player, 0);
    std::optional<std::size_t> at;
    RunUntil(
        [&] {
            if (!at) at = Find(captured, signal);
            return at && captured.size() >= *at + signal.size() + kRate / 10;
        },
        10s);
    Stop(player, SIGTERM);
    EXPECT_TRUE(in.Running());
    EXPECT_GE(in.ElapsedSeconds(), static_cast<double>(captured.size()) / kRate);
    const int done = in.BlocksDone();
    in.StopNow();
    EXPECT_FALSE(in.Running());
    EXPECT_EQ(in.ElapsedSeconds(), 0.0);
    EXPECT_EQ(done, calls);
    RunUntil([] { return false; }, 200ms);
    EXPECT_EQ(calls, done) << "a block arrived after StopNow";
    EXPECT_EQ(platform_->Alsa().TotalXruns().overruns, 0u);

    ASSERT_TRUE(at) << "the signal was not found in " << captured.size() << " captured samples";
    std::size_t first = 0;
    EXPECT_EQ(Mismatches(captured, *at, signal, first), 0u)
        << "first difference at sample " << first;
    EXPECT_TRUE(std::all_of(captured.begin(), captured.begin() + static_cast<std::ptrdiff_t>(*at),
                            [](std::int16_t v) { return v == 0; }))
        << "something other than silence before the signal";
}

// Paused, started, unpaused, fed from the take until it has nothing more: the stream
// ends by itself once the last block has been played, and every sample was heard.
TEST_F(AudioComponents, PlaybackOfAKnownSignalIsHeardInFull) {
    std::vector<std::int16_t> sound(kRate / 4, 0);
    const auto signal = Noise(kRate * 5 / 4 + 307, 11);
    sound.insert(sound.end(), signal.begin(), signal.end());
    const std::string heard = dir_ + "/heard.raw";
    const pid_t recorder = Spawn({"pacat", "-r", "-d", "spk.monitor", "--rate=22050",
                                  "--channels=1", "--format=s16le", "--raw", "--latency-msec=20"},
                                 heard);
    ASSERT_GT(recorder, 0);
    std::this_thread::sleep_for(300ms);

    auto& out = *form_->AudioOut1;
    std::size_t offset = 0;
    form_->fill = [&](void* buffer, std::int32_t& size) {
        if (offset >= sound.size()) return false;
        const std::size_t n =
            std::min<std::size_t>(static_cast<std::size_t>(size) / 2, sound.size() - offset);
        std::memcpy(buffer, sound.data() + offset, n * 2);
        offset += n;
        size = static_cast<std::int32_t>(n * 2);
        return true;
    };
    out.SetPaused(true);
    ASSERT_TRUE(out.Start(form_->AudioOut1)) << out.ErrorText();
    EXPECT_EQ(out.BlocksQueued(), 4);
    const auto start = Now();
    out.SetPaused(false);
    EXPECT_TRUE(RunUntil([&] { return !out.Running(); }, 20s))
        << out.BlocksDone() << " blocks played";
    const auto took = Now() - start;
    EXPECT_EQ(out.BlocksDone(), 5);
    EXPECT_EQ(out.BlocksFilled(), 5);
    EXPECT_FALSE(out.Paused());
    // Done means heard: the last block cannot come back before the sound has lasted.
    const auto lasts = os::Nanos(sound.size() * 1'000'000'000ull / kRate);
    EXPECT_GE(took, lasts - 30ms);
    EXPECT_LE(took, lasts + 1s);
    std::this_thread::sleep_for(300ms);
    Stop(recorder, SIGINT);

    const auto stream = ReadRaw(heard);
    const auto at = Find(stream, signal);
    ASSERT_TRUE(at) << "the signal was not found in " << stream.size() << " recorded samples";
    std::size_t first = 0;
    EXPECT_EQ(Mismatches(stream, *at, signal, first), 0u) << "first difference at sample " << first;
    EXPECT_EQ(platform_->Alsa().TotalXruns().underruns, 0u);
}

} // namespace
