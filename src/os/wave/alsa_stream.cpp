// The ALSA stream: PCM set-up, the worker's transfers in non-blocking mode with poll on
// the PCM's descriptors and a wake-up eventfd, recovery from xruns, and the calls that the
// service forwards. Every PCM call happens under the stream's mutex; only poll runs
// without it, so calls from the user-interface thread never wait for a transfer.
#include "os/wave/alsa_stream.hpp"

#include "os/wave/wave_common.hpp"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace os::alsa {

namespace wc = wave_common;

namespace {

MMRESULT OpenErrorCode(int err) {
    switch (-err) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
    case ECONNREFUSED:
        return MMSYSERR_NODRIVER;
    case EBUSY:
    case EAGAIN:
        return MMSYSERR_ALLOCATED;
    case ENOMEM:
        return MMSYSERR_NOMEM;
    default:
        return MMSYSERR_ERROR;
    }
}

struct HwParams {
    snd_pcm_hw_params_t* p = nullptr;
    HwParams() { snd_pcm_hw_params_malloc(&p); }
    ~HwParams() { snd_pcm_hw_params_free(p); }
};
struct SwParams {
    snd_pcm_sw_params_t* p = nullptr;
    SwParams() { snd_pcm_sw_params_malloc(&p); }
    ~SwParams() { snd_pcm_sw_params_free(p); }
};

} // namespace

const char* AlsaStream::DirName() const {
    return setup_.dir == WaveDirection::In ? "capture" : "playback";
}

MMRESULT AlsaStream::Open(const Setup& setup, bool query_only, std::unique_ptr<AlsaStream>& out) {
    std::unique_ptr<AlsaStream> s(new AlsaStream(setup));
    const auto stream =
        setup.dir == WaveDirection::In ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
    if (int err = snd_pcm_open(&s->pcm_, setup.pcm_name.c_str(), stream, SND_PCM_NONBLOCK);
        err < 0) {
        s->pcm_ = nullptr;
        const MMRESULT code = OpenErrorCode(err);
        setup.service->NoteAlsaError(
            code, "snd_pcm_open \"" + setup.pcm_name + "\" for " + s->DirName(), err);
        return code;
    }
    if (MMRESULT r = s->Configure()) return r;
    if (query_only) return MMSYSERR_NOERROR;
    s->wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (s->wake_fd_ < 0) {
        setup.service->NoteAlsaError(MMSYSERR_NOMEM, "eventfd", -errno);
        return MMSYSERR_NOMEM;
    }
    s->scratch_.resize(s->period_ * setup.format.nBlockAlign);
    s->worker_ = std::thread([raw = s.get()] { raw->Run(); });
    out = std::move(s);
    return MMSYSERR_NOERROR;
}

