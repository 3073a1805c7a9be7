// Time from the R key to the first sample of Mirelo's take, next to the time from starting
// arecord to its first sample, on the same capture device (ALSA's default, served by a user
// PulseAudio with null sinks). The microphone hears a signal in which every 22 samples in a
// row tell where they are (the signs of a maximal-length sequence), so any stretch of a
// recording says which moment of the signal it holds. A reader of the same device with
// short periods notes when each sample of the signal could first be read. Mirelo's take is
// played back with P and its first sample read on the speaker; the figure is the time from
// the key's arrival to when that sample could first be read. One line per run, then the
// medians.
//
//   take_latency RUNS MIRELO     (on an X display with a window manager; see take_latency.sh)
#include "os/wave/wav_file.hpp"
#include "sound_support.hpp"

#include <X11/Xlib.h>
#include <alsa/asoundlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kOrder = 22; // window length; the sequence repeats after 2^22 - 1 samples
constexpr std::int16_t kLevel = 8000;
constexpr std::size_t kBlockFrames = 8192;

double Seconds(Clock::time_point t) {
    return std::chrono::duration<double>(t.time_since_epoch()).count();
}

// The marker signal and the table from each window of signs to where it starts.
class Marker {
public:
    explicit Marker(std::size_t frames) : samples_(frames), where_(std::size_t{1} << kOrder, -1) {
        std::uint32_t state = 1;
        std::vector<std::uint8_t> bits(frames);
        for (auto& b : bits) {
            // x^22 + x^21 + 1: maximal length, so no window of signs repeats within a period.
            b = state & 1u;
            const std::uint32_t feedback = ((state >> 0) ^ (state >> 1)) & 1u;
            state = (state >> 1) | (feedback << (kOrder - 1));
        }
        for (std::size_t k = 0; k < frames; ++k)
            samples_[k] = bits[k] ? kLevel : static_cast<std::int16_t>(-kLevel);
        for (std::size_t k = 0; k + kOrder <= frames; ++k)
            where_[Window(samples_.data() + k).value()] = static_cast<std::int64_t>(k);
    }
    const std::vector<std::int16_t>& Samples() const { return samples_; }
    // Where the `kOrder` samples from `s` on start in the signal; -1 when they are not from it.
    std::int64_t Find(const std::int16_t* s) const {
        const auto w = Window(s);
        return w ? where_[*w] : -1;
    }

private:
    static std::optional<std::uint32_t> Window(const std::int16_t* s) {
        std::uint32_t w = 0;
        for (int j = 0; j < kOrder; ++j) {
            if (s[j] == 0) return std::nullopt;
            w |= static_cast<std::uint32_t>(s[j] > 0) << j;
        }
        return w;
    }
    std::vector<std::int16_t> samples_;
    std::vector<std::int64_t> where_;
};

// Reads the capture device in short periods and notes, for each period, when it arrived and
// which samples of the signal it held.
class Reference {
public:
    explicit Reference(const Marker& marker) : marker_(marker) {
        if (snd_pcm_open(&pcm_, "default", SND_PCM_STREAM_CAPTURE, 0) < 0 ||
            snd_pcm_set_params(pcm_, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 1,
                               e2e::kRate, 1, 20000) < 0)
            throw std::runtime_error("cannot open the default capture device");
        worker_ = std::thread([this] { Run(); });
    }
    ~Reference() {
        stop_ = true;
        worker_.join();
        snd_pcm_close(pcm_);
    }
    // When sample `k` of the signal could first be read: the arrival of the period that held
    // it. The sound server hands the signal over in blocks of about 10 ms, so this is when
    // the block with `k` was made, give or take the reader's wake-up.
    std::optional<double> Arrival(std::int64_t k) const {
        std::lock_guard lock(mutex_);
        for (const auto& p : periods_)
            if (p.first <= k && k <= p.last) return p.arrived;
        return std::nullopt;
    }

private:
    void Run() {
        std::vector<std::int16_t> buf(128);
        while (!stop_) {
            const snd_pcm_sframes_t n = snd_pcm_readi(pcm_, buf.data(), buf.size());
            const double t = Seconds(Clock::now());
            if (n < 0) {
                snd_pcm_recover(pcm_, static_cast<int>(n), 1);
                continue;
            }
            if (n < kOrder) continue;
            const auto k = marker_.Find(buf.data() + n - kOrder);
            if (k < 0) continue;
            std::lock_guard lock(mutex_);
            periods_.push_back({t, k + kOrder - n, k + kOrder - 1});
        }
    }
    const Marker& marker_;
    snd_pcm_t* pcm_ = nullptr;
    std::atomic<bool> stop_{false};
    struct Period {
        double arrived;
        std::int64_t first, last; // samples of the signal it held
    };
    mutable std::mutex mutex_;
    std::vector<Period> periods_;
    std::thread worker_;
};

