// Simulated wave devices. Each stream keeps a time line anchored at a moment of virtual
// time: while it runs, its frame count grows at exactly the format's rate from that anchor,
// and the end of the buffer at the head of its queue is one scheduled clock callback.
// Anchors move only when the stream stops or resumes, so buffer ends land on exact frame
// times however many buffers pass.
#include "os/wave/sim_wave.hpp"

#include "os/wave/wave_common.hpp"

#include <deque>
#include <optional>

namespace os {

namespace wc = wave_common;

namespace {
constexpr std::uint64_t kNanosPerSecond = 1'000'000'000;

// Whole frames in `span` at `rate`, without overflow for any span a test can run.
std::uint64_t FramesIn(Nanos span, std::uint32_t rate) {
    if (span.count() <= 0) return 0;
    const auto ns = static_cast<std::uint64_t>(span.count());
    return ns / kNanosPerSecond * rate + ns % kNanosPerSecond * rate / kNanosPerSecond;
}

// The first moment at which `frames` frames at `rate` are complete.
Nanos TimeOf(std::uint64_t frames, std::uint32_t rate) {
    const std::uint64_t whole = frames / rate * kNanosPerSecond;
    const std::uint64_t part = (frames % rate * kNanosPerSecond + rate - 1) / rate;
    return Nanos(static_cast<std::int64_t>(whole + part));
}
} // namespace

struct SimWaveService::Device {
    struct Failure {
        MMRESULT code;
        unsigned left;
    };
    std::map<Op, Failure> failures;
    std::optional<unsigned> returns_left;
    std::shared_ptr<const CaptureSource> source = SilenceSource();
    bool open = false;
    std::vector<PlayedSpan> played;
    std::uint64_t lost = 0;
};

struct SimWaveService::Stream {
    struct Pending {
        WaveHdr* hdr;
        std::uint64_t first; // stream frame where the buffer begins
        std::uint64_t frames;
        std::uint64_t block;
        std::uint64_t End() const { return first + frames; }
    };
    WaveHandle handle = 0;
    Direction dir = Direction::Out;
    unsigned device = 0;
    WaveFormatEx format{};
    std::uint32_t window = 0;
    bool notify = false;
    std::deque<Pending> queue;
    std::uint64_t next_frame = 0;
    std::uint64_t blocks = 0;
    // While running, frames = anchor_frames + frames elapsed since anchor_time.
    TimePoint anchor_time{0};
    std::uint64_t anchor_frames = 0;
    bool started = false; // capture
    bool paused = false;  // playback
    bool stalled = false;
    // Not NOERROR once the device has been lost: what the calls that need it answer.
    MMRESULT gone = MMSYSERR_NOERROR;
    std::optional<VirtualClock::Token> timer;
    // Where the sound of the playing buffer began: its first frame since the last break.
    TimePoint span_time{0};
    std::uint64_t span_from = 0;