MMRESULT AlsaStream::Configure() {
    const WaveFormatEx& f = setup_.format;
    AlsaWaveService& service = *setup_.service;
    const std::string on = " on \"" + setup_.pcm_name + "\"";
    HwParams hw;
    SwParams sw;
    if (!hw.p || !sw.p) return MMSYSERR_NOMEM;
    int err = 0;
    auto fail = [&](MMRESULT code, const char* what) {
        service.NoteAlsaError(code, std::string(what) + on, err);
        return code;
    };
    if ((err = snd_pcm_hw_params_any(pcm_, hw.p)) < 0)
        return fail(MMSYSERR_ERROR, "snd_pcm_hw_params_any");
    snd_pcm_hw_params_set_rate_resample(pcm_, hw.p, 1);
    if ((err = snd_pcm_hw_params_set_access(pcm_, hw.p, SND_PCM_ACCESS_RW_INTERLEAVED)) < 0)
        return fail(WAVERR_BADFORMAT, "snd_pcm_hw_params_set_access");
    const auto format = f.wBitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
    if ((err = snd_pcm_hw_params_set_format(pcm_, hw.p, format)) < 0)
        return fail(WAVERR_BADFORMAT, "snd_pcm_hw_params_set_format");
    if ((err = snd_pcm_hw_params_set_channels(pcm_, hw.p, f.nChannels)) < 0)
        return fail(WAVERR_BADFORMAT, "snd_pcm_hw_params_set_channels");
    if ((err = snd_pcm_hw_params_set_rate(pcm_, hw.p, f.nSamplesPerSec, 0)) < 0)
        return fail(WAVERR_BADFORMAT, "snd_pcm_hw_params_set_rate");
    unsigned buffer_us = setup_.options->buffer_us;
    unsigned period_us = setup_.options->period_us;
    int dir = 0;
    if ((err = snd_pcm_hw_params_set_buffer_time_near(pcm_, hw.p, &buffer_us, &dir)) < 0)
        return fail(MMSYSERR_ERROR, "snd_pcm_hw_params_set_buffer_time_near");
    if ((err = snd_pcm_hw_params_set_period_time_near(pcm_, hw.p, &period_us, &dir)) < 0)
        return fail(MMSYSERR_ERROR, "snd_pcm_hw_params_set_period_time_near");
    if ((err = snd_pcm_hw_params(pcm_, hw.p)) < 0)
        return fail(WAVERR_BADFORMAT, "snd_pcm_hw_params");
    snd_pcm_hw_params_get_buffer_size(hw.p, &buffer_);
    snd_pcm_hw_params_get_period_size(hw.p, &period_, &dir);
    if (period_ == 0 || buffer_ == 0) {
        err = -EINVAL;
        return fail(MMSYSERR_ERROR, "empty device ring");
    }
    can_pause_ = snd_pcm_hw_params_can_pause(hw.p) && !setup_.options->emulate_pause;

    if ((err = snd_pcm_sw_params_current(pcm_, sw.p)) < 0)
        return fail(MMSYSERR_ERROR, "snd_pcm_sw_params_current");
    snd_pcm_sw_params_set_avail_min(pcm_, sw.p, period_);
    // Playback is started explicitly once the first write has filled what it could.
    if (setup_.dir == WaveDirection::Out)
        snd_pcm_sw_params_set_start_threshold(pcm_, sw.p, buffer_);
    if ((err = snd_pcm_sw_params(pcm_, sw.p)) < 0) return fail(MMSYSERR_ERROR, "snd_pcm_sw_params");
    if ((err = snd_pcm_prepare(pcm_)) < 0) return fail(MMSYSERR_ERROR, "snd_pcm_prepare");
    return MMSYSERR_NOERROR;
}

AlsaStream::~AlsaStream() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    if (worker_.joinable()) {
        Wake();
        worker_.join();
    }
    if (pcm_) {
        snd_pcm_drop(pcm_);
        snd_pcm_close(pcm_);
    }
    if (wake_fd_ >= 0) close(wake_fd_);
}

void AlsaStream::Wake() {
    const std::uint64_t one = 1;
    // A full counter already means a wake-up is pending.
    [[maybe_unused]] ssize_t n = write(wake_fd_, &one, sizeof one);
}

// The device is lost: every queued buffer goes back (what capture got is kept), so that
// the owner's next call learns the failure instead of waiting for buffers forever.
void AlsaStream::Fail(const char* what, int err) {
    failed_ = MMSYSERR_ERROR;
    setup_.service->NoteAlsaError(failed_, std::string(what) + " on \"" + setup_.pcm_name + "\"",
                                  err);
    std::deque<Pending> returned;
    returned.swap(queue_);
    for (const Pending& p : returned) {
        if (setup_.dir == WaveDirection::In)
            p.hdr->dwBytesRecorded = static_cast<std::uint32_t>(p.done * setup_.format.nBlockAlign);
        wc::MarkDone(*p.hdr);
    }
    for (const Pending& p : returned)
        Give(p);
}

