// Simulated wave devices on the virtual clock: each runs at the exact pace of its format,
// captures from a source the test supplies, keeps everything it played with the time it
// was played, and fails where and when the test asks it to.
#pragma once

#include "os/clock/clock.hpp"
#include "os/wave/wav_file.hpp"
#include "os/wave/wave.hpp"

#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <vector>

namespace os {

// What a simulated microphone hears: a sample for every frame counted from the moment the
// capture stream started, at whatever rate the stream runs.
class CaptureSource {
public:
    // The channel a mono stream asks for: all channels of the source mixed.
    static constexpr unsigned kMonoMix = 0xFFFF;
    virtual ~CaptureSource() = default;
    virtual std::int16_t Sample(std::uint64_t frame, unsigned channel,
                                std::uint32_t rate) const = 0;
};

std::shared_ptr<const CaptureSource> SilenceSource();
std::shared_ptr<const CaptureSource> ToneSource(double hertz, std::int16_t amplitude);
// Interleaved samples recorded at `rate`; silence after the end unless `loop`. A stream
// at another rate takes the nearest earlier sample; a mono stream hears the channels mixed.
std::shared_ptr<const CaptureSource> SamplesSource(std::vector<std::int16_t> samples,
                                                   std::uint16_t channels, std::uint32_t rate,
                                                   bool loop = false);
// Throws std::runtime_error ("WAV: ...") for a file it cannot read.
std::shared_ptr<const CaptureSource> WavSource(std::span<const std::uint8_t> wav_file,
                                               bool loop = false);

class SimWaveService final : public WaveService {
public:
    // Callbacks run on the thread that advances `clock`; every call of the service must
    // come from that thread too (the user-interface thread, as with the message loop).
    SimWaveService(VirtualClock& clock, PostFn post);
    ~SimWaveService() override;
    SimWaveService(const SimWaveService&) = delete;
    SimWaveService& operator=(const SimWaveService&) = delete;

    unsigned NumDevs(Direction dir) override;
    MMRESULT Open(Direction dir, std::uint32_t device, const WaveFormatEx& format,
                  std::uint32_t callback_window, std::uint32_t flags, WaveHandle& out) override;
    MMRESULT PrepareHeader(WaveHandle h, WaveHdr* hdr, std::uint32_t size) override;
    MMRESULT UnprepareHeader(WaveHandle h, WaveHdr* hdr, std::uint32_t size) override;
    MMRESULT AddBuffer(WaveHandle h, WaveHdr* hdr, std::uint32_t size) override;
    MMRESULT Write(WaveHandle h, WaveHdr* hdr, std::uint32_t size) override;
    MMRESULT Start(WaveHandle h) override;
    MMRESULT Reset(WaveHandle h) override;
    MMRESULT Pause(WaveHandle h) override;
    MMRESULT Restart(WaveHandle h) override;
    MMRESULT Close(WaveHandle h) override;
    MMRESULT GetPosition(WaveHandle h, MmTime* time, std::uint32_t size) override;
    std::string ErrorText(MMRESULT code) const override;

    // ---- What a test sets up. One device per direction unless told otherwise.
    void SetNumDevs(Direction dir, unsigned count);
    void SetCaptureSource(unsigned device, std::shared_ptr<const CaptureSource> source);

    enum class Op { Open, Prepare, Start, AddBuffer, Write };
    // From now on, `op` on the device fails with `code` once `after` more of its calls have
    // succeeded, and keeps failing until ClearFailures.
    void FailAfter(Direction dir, unsigned device, Op op, MMRESULT code, unsigned after = 0);
    // The device gives `after` more buffers back and then hangs: no buffer returns and the
    // position stands still until the stream is reset.
    void StallAfter(Direction dir, unsigned device, unsigned after);
    void ClearFailures();
    // The device goes away now, as when the sound server restarts or the microphone is
    // unplugged: its open stream stops where it is and gives back every queued buffer in
    // order, a capture buffer holding only what it recorded before the loss (the ones not
    // begun come back empty). Afterwards the stream's position stands still and adding,
    // writing, starting, pausing and restarting fail with `code`; reset, unprepare and
    // close still work. The next stream opened on the device works again.
    void LoseDevice(Direction dir, unsigned device, MMRESULT code = MMSYSERR_ERROR);

    // ---- What a test reads.
    // A stretch of sound played without a break: one buffer's bytes, from `start` to `end`
    // of virtual time. A pause splits a buffer into two spans; a reset cuts it short.
    struct PlayedSpan {
        TimePoint start;
        TimePoint end;
        std::uint64_t block; // buffers written to the device before this one
        std::vector<std::uint8_t> data;
    };
    const std::vector<PlayedSpan>& Played(unsigned device) const;
    // Everything the device played, in order.
    std::vector<std::uint8_t> PlayedBytes(unsigned device) const;
    void ClearPlayed(unsigned device);
    // Frames a capture device recorded while no buffer was queued, which are lost.
    std::uint64_t LostFrames(unsigned device) const;
    bool IsOpen(Direction dir, unsigned device) const;

private:
    struct Stream;
    struct Device;
    Device& DeviceOf(Direction dir, unsigned device);
    const Device* FindDevice(Direction dir, unsigned device) const;
    Stream* Find(WaveHandle h);
    MMRESULT Injected(Direction dir, unsigned device, Op op);
    MMRESULT Queue(WaveHandle h, WaveHdr* hdr, std::uint32_t size, Direction dir);
    std::uint64_t FramesNow(const Stream& s) const;
    template <class F> void Change(Stream& s, std::uint64_t frames_now, F change);
    void Schedule(Stream& s);
    void Unschedule(Stream& s);
    void OnDue(WaveHandle h);
    template <class F> std::vector<WaveHdr*> Halt(Stream& s, F change);
    void GiveBack(const Stream& s, const std::vector<WaveHdr*>& returned);
    void RecordSpan(Stream& s, std::uint64_t up_to_frame);
    void Post(const Stream& s, std::uint32_t msg, std::intptr_t lparam);
    void Post(bool notify, std::uint32_t window, WaveHandle h, std::uint32_t msg,
              std::intptr_t lparam);

    VirtualClock& clock_;
    PostFn post_;
    unsigned num_in_ = 1;
    unsigned num_out_ = 1;
    WaveHandle next_handle_ = 1;
    std::map<WaveHandle, std::unique_ptr<Stream>> streams_;
    std::map<std::pair<Direction, unsigned>, std::unique_ptr<Device>> devices_;
};

std::unique_ptr<SimWaveService> MakeSimWave(VirtualClock& clock, PostFn post);

} // namespace os