    bool Running() const {
        if (stalled || gone) return false;
        return dir == Direction::In ? started : !paused && !queue.empty();
    }
};

SimWaveService::SimWaveService(VirtualClock& clock, PostFn post)
    : clock_(clock), post_(std::move(post)) {}

SimWaveService::~SimWaveService() {
    for (auto& [h, s] : streams_)
        Unschedule(*s);
}

std::unique_ptr<SimWaveService> MakeSimWave(VirtualClock& clock, PostFn post) {
    return std::make_unique<SimWaveService>(clock, std::move(post));
}

unsigned SimWaveService::NumDevs(Direction dir) {
    return dir == Direction::In ? num_in_ : num_out_;
}

void SimWaveService::SetNumDevs(Direction dir, unsigned count) {
    (dir == Direction::In ? num_in_ : num_out_) = count;
}

SimWaveService::Device& SimWaveService::DeviceOf(Direction dir, unsigned device) {
    auto& d = devices_[{dir, device}];
    if (!d) d = std::make_unique<Device>();
    return *d;
}

const SimWaveService::Device* SimWaveService::FindDevice(Direction dir, unsigned device) const {
    auto it = devices_.find({dir, device});
    return it == devices_.end() ? nullptr : it->second.get();
}

SimWaveService::Stream* SimWaveService::Find(WaveHandle h) {
    auto it = streams_.find(h);
    return it == streams_.end() ? nullptr : it->second.get();
}

void SimWaveService::SetCaptureSource(unsigned device,
                                      std::shared_ptr<const CaptureSource> source) {
    DeviceOf(Direction::In, device).source = source ? std::move(source) : SilenceSource();
}

void SimWaveService::FailAfter(Direction dir, unsigned device, Op op, MMRESULT code,
                               unsigned after) {
    DeviceOf(dir, device).failures[op] = {code, after};
}

void SimWaveService::StallAfter(Direction dir, unsigned device, unsigned after) {
    DeviceOf(dir, device).returns_left = after;
}

void SimWaveService::ClearFailures() {
    for (auto& [key, d] : devices_) {
        d->failures.clear();
        d->returns_left.reset();
    }
}

MMRESULT SimWaveService::Injected(Direction dir, unsigned device, Op op) {
    auto& failures = DeviceOf(dir, device).failures;
    auto it = failures.find(op);
    if (it == failures.end()) return MMSYSERR_NOERROR;
    if (it->second.left > 0) {
        --it->second.left;
        return MMSYSERR_NOERROR;
    }
    return it->second.code;
}

const std::vector<SimWaveService::PlayedSpan>& SimWaveService::Played(unsigned device) const {
    static const std::vector<PlayedSpan> none;
    const Device* d = FindDevice(Direction::Out, device);
    return d ? d->played : none;
}

std::vector<std::uint8_t> SimWaveService::PlayedBytes(unsigned device) const {
    std::vector<std::uint8_t> all;
    for (const auto& span : Played(device))
        all.insert(all.end(), span.data.begin(), span.data.end());
    return all;
}

void SimWaveService::ClearPlayed(unsigned device) {
    DeviceOf(Direction::Out, device).played.clear();
}

std::uint64_t SimWaveService::LostFrames(unsigned device) const {
    const Device* d = FindDevice(Direction::In, device);
    return d ? d->lost : 0;
}

bool SimWaveService::IsOpen(Direction dir, unsigned device) const {
    const Device* d = FindDevice(dir, device);
    return d && d->open;
}

std::string SimWaveService::ErrorText(MMRESULT code) const {
    return wc::StandardText(code);
}

void SimWaveService::Post(const Stream& s, std::uint32_t msg, std::intptr_t lparam) {
    Post(s.notify, s.window, s.handle, msg, lparam);
}

void SimWaveService::Post(bool notify, std::uint32_t window, WaveHandle h, std::uint32_t msg,
                          std::intptr_t lparam) {
    if (notify && post_) post_(window, msg, h, lparam);
}

std::uint64_t SimWaveService::FramesNow(const Stream& s) const {
    if (!s.Running()) return s.anchor_frames;
    return s.anchor_frames + FramesIn(clock_.Monotonic() - s.anchor_time, s.format.nSamplesPerSec);
}

// Applies `change` to the stream and keeps its time line whole: a stream that stops
// keeps the frames it reached, one that resumes counts on from now.
template <class F> void SimWaveService::Change(Stream& s, std::uint64_t frames_now, F change) {
    const TimePoint now = clock_.Monotonic();
    const bool was = s.Running();
    change();
    const bool is = s.Running();
    if (was && !is) {
        s.anchor_frames = frames_now;
        s.anchor_time = now;
    } else if (!was && is) {
        s.anchor_time = now;
        s.span_time = now;
        s.span_from = s.anchor_frames;
    }
}

void SimWaveService::Unschedule(Stream& s) {
    if (s.timer) clock_.Cancel(*s.timer);
    s.timer.reset();
}

void SimWaveService::Schedule(Stream& s) {
    Unschedule(s);
    if (s.queue.empty() || !s.Running()) return;
    const std::uint64_t end = s.queue.front().End();
    const TimePoint due = s.anchor_time + TimeOf(end - s.anchor_frames, s.format.nSamplesPerSec);
    s.timer = clock_.Schedule(due, [this, h = s.handle] { OnDue(h); });
}

void SimWaveService::RecordSpan(Stream& s, std::uint64_t up_to) {
    const auto& head = s.queue.front();
    if (up_to <= s.span_from) return;
    const std::size_t align = s.format.nBlockAlign;
    const char* from = head.hdr->lpData + (s.span_from - head.first) * align;
    const char* to = head.hdr->lpData + (up_to - head.first) * align;
    DeviceOf(Direction::Out, s.device)
        .played.push_back(
            {s.span_time, clock_.Monotonic(), head.block, std::vector<std::uint8_t>(from, to)});
    s.span_time = clock_.Monotonic();
    s.span_from = up_to;
}

// Writes the source's frames [first, first + frames) into a capture buffer.
static void Fill(const CaptureSource& source, const WaveFormatEx& f, std::uint64_t first,
                 std::uint64_t frames, char* out) {
    for (std::uint64_t i = 0; i < frames; ++i) {
        for (unsigned c = 0; c < f.nChannels; ++c) {
            const unsigned ch = f.nChannels == 1 ? CaptureSource::kMonoMix : c;
            const std::int16_t v = source.Sample(first + i, ch, f.nSamplesPerSec);
            if (f.wBitsPerSample == 16) {
                *out++ = static_cast<char>(v & 0xFF);
                *out++ = static_cast<char>((v >> 8) & 0xFF);
            } else {
                *out++ = static_cast<char>(((v >> 8) + 128) & 0xFF);
            }
        }
    }
}

void SimWaveService::OnDue(WaveHandle h) {
    Stream* s = Find(h);
    if (!s) return;
    s->timer.reset();
    Device& d = DeviceOf(s->dir, s->device);
    if (d.returns_left && *d.returns_left == 0) {
        Change(*s, FramesNow(*s), [&] {
            if (s->dir == Direction::Out) RecordSpan(*s, FramesNow(*s));
            s->stalled = true;
        });
        return;
    }
    if (d.returns_left) --*d.returns_left;

    const auto head = s->queue.front();
    if (s->dir == Direction::In) {
        Fill(*d.source, s->format, head.first, head.frames, head.hdr->lpData);
        head.hdr->dwBytesRecorded = static_cast<std::uint32_t>(head.frames * s->format.nBlockAlign);
    } else {
        RecordSpan(*s, head.End());
    }
    Change(*s, head.End(), [&] { s->queue.pop_front(); });
    wc::MarkDone(*head.hdr);
    Schedule(*s);
    // Last: a synchronous receiver may call back, even close the stream.
    Post(*s, s->dir == Direction::In ? MM_WIM_DATA : MM_WOM_DONE,
         reinterpret_cast<std::intptr_t>(head.hdr));
}

MMRESULT SimWaveService::Open(Direction dir, std::uint32_t device, const WaveFormatEx& format,
                              std::uint32_t window, std::uint32_t flags, WaveHandle& out) {
    out = 0;
    const unsigned count = NumDevs(dir);
    if (device == WAVE_MAPPER) {
        if (count == 0) return MMSYSERR_NODRIVER;
        device = 0;
    }
    if (device >= count) return MMSYSERR_BADDEVICEID;
    if (MMRESULT r = wc::CheckOpenFlags(flags, window)) return r;
    if (MMRESULT r = wc::CheckFormat(format)) return r;
    if (flags & WAVE_FORMAT_QUERY) return MMSYSERR_NOERROR;
    Device& d = DeviceOf(dir, device);
    if (d.open) return MMSYSERR_ALLOCATED;
    if (MMRESULT r = Injected(dir, device, Op::Open)) return r;

    auto s = std::make_unique<Stream>();
    s->handle = next_handle_++;
    s->dir = dir;
    s->device = device;
    s->format = format;
    s->window = window;
    s->notify = (flags & CALLBACK_TYPEMASK) == CALLBACK_WINDOW;
    d.open = true;
    out = s->handle;
    Stream& ref = *s;
    streams_.emplace(out, std::move(s));
    Post(ref, dir == Direction::In ? MM_WIM_OPEN : MM_WOM_OPEN, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT SimWaveService::PrepareHeader(WaveHandle h, WaveHdr* hdr, std::uint32_t size) {
    Stream* s = Find(h);
    if (!s) return MMSYSERR_INVALHANDLE;
    if (MMRESULT r = wc::CheckHeader(hdr, size)) return r;
    if (MMRESULT r = Injected(s->dir, s->device, Op::Prepare)) return r;
    return wc::Prepare(*hdr);
}

MMRESULT SimWaveService::UnprepareHeader(WaveHandle h, WaveHdr* hdr, std::uint32_t size) {
    if (!Find(h)) return MMSYSERR_INVALHANDLE;
    if (MMRESULT r = wc::CheckHeader(hdr, size)) return r;
    return wc::Unprepare(*hdr);
}

MMRESULT SimWaveService::Queue(WaveHandle h, WaveHdr* hdr, std::uint32_t size, Direction dir) {
    Stream* s = Find(h);
    if (!s || s->dir != dir) return MMSYSERR_INVALHANDLE;
    if (MMRESULT r = wc::CheckHeader(hdr, size)) return r;
    if (MMRESULT r = wc::CanEnqueue(*hdr)) return r;
    if (s->gone) return s->gone;
    if (MMRESULT r = Injected(dir, s->device, dir == Direction::In ? Op::AddBuffer : Op::Write))
        return r;
    wc::Enqueue(*hdr, dir);

    const std::uint64_t frames_now = FramesNow(*s);
    if (s->queue.empty()) {
        // An idle device begins the buffer where it is now; capture frames that passed
        // with no buffer queued are lost.
        if (s->Running() && frames_now > s->next_frame) {
            if (dir == Direction::In) DeviceOf(dir, s->device).lost += frames_now - s->next_frame;
        }
        if (s->Running() || dir == Direction::Out)
            s->next_frame = std::max(s->next_frame, frames_now);
    }
    const Stream::Pending p{hdr, s->next_frame, wc::FramesIn(hdr->dwBufferLength, s->format),
                            s->blocks++};
    s->next_frame = p.End();
    Change(*s, frames_now, [&] { s->queue.push_back(p); });
    if (s->queue.size() == 1) Schedule(*s);
    return MMSYSERR_NOERROR;
}

MMRESULT SimWaveService::AddBuffer(WaveHandle h, WaveHdr* hdr, std::uint32_t size) {
    return Queue(h, hdr, size, Direction::In);
}

MMRESULT SimWaveService::Write(WaveHandle h, WaveHdr* hdr, std::uint32_t size) {
    return Queue(h, hdr, size, Direction::Out);
}

MMRESULT SimWaveService::Start(WaveHandle h) {
    Stream* s = Find(h);
    if (!s || s->dir != Direction::In) return MMSYSERR_INVALHANDLE;
    if (s->gone) return s->gone;
    if (s->started) return MMSYSERR_NOERROR;
    if (MMRESULT r = Injected(Direction::In, s->device, Op::Start)) return r;
    Change(*s, 0, [&] {
        s->started = true;
        s->anchor_frames = 0;
    });
    Schedule(*s);
    return MMSYSERR_NOERROR;
}

MMRESULT SimWaveService::Pause(WaveHandle h) {
    Stream* s = Find(h);
    if (!s || s->dir != Direction::Out) return MMSYSERR_INVALHANDLE;
    if (s->gone) return s->gone;
    const std::uint64_t frames_now = FramesNow(*s);
    if (s->Running()) RecordSpan(*s, frames_now);
    Change(*s, frames_now, [&] { s->paused = true; });
    Schedule(*s);
    return MMSYSERR_NOERROR;
}

MMRESULT SimWaveService::Restart(WaveHandle h) {
    Stream* s = Find(h);
    if (!s || s->dir != Direction::Out) return MMSYSERR_INVALHANDLE;
    if (s->gone) return s->gone;
    Change(*s, FramesNow(*s), [&] { s->paused = false; });
    Schedule(*s);
    return MMSYSERR_NOERROR;
}

// Stops the stream at this moment by `change` and takes back its queue: the buffer being
// played or recorded keeps what it got so far. Every header is marked done before the
// caller posts the first notification.
template <class F> std::vector<WaveHdr*> SimWaveService::Halt(Stream& s, F change) {
    Unschedule(s);
    const std::uint64_t frames_now = FramesNow(s);
    std::deque<Stream::Pending> taken;
    Change(s, frames_now, [&] {
        if (!s.queue.empty() && s.Running()) {
            const auto& head = s.queue.front();
            const std::uint64_t done = std::clamp(frames_now, head.first, head.End()) - head.first;
            if (s.dir == Direction::Out) {
                RecordSpan(s, head.first + done);
            } else {
                Fill(*DeviceOf(Direction::In, s.device).source, s.format, head.first, done,
                     head.hdr->lpData);
                head.hdr->dwBytesRecorded = static_cast<std::uint32_t>(done * s.format.nBlockAlign);
            }
        }
        taken.swap(s.queue);
        change();
    });
    std::vector<WaveHdr*> returned;
    for (const auto& p : taken) {
        wc::MarkDone(*p.hdr);
        returned.push_back(p.hdr);
    }
    return returned;
}

void SimWaveService::GiveBack(const Stream& s, const std::vector<WaveHdr*>& returned) {
    // A synchronous receiver may close the stream between two notifications.
    const bool notify = s.notify;
    const std::uint32_t window = s.window;
    const WaveHandle h = s.handle;
    const std::uint32_t msg = s.dir == Direction::In ? MM_WIM_DATA : MM_WOM_DONE;
    for (WaveHdr* hdr : returned)
        Post(notify, window, h, msg, reinterpret_cast<std::intptr_t>(hdr));
}

MMRESULT SimWaveService::Reset(WaveHandle h) {
    Stream* s = Find(h);
    if (!s) return MMSYSERR_INVALHANDLE;
    const auto returned = Halt(*s, [&] {
        s->started = false;
        s->stalled = false;
    });
    s->anchor_frames = 0;
    s->next_frame = 0;
    GiveBack(*s, returned);
    return MMSYSERR_NOERROR;
}

void SimWaveService::LoseDevice(Direction dir, unsigned device, MMRESULT code) {
    Stream* lost = nullptr;
    for (auto& [h, s] : streams_)
        if (s->dir == dir && s->device == device) lost = s.get();
    if (!lost) return;
    const auto returned =
        Halt(*lost, [&] { lost->gone = code != MMSYSERR_NOERROR ? code : MMSYSERR_ERROR; });
    GiveBack(*lost, returned);
}

MMRESULT SimWaveService::Close(WaveHandle h) {
    Stream* s = Find(h);
    if (!s) return MMSYSERR_INVALHANDLE;
    if (!s->queue.empty()) return WAVERR_STILLPLAYING;
    Unschedule(*s);
    DeviceOf(s->dir, s->device).open = false;
    const auto closing = std::move(streams_.at(h));
    streams_.erase(h);
    Post(*closing, closing->dir == Direction::In ? MM_WIM_CLOSE : MM_WOM_CLOSE, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT SimWaveService::GetPosition(WaveHandle h, MmTime* time, std::uint32_t size) {
    Stream* s = Find(h);
    if (!s) return MMSYSERR_INVALHANDLE;
    if (time == nullptr || size < sizeof(MmTime)) return MMSYSERR_INVALPARAM;
    wc::FillPosition(*time, FramesNow(*s), s->format);
    return MMSYSERR_NOERROR;
}

} // namespace os