// An xrun or a suspend: recover and go on. Anything else ends the transfers for good.
bool AlsaStream::Recover(int err, const char* what) {
    if (err == -EPIPE) {
        if (setup_.dir == WaveDirection::Out) {
            // The ring ran dry, so everything written has been heard.
            played_ = written_;
            ring_base_ = written_;
            if (written_ < queued_end_) ++xruns_.underruns;
        } else {
            ++xruns_.overruns;
        }
    }
    if (int r = snd_pcm_recover(pcm_, err, 1); r < 0) {
        Fail(what, err);
        return false;
    }
    if (setup_.dir == WaveDirection::In && started_) {
        if (int r = snd_pcm_start(pcm_); r < 0) {
            Fail("snd_pcm_start", r);
            return false;
        }
    }
    return true;
}

void AlsaStream::Give(const Pending& p) {
    wc::MarkDone(*p.hdr);
    if (setup_.notify && *setup_.post)
        (*setup_.post)(setup_.window, setup_.dir == WaveDirection::In ? MM_WIM_DATA : MM_WOM_DONE,
                       setup_.handle, reinterpret_cast<std::intptr_t>(p.hdr));
}

std::uint64_t AlsaStream::Played() {
    std::uint64_t p = played_;
    switch (snd_pcm_state(pcm_)) {
    case SND_PCM_STATE_XRUN:
        p = written_;
        break;
    case SND_PCM_STATE_RUNNING:
    case SND_PCM_STATE_DRAINING:
    case SND_PCM_STATE_PAUSED: {
        snd_pcm_sframes_t delay = 0;
        if (snd_pcm_delay(pcm_, &delay) == 0) {
            const auto in_ring = static_cast<snd_pcm_sframes_t>(written_ - ring_base_);
            p = written_ -
                static_cast<std::uint64_t>(std::clamp<snd_pcm_sframes_t>(delay, 0, in_ring));
        }
        break;
    }
    default: // prepared: nothing of the ring has been played yet
        p = ring_base_;
        break;
    }
    played_ = std::clamp(p, played_, written_);
    return played_;
}

void AlsaStream::PumpPlayback() {
    const std::size_t align = setup_.format.nBlockAlign;
    while (written_ < queued_end_) {
        auto it = std::find_if(queue_.begin(), queue_.end(),
                               [&](const Pending& p) { return p.end > written_; });
        if (it == queue_.end()) break;
        const snd_pcm_sframes_t avail = snd_pcm_avail(pcm_);
        if (avail < 0) {
            if (!Recover(static_cast<int>(avail), "snd_pcm_avail")) return;
            continue;
        }
        if (avail == 0) break;
        const std::uint64_t offset = written_ - (it->end - it->frames);
        const auto n =
            std::min<std::uint64_t>(static_cast<std::uint64_t>(avail), it->end - written_);
        const snd_pcm_sframes_t r = snd_pcm_writei(pcm_, it->hdr->lpData + offset * align, n);
        if (r == -EAGAIN) break;
        if (r < 0) {
            if (!Recover(static_cast<int>(r), "snd_pcm_writei")) return;
            continue;
        }
        written_ += static_cast<std::uint64_t>(r);
    }
    if (written_ > ring_base_ && snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED) {
        if (int r = snd_pcm_start(pcm_); r < 0) Recover(r, "snd_pcm_start");
    }
}

void AlsaStream::ReturnPlayed() {
    const std::uint64_t played = Played();
    while (!queue_.empty() && queue_.front().end <= played) {
        const Pending p = queue_.front();
        queue_.pop_front();
        Give(p);
    }
}