std::string Output(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[256];
        while (std::fgets(buf, sizeof buf, p))
            out += buf;
        pclose(p);
    }
    return out;
}

// Sends a key with xdotool and returns when our own connection sees it arrive at the window.
std::optional<double> PressKey(Display* dpy, Window window, const char* key) {
    const pid_t xdotool = e2e::Spawn({"xdotool", "key", key});
    std::optional<double> seen;
    const auto end = Clock::now() + 5s;
    while (!seen && Clock::now() < end) {
        while (!seen && XPending(dpy)) {
            XEvent e;
            XNextEvent(dpy, &e);
            if (e.type == KeyPress && e.xkey.window == window) seen = Seconds(Clock::now());
        }
        pollfd p{ConnectionNumber(dpy), POLLIN, 0};
        if (!seen) poll(&p, 1, 1);
    }
    waitpid(xdotool, nullptr, 0);
    return seen;
}

struct Take {
    std::int64_t first = -1; // sample of the signal the recording begins with
    std::string problem;
};

// The first sample of a recording of the signal that begins `leading` samples before its
// first non-silent one. With `whole_blocks`, the recording is a take of whole device blocks
// played back between silences: its leading silence, if any, is what its length lacks.
Take FirstSample(const Marker& marker, const std::vector<std::int16_t>& s, bool whole_blocks) {
    Take take;
    const auto f = static_cast<std::size_t>(
        std::find_if(s.begin(), s.end(), [](std::int16_t v) { return v != 0; }) - s.begin());
    std::size_t l = 0;
    while (f + l < s.size() && s[f + l] != 0)
        ++l;
    if (l < kOrder) {
        take.problem = "nothing recorded";
        return take;
    }
    const std::int64_t start = marker.Find(s.data() + f);
    const std::int64_t end = marker.Find(s.data() + f + l - kOrder);
    if (start < 0 || end - start != static_cast<std::int64_t>(l - kOrder)) {
        take.problem = "the recording is not one stretch of the signal";
        return take;
    }
    const std::size_t leading =
        whole_blocks ? (l + kBlockFrames - 1) / kBlockFrames * kBlockFrames - l : f;
    take.first = start - static_cast<std::int64_t>(leading);
    return take;
}

// Prints " NAME=MS", the time from `since` to when the recording's first sample could be
// read, and keeps it in `into`; or why there is none.
void Note(const char* name, const Reference& reference, const Take& take,
          std::optional<double> since, std::vector<double>& into) {
    std::string problem = since ? take.problem : "the key was not seen";
    if (problem.empty()) {
        if (const auto at = reference.Arrival(take.first)) {
            into.push_back((*at - *since) * 1000);
            std::printf(" %s=%.1f", name, into.back());
            return;
        }
        problem = "the reference reader missed its first sample";
    }
    std::printf(" %s=none (%s)", name, problem.c_str());
}

