// The ALSA wave devices against a real sound server: a user PulseAudio with null sinks,
// started and stopped by each test. What is captured is fed in with paplay, what is played
// is recorded from the speaker's monitor, and both are compared sample for sample.
#include "../wave_ring.hpp"
#include "e2e_support.hpp"
#include "framework/message_loop.hpp"
#include "os/wave/alsa_wave.hpp"
#include "sound_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;
using os::WaveHdr;
using Dir = os::WaveDirection;

namespace {

using e2e::Find;
using e2e::kRate;
using e2e::Mismatches;
using e2e::Mono16;
using e2e::Noise;
using tests::Ring;

class AlsaWave : public ::testing::Test {
protected:
    void SetUp() override {
        if (!e2e::OnPath("pulseaudio")) GTEST_SKIP() << "pulseaudio is not installed";
        dir_ = std::string(MIRELO_BINARY_DIR) + "/e2e-sound-" + std::to_string(getpid());
        if (!server_.Start(dir_)) FAIL() << server_.Error();
        wave_ = os::MakeAlsaWave(post_, options_);
    }
    void TearDown() override {
        window_.reset();
        wave_.reset();
        server_.Stop();
        // The server's log and the recordings stay for a failed test to be looked into.
        if (!HasFailure() && !dir_.empty()) std::filesystem::remove_all(dir_);
    }

    // Runs the message loop until `done` or `limit` passes; false on time-out.
    bool RunUntil(const std::function<bool()>& done, os::Nanos limit) {
        const auto end = clock_.Monotonic() + limit;
        fw::HiddenWindow ticker([](fw::TMessage&) {});
        loop_.SetTimer(ticker.Handle(), 1, 10);
        loop_.RunUntil([&] { return done() || clock_.Monotonic() >= end; });
        loop_.KillTimer(ticker.Handle(), 1);
        return done();
    }
    e2e::RunLoopUntil LoopRunner() {
        return [this](const std::function<bool()>& done, os::Nanos limit) {
            return RunUntil(done, limit);
        };
    }
    std::uint32_t Samples(os::WaveHandle h) {
        os::MmTime t{};
        t.wType = os::TIME_SAMPLES;
        EXPECT_EQ(wave_->GetPosition(h, &t, sizeof t), 0u);
        return t.u.sample;
    }
    std::vector<fw::TMessage> Of(std::uint32_t msg) const {
        std::vector<fw::TMessage> out;
        std::copy_if(seen_.begin(), seen_.end(), std::back_inserter(out),
                     [&](const fw::TMessage& m) { return m.Msg == msg; });
        return out;
    }
    // Plays `signal` through device 0 as a component does: four blocks queued, each one
    // refilled as soon as it comes back. Returns the time from the first write to the last
    // block's return. `during` runs every loop turn with the time since the first write.
    os::Nanos Play(std::span<const std::int16_t> signal,
                   const std::function<void(os::Nanos)>& during = {});

