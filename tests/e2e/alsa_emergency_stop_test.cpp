// The emergency stop of the ALSA wave devices against a real sound server: a playback and a
// capture in full flow stop at once, and the service still closes cleanly afterwards.
#include "../wave_ring.hpp"
#include "os/emergency.hpp"
#include "os/wave/alsa_wave.hpp"
#include "sound_support.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

std::uint32_t Position(os::WaveService& wave, os::WaveHandle h) {
    os::MmTime t{};
    t.wType = os::TIME_SAMPLES;
    wave.GetPosition(h, &t, sizeof t);
    return t.u.sample;
}

} // namespace

TEST(AlsaEmergencyStop, StopsPlaybackAndCaptureInFullFlowAtOnce) {
    if (!e2e::OnPath("pulseaudio")) GTEST_SKIP() << "pulseaudio is not installed";
    const std::string dir =
        std::string(MIRELO_BINARY_DIR) + "/e2e-sound-emergency-" + std::to_string(getpid());
    e2e::SoundServer server;
    ASSERT_TRUE(server.Start(dir)) << server.Error();
    {
        const os::WaveFormatEx format = e2e::Mono16();
        // Buffers outlive the service that may still hold them.
        auto played = e2e::Noise(3 * e2e::kRate, 5);
        std::vector<std::int16_t> recorded(3 * e2e::kRate);
        os::WaveHdr out_hdr = tests::WaveHeader(reinterpret_cast<char*>(played.data()),
                                                static_cast<std::uint32_t>(played.size() * 2));
        os::WaveHdr in_hdr = tests::WaveHeader(reinterpret_cast<char*>(recorded.data()),
                                               static_cast<std::uint32_t>(recorded.size() * 2));
        auto wave = os::MakeAlsaWave({});
        os::WaveHandle out = 0, in = 0;
        ASSERT_EQ(wave->Open(os::WaveDirection::Out, 0, format, 0, os::CALLBACK_NULL, out), 0u)
            << wave->ErrorText(os::MMSYSERR_ERROR);
        ASSERT_EQ(wave->Open(os::WaveDirection::In, 0, format, 0, os::CALLBACK_NULL, in), 0u)
            << wave->ErrorText(os::MMSYSERR_ERROR);
        ASSERT_EQ(wave->PrepareHeader(out, &out_hdr, os::kWaveHdrSize), 0u);
        ASSERT_EQ(wave->PrepareHeader(in, &in_hdr, os::kWaveHdrSize), 0u);
        ASSERT_EQ(wave->Write(out, &out_hdr, os::kWaveHdrSize), 0u);
        ASSERT_EQ(wave->AddBuffer(in, &in_hdr, os::kWaveHdrSize), 0u);
        ASSERT_EQ(wave->Start(in), 0u);
        const auto end = std::chrono::steady_clock::now() + 10s;
        while ((Position(*wave, out) < e2e::kRate / 4 || Position(*wave, in) < e2e::kRate / 4) &&
               std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(10ms);
        ASSERT_GE(Position(*wave, out), e2e::kRate / 4) << "playback did not start";
        ASSERT_GE(Position(*wave, in), e2e::kRate / 4) << "capture did not start";

        const auto before = std::chrono::steady_clock::now();
        os::RunEmergencyStops();
        const auto took = std::chrono::steady_clock::now() - before;
        EXPECT_LT(took, 500ms);
        const std::uint32_t out_at = Position(*wave, out), in_at = Position(*wave, in);
        std::this_thread::sleep_for(300ms);
        EXPECT_EQ(Position(*wave, out), out_at) << "playback goes on";
        EXPECT_EQ(Position(*wave, in), in_at) << "capture goes on";
        EXPECT_LT(out_at, played.size());
        EXPECT_FALSE(out_hdr.dwFlags & os::WHDR_DONE);
        std::printf("stopped both streams in %.1f ms\n",
                    std::chrono::duration<double, std::milli>(took).count());
        // Going down the ordinary way afterwards neither hangs nor fails.
        wave.reset();
    }
    server.Stop();
    if (!HasFailure()) std::filesystem::remove_all(dir);
}
