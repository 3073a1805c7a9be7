// One open ALSA PCM and the worker thread that serves it: queued headers go to the device
// in order, and come back, one notification each, when they have been played or filled.
// Internal to the ALSA wave back end.
#pragma once

#include "os/wave/alsa_wave.hpp"

#include <alsa/asoundlib.h>

#include <chrono>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace os::alsa {

class AlsaStream {
public:
    struct Setup {
        AlsaWaveService* service;
        const PostFn* post;
        WaveHandle handle;
        WaveDirection dir;
        std::string pcm_name;
        WaveFormatEx format;
        std::uint32_t window;
        bool notify;
        const AlsaWaveOptions* options;
    };
    // Opens and configures the PCM. With `query_only` the PCM is closed again and only
    // the result tells whether the format is taken.
    static MMRESULT Open(const Setup& setup, bool query_only, std::unique_ptr<AlsaStream>& out);
    ~AlsaStream();
    AlsaStream(const AlsaStream&) = delete;
    AlsaStream& operator=(const AlsaStream&) = delete;

    WaveDirection Dir() const { return setup_.dir; }
    const WaveFormatEx& Format() const { return setup_.format; }
    // Whether and where notifications go.
    std::pair<bool, std::uint32_t> Target() const { return {setup_.notify, setup_.window}; }
    MMRESULT Prepare(WaveHdr& hdr);
    MMRESULT Unprepare(WaveHdr& hdr);
    MMRESULT Queue(WaveHdr& hdr);
    MMRESULT Start();
    MMRESULT Reset();
    MMRESULT Pause();
    MMRESULT Restart();
    std::uint64_t Position();
    // Stops the worker, unless buffers are queued (WAVERR_STILLPLAYING).
    MMRESULT Shutdown();
    AlsaWaveService::XrunCounts Xruns();
    // For a process that is going down: drops what the device holds and tells the worker to
    // quit, without notifications. Gives up after `patience` when a call hung in the device
    // keeps the stream locked.
    void StopNow(std::chrono::milliseconds patience);

private:
    struct Pending {
        WaveHdr* hdr;
        std::uint64_t frames;
        std::uint64_t end;  // playback: stream frame after its last frame
        std::uint64_t done; // capture: frames filled
    };

    explicit AlsaStream(const Setup& setup) : setup_(setup) {}
    MMRESULT Configure();
    void Run();
    void Wake();
    void PumpPlayback();
    void ReturnPlayed();
    void PumpCapture();
    void Give(const Pending& p);
    std::uint64_t Played();
    void DropKeepingTheRest();
    bool Recover(int err, const char* what);
    void Fail(const char* what, int err);
    const char* DirName() const;

    Setup setup_;
    snd_pcm_t* pcm_ = nullptr;
    int wake_fd_ = -1;
    snd_pcm_uframes_t period_ = 0;
    snd_pcm_uframes_t buffer_ = 0;
    bool can_pause_ = false;
    std::thread worker_;

    std::mutex mutex_; // guards the PCM and everything below
    std::deque<Pending> queue_;
    bool quit_ = false;
    MMRESULT failed_ = MMSYSERR_NOERROR;
    AlsaWaveService::XrunCounts xruns_;
    // Playback, in frames since the open or the last reset.
    std::uint64_t written_ = 0;    // given to the device
    std::uint64_t queued_end_ = 0; // end of the last queued block
    std::uint64_t ring_base_ = 0;  // written_ when the device ring was last emptied
    std::uint64_t played_ = 0;     // heard, never decreasing
    bool paused_ = false;
    bool hw_paused_ = false;
    // Capture.
    bool started_ = false;
    std::uint64_t read_ = 0;
    std::vector<char> scratch_;
};

} // namespace os::alsa