    std::string dir_;
    e2e::SoundServer server_;
    os::RealClock clock_;
    os::PollEventWait wait_{clock_};
    fw::MessageLoop loop_{clock_, wait_};
    std::vector<fw::TMessage> seen_;
    std::function<void(const fw::TMessage&)> on_message_;
    std::unique_ptr<fw::HiddenWindow> window_ =
        std::make_unique<fw::HiddenWindow>([this](fw::TMessage& m) {
            seen_.push_back(m);
            if (on_message_) on_message_(m);
        });
    os::PostFn post_ = [this](std::uint32_t w, std::uint32_t m, std::uintptr_t wp,
                              std::intptr_t lp) { return loop_.PostMessage(w, m, wp, lp); };
    os::AlsaWaveOptions options_;
    std::unique_ptr<os::AlsaWaveService> wave_;
};

os::Nanos AlsaWave::Play(std::span<const std::int16_t> signal,
                         const std::function<void(os::Nanos)>& during) {
    os::WaveHandle h = 0;
    EXPECT_EQ(wave_->Open(Dir::Out, 0, Mono16(), window_->Handle(), os::CALLBACK_WINDOW, h), 0u)
        << wave_->ErrorText(os::MMSYSERR_ERROR);
    Ring ring(4, 16384);
    std::size_t offset = 0, returned = 0, written = 0;
    int next = 0;
    auto fill = [&](WaveHdr& hdr) {
        const std::size_t n = std::min<std::size_t>(8192, signal.size() - offset);
        std::memcpy(hdr.lpData, signal.data() + offset, n * 2);
        hdr.dwBufferLength = static_cast<std::uint32_t>(n * 2);
        offset += n;
        EXPECT_EQ(wave_->Write(h, &hdr, os::kWaveHdrSize), 0u);
        ++written;
    };
    on_message_ = [&](const fw::TMessage& m) {
        if (m.Msg != os::MM_WOM_DONE) return;
        EXPECT_EQ(m.LParam, reinterpret_cast<std::intptr_t>(&ring.hdr[next]))
            << "returned out of order";
        EXPECT_TRUE(ring.hdr[next].dwFlags & os::WHDR_DONE);
        ++returned;
        if (offset < signal.size()) fill(ring.hdr[next]);
        next = (next + 1) % 4;
    };
    for (auto& hdr : ring.hdr)
        EXPECT_EQ(wave_->PrepareHeader(h, &hdr, os::kWaveHdrSize), 0u);
    const auto start = clock_.Monotonic();
    for (auto& hdr : ring.hdr)
        if (offset < signal.size()) fill(hdr);
    EXPECT_TRUE(RunUntil(
        [&] {
            if (during) during(clock_.Monotonic() - start);
            return returned == written;
        },
        20s))
        << returned << " of " << written << " blocks came back";
    const auto took = clock_.Monotonic() - start;
    on_message_ = nullptr;
    EXPECT_EQ(Samples(h), signal.size());
    EXPECT_EQ(wave_->Xruns(h).underruns, 0u);
    for (auto& hdr : ring.hdr)
        EXPECT_EQ(wave_->UnprepareHeader(h, &hdr, os::kWaveHdrSize), 0u);
    EXPECT_EQ(wave_->Close(h), 0u);
    return took;
}

TEST_F(AlsaWave, CaptureReturnsAKnownSignalSampleAccuratelyInOrder) {
    const auto signal = Noise(kRate, 7);
    os::WaveHandle h = 0;
    ASSERT_EQ(wave_->Open(Dir::In, 0, Mono16(), window_->Handle(), os::CALLBACK_WINDOW, h), 0u)
        << wave_->ErrorText(os::MMSYSERR_NODRIVER) << wave_->ErrorText(os::MMSYSERR_ERROR);
    Ring ring(4, 16384);
    for (auto& hdr : ring.hdr)
        ASSERT_EQ(wave_->PrepareHeader(h, &hdr, os::kWaveHdrSize), 0u);
    std::vector<std::int16_t> captured;
    int next = 0;
    on_message_ = [&](const fw::TMessage& m) {
        if (m.Msg != os::MM_WIM_DATA) return;
        WaveHdr& hdr = ring.hdr[next];
        EXPECT_EQ(m.LParam, reinterpret_cast<std::intptr_t>(&hdr)) << "returned out of order";
        EXPECT_EQ(hdr.dwBytesRecorded, 16384u);
        const auto* s = reinterpret_cast<const std::int16_t*>(hdr.lpData);
        captured.insert(captured.end(), s, s + hdr.dwBytesRecorded / 2);
        EXPECT_EQ(wave_->AddBuffer(h, &hdr, os::kWaveHdrSize), 0u);
        next = (next + 1) % 4;
    };
    ASSERT_EQ(wave_->Start(h), 0u);
    for (auto& hdr : ring.hdr)
        ASSERT_EQ(wave_->AddBuffer(h, &hdr, os::kWaveHdrSize), 0u);
    std::optional<std::size_t> at;
    ASSERT_NO_FATAL_FAILURE(
        e2e::FeedMicrophone(dir_ + "/signal.wav", signal, captured, LoopRunner(), at));
    const auto position = Samples(h);
    EXPECT_GE(position, captured.size());
    EXPECT_EQ(wave_->Xruns(h).overruns, 0u);
    EXPECT_EQ(Of(os::MM_WIM_OPEN).size(), 1u);

    on_message_ = nullptr;
    ASSERT_EQ(wave_->Reset(h), 0u);
    EXPECT_EQ(Samples(h), 0u);
    for (auto& hdr : ring.hdr)
        EXPECT_EQ(hdr.dwFlags, os::WHDR_PREPARED | os::WHDR_DONE);
    ASSERT_EQ(wave_->Close(h), 0u);
    RunUntil([&] { return !Of(os::MM_WIM_CLOSE).empty(); }, 2s);
    ASSERT_EQ(Of(os::MM_WIM_CLOSE).size(), 1u);
    EXPECT_EQ(seen_.back().Msg, os::MM_WIM_CLOSE);

    {
        std::ofstream dump(dir_ + "/captured.raw", std::ios::binary);
        dump.write(reinterpret_cast<const char*>(captured.data()),
                   static_cast<std::streamsize>(captured.size() * 2));
    }
    e2e::ExpectSignalAt(captured, at, signal, "captured", true);
}

TEST_F(AlsaWave, PlaybackThroughDeviceZeroIsHeardInFullAndReportedWhenPlayed) {
    // 0.25 s of silence and the signal make four whole blocks and a short one.
    const auto signal = Noise(kRate * 5 / 4 + 307, 11);
    const auto sound = e2e::AfterSilence(signal);
    e2e::SpeakerRecording speaker(dir_ + "/heard.raw");
    ASSERT_GT(speaker.Pid(), 0);
    const auto took = Play(sound);
    // Done means heard: the last block cannot come back before the sound has lasted.
    EXPECT_GE(took, os::Nanos(sound.size() * 1'000'000'000ull / kRate) - 30ms);
    EXPECT_LE(took, os::Nanos(sound.size() * 1'000'000'000ull / kRate) + 1s);

    const auto stream = speaker.Heard();
    ASSERT_NO_FATAL_FAILURE(e2e::ExpectSignalAt(stream, Find(stream, signal), signal, "recorded"));
    EXPECT_EQ(wave_->TotalXruns().underruns, 0u);
}

class AlsaWavePause : public AlsaWave, public ::testing::WithParamInterface<bool> {
protected:
    void SetUp() override {
        options_.emulate_pause = GetParam();
        AlsaWave::SetUp();
    }
};

// The sound stops during the pause and goes on afterwards with nothing lost.
TEST_P(AlsaWavePause, PauseHoldsPlaybackAndRestartPlaysTheRest) {
    const auto signal = Noise(kRate * 2, 5);
    const auto sound = e2e::AfterSilence(signal);
    e2e::SpeakerRecording speaker(dir_ + "/heard.raw");
    ASSERT_GT(speaker.Pid(), 0);
    os::WaveHandle h = 0;
    std::optional<std::uint32_t> held;
    bool still = true;
    int phase = 0;
    Play(sound, [&](os::Nanos t) {
        // Paused from 0.6 s to 1.2 s after the first write.
        auto* w = wave_.get();
        if (h == 0) {
            // The stream is the only one open; find its handle from the open notification.
            const auto open = Of(os::MM_WOM_OPEN);
            if (!open.empty()) h = static_cast<os::WaveHandle>(open.back().WParam);
        }
        if (phase == 0 && t >= 600ms) {
            EXPECT_EQ(w->Pause(h), 0u);
            phase = 1;
        } else if (phase == 1 && t >= 700ms) {
            held = Samples(h);
            phase = 2;
        } else if (phase == 2 && t >= 1150ms) {
            still = Samples(h) == *held;
            EXPECT_EQ(w->Restart(h), 0u);
            phase = 3;
        }
    });
    const auto stream = speaker.Heard();
    EXPECT_EQ(phase, 3);
    EXPECT_TRUE(still) << "the position moved during the pause";
    ASSERT_TRUE(held);
    EXPECT_GT(*held, kRate / 2);

    const auto at = Find(stream, signal);
    ASSERT_TRUE(at) << "the signal was not found";
    std::size_t first = 0;
    Mismatches(stream, *at, signal, first);
    // The first part breaks off near the paused position, then silence.
    EXPECT_NEAR(static_cast<double>(first), *held - kRate / 4.0, kRate * 0.05);
    std::size_t gap = 0;
    while (*at + first + gap < stream.size() && stream[*at + first + gap] == 0)
        ++gap;
    EXPECT_GE(gap, kRate * 4 / 10) << "no pause was heard";
    // The rest follows from where the first part ended. The server's own pause (a corked
    // stream) may skip or repeat a few milliseconds at the break; nothing more is lost.
    const std::size_t resumed = *at + first + gap;
    ASSERT_LT(resumed + 64, stream.size()) << "nothing was heard after the pause";
    const auto k = std::search(signal.begin(), signal.end(),
                               stream.begin() + static_cast<std::ptrdiff_t>(resumed),
                               stream.begin() + static_cast<std::ptrdiff_t>(resumed) + 64);
    ASSERT_NE(k, signal.end()) << "the sound after the pause is not the signal";
    const auto from = static_cast<std::size_t>(k - signal.begin());
    EXPECT_NEAR(static_cast<double>(from), static_cast<double>(first), kRate * 0.01)
        << "the sound after the pause does not go on where it stopped";
    std::size_t rest_first = 0;
    EXPECT_EQ(Mismatches(stream, resumed, std::span<const std::int16_t>(signal).subspan(from),
                         rest_first),
              0u)
        << "after the pause, first difference at " << rest_first;
}

INSTANTIATE_TEST_SUITE_P(DevicePauseAndDropAndRewrite, AlsaWavePause, ::testing::Bool());

TEST_F(AlsaWave, FailuresAreExplainedAndClosingNeverHangs) {
    os::WaveHandle h = 0;
    const auto f = Mono16();
    EXPECT_EQ(wave_->Open(Dir::Out, wave_->NumDevs(Dir::Out), f, window_->Handle(),
                          os::CALLBACK_WINDOW, h),
              os::MMSYSERR_BADDEVICEID);
    auto bad = f;
    bad.nBlockAlign = 4;
    EXPECT_EQ(wave_->Open(Dir::In, 0, bad, window_->Handle(), os::CALLBACK_WINDOW, h),
              os::WAVERR_BADFORMAT);
    EXPECT_EQ(wave_->Open(Dir::In, 0, f, 0, os::WAVE_FORMAT_QUERY, h), 0u);
    EXPECT_EQ(h, 0u);

    // Device 0 and the mapper are "default"; the other numbers are ALSA's other PCMs.
    EXPECT_EQ(wave_->DeviceName(Dir::Out, 0), "default");
    EXPECT_EQ(wave_->DeviceName(Dir::In, os::WAVE_MAPPER), "default");
    const unsigned outs = wave_->NumDevs(Dir::Out);
    std::set<std::string> names;
    for (unsigned d = 0; d < outs; ++d)
        EXPECT_TRUE(names.insert(wave_->DeviceName(Dir::Out, d)).second);
    EXPECT_EQ(wave_->DeviceName(Dir::Out, outs), "");
    for (unsigned d = 1; d < outs; ++d)
        if (wave_->DeviceName(Dir::Out, d) == "null")
            EXPECT_EQ(wave_->Open(Dir::Out, d, f, 0, os::WAVE_FORMAT_QUERY, h), 0u);

    {
        os::AlsaWaveOptions missing;
        missing.default_pcm = "mirelo_no_such_pcm";
        os::AlsaWaveService other(post_, missing);
        const auto r = other.Open(Dir::In, 0, f, window_->Handle(), os::CALLBACK_WINDOW, h);
        EXPECT_EQ(r, os::MMSYSERR_NODRIVER);
        const auto text = other.ErrorText(r);
        EXPECT_NE(text.find("snd_pcm_open \"mirelo_no_such_pcm\" for capture: "), std::string::npos)
            << text;
        EXPECT_NE(text.find(std::strerror(ENOENT)), std::string::npos) << text;
        char buf[256];
        EXPECT_EQ(other.GetErrorText(r, buf, sizeof buf), 0u);
        EXPECT_EQ(std::string(buf), text.substr(0, 255));
        // The other service's table is its own.
        EXPECT_EQ(wave_->ErrorText(r).find("mirelo_no_such_pcm"), std::string::npos);
    }

    // Capture with every buffer waiting: close refuses, reset gives all back at once in
    // order, and close then returns promptly.
    ASSERT_EQ(wave_->Open(Dir::In, 0, f, window_->Handle(), os::CALLBACK_WINDOW, h), 0u);
    Ring ring(4, 16384);
    for (auto& hdr : ring.hdr)
        ASSERT_EQ(wave_->PrepareHeader(h, &hdr, os::kWaveHdrSize), 0u);
    ASSERT_EQ(wave_->Start(h), 0u);
    for (auto& hdr : ring.hdr)
        ASSERT_EQ(wave_->AddBuffer(h, &hdr, os::kWaveHdrSize), 0u);
    RunUntil([] { return false; }, 100ms);
    EXPECT_EQ(wave_->Close(h), os::WAVERR_STILLPLAYING);
    EXPECT_EQ(wave_->UnprepareHeader(h, &ring.hdr[3], os::kWaveHdrSize), os::WAVERR_STILLPLAYING);
    const auto t0 = clock_.Monotonic();
    ASSERT_EQ(wave_->Reset(h), 0u);
    ASSERT_EQ(wave_->Close(h), 0u);
    EXPECT_LT(clock_.Monotonic() - t0, 500ms);
    EXPECT_GT(ring.hdr[0].dwBytesRecorded, 0u);
    RunUntil([&] { return !Of(os::MM_WIM_CLOSE).empty(); }, 2s);
    const auto data = Of(os::MM_WIM_DATA);
    ASSERT_EQ(data.size(), 4u);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(data[i].LParam, reinterpret_cast<std::intptr_t>(&ring.hdr[i]));
    EXPECT_EQ(wave_->Start(h), os::MMSYSERR_INVALHANDLE);

    // A paused playback stream with blocks queued, left open: the service's end stops it.
    ASSERT_EQ(wave_->Open(Dir::Out, 0, f, window_->Handle(), os::CALLBACK_WINDOW, h), 0u);
    for (auto& hdr : ring.hdr) {
        hdr.dwBufferLength = 16384;
        ASSERT_EQ(wave_->PrepareHeader(h, &hdr, os::kWaveHdrSize), 0u);
        ASSERT_EQ(wave_->Write(h, &hdr, os::kWaveHdrSize), 0u);
    }
    RunUntil([] { return false; }, 100ms);
    ASSERT_EQ(wave_->Pause(h), 0u);
    const auto t1 = clock_.Monotonic();
    wave_.reset();
    EXPECT_LT(clock_.Monotonic() - t1, 500ms);
}

// A sound server that goes away mid-stream: the device reports the failure in its own
// words and the stream can still be reset and closed.
TEST_F(AlsaWave, ALostSoundServerFailsTheStreamWithoutHanging) {
    os::WaveHandle h = 0;
    ASSERT_EQ(wave_->Open(Dir::Out, 0, Mono16(), window_->Handle(), os::CALLBACK_WINDOW, h), 0u);
    Ring ring(4, 16384);
    for (auto& hdr : ring.hdr) {
        ASSERT_EQ(wave_->PrepareHeader(h, &hdr, os::kWaveHdrSize), 0u);
        ASSERT_EQ(wave_->Write(h, &hdr, os::kWaveHdrSize), 0u);
    }
    RunUntil([] { return false; }, 200ms);
    server_.Stop(SIGKILL);
    // The failed device gives its blocks back; writing one again says why it failed.
    os::MMRESULT refused = 0;
    on_message_ = [&](const fw::TMessage& m) {
        if (m.Msg == os::MM_WOM_DONE && !refused)
            refused = wave_->Write(h, reinterpret_cast<WaveHdr*>(m.LParam), os::kWaveHdrSize);
    };
    RunUntil([&] { return refused != 0; }, 5s);
    on_message_ = nullptr;
    const auto t0 = clock_.Monotonic();
    ASSERT_EQ(wave_->Reset(h), 0u);
    ASSERT_EQ(wave_->Close(h), 0u);
    EXPECT_LT(clock_.Monotonic() - t0, 500ms);
    EXPECT_EQ(refused, os::MMSYSERR_ERROR);
    EXPECT_NE(wave_->ErrorText(refused).find("ALSA: "), std::string::npos)
        << wave_->ErrorText(refused);
}

// A sound server that goes away while capturing: every queued buffer comes back holding
// only what was recorded into it before the loss, the rest of it untouched, and adding one
// again says that the device failed.
TEST_F(AlsaWave, ALostSoundServerGivesCaptureBuffersBackWithWhatTheyRecorded) {
    constexpr std::int16_t kUntouched = 0x5555;
    os::WaveHandle h = 0;
    ASSERT_EQ(wave_->Open(Dir::In, 0, Mono16(), window_->Handle(), os::CALLBACK_WINDOW, h), 0u);
    Ring ring(4, 16384);
    for (auto& d : ring.data)
        std::fill(d.begin(), d.end(), '\x55');
    std::vector<std::uint32_t> recorded;
    on_message_ = [&](const fw::TMessage& m) {
        if (m.Msg != os::MM_WIM_DATA) return;
        EXPECT_EQ(m.LParam, reinterpret_cast<std::intptr_t>(&ring.hdr[recorded.size() % 4]));
        recorded.push_back(reinterpret_cast<const WaveHdr*>(m.LParam)->dwBytesRecorded);
    };
    for (auto& hdr : ring.hdr)
        ASSERT_EQ(wave_->PrepareHeader(h, &hdr, os::kWaveHdrSize), 0u);
    ASSERT_EQ(wave_->Start(h), 0u);
    for (auto& hdr : ring.hdr)
        ASSERT_EQ(wave_->AddBuffer(h, &hdr, os::kWaveHdrSize), 0u);
    ASSERT_TRUE(RunUntil([&] { return recorded.size() == 1; }, 3s));
    RunUntil([] { return false; }, 150ms); // into the second block
    server_.Stop(SIGKILL);
    ASSERT_TRUE(RunUntil([&] { return recorded.size() == 4; }, 5s))
        << recorded.size() << " of 4 buffers came back";
    on_message_ = nullptr;
    EXPECT_EQ(recorded[0], 16384u);
    std::uint64_t frames = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        frames += recorded[i] / 2;
        if (i > 0) EXPECT_LT(recorded[i], 16384u) << "buffer " << i << " came back full";
        EXPECT_EQ(recorded[i] % 2, 0u);
        // What the monitor of an idle sink records is silence; past it nothing was written.
        const auto* s = reinterpret_cast<const std::int16_t*>(ring.data[i].data());
        const std::size_t got = std::min<std::size_t>(recorded[i] / 2, 8192);
        EXPECT_EQ(std::count(s, s + got, kUntouched), 0) << "buffer " << i;
        EXPECT_EQ(std::count(s + got, s + 8192, kUntouched), static_cast<long>(8192 - got))
            << "buffer " << i;
    }
    EXPECT_LE(frames, Samples(h));
    EXPECT_EQ(wave_->AddBuffer(h, &ring.hdr[0], os::kWaveHdrSize), os::MMSYSERR_ERROR);
    ASSERT_EQ(wave_->Reset(h), 0u);
    ASSERT_EQ(wave_->Close(h), 0u);
}

} // namespace
