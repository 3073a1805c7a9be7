// The audio components on the real ALSA back end against a user PulseAudio with null
// sinks: a known signal fed into the microphone comes back through TAudioIn sample for
// sample, and a known signal played through TAudioOut, driven as the main window drives
// it, is heard in full on the speaker's monitor.
#include "audio/audio_io.hpp"
#include "e2e_support.hpp"
#include "framework/application.hpp"
#include "os/wave/alsa_wave.hpp"
#include "sound_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;

namespace {

using e2e::AlsaPlatform;
using e2e::Find;
using e2e::kRate;
using e2e::Noise;
constexpr std::int32_t kBlock = 16384;

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

class AudioComponents : public ::testing::Test {
protected:
    void SetUp() override {
        if (!e2e::OnPath("pulseaudio")) GTEST_SKIP() << "pulseaudio is not installed";
        dir_ = std::string(MIRELO_BINARY_DIR) + "/e2e-audio-" + std::to_string(getpid());
        if (!server_.Start(dir_)) FAIL() << server_.Error();
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
        server_.Stop();
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
    e2e::RunLoopUntil LoopRunner() {
        return [this](const std::function<bool()>& done, os::Nanos limit) {
            return RunUntil(done, limit);
        };
    }

    std::string dir_;
    e2e::SoundServer server_;
    std::unique_ptr<AlsaPlatform> platform_;
    std::unique_ptr<fw::Runtime> runtime_;
    std::unique_ptr<TOwnerForm> form_;
};

TEST_F(AudioComponents, CaptureAt22050ReturnsAKnownSignalSampleAccuratelyInOrder) {
    const auto signal = Noise(kRate, 7);

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
    std::optional<std::size_t> at;
    ASSERT_NO_FATAL_FAILURE(
        e2e::FeedMicrophone(dir_ + "/signal.wav", signal, captured, LoopRunner(), at));
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

    e2e::ExpectSignalAt(captured, at, signal, "captured", true);
}

// Paused, started, unpaused, fed from the take until it has nothing more: the stream
// ends by itself once the last block has been played, and every sample was heard.
TEST_F(AudioComponents, PlaybackOfAKnownSignalIsHeardInFull) {
    const auto signal = Noise(kRate * 5 / 4 + 307, 11);
    const auto sound = e2e::AfterSilence(signal);
    e2e::SpeakerRecording speaker(dir_ + "/heard.raw");
    ASSERT_GT(speaker.Pid(), 0);

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

    const auto stream = speaker.Heard();
    ASSERT_NO_FATAL_FAILURE(e2e::ExpectSignalAt(stream, Find(stream, signal), signal, "recorded"));
    EXPECT_EQ(platform_->Alsa().TotalXruns().underruns, 0u);
}

} // namespace