void AlsaStream::PumpCapture() {
    const std::size_t align = setup_.format.nBlockAlign;
    for (;;) {
        while (!queue_.empty() && queue_.front().done == queue_.front().frames) {
            const Pending p = queue_.front();
            queue_.pop_front();
            p.hdr->dwBytesRecorded = static_cast<std::uint32_t>(p.frames * align);
            Give(p);
        }
        const snd_pcm_sframes_t avail = snd_pcm_avail(pcm_);
        if (avail < 0) {
            if (!Recover(static_cast<int>(avail), "snd_pcm_avail")) return;
            continue;
        }
        if (avail == 0) return;
        // With no buffer queued the sound has nowhere to go and is dropped.
        char* to = scratch_.data();
        std::uint64_t n = std::min<std::uint64_t>(static_cast<std::uint64_t>(avail), period_);
        if (!queue_.empty()) {
            Pending& head = queue_.front();
            to = head.hdr->lpData + head.done * align;
            n = std::min<std::uint64_t>(static_cast<std::uint64_t>(avail), head.frames - head.done);
        }
        const snd_pcm_sframes_t r = snd_pcm_readi(pcm_, to, n);
        if (r == -EAGAIN) return;
        if (r < 0) {
            if (!Recover(static_cast<int>(r), "snd_pcm_readi")) return;
            continue;
        }
        read_ += static_cast<std::uint64_t>(r);
        if (!queue_.empty()) queue_.front().done += static_cast<std::uint64_t>(r);
    }
}

void AlsaStream::Run() {
    std::unique_lock lock(mutex_);
    std::vector<pollfd> fds;
    while (!quit_) {
        bool want_pcm = false;
        int timeout = -1;
        if (!failed_) {
            if (setup_.dir == WaveDirection::Out && !paused_) {
                PumpPlayback();
                ReturnPlayed();
                want_pcm = written_ < queued_end_;
                if (!queue_.empty()) {
                    // Look again when the oldest block should have been heard, and at
                    // least once a period, since the delay is an estimate.
                    const std::uint64_t left = queue_.front().end - played_;
                    const auto ms =
                        static_cast<int>(left * 1000 / setup_.format.nSamplesPerSec) + 1;
                    const auto period_ms =
                        static_cast<int>(period_ * 1000 / setup_.format.nSamplesPerSec) + 1;
                    timeout = std::min(ms, period_ms);
                }
            } else if (setup_.dir == WaveDirection::In && started_) {
                PumpCapture();
                want_pcm = !failed_;
            }
        }
        fds.assign(1, pollfd{wake_fd_, POLLIN, 0});
        int npcm = 0;
        if (want_pcm && !failed_) {
            npcm = std::max(0, snd_pcm_poll_descriptors_count(pcm_));
            fds.resize(1 + npcm);
            npcm = std::max(0, snd_pcm_poll_descriptors(pcm_, fds.data() + 1, npcm));
            fds.resize(1 + npcm);
            // A PCM whose descriptors fail to wake us is still served before its ring fills.
            const auto guard_ms =
                static_cast<int>(buffer_ * 1000 / setup_.format.nSamplesPerSec / 2) + 1;
            timeout = timeout < 0 ? guard_ms : std::min(timeout, guard_ms);
        }
        lock.unlock();
        int r;
        do {
            r = poll(fds.data(), fds.size(), timeout);
        } while (r < 0 && errno == EINTR);
        lock.lock();
        if (fds[0].revents & POLLIN) {
            std::uint64_t count;
            [[maybe_unused]] ssize_t n = read(wake_fd_, &count, sizeof count);
        }
        if (npcm > 0 && !quit_) {
            // Lets plug-ins that poll on their own descriptors clear them.
            unsigned short revents = 0;
            snd_pcm_poll_descriptors_revents(pcm_, fds.data() + 1, npcm, &revents);
        }
    }
}

MMRESULT AlsaStream::Prepare(WaveHdr& hdr) {
    std::lock_guard lock(mutex_);
    return wc::Prepare(hdr);
}

MMRESULT AlsaStream::Unprepare(WaveHdr& hdr) {
    std::lock_guard lock(mutex_);
    return wc::Unprepare(hdr);
}

MMRESULT AlsaStream::Queue(WaveHdr& hdr) {
    {
        std::lock_guard lock(mutex_);
        if (MMRESULT r = wc::CanEnqueue(hdr)) return r;
        if (failed_) return failed_;
        wc::Enqueue(hdr, setup_.dir);
        const std::uint64_t frames = wc::FramesIn(hdr.dwBufferLength, setup_.format);
        queued_end_ += frames;
        queue_.push_back({&hdr, frames, queued_end_, 0});
    }
    Wake();
    return MMSYSERR_NOERROR;
}

