// The signals a simulated microphone can hear: silence, a tone, given samples, a WAV file.
#include "os/wave/sim_wave.hpp"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <stdexcept>

namespace os {

namespace {

class Silence final : public CaptureSource {
public:
    std::int16_t Sample(std::uint64_t, unsigned, std::uint32_t) const override { return 0; }
};

class Tone final : public CaptureSource {
public:
    Tone(double hertz, std::int16_t amplitude) : hertz_(hertz), amplitude_(amplitude) {}
    std::int16_t Sample(std::uint64_t frame, unsigned, std::uint32_t rate) const override {
        // The phase from the frame number alone, so that no error builds up over time.
        const double cycles = std::fmod(static_cast<double>(frame) * hertz_ / rate, 1.0);
        return static_cast<std::int16_t>(
            std::lround(amplitude_ * std::sin(2 * std::numbers::pi * cycles)));
    }

private:
    double hertz_;
    std::int16_t amplitude_;
};

class Samples final : public CaptureSource {
public:
    Samples(std::vector<std::int16_t> samples, std::uint16_t channels, std::uint32_t rate,
            bool loop)
        : samples_(std::move(samples)), channels_(channels), rate_(rate), loop_(loop) {
        if (channels_ == 0) throw std::invalid_argument("capture source with 0 channels");
        if (rate_ == 0) throw std::invalid_argument("capture source with rate 0");
        samples_.resize(samples_.size() - samples_.size() % channels_);
    }
    std::int16_t Sample(std::uint64_t frame, unsigned channel, std::uint32_t rate) const override {
        const std::uint64_t frames = samples_.size() / channels_;
        if (frames == 0 || rate == 0) return 0;
        std::uint64_t at = frame;
        if (rate != rate_) at = (frame / rate) * rate_ + (frame % rate) * rate_ / rate;
        if (at >= frames) {
            if (!loop_) return 0;
            at %= frames;
        }
        const std::int16_t* f = &samples_[at * channels_];
        if (channel == kMonoMix) {
            long sum = 0;
            for (unsigned c = 0; c < channels_; ++c)
                sum += f[c];
            return static_cast<std::int16_t>(sum / channels_);
        }
        return f[std::min<unsigned>(channel, channels_ - 1u)];
    }

private:
    std::vector<std::int16_t> samples_;
    std::uint16_t channels_;
    std::uint32_t rate_;
    bool loop_;
};

} // namespace

std::shared_ptr<const CaptureSource> SilenceSource() {
    return std::make_shared<Silence>();
}

std::shared_ptr<const CaptureSource> ToneSource(double hertz, std::int16_t amplitude) {
    return std::make_shared<Tone>(hertz, amplitude);
}

std::shared_ptr<const CaptureSource> SamplesSource(std::vector<std::int16_t> samples,
                                                   std::uint16_t channels, std::uint32_t rate,
                                                   bool loop) {
    return std::make_shared<Samples>(std::move(samples), channels, rate, loop);
}

std::shared_ptr<const CaptureSource> WavSource(std::span<const std::uint8_t> wav_file, bool loop) {
    WavAudio audio = ReadWav(wav_file);
    return SamplesSource(std::move(audio.samples), audio.channels, audio.rate, loop);
}

} // namespace os
