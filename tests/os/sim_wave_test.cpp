// The simulated wave devices: pace, order and content of what they return, positions,
// reset, pause, injected failures, and the WAV files they can capture from.
#include "../wave_ring.hpp"
#include "os/wave/sim_wave.hpp"
#include "os/wave/wav_file.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <numeric>
#include <set>
#include <stdexcept>
#include <vector>

using namespace std::chrono_literals;
using os::WaveHdr;
using Dir = os::WaveDirection;
using Op = os::SimWaveService::Op;

namespace {

os::WaveFormatEx Pcm(std::uint32_t rate, std::uint16_t bits, std::uint16_t channels) {
    const auto align = static_cast<std::uint16_t>(bits / 8 * channels);
    return {os::WAVE_FORMAT_PCM, channels, rate, rate * align, align, bits, 0};
}

// The moment at which `frames` frames at `rate` are complete, counted from `from`.
os::TimePoint At(std::uint64_t frames, std::uint32_t rate, os::TimePoint from = 0ns) {
    return from + os::Nanos((frames * 1'000'000'000ull + rate - 1) / rate);
}

struct Posted {
    std::uint32_t window, msg;
    std::uintptr_t wparam;
    std::intptr_t lparam;
    os::TimePoint at;
};

using tests::Ring;

struct SimWave : ::testing::Test {
    os::VirtualClock clock;
    std::vector<Posted> posts;
    // Runs for every notification at the moment it is posted, as a message loop would.
    std::function<void(const Posted&)> on_post;
    os::SimWaveService wave{
        clock, [this](std::uint32_t w, std::uint32_t m, std::uintptr_t wp, std::intptr_t lp) {
            posts.push_back({w, m, wp, lp, clock.Monotonic()});
            if (on_post) on_post(posts.back());
            return true;
        }};
    static constexpr std::uint32_t kWindow = 77;

    os::WaveHandle Open(Dir dir, const os::WaveFormatEx& f) {
        os::WaveHandle h = 0;
        EXPECT_EQ(wave.Open(dir, 0, f, kWindow, os::CALLBACK_WINDOW | os::WAVE_ALLOWSYNC, h), 0u);
        return h;
    }
    void PrepareAll(os::WaveHandle h, Ring& r) {
        for (auto& hdr : r.hdr)
            ASSERT_EQ(wave.PrepareHeader(h, &hdr, os::kWaveHdrSize), 0u);
    }
    std::uint32_t Position(os::WaveHandle h, std::uint32_t type = os::TIME_SAMPLES) {
        os::MmTime t{};
        t.wType = type;
        EXPECT_EQ(wave.GetPosition(h, &t, sizeof t), 0u);
        return t.u.sample;
    }
    std::vector<Posted> Of(std::uint32_t msg) const {
        std::vector<Posted> out;
        for (const auto& p : posts)
            if (p.msg == msg) out.push_back(p);
        return out;
    }
};

TEST_F(SimWave, PlaybackReturnsFourBuffersInOrderAtThePaceOfTheFormat) {
    const auto f = Pcm(22050, 16, 1);
    const auto h = Open(Dir::Out, f);
    Ring ring(4, 16384);
    for (int i = 0; i < 4; ++i)
        for (std::size_t b = 0; b < 16384; ++b)
            ring.data[i][b] = static_cast<char>(i * 31 + b);
    PrepareAll(h, ring);
    clock.AdvanceTo(50ms); // writing begins later than the open
    for (auto& hdr : ring.hdr)
        ASSERT_EQ(wave.Write(h, &hdr, os::kWaveHdrSize), 0u);
    EXPECT_EQ(ring.hdr[0].dwFlags, os::WHDR_PREPARED | os::WHDR_INQUEUE);

    clock.AdvanceTo(500ms);
    EXPECT_EQ(Position(h), 450ms / 1ns * 22050 / 1'000'000'000);
    EXPECT_EQ(Position(h, os::TIME_BYTES), 2 * (450ms / 1ns * 22050 / 1'000'000'000));
    EXPECT_EQ(Position(h, os::TIME_MS), 449u); // 9922 whole frames are 449.98 ms
    clock.AdvanceTo(3s);

    ASSERT_EQ(Of(os::MM_WOM_OPEN).size(), 1u);
    EXPECT_EQ(posts[0].wparam, h);
    EXPECT_EQ(posts[0].window, kWindow);
    const auto done = Of(os::MM_WOM_DONE);
    ASSERT_EQ(done.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(done[i].lparam, ring.Addr(i));
        EXPECT_EQ(done[i].wparam, h);
        EXPECT_EQ(done[i].at, At(8192ull * (i + 1), 22050, 50ms)) << i;
        EXPECT_EQ(ring.hdr[i].dwFlags, os::WHDR_PREPARED | os::WHDR_DONE);
    }
    // Idle after the last buffer: the position stays at everything played.
    EXPECT_EQ(Position(h), 4u * 8192);

    const auto& spans = wave.Played(0);
    ASSERT_EQ(spans.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(spans[i].start, i == 0 ? 50ms : done[i - 1].at);
        EXPECT_EQ(spans[i].end, done[i].at);
        EXPECT_EQ(spans[i].block, static_cast<std::uint64_t>(i));
        EXPECT_TRUE(std::equal(spans[i].data.begin(), spans[i].data.end(),
                               reinterpret_cast<const std::uint8_t*>(ring.data[i].data())));
    }

    // A buffer written to the idle device starts playing at once.
    ring.hdr[0].dwBufferLength = 1000;
    ASSERT_EQ(wave.Write(h, &ring.hdr[0], os::kWaveHdrSize), 0u);
    clock.AdvanceTo(4s);
    ASSERT_EQ(Of(os::MM_WOM_DONE).size(), 5u);
    EXPECT_EQ(Of(os::MM_WOM_DONE)[4].at, At(500, 22050, 3s));
    EXPECT_EQ(Position(h), 4u * 8192 + 500);
    EXPECT_EQ(wave.UnprepareHeader(h, &ring.hdr[0], os::kWaveHdrSize), 0u);
    EXPECT_EQ(ring.hdr[0].dwFlags & os::WHDR_PREPARED, 0u);
}

// A component's capture loop: every returned buffer is taken and handed back at once.
TEST_F(SimWave, CaptureDeliversTheSourceSampleExactInOrderAndStaysOnPace) {
    const auto f = Pcm(22050, 16, 1);
    std::vector<std::int16_t> signal(22050 * 3);
    std::uint32_t x = 12345;
    for (auto& s : signal)
        s = static_cast<std::int16_t>((x = x * 1103515245 + 12345) >> 16);
    wave.SetCaptureSource(0, os::SamplesSource(signal, 1, 22050));
    const auto h = Open(Dir::In, f);
    Ring ring(4, 16384);
    PrepareAll(h, ring);
    std::vector<std::int16_t> captured;
    int next = 0;
    on_post = [&](const Posted& p) {
        if (p.msg != os::MM_WIM_DATA) return;
        ASSERT_EQ(p.lparam, ring.Addr(next));
        WaveHdr& hdr = ring.hdr[next];
        EXPECT_EQ(hdr.dwFlags, os::WHDR_PREPARED | os::WHDR_DONE);
        ASSERT_EQ(hdr.dwBytesRecorded, 16384u);
        const auto* s = reinterpret_cast<const std::int16_t*>(hdr.lpData);
        captured.insert(captured.end(), s, s + 8192);
        ASSERT_EQ(wave.AddBuffer(h, &hdr, os::kWaveHdrSize), 0u);
        next = (next + 1) % 4;
    };
    clock.AdvanceTo(10ms);
    ASSERT_EQ(wave.Start(h), 0u);
    for (auto& hdr : ring.hdr)
        ASSERT_EQ(wave.AddBuffer(h, &hdr, os::kWaveHdrSize), 0u);
    clock.AdvanceTo(10ms + 2s);
    EXPECT_EQ(Position(h), 2u * 22050);

    const auto data = Of(os::MM_WIM_DATA);
    ASSERT_EQ(data.size(), 44100u / 8192);
    for (std::size_t i = 0; i < data.size(); ++i)
        EXPECT_EQ(data[i].at, At(8192 * (i + 1), 22050, 10ms));
    ASSERT_EQ(captured.size(), data.size() * 8192);
    EXPECT_TRUE(std::equal(captured.begin(), captured.end(), signal.begin()));
    EXPECT_EQ(wave.LostFrames(0), 0u);
}

TEST_F(SimWave, CaptureConvertsToTheStreamFormatAndLosesWhatHasNoBuffer) {
    // A stereo source at 11025 frames/s heard by an 8-bit mono stream at twice the rate.
    const std::vector<std::int16_t> src = {1000, 3000, -2000, -4000, 32767, 32767, 0, 0};
    wave.SetCaptureSource(0, os::SamplesSource(src, 2, 11025));
    const auto h = Open(Dir::In, Pcm(22050, 8, 1));
    Ring ring(1, 16);
    PrepareAll(h, ring);
    ASSERT_EQ(wave.Start(h), 0u);
    clock.AdvanceTo(At(3, 22050)); // three frames pass with no buffer
    EXPECT_EQ(Position(h), 3u);
    ASSERT_EQ(wave.AddBuffer(h, &ring.hdr[0], os::kWaveHdrSize), 0u);
    clock.AdvanceTo(1s);
    EXPECT_EQ(wave.LostFrames(0), 3u);
    ASSERT_EQ(Of(os::MM_WIM_DATA).size(), 1u);
    EXPECT_EQ(Of(os::MM_WIM_DATA)[0].at, At(3 + 16, 22050));
    // Frames 3..18 map to source frames 1,2,2,3,3,4...; mono mixes, 8-bit is offset binary.
    const std::vector<std::uint8_t> want = {128 + (-3000 >> 8),
                                            128 + (32767 >> 8),
                                            128 + (32767 >> 8),
                                            128,
                                            128,
                                            128,
                                            128,
                                            128,
                                            128,
                                            128,
                                            128,
                                            128,
                                            128,
                                            128,
                                            128,
                                            128};
    EXPECT_EQ(std::vector<std::uint8_t>(ring.data[0].begin(), ring.data[0].end()), want);
}

TEST_F(SimWave, ResetReturnsEveryPendingBufferInOrderAndZeroesThePosition) {
    const auto f = Pcm(44100, 16, 2);
    const auto out = Open(Dir::Out, f);
    Ring ring(4, 4000); // 1000 frames each
    PrepareAll(out, ring);
    for (auto& hdr : ring.hdr)
        ASSERT_EQ(wave.Write(out, &hdr, os::kWaveHdrSize), 0u);
    clock.AdvanceTo(At(1500, 44100)); // half-way through the second buffer
    EXPECT_EQ(wave.Close(out), os::WAVERR_STILLPLAYING);
    ASSERT_EQ(wave.Reset(out), 0u);
    EXPECT_EQ(Position(out), 0u);
    const auto done = Of(os::MM_WOM_DONE);
    ASSERT_EQ(done.size(), 4u);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(done[i].lparam, ring.Addr(i));
        EXPECT_EQ(ring.hdr[i].dwFlags, os::WHDR_PREPARED | os::WHDR_DONE);
    }
    EXPECT_EQ(wave.PlayedBytes(0).size(), 1500u * 4);
    clock.AdvanceTo(2s);
    EXPECT_EQ(Of(os::MM_WOM_DONE).size(), 4u);

    ASSERT_EQ(wave.Close(out), 0u);
    EXPECT_EQ(posts.back().msg, os::MM_WOM_CLOSE);
    EXPECT_EQ(wave.Reset(out), os::MMSYSERR_INVALHANDLE);
    EXPECT_FALSE(wave.IsOpen(Dir::Out, 0));

    // Capture: the buffer being recorded keeps what it got, the others come back empty.
    wave.SetCaptureSource(0, os::ToneSource(441, 10000));
    const auto in = Open(Dir::In, Pcm(44100, 16, 1));
    EXPECT_NE(in, out);
    Ring cap(3, 2000);
    PrepareAll(in, cap);
    for (auto& hdr : cap.hdr)
        ASSERT_EQ(wave.AddBuffer(in, &hdr, os::kWaveHdrSize), 0u);
    ASSERT_EQ(wave.Start(in), 0u);
    clock.AdvanceBy(At(1250, 44100));
    ASSERT_EQ(wave.Reset(in), 0u);
    const auto data = Of(os::MM_WIM_DATA);
    ASSERT_EQ(data.size(), 3u);
    EXPECT_EQ(cap.hdr[0].dwBytesRecorded, 2000u);
    EXPECT_EQ(cap.hdr[1].dwBytesRecorded, 500u);
    EXPECT_EQ(cap.hdr[2].dwBytesRecorded, 0u);
    const auto* s = reinterpret_cast<const std::int16_t*>(cap.data[1].data());
    EXPECT_EQ(s[25], 10000); // frame 1025: a quarter period of 441 Hz at 44100
    EXPECT_EQ(Position(in), 0u);
    clock.AdvanceBy(1s);
    EXPECT_EQ(Position(in), 0u); // reset stops capture until the next start
}

TEST_F(SimWave, PauseHoldsThePositionAndRestartContinuesWhereItStopped) {
    const auto h = Open(Dir::Out, Pcm(22050, 16, 1));
    Ring ring(2, 16384);
    PrepareAll(h, ring);
    for (auto& hdr : ring.hdr)
        ASSERT_EQ(wave.Write(h, &hdr, os::kWaveHdrSize), 0u);
    clock.AdvanceTo(100ms);
    ASSERT_EQ(wave.Pause(h), 0u);
    clock.AdvanceTo(1100ms);
    EXPECT_EQ(Position(h), 2205u);
    EXPECT_TRUE(Of(os::MM_WOM_DONE).empty());
    ASSERT_EQ(wave.Restart(h), 0u);
    clock.AdvanceTo(3s);
    const auto done = Of(os::MM_WOM_DONE);
    ASSERT_EQ(done.size(), 2u);
    EXPECT_EQ(done[0].at, At(8192 - 2205, 22050, 1100ms));
    EXPECT_EQ(done[1].at, At(2 * 8192 - 2205, 22050, 1100ms));
    const auto& spans = wave.Played(0);
    ASSERT_EQ(spans.size(), 3u);
    EXPECT_EQ(spans[0].end, 100ms);
    EXPECT_EQ(spans[0].data.size(), 2205u * 2);
    EXPECT_EQ(spans[1].start, 1100ms);
    EXPECT_EQ(spans[1].block, 0u);
    EXPECT_EQ(spans[2].block, 1u);
    EXPECT_EQ(wave.PlayedBytes(0).size(), 2u * 16384);

    // Paused before the first block: nothing plays until the restart.
    ASSERT_EQ(wave.Pause(h), 0u);
    for (auto& hdr : ring.hdr)
        ASSERT_EQ(wave.Write(h, &hdr, os::kWaveHdrSize), 0u);
    clock.AdvanceTo(8s);
    EXPECT_EQ(Of(os::MM_WOM_DONE).size(), 2u);
    EXPECT_EQ(Position(h), 2u * 8192);
    ASSERT_EQ(wave.Restart(h), 0u);
    clock.AdvanceTo(9s);
    ASSERT_EQ(Of(os::MM_WOM_DONE).size(), 4u);
    EXPECT_EQ(Of(os::MM_WOM_DONE)[2].at, At(8192, 22050, 8s));
}

TEST_F(SimWave, InjectedFailuresHitTheCallTheyNameAfterTheGivenSuccesses) {
    os::WaveHandle h = 0;
    const auto f = Pcm(22050, 16, 1);
    wave.FailAfter(Dir::Out, 0, Op::Open, os::MMSYSERR_ALLOCATED);
    EXPECT_EQ(wave.Open(Dir::Out, 0, f, kWindow, os::CALLBACK_WINDOW, h), os::MMSYSERR_ALLOCATED);
    EXPECT_EQ(h, 0u);
    EXPECT_TRUE(posts.empty());
    EXPECT_FALSE(wave.IsOpen(Dir::Out, 0));
    wave.ClearFailures();

    wave.FailAfter(Dir::In, 0, Op::Prepare, os::MMSYSERR_NOMEM, 2);
    wave.FailAfter(Dir::In, 0, Op::Start, os::MMSYSERR_ERROR, 1);
    wave.FailAfter(Dir::In, 0, Op::AddBuffer, os::MMSYSERR_NOMEM, 1);
    h = Open(Dir::In, f);
    Ring ring(3, 512);
    EXPECT_EQ(wave.PrepareHeader(h, &ring.hdr[0], os::kWaveHdrSize), 0u);
    EXPECT_EQ(wave.PrepareHeader(h, &ring.hdr[1], os::kWaveHdrSize), 0u);
    EXPECT_EQ(wave.PrepareHeader(h, &ring.hdr[2], os::kWaveHdrSize), os::MMSYSERR_NOMEM);
    EXPECT_EQ(ring.hdr[2].dwFlags, 0u);
    EXPECT_EQ(wave.Start(h), 0u);
    ASSERT_EQ(wave.Reset(h), 0u);
    EXPECT_EQ(wave.Start(h), os::MMSYSERR_ERROR);
    EXPECT_EQ(wave.AddBuffer(h, &ring.hdr[0], os::kWaveHdrSize), 0u);
    EXPECT_EQ(wave.AddBuffer(h, &ring.hdr[1], os::kWaveHdrSize), os::MMSYSERR_NOMEM);
    EXPECT_EQ(ring.hdr[1].dwFlags, os::WHDR_PREPARED); // a refused buffer is not queued
    wave.ClearFailures();
    EXPECT_EQ(wave.AddBuffer(h, &ring.hdr[1], os::kWaveHdrSize), 0u);
    ASSERT_EQ(wave.Reset(h), 0u);
    EXPECT_EQ(wave.Close(h), 0u);

    // A playback device that fails mid-stream while a component keeps refilling it.
    wave.FailAfter(Dir::Out, 0, Op::Write, os::MMSYSERR_NODRIVER, 5);
    h = Open(Dir::Out, f);
    Ring out(2, 4410);
    PrepareAll(h, out);
    std::vector<os::MMRESULT> results;
    on_post = [&](const Posted& p) {
        if (p.msg == os::MM_WOM_DONE)
            results.push_back(
                wave.Write(h, reinterpret_cast<WaveHdr*>(p.lparam), os::kWaveHdrSize));
    };
    for (auto& hdr : out.hdr)
        ASSERT_EQ(wave.Write(h, &hdr, os::kWaveHdrSize), 0u);
    clock.AdvanceBy(5s);
    EXPECT_EQ(results,
              (std::vector<os::MMRESULT>{0, 0, 0, os::MMSYSERR_NODRIVER, os::MMSYSERR_NODRIVER}));
    EXPECT_EQ(Of(os::MM_WOM_DONE).size(), 5u);
    EXPECT_EQ(wave.Close(h), 0u);
}

TEST_F(SimWave, AHungDeviceStopsReturningBuffersUntilReset) {
    wave.StallAfter(Dir::Out, 0, 2);
    const auto h = Open(Dir::Out, Pcm(22050, 16, 1));
    Ring ring(4, 16384);
    PrepareAll(h, ring);
    for (auto& hdr : ring.hdr)
        ASSERT_EQ(wave.Write(h, &hdr, os::kWaveHdrSize), 0u);
    clock.AdvanceTo(2s);
    EXPECT_EQ(Of(os::MM_WOM_DONE).size(), 2u);
    const auto stuck = Position(h);
    EXPECT_EQ(stuck, 3u * 8192);
    clock.AdvanceTo(10s);
    EXPECT_EQ(Position(h), stuck);
    EXPECT_EQ(Of(os::MM_WOM_DONE).size(), 2u);
    ASSERT_EQ(wave.Reset(h), 0u);
    const auto done = Of(os::MM_WOM_DONE);
    ASSERT_EQ(done.size(), 4u);
    EXPECT_EQ(done[2].lparam, ring.Addr(2));
    EXPECT_EQ(done[3].lparam, ring.Addr(3));
    EXPECT_EQ(wave.Close(h), 0u);
}

// A device lost mid-stream gives its buffers back holding only what they recorded, refuses
// what needs it from then on, and can still be reset and closed.
TEST_F(SimWave, ALostDeviceGivesBackWhatItRecordedAndRefusesTheRest) {
    wave.SetCaptureSource(0, os::ToneSource(441, 10000));
    const auto in = Open(Dir::In, Pcm(44100, 16, 1));
    Ring cap(4, 2000); // 1000 frames each
    PrepareAll(in, cap);
    for (auto& hdr : cap.hdr)
        ASSERT_EQ(wave.AddBuffer(in, &hdr, os::kWaveHdrSize), 0u);
    ASSERT_EQ(wave.Start(in), 0u);
    clock.AdvanceTo(At(1250, 44100));
    ASSERT_EQ(Of(os::MM_WIM_DATA).size(), 1u);
    for (auto& b : cap.data)
        std::fill(b.begin(), b.end(), '\x55');
    wave.LoseDevice(Dir::In, 0, os::MMSYSERR_NODRIVER);
    const auto data = Of(os::MM_WIM_DATA);
    ASSERT_EQ(data.size(), 4u);
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(data[i].lparam, cap.Addr(i));
        EXPECT_EQ(cap.hdr[i].dwFlags, os::WHDR_PREPARED | os::WHDR_DONE);
    }
    EXPECT_EQ(cap.hdr[1].dwBytesRecorded, 500u);
    EXPECT_EQ(cap.hdr[2].dwBytesRecorded, 0u);
    EXPECT_EQ(cap.hdr[3].dwBytesRecorded, 0u);
    const auto* s = reinterpret_cast<const std::int16_t*>(cap.data[1].data());
    EXPECT_EQ(s[25], 10000);   // frame 1025: a quarter period of 441 Hz at 44100
    EXPECT_EQ(s[250], 0x5555); // nothing written past what was recorded
    EXPECT_EQ(Position(in), 1250u);
    clock.AdvanceBy(1s);
    EXPECT_EQ(Position(in), 1250u);
    EXPECT_EQ(Of(os::MM_WIM_DATA).size(), 4u);
    EXPECT_EQ(wave.AddBuffer(in, &cap.hdr[0], os::kWaveHdrSize), os::MMSYSERR_NODRIVER);
    EXPECT_EQ(wave.Start(in), os::MMSYSERR_NODRIVER);
    EXPECT_EQ(wave.Reset(in), 0u);
    for (auto& hdr : cap.hdr)
        EXPECT_EQ(wave.UnprepareHeader(in, &hdr, os::kWaveHdrSize), 0u);
    EXPECT_EQ(wave.Close(in), 0u);
    EXPECT_FALSE(wave.IsOpen(Dir::In, 0));

    // Playback: the block being played is cut where the loss came; the next stream works.
    const auto out = Open(Dir::Out, Pcm(22050, 16, 1));
    Ring ring(2, 4410); // 0.1 s each
    PrepareAll(out, ring);
    for (auto& hdr : ring.hdr)
        ASSERT_EQ(wave.Write(out, &hdr, os::kWaveHdrSize), 0u);
    clock.AdvanceBy(150ms);
    wave.LoseDevice(Dir::Out, 0);
    EXPECT_EQ(Of(os::MM_WOM_DONE).size(), 2u);
    EXPECT_EQ(wave.PlayedBytes(0).size(), 2u * 3307);
    EXPECT_EQ(wave.Pause(out), os::MMSYSERR_ERROR);
    EXPECT_EQ(wave.Write(out, &ring.hdr[0], os::kWaveHdrSize), os::MMSYSERR_ERROR);
    EXPECT_EQ(wave.Close(out), 0u);
    const auto again = Open(Dir::Out, Pcm(22050, 16, 1));
    PrepareAll(again, ring);
    ASSERT_EQ(wave.Write(again, &ring.hdr[0], os::kWaveHdrSize), 0u);
    clock.AdvanceBy(1s);
    EXPECT_EQ(Of(os::MM_WOM_DONE).size(), 3u);
    EXPECT_EQ(wave.Close(again), 0u);
}

TEST_F(SimWave, CallsCheckDevicesFormatsFlagsHandlesAndHeaders) {
    os::WaveHandle h = 0;
    const auto f = Pcm(22050, 16, 1);
    wave.SetNumDevs(Dir::In, 0);
    EXPECT_EQ(wave.NumDevs(Dir::In), 0u);
    EXPECT_EQ(wave.Open(Dir::In, os::WAVE_MAPPER, f, kWindow, os::CALLBACK_WINDOW, h),
              os::MMSYSERR_NODRIVER);
    EXPECT_EQ(wave.Open(Dir::In, 0, f, kWindow, os::CALLBACK_WINDOW, h), os::MMSYSERR_BADDEVICEID);
    wave.SetNumDevs(Dir::Out, 2);
    EXPECT_EQ(wave.Open(Dir::Out, 2, f, kWindow, os::CALLBACK_WINDOW, h), os::MMSYSERR_BADDEVICEID);

    auto bad = f;
    bad.wBitsPerSample = 12;
    EXPECT_EQ(wave.Open(Dir::Out, 0, bad, kWindow, os::CALLBACK_WINDOW, h), os::WAVERR_BADFORMAT);
    bad = f;
    bad.nAvgBytesPerSec = 22050;
    EXPECT_EQ(wave.Open(Dir::Out, 0, bad, kWindow, os::CALLBACK_WINDOW, h), os::WAVERR_BADFORMAT);
    bad = f;
    bad.wFormatTag = 3;
    EXPECT_EQ(wave.Open(Dir::Out, 0, bad, kWindow, os::CALLBACK_WINDOW, h), os::WAVERR_BADFORMAT);
    EXPECT_EQ(wave.Open(Dir::Out, 0, f, kWindow, 0x00030000, h), os::MMSYSERR_INVALFLAG);
    EXPECT_EQ(wave.Open(Dir::Out, 0, f, 0, os::CALLBACK_WINDOW, h), os::MMSYSERR_INVALPARAM);
    EXPECT_EQ(wave.Open(Dir::Out, 0, f, 0, os::WAVE_FORMAT_QUERY, h), 0u);
    EXPECT_FALSE(wave.IsOpen(Dir::Out, 0));
    EXPECT_TRUE(posts.empty());

    // The mapper is device 0, which takes one stream at a time.
    ASSERT_EQ(wave.Open(Dir::Out, os::WAVE_MAPPER, f, 0, os::CALLBACK_NULL, h), 0u);
    os::WaveHandle second = 0;
    EXPECT_EQ(wave.Open(Dir::Out, 0, f, kWindow, os::CALLBACK_WINDOW, second),
              os::MMSYSERR_ALLOCATED);
    EXPECT_EQ(wave.Open(Dir::Out, 1, f, kWindow, os::CALLBACK_WINDOW, second), 0u);

    Ring ring(1, 100);
    WaveHdr& hdr = ring.hdr[0];
    EXPECT_EQ(wave.PrepareHeader(h, &hdr, 32), os::MMSYSERR_INVALPARAM);
    EXPECT_EQ(wave.Write(h, &hdr, os::kWaveHdrSize), os::WAVERR_UNPREPARED);
    EXPECT_EQ(wave.PrepareHeader(h, &hdr, os::kWaveHdrSize), 0u);
    EXPECT_EQ(wave.AddBuffer(h, &hdr, os::kWaveHdrSize), os::MMSYSERR_INVALHANDLE);
    EXPECT_EQ(wave.Start(h), os::MMSYSERR_INVALHANDLE);
    EXPECT_EQ(wave.Write(h, &hdr, os::kWaveHdrSize), 0u);
    EXPECT_EQ(wave.Write(h, &hdr, os::kWaveHdrSize), os::WAVERR_STILLPLAYING);
    EXPECT_EQ(wave.UnprepareHeader(h, &hdr, os::kWaveHdrSize), os::WAVERR_STILLPLAYING);
    os::MmTime t{};
    EXPECT_EQ(wave.GetPosition(h, &t, 8), os::MMSYSERR_INVALPARAM);
    clock.AdvanceBy(1s);
    EXPECT_EQ(hdr.dwFlags, os::WHDR_PREPARED | os::WHDR_DONE);
    EXPECT_EQ(wave.Close(h), 0u);
    // With no callback window nothing is posted; the second stream posted its open.
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(posts[0].wparam, second);
    EXPECT_EQ(wave.Pause(h), os::MMSYSERR_INVALHANDLE);
}

TEST_F(SimWave, ErrorTextsExplainEveryCodeAndAreCutToTheCallersBuffer) {
    std::set<std::string> seen;
    for (os::MMRESULT code : {1u, 2u, 4u, 5u, 6u, 7u, 10u, 11u, 32u, 33u, 34u}) {
        const auto text = wave.ErrorText(code);
        EXPECT_FALSE(text.empty()) << code;
        EXPECT_TRUE(seen.insert(text).second) << code;
    }
    char buf[256];
    std::memset(buf, 'x', sizeof buf);
    EXPECT_EQ(wave.GetErrorText(os::WAVERR_BADFORMAT, buf, 10), 0u);
    EXPECT_EQ(std::string(buf), wave.ErrorText(os::WAVERR_BADFORMAT).substr(0, 9));
    EXPECT_EQ(wave.GetErrorText(999, buf, sizeof buf), os::MMSYSERR_BADERRNUM);
    EXPECT_NE(std::string(buf).find("999"), std::string::npos);
    EXPECT_EQ(wave.GetErrorText(1, nullptr, 5), os::MMSYSERR_INVALPARAM);
}

TEST(WavFile, RoundTripsAndReadsEightBitAndExtraChunks) {
    const std::vector<std::int16_t> samples = {0, 1, -1, 32767, -32768, 1234};
    auto bytes = os::MakeWav(8000, 2, samples);
    // A chunk of odd size before the data is skipped with its pad byte.
    const std::vector<std::uint8_t> extra = {'L', 'I', 'S', 'T', 3, 0, 0, 0, 'a', 'b', 'c', 0};
    bytes.insert(bytes.begin() + 36, extra.begin(), extra.end());
    const auto wav = os::ReadWav(bytes);
    EXPECT_EQ(wav.rate, 8000u);
    EXPECT_EQ(wav.channels, 2);
    EXPECT_EQ(wav.Frames(), 3u);
    EXPECT_EQ(wav.samples, samples);

    auto eight = os::MakeWav(8000, 1, {});
    eight[34] = 8;                      // bits
    eight[32] = 1;                      // block align
    eight[28] = 0x40, eight[29] = 0x1F; // bytes per second
    eight[40] = 3;                      // data size
    eight.insert(eight.end(), {0, 128, 255});
    EXPECT_EQ(os::ReadWav(eight).samples, (std::vector<std::int16_t>{-32768, 0, 32512}));
}

TEST(WavFile, BadFilesAreRefusedWithAPreciseMessage) {
    const auto good = os::MakeWav(22050, 1, std::vector<std::int16_t>(10, 5));
    auto expect_error = [](std::vector<std::uint8_t> b, const std::string& what) {
        try {
            os::ReadWav(b);
            ADD_FAILURE() << "accepted: " << what;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), what);
        }
    };
    expect_error({'R', 'I', 'F', 'F'}, "WAV: file of 4 bytes is too short");
    auto b = good;
    b[8] = 'X';
    expect_error(b, "WAV: not a RIFF WAVE file");
    b = good;
    b[40] = 200; // data size beyond the file
    expect_error(b, "WAV: data chunk of 200 bytes beyond file size 64");
    b = good;
    b[34] = 24;
    expect_error(b, "WAV: 24 bits per sample, need 8 or 16");
    b = good;
    b[20] = 3;
    expect_error(b, "WAV: format tag 3 is not PCM");
    b = good;
    b[32] = 4;
    expect_error(b, "WAV: block align 4 does not fit 1 channels of 16 bits");
    b = good;
    b.resize(36);
    expect_error(b, "WAV: no data chunk");
    b = good;
    b[16] = 0xFF, b[17] = 0xFF;
    expect_error(b, "WAV: fmt chunk runs past the end of the file");
    b = good;
    b[12] = 'd', b[13] = 'a', b[14] = 't', b[15] = 'a';
    expect_error(b, "WAV: data chunk before the fmt chunk");
}

TEST_F(SimWave, AWavFileCanBeTheMicrophone) {
    std::vector<std::int16_t> samples(300);
    std::iota(samples.begin(), samples.end(), -150);
    wave.SetCaptureSource(0, os::WavSource(os::MakeWav(16000, 1, samples)));
    const auto h = Open(Dir::In, Pcm(16000, 16, 1));
    Ring ring(1, 800);
    PrepareAll(h, ring);
    ASSERT_EQ(wave.AddBuffer(h, &ring.hdr[0], os::kWaveHdrSize), 0u);
    ASSERT_EQ(wave.Start(h), 0u);
    clock.AdvanceBy(1s);
    ASSERT_EQ(ring.hdr[0].dwBytesRecorded, 800u);
    const auto* s = reinterpret_cast<const std::int16_t*>(ring.data[0].data());
    EXPECT_TRUE(std::equal(s, s + 300, samples.begin()));
    EXPECT_TRUE(std::all_of(s + 300, s + 400, [](std::int16_t v) { return v == 0; }));
    EXPECT_THROW(os::WavSource(std::vector<std::uint8_t>(20, 0)), std::runtime_error);
}

} // namespace
