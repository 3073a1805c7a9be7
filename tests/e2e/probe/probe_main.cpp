// The probe program: the probe form on the real display, logging to standard output, with
// the application icon given to its window. With --play it keeps a quiet tone playing
// through the wave device 0, as a program in the middle of a playback.
#include "framework/application.hpp"
#include "os/real_platform.hpp"
#include "probe_form.hpp"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <numbers>

namespace {

void Log(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// A 32 x 32 icon: a red disc on a transparent ground.
fw::TIcon ProbeIcon() {
    fw::IconImage image;
    image.color = fw::DibImage::TrueColor(32, 32, 24);
    image.mask.assign(32 * 32, 1);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const auto i = static_cast<std::size_t>(y * 32 + x);
            if ((x - 16) * (x - 16) + (y - 16) * (y - 16) >= 14 * 14) continue;
            image.color.pixels[i] = 0xD02020;
            image.mask[i] = 0;
        }
    fw::TIcon icon;
    icon.SetImages({image});
    return icon;
}

// Four blocks of a quiet tone, each written again as soon as it comes back.
class Player {
public:
    ~Player() {
        if (!handle_) return;
        os::WaveService& wave = fw::GetPlatform().GetWave();
        wave.Reset(handle_);
        for (auto& hdr : hdr_)
            wave.UnprepareHeader(handle_, &hdr, os::kWaveHdrSize);
        wave.Close(handle_);
    }
    bool Start() {
        os::WaveService& wave = fw::GetPlatform().GetWave();
        const os::WaveFormatEx format{os::WAVE_FORMAT_PCM, 1, kRate, kRate * 2, 2, 16, 0};
        if (const auto r = wave.Open(os::WaveDirection::Out, 0, format, window_.Handle(),
                                     os::CALLBACK_WINDOW, handle_)) {
            Log("cannot play: " + wave.ErrorText(r));
            return false;
        }
        for (int i = 0; i < kBlocks; ++i) {
            auto& samples = data_[i];
            for (std::size_t n = 0; n < samples.size(); ++n)
                samples[n] = static_cast<std::int16_t>(
                    1000 * std::sin(static_cast<double>(n) * 2 * std::numbers::pi * 440 / kRate));
            hdr_[i] = os::WaveHdr{reinterpret_cast<char*>(samples.data()),
                                  static_cast<std::uint32_t>(samples.size() * 2),
                                  0,
                                  0,
                                  0,
                                  0,
                                  nullptr,
                                  0};
            wave.PrepareHeader(handle_, &hdr_[i], os::kWaveHdrSize);
            wave.Write(handle_, &hdr_[i], os::kWaveHdrSize);
        }
        return true;
    }

private:
    static constexpr std::uint32_t kRate = 22050;
    static constexpr int kBlocks = 4;
    void Returned(fw::TMessage& m) {
        if (m.Msg != fw::MM_WOM_DONE) return;
        if (!playing_) Log("playing");
        playing_ = true;
        fw::GetPlatform().GetWave().Write(handle_, reinterpret_cast<os::WaveHdr*>(m.LParam),
                                          os::kWaveHdrSize);
    }
    fw::HiddenWindow window_{[this](fw::TMessage& m) { Returned(m); }};
    os::WaveHandle handle_ = 0;
    std::array<std::array<std::int16_t, kRate / 10>, kBlocks> data_{};
    std::array<os::WaveHdr, kBlocks> hdr_{};
    bool playing_ = false;
};

} // namespace

int main(int argc, char** argv) {
    const bool play = argc > 1 && std::strcmp(argv[1], "--play") == 0;
    std::unique_ptr<os::RealPlatform> platform;
    try {
        platform = os::RealPlatform::Open();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    fw::Runtime runtime(*platform);
    fw::Application->SetTitle("Probe");
    fw::Application->SetIcon(ProbeIcon());
    probe::CreateProbeForm(Log);
    Player player;
    if (play && !player.Start()) return 1;
    fw::Application->Run();
    Log("exit");
    return 0;
}