MMRESULT AlsaStream::Start() {
    {
        std::lock_guard lock(mutex_);
        if (failed_) return failed_;
        if (started_) return MMSYSERR_NOERROR;
        if (int err = snd_pcm_start(pcm_); err < 0) {
            setup_.service->NoteAlsaError(MMSYSERR_ERROR,
                                          "snd_pcm_start on \"" + setup_.pcm_name + "\"", err);
            return MMSYSERR_ERROR;
        }
        started_ = true;
    }
    Wake();
    return MMSYSERR_NOERROR;
}

// Empties the device ring and takes the position back to what has been heard, so that the
// rest of the queued sound is written again later.
void AlsaStream::DropKeepingTheRest() {
    const std::uint64_t played = Played();
    snd_pcm_drop(pcm_);
    snd_pcm_prepare(pcm_);
    written_ = played;
    ring_base_ = played;
    hw_paused_ = false;
}

MMRESULT AlsaStream::Reset() {
    std::deque<Pending> returned;
    {
        std::lock_guard lock(mutex_);
        snd_pcm_drop(pcm_);
        snd_pcm_prepare(pcm_);
        if (setup_.dir == WaveDirection::In && !queue_.empty())
            queue_.front().hdr->dwBytesRecorded =
                static_cast<std::uint32_t>(queue_.front().done * setup_.format.nBlockAlign);
        returned.swap(queue_);
        written_ = queued_end_ = ring_base_ = played_ = 0;
        hw_paused_ = false;
        started_ = false;
        read_ = 0;
        // Every returned header is marked before the first notification goes out.
        for (const Pending& p : returned)
            wc::MarkDone(*p.hdr);
        for (const Pending& p : returned)
            Give(p);
    }
    Wake();
    return MMSYSERR_NOERROR;
}

MMRESULT AlsaStream::Pause() {
    {
        std::lock_guard lock(mutex_);
        if (paused_) return MMSYSERR_NOERROR;
        Played();
        paused_ = true;
        if (failed_) return MMSYSERR_NOERROR;
        if (snd_pcm_state(pcm_) == SND_PCM_STATE_RUNNING && can_pause_ &&
            snd_pcm_pause(pcm_, 1) == 0)
            hw_paused_ = true;
        else
            DropKeepingTheRest();
    }
    Wake();
    return MMSYSERR_NOERROR;
}

MMRESULT AlsaStream::Restart() {
    MMRESULT result;
    {
        std::lock_guard lock(mutex_);
        if (!paused_) return MMSYSERR_NOERROR;
        paused_ = false;
        if (hw_paused_) {
            hw_paused_ = false;
            if (snd_pcm_pause(pcm_, 0) < 0) DropKeepingTheRest();
        }
        result = failed_;
    }
    Wake();
    return result;
}

std::uint64_t AlsaStream::Position() {
    std::lock_guard lock(mutex_);
    if (setup_.dir == WaveDirection::In) return read_;
    return paused_ || failed_ ? played_ : Played();
}

MMRESULT AlsaStream::Shutdown() {
    {
        std::lock_guard lock(mutex_);
        if (!queue_.empty()) return WAVERR_STILLPLAYING;
        quit_ = true;
    }
    Wake();
    if (worker_.joinable()) worker_.join();
    return MMSYSERR_NOERROR;
}

AlsaWaveService::XrunCounts AlsaStream::Xruns() {
    std::lock_guard lock(mutex_);
    return xruns_;
}

void AlsaStream::StopNow(std::chrono::milliseconds patience) {
    std::unique_lock lock(mutex_, std::defer_lock);
    const auto until = std::chrono::steady_clock::now() + patience;
    while (!lock.try_lock()) {
        if (std::chrono::steady_clock::now() >= until) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    quit_ = true;
    snd_pcm_drop(pcm_);
    lock.unlock();
    Wake();
}

} // namespace os::alsa
