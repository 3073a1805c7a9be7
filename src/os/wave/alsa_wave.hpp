// Wave devices on ALSA. Device 0 (and WAVE_MAPPER) is ALSA's "default" PCM, so the
// desktop's sound server picks the microphone and the speaker; further numbers are the
// other PCMs that ALSA lists for the direction. Each open stream has a worker thread that
// moves the samples and posts the notifications.
#pragma once

#include "os/emergency.hpp"
#include "os/wave/wave.hpp"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace os {

namespace alsa {
class AlsaStream;
}

struct AlsaWaveOptions {
    // The PCM behind device 0 and WAVE_MAPPER.
    std::string default_pcm = "default";
    // The device ring: how often the worker is woken, and how much sound is ahead of
    // what is heard (playback) or may wait to be read (capture).
    unsigned period_us = 10000;
    unsigned buffer_us = 100000;
    // Pause playback by dropping the device's ring and writing the rest again on restart,
    // even where the device can pause by itself.
    bool emulate_pause = false;
};

class AlsaWaveService final : public WaveService {
public:
    explicit AlsaWaveService(PostFn post, AlsaWaveOptions options = {});
    // Streams still open are stopped and closed, without notifications.
    ~AlsaWaveService() override;
    AlsaWaveService(const AlsaWaveService&) = delete;
    AlsaWaveService& operator=(const AlsaWaveService&) = delete;

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

    // The ALSA name of a device, empty for a number that is none.
    std::string DeviceName(Direction dir, std::uint32_t device) const;

    // Underruns (playback ran dry while it had sound to play) and overruns (capture lost
    // sound because it was not read in time), each recovered without ending the stream.
    struct XrunCounts {
        std::uint64_t underruns = 0;
        std::uint64_t overruns = 0;
    };
    // Of one open stream; zero for a handle that is not open.
    XrunCounts Xruns(WaveHandle h) const;
    // Of every stream this service has had, open or closed.
    XrunCounts TotalXruns() const;

    // For the streams: remembers ALSA's text for a failure reported as `code`.
    void NoteAlsaError(MMRESULT code, const std::string& what, int alsa_error);

    // Stops every open stream at once, for a process that is going down: registered as an
    // emergency stop for the service's lifetime.
    void StopAllNow();

private:
    std::shared_ptr<alsa::AlsaStream> Find(WaveHandle h) const;
    // The open stream behind a handle, for a call on it: MMSYSERR_INVALHANDLE, and no
    // stream, when the handle is not open or its stream goes the other way than `dir`
    // where the call is for one direction only.
    struct Lookup {
        std::shared_ptr<alsa::AlsaStream> stream;
        MMRESULT error = MMSYSERR_NOERROR;
    };
    Lookup CheckedStream(WaveHandle h, std::optional<Direction> dir = std::nullopt) const;

    PostFn post_;
    AlsaWaveOptions options_;
    std::vector<std::string> in_names_;
    std::vector<std::string> out_names_;
    mutable std::mutex mutex_; // guards what follows
    WaveHandle next_handle_ = 1;
    std::map<WaveHandle, std::shared_ptr<alsa::AlsaStream>> streams_;
    std::map<MMRESULT, std::string> alsa_text_;
    XrunCounts closed_xruns_;
    EmergencyStopId emergency_stop_ = 0;
};

std::unique_ptr<AlsaWaveService> MakeAlsaWave(PostFn post, AlsaWaveOptions options = {});

} // namespace os