double Median(std::vector<double> v) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3 || std::atoi(argv[1]) < 1) {
        std::fprintf(stderr, "usage: %s RUNS MIRELO\n", argv[0]);
        return 2;
    }
    const int runs = std::atoi(argv[1]);
    const std::string program = argv[2];
    char tmpl[] = "/tmp/take-latency.XXXXXX";
    if (!mkdtemp(tmpl)) return 1;
    const std::string dir = tmpl;
    int status = 1;
    {
        e2e::SoundServer server;
        if (!server.Start(dir + "/server")) {
            std::fprintf(stderr, "%s\n", server.Error().c_str());
            return 1;
        }
        // Enough signal for every run, and within one period of the sequence.
        const std::size_t frames =
            std::min<std::size_t>((std::size_t{1} << kOrder) - 1, e2e::kRate * (runs * 6 + 20));
        const Marker marker(frames);
        os::WriteWavFile(dir + "/marker.wav", e2e::kRate, 1, marker.Samples());
        const pid_t player = e2e::Spawn({"paplay", "-d", "mic", dir + "/marker.wav"});
        const pid_t mirelo = e2e::Spawn({program}, dir + "/mirelo.log");
        Display* dpy = XOpenDisplay(nullptr);
        const std::string id =
            Output("timeout 20 xdotool search --sync --onlyvisible --name '^Mirelo$' | head -n1");
        if (!dpy || id.empty()) {
            std::fprintf(stderr, "no display, or no Mirelo window\n");
        } else {
            const Window window = std::stoul(id);
            Output("xdotool windowactivate --sync " + id);
            XSelectInput(dpy, window, KeyPressMask);
            XSync(dpy, False);
            std::unique_ptr<Reference> reference;
            try {
                reference = std::make_unique<Reference>(marker);
            } catch (const std::exception& e) {
                std::fprintf(stderr, "%s\n", e.what());
            }
            std::this_thread::sleep_for(1s);
            std::vector<double> ours, theirs;
            for (int run = 1; reference && run <= runs; ++run) {
                // Mirelo: R, a second of recording, R, then P with the speaker recorded.
                const auto key = PressKey(dpy, window, "r");
                std::this_thread::sleep_for(1s);
                PressKey(dpy, window, "r");
                std::this_thread::sleep_for(200ms);
                const std::string heard = dir + "/heard.raw";
                const pid_t recorder = e2e::RecordSpeaker(heard);
                std::this_thread::sleep_for(400ms);
                PressKey(dpy, window, "p");
                std::this_thread::sleep_for(1800ms);
                e2e::Stop(recorder, SIGINT);
                std::printf("run=%d", run);
                Note("mirelo_key_to_first_sample_ms", *reference,
                     FirstSample(marker, e2e::ReadRaw(heard), true), key, ours);

                // arecord, started at a known moment, on the same device.
                const std::string recorded = dir + "/arecord.raw";
                const double started = Seconds(Clock::now());
                const pid_t arecord =
                    e2e::Spawn({"arecord", "-q", "-D", "default", "-t", "raw", "-f", "S16_LE", "-r",
                                std::to_string(e2e::kRate), "-c", "1"},
                               recorded);
                std::this_thread::sleep_for(800ms);
                e2e::Stop(arecord, SIGINT);
                Note("arecord_start_to_first_sample_ms", *reference,
                     FirstSample(marker, e2e::ReadRaw(recorded), false), started, theirs);
                std::printf("\n");
                std::fflush(stdout);
            }
            std::printf("median of %zu and %zu runs: mirelo_key_to_first_sample_ms=%.1f "
                        "arecord_start_to_first_sample_ms=%.1f\n",
                        ours.size(), theirs.size(), Median(ours), Median(theirs));
            status = ours.size() == static_cast<std::size_t>(runs) ? 0 : 1;
        }
        if (dpy) XCloseDisplay(dpy);
        e2e::Stop(mirelo, SIGTERM);
        e2e::Stop(player, SIGTERM);
    }
    std::filesystem::remove_all(dir);
    return status;
}
