// The ALSA wave service: device numbers from ALSA's own list, handles of open streams,
// and the table that keeps ALSA's text for the last failure under each result code.
#include "os/wave/alsa_wave.hpp"

#include "os/wave/alsa_stream.hpp"
#include "os/wave/wave_common.hpp"

#include <algorithm>
#include <cstdlib>
#include <tuple>

namespace os {

namespace wc = wave_common;
using alsa::AlsaStream;

namespace {

// The PCMs that ALSA lists for a direction, other than `skip`.
std::vector<std::string> ListPcms(WaveDirection dir, const std::string& skip) {
    std::vector<std::string> names;
    void** hints = nullptr;
    if (snd_device_name_hint(-1, "pcm", &hints) < 0 || !hints) return names;
    const char* want = dir == WaveDirection::In ? "Input" : "Output";
    for (void** h = hints; *h; ++h) {
        char* name = snd_device_name_get_hint(*h, "NAME");
        char* io = snd_device_name_get_hint(*h, "IOID");
        // No IOID means both directions.
        if (name && (!io || std::string(io) == want)) {
            std::string n = name;
            if (n != skip && n != "default" &&
                std::find(names.begin(), names.end(), n) == names.end())
                names.push_back(std::move(n));
        }
        std::free(name);
        std::free(io);
    }
    snd_device_name_free_hint(hints);
    return names;
}

} // namespace

AlsaWaveService::AlsaWaveService(PostFn post, AlsaWaveOptions options)
    : post_(std::move(post)), options_(std::move(options)),
      in_names_(ListPcms(WaveDirection::In, options_.default_pcm)),
      out_names_(ListPcms(WaveDirection::Out, options_.default_pcm)) {
    emergency_stop_ = AddEmergencyStop([this] { StopAllNow(); });
}

AlsaWaveService::~AlsaWaveService() {
    RemoveEmergencyStop(emergency_stop_);
    std::map<WaveHandle, std::shared_ptr<AlsaStream>> streams;
    {
        std::lock_guard lock(mutex_);
        streams.swap(streams_);
    }
    // Each stream's destructor stops its worker and closes its PCM.
}

std::unique_ptr<AlsaWaveService> MakeAlsaWave(PostFn post, AlsaWaveOptions options) {
    return std::make_unique<AlsaWaveService>(std::move(post), std::move(options));
}

unsigned AlsaWaveService::NumDevs(Direction dir) {
    return 1 + static_cast<unsigned>((dir == Direction::In ? in_names_ : out_names_).size());
}

std::string AlsaWaveService::DeviceName(Direction dir, std::uint32_t device) const {
    if (device == WAVE_MAPPER || device == 0) return options_.default_pcm;
    const auto& names = dir == Direction::In ? in_names_ : out_names_;
    return device <= names.size() ? names[device - 1] : std::string();
}

void AlsaWaveService::NoteAlsaError(MMRESULT code, const std::string& what, int alsa_error) {
    std::lock_guard lock(mutex_);
    alsa_text_[code] = what + ": " + snd_strerror(alsa_error);
}

std::string AlsaWaveService::ErrorText(MMRESULT code) const {
    std::string text = wc::StandardText(code);
    std::lock_guard lock(mutex_);
    auto it = alsa_text_.find(code);
    if (!text.empty() && it != alsa_text_.end()) text += " ALSA: " + it->second;
    return text;
}

void AlsaWaveService::StopAllNow() {
    std::vector<std::shared_ptr<AlsaStream>> open;
    {
        std::lock_guard lock(mutex_);
        for (const auto& [h, s] : streams_)
            open.push_back(s);
    }
    for (const auto& s : open)
        s->StopNow(std::chrono::milliseconds(200));
}

std::shared_ptr<AlsaStream> AlsaWaveService::Find(WaveHandle h) const {
    std::lock_guard lock(mutex_);
    auto it = streams_.find(h);
    return it == streams_.end() ? nullptr : it->second;
}

AlsaWaveService::Lookup AlsaWaveService::CheckedStream(WaveHandle h,
                                                       std::optional<Direction> dir) const {
    auto s = Find(h);
    if (!s || (dir && s->Dir() != *dir)) return {nullptr, MMSYSERR_INVALHANDLE};
    return {std::move(s), MMSYSERR_NOERROR};
}

MMRESULT AlsaWaveService::Open(Direction dir, std::uint32_t device, const WaveFormatEx& format,
                               std::uint32_t window, std::uint32_t flags, WaveHandle& out) {
    out = 0;
    const std::string name = DeviceName(dir, device);
    if (name.empty()) return MMSYSERR_BADDEVICEID;
    if (MMRESULT r = wc::CheckOpenFlags(flags, window)) return r;
    if (MMRESULT r = wc::CheckFormat(format)) {
        // Refused before ALSA was asked: an older ALSA text would explain the wrong thing.
        std::lock_guard lock(mutex_);
        alsa_text_.erase(r);
        return r;
    }
    WaveHandle handle;
    {
        std::lock_guard lock(mutex_);
        handle = next_handle_++;
    }
    const AlsaStream::Setup setup{
        this,     &post_, handle, dir,
        name,     format, window, (flags & CALLBACK_TYPEMASK) == CALLBACK_WINDOW,
        &options_};
    std::unique_ptr<AlsaStream> stream;
    if (MMRESULT r = AlsaStream::Open(setup, (flags & WAVE_FORMAT_QUERY) != 0, stream)) return r;
    if (!stream) return MMSYSERR_NOERROR; // a format query
    {
        std::lock_guard lock(mutex_);
        streams_.emplace(handle, std::move(stream));
    }
    out = handle;
    if (setup.notify && post_)
        post_(window, dir == Direction::In ? MM_WIM_OPEN : MM_WOM_OPEN, handle, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT AlsaWaveService::PrepareHeader(WaveHandle h, WaveHdr* hdr, std::uint32_t size) {
    auto [s, r] = CheckedStream(h);
    if (!r) r = wc::CheckHeader(hdr, size);
    return r ? r : s->Prepare(*hdr);
}

MMRESULT AlsaWaveService::UnprepareHeader(WaveHandle h, WaveHdr* hdr, std::uint32_t size) {
    auto [s, r] = CheckedStream(h);
    if (!r) r = wc::CheckHeader(hdr, size);
    return r ? r : s->Unprepare(*hdr);
}

MMRESULT AlsaWaveService::AddBuffer(WaveHandle h, WaveHdr* hdr, std::uint32_t size) {
    auto [s, r] = CheckedStream(h, Direction::In);
    if (!r) r = wc::CheckHeader(hdr, size);
    return r ? r : s->Queue(*hdr);
}

MMRESULT AlsaWaveService::Write(WaveHandle h, WaveHdr* hdr, std::uint32_t size) {
    auto [s, r] = CheckedStream(h, Direction::Out);
    if (!r) r = wc::CheckHeader(hdr, size);
    return r ? r : s->Queue(*hdr);
}

MMRESULT AlsaWaveService::Start(WaveHandle h) {
    auto [s, r] = CheckedStream(h, Direction::In);
    return r ? r : s->Start();
}

MMRESULT AlsaWaveService::Reset(WaveHandle h) {
    auto [s, r] = CheckedStream(h);
    return r ? r : s->Reset();
}

MMRESULT AlsaWaveService::Pause(WaveHandle h) {
    auto [s, r] = CheckedStream(h, Direction::Out);
    return r ? r : s->Pause();
}

MMRESULT AlsaWaveService::Restart(WaveHandle h) {
    auto [s, r] = CheckedStream(h, Direction::Out);
    return r ? r : s->Restart();
}

MMRESULT AlsaWaveService::Close(WaveHandle h) {
    auto [s, r] = CheckedStream(h);
    if (!r) r = s->Shutdown();
    if (r) return r;
    const auto xruns = s->Xruns();
    const Direction dir = s->Dir();
    std::uint32_t window = 0;
    bool notify = false;
    {
        std::lock_guard lock(mutex_);
        closed_xruns_.underruns += xruns.underruns;
        closed_xruns_.overruns += xruns.overruns;
        auto it = streams_.find(h);
        if (it == streams_.end()) return MMSYSERR_INVALHANDLE; // closed by another thread meanwhile
        std::tie(notify, window) = it->second->Target();
        streams_.erase(it);
    }
    s.reset(); // closes the PCM
    if (notify && post_) post_(window, dir == Direction::In ? MM_WIM_CLOSE : MM_WOM_CLOSE, h, 0);
    return MMSYSERR_NOERROR;
}

MMRESULT AlsaWaveService::GetPosition(WaveHandle h, MmTime* time, std::uint32_t size) {
    auto [s, r] = CheckedStream(h);
    if (r) return r;
    if (time == nullptr || size < sizeof(MmTime)) return MMSYSERR_INVALPARAM;
    wc::FillPosition(*time, s->Position(), s->Format());
    return MMSYSERR_NOERROR;
}

AlsaWaveService::XrunCounts AlsaWaveService::Xruns(WaveHandle h) const {
    auto s = Find(h);
    return s ? s->Xruns() : XrunCounts{};
}

AlsaWaveService::XrunCounts AlsaWaveService::TotalXruns() const {
    XrunCounts total;
    std::vector<std::shared_ptr<AlsaStream>> open;
    {
        std::lock_guard lock(mutex_);
        total = closed_xruns_;
        for (const auto& [h, s] : streams_)
            open.push_back(s);
    }
    for (const auto& s : open) {
        const auto x = s->Xruns();
        total.underruns += x.underruns;
        total.overruns += x.overruns;
    }
    return total;
}

} // namespace os
