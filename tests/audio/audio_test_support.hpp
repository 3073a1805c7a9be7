// What the audio component tests share: the simulated platform with its virtual clock, an
// owner form with the two components and handlers that the tests give bodies to, a capture
// source whose every sample says which frame it is, and an allocator that counts.
#pragma once

#include "audio/audio_io.hpp"
#include "audio/device_memory.hpp"
#include "framework/application.hpp"
#include "framework/exception_guard.hpp"
#include "os/sim_platform.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace atest {

using Dir = os::WaveDirection;
using Op = os::SimWaveService::Op;

constexpr std::int32_t kBlock = 16384; // bytes, as the main window uses them
constexpr std::int32_t kFrames = kBlock / 2;
constexpr std::uint32_t kRate = 22050;

// The moment at which `frames` frames at `rate` are complete, counted from `from`.
inline os::TimePoint At(std::uint64_t frames, std::uint32_t rate = kRate,
                        os::TimePoint from = os::Nanos(0)) {
    return from + os::Nanos((frames * 1'000'000'000ull + rate - 1) / rate);
}

// Frame f sounds as the 16-bit value f (wrapping), so every captured sample tells where
// in the stream it was taken.
class FrameCounter final : public os::CaptureSource {
public:
    std::int16_t Sample(std::uint64_t frame, unsigned, std::uint32_t) const override {
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(frame));
    }
};

inline std::vector<std::int16_t> Samples(const void* buffer, std::int32_t bytes) {
    std::vector<std::int16_t> s(static_cast<std::size_t>(bytes) / 2);
    std::memcpy(s.data(), buffer, s.size() * 2);
    return s;
}

// The owner: a form holding the components, whose handlers run what a test puts in
// `filled` and `fill`.
class TAudioForm : public fw::TForm {
    FW_CLASS(TAudioForm, fw::TForm)
public:
    using TForm::TForm;
    static void Describe(fw::TClassBuilder<TAudioForm>& c) {
        c.Field("AudioIn1", &TAudioForm::AudioIn1);
        c.Field("AudioOut1", &TAudioForm::AudioOut1);
        c.Method<&TAudioForm::AudioIn1BufferFilled>("AudioIn1BufferFilled");
        c.Method<&TAudioForm::AudioOut1FillBuffer>("AudioOut1FillBuffer");
        c.Method<&TAudioForm::AudioStart>("AudioStart");
        c.Method<&TAudioForm::AudioStop>("AudioStop");
    }
    audio::TAudioIn* AudioIn1 = nullptr;
    audio::TAudioOut* AudioOut1 = nullptr;
    std::function<bool(void* Buffer, std::int32_t& Size)> filled;
    std::function<bool(void* Buffer, std::int32_t& Size)> fill;
    std::vector<fw::TObject*> started;
    std::vector<fw::TObject*> stopped;
    std::function<void(fw::TObject* Sender)> stop;

    bool AudioIn1BufferFilled(void* Buffer, std::int32_t& Size) {
        return filled ? filled(Buffer, Size) : true;
    }
    bool AudioOut1FillBuffer(void* Buffer, std::int32_t& Size) {
        return fill ? fill(Buffer, Size) : false;
    }
    void AudioStart(fw::TObject* Sender) { started.push_back(Sender); }
    void AudioStop(fw::TObject* Sender) {
        stopped.push_back(Sender);
        if (stop) stop(Sender);
    }
};

// Counts the device memory handed out, and refuses it on request.
struct CountingAllocator {
    int allocations = 0;
    std::vector<std::size_t> sizes;
    std::function<bool(std::size_t bytes)> refuse;
    audio::TDeviceAllocator previous;

    CountingAllocator() {
        previous = audio::SetDeviceAllocator([this](std::size_t bytes, bool zeroed) {
            if (refuse && refuse(bytes)) return audio::TDeviceBlock();
            ++allocations;
            sizes.push_back(bytes);
            return audio::TDeviceBlock(zeroed ? new std::byte[bytes]() : new std::byte[bytes]);
        });
    }
    ~CountingAllocator() { audio::SetDeviceAllocator(previous); }
    CountingAllocator(const CountingAllocator&) = delete;
    CountingAllocator& operator=(const CountingAllocator&) = delete;
};

class AudioTest : public ::testing::Test {
protected:
    os::SimPlatform platform;
    fw::Runtime runtime{platform};
    os::SimWaveService& wave = platform.SimWave();
    std::unique_ptr<TAudioForm> form = std::make_unique<TAudioForm>(nullptr);
    std::vector<std::string> exceptions;
    fw::TExceptionHandler previous_handler =
        fw::SetExceptionHandler([this](fw::TObject*, std::exception_ptr e) {
            try {
                std::rethrow_exception(e);
            } catch (const std::exception& x) {
                exceptions.push_back(x.what());
            }
        });

    ~AudioTest() override {
        form.reset();
        fw::SetExceptionHandler(previous_handler);
    }

    os::TimePoint Now() { return platform.Virtual().Monotonic(); }
    void Run(os::Nanos span) { runtime.Loop().RunFor(span); }
    void RunTo(os::TimePoint t) {
        if (t > Now()) Run(t - Now());
    }

    // The main window's settings: 16384-byte blocks, 22050 frames per second, 16-bit
    // mono, device 0.
    audio::TAudioIn& MakeIn() {
        form->AudioIn1 = fw::New<audio::TAudioIn>(*form);
        auto& in = *form->AudioIn1;
        in.SetBufferSize(kBlock);
        in.SetFrameRate(kRate);
        in.SetWaveDevice(0);
        in.OnBufferFilled = fw::Bind<&TAudioForm::AudioIn1BufferFilled>(*form);
        return in;
    }
    audio::TAudioOut& MakeOut() {
        form->AudioOut1 = fw::New<audio::TAudioOut>(*form);
        auto& out = *form->AudioOut1;
        out.SetBufferSize(kBlock);
        out.SetFrameRate(kRate);
        out.SetWaveDevice(0);
        out.OnFillBuffer = fw::Bind<&TAudioForm::AudioOut1FillBuffer>(*form);
        return out;
    }
};

} // namespace atest
