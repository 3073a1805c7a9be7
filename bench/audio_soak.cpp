// Soak measurement of the audio components on the real ALSA back end: capture and
// playback run together, set up and polled as the main window does it, and every block is
// checked. Ends with the line "blocks=N lost=N xruns=N". Run it through audio_soak.sh.
//
//   audio_soak run SECONDS [--ramp] [--heard FILE]
//       --ramp        the microphone hears a count (see "ramp"): every captured sample
//                     must continue it
//       --heard FILE  a raw recording of the speaker, 22050 Hz 16-bit mono, that is being
//                     written while the program runs: the count played must be in it whole
//   audio_soak ramp FILE SECONDS
//       writes SECONDS of a 16-bit count (1, 2, 3 ... wrapping) as a WAV file
#include "audio/audio_io.hpp"
#include "framework/application.hpp"
#include "framework/timer.hpp"
#include "os/wave/alsa_wave.hpp"
#include "os/wave/wav_file.hpp"
#include "sound_support.hpp"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

using e2e::AlsaPlatform;
using e2e::kRate;
using e2e::ReadRaw;
constexpr std::int32_t kBlock = 16384;
constexpr std::int64_t kFrames = kBlock / 2;
constexpr std::int64_t kRing = 4;

std::int16_t Count(std::int64_t n) {
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(n + 1));
}

std::int64_t Frames(double seconds) {
    return std::llround(seconds * kRate);
}

// The owner: both components, the 10 ms poll, and the checks of every block.
class TSoakForm : public fw::TForm {
    FW_CLASS(TSoakForm, fw::TForm)
public:
    explicit TSoakForm(fw::TComponent* owner) : TForm(owner) {
        AudioIn1 = fw::New<audio::TAudioIn>(*this);
        AudioOut1 = fw::New<audio::TAudioOut>(*this);
        for (audio::TAudioIO* c :
             {static_cast<audio::TAudioIO*>(AudioIn1), static_cast<audio::TAudioIO*>(AudioOut1)}) {
            c->SetBufferSize(kBlock);
            c->SetFrameRate(kRate);
            c->SetWaveDevice(0);
        }
        AudioIn1->OnBufferFilled = fw::Bind<&TSoakForm::AudioIn1BufferFilled>(this);
        AudioOut1->OnFillBuffer = fw::Bind<&TSoakForm::AudioOut1FillBuffer>(this);
        Timer1 = fw::New<fw::TTimer>(*this);
        Timer1->SetInterval(10);
        Timer1->SetOnTimer(fw::Bind<&TSoakForm::Timer1Timer>(this));
    }

    audio::TAudioIn* AudioIn1 = nullptr;
    audio::TAudioOut* AudioOut1 = nullptr;
    fw::TTimer* Timer1 = nullptr;

    bool check_ramp = false;
    // Capture blocks lost: their samples jumped (count) or the device position shows
    // that sound was read with no buffer to put it in.
    std::set<std::int64_t> capture_lost;
    std::int64_t dropped = 0;
    std::optional<std::int16_t> expect;
    std::int64_t checked = 0;
    // Playback refills that came after the device had played everything it held.
    std::int64_t late = 0;
    std::int64_t fed = 0;
    std::int64_t polls = 0;

    bool AudioIn1BufferFilled(void* Buffer, std::int32_t& Size) {
        const std::int64_t n = AudioIn1->BlocksDone();
        // The other buffers hold the frames up to (n + 3) blocks; whatever the device read
        // beyond that, after what it had dropped before, went nowhere.
        const std::int64_t beyond = Frames(AudioIn1->ElapsedSeconds()) - (n + kRing - 1) * kFrames;
        if (beyond > dropped) {
            dropped = beyond;
            capture_lost.insert(n);
        }
        if (check_ramp) CheckRamp(static_cast<const std::int16_t*>(Buffer), Size / 2, n);
        return true;
    }

    bool AudioOut1FillBuffer(void* Buffer, std::int32_t& Size) {
        const std::int64_t done = AudioOut1->BlocksDone();
        if (done > 0 && Frames(AudioOut1->ElapsedSeconds()) >= (done + kRing - 1) * kFrames) ++late;
        auto* s = static_cast<std::int16_t*>(Buffer);
        for (std::int32_t i = 0; i < Size / 2; ++i)
            s[i] = Count(fed++);
        return true;
    }

    // What the main window does every 10 ms.
    void Timer1Timer(fw::TObject*) {
        ++polls;
        if (AudioIn1->Running()) {
            (void)AudioIn1->ElapsedSeconds();
            (void)AudioIn1->BlocksDone();
        }
        if (AudioOut1->Running()) {
            (void)AudioOut1->ElapsedSeconds();
            (void)AudioOut1->BlocksDone();
        }
    }

private:
    void CheckRamp(const std::int16_t* s, std::int64_t count, std::int64_t block) {
        for (std::int64_t i = 0; i < count; ++i) {
            if (!expect) {
                // Locked once 64 samples in a row count up.
                if (i + 64 > count) return;
                bool ramp = true;
                for (int k = 1; k < 64 && ramp; ++k)
                    ramp = static_cast<std::int16_t>(s[i + k] - s[i + k - 1]) == 1;
                if (!ramp) continue;
                expect = s[i];
            }
            if (s[i] != *expect) capture_lost.insert(block);
            ++checked;
            expect = static_cast<std::int16_t>(s[i] + 1);
        }
    }
};

// Blocks of the count played that are not heard whole and in order in the recording. A
// sound server may skip the first milliseconds of a new stream, so the count is picked up
// wherever it is first heard within the first block.
std::int64_t HeardLost(const std::vector<std::int16_t>& heard, std::int64_t frames, bool report) {
    const std::int64_t blocks = (frames + kFrames - 1) / kFrames;
    std::size_t start = 0;
    auto counts_up = [&](std::size_t at) {
        for (std::size_t k = 1; k < 64; ++k)
            if (static_cast<std::int16_t>(heard[at + k] - heard[at + k - 1]) != 1) return false;
        return true;
    };
    while (start + 64 < heard.size() && !(heard[start] != 0 && counts_up(start)))
        ++start;
    // The sample of the count that was heard first: its value is its index plus one.
    const std::int64_t skipped =
        start + 64 < heard.size() ? static_cast<std::uint16_t>(heard[start] - 1) : kFrames;
    if (skipped >= kFrames || skipped >= frames) {
        if (report)
            std::printf("heard: the played count is not in the recording (%zu samples)\n",
                        heard.size());
        return blocks;
    }
    // Walks the recording along the count: silence inside it, or a jump, loses the block
    // where it happens; the count is picked up again where it is heard next.
    std::set<std::int64_t> lost;
    std::int64_t first = -1;
    std::size_t at = start;
    for (std::int64_t i = skipped; i < frames;) {
        if (at >= heard.size()) {
            for (; i < frames; i += kFrames - i % kFrames)
                lost.insert(i / kFrames);
            break;
        }
        if (heard[at] == Count(i)) {
            ++at;
            ++i;
            continue;
        }
        lost.insert(i / kFrames);
        if (first < 0) first = i;
        const auto ahead = static_cast<std::uint16_t>(heard[at] - Count(i));
        if (heard[at] == 0 || ahead >= 0x8000) {
            ++at; // a gap, or a sample heard again
            continue;
        }
        for (std::int64_t k = i; k < std::min(i + ahead, frames); k += kFrames - k % kFrames)
            lost.insert(k / kFrames);
        i += ahead;
    }
    if (report) {
        std::printf("heard: %lld of %lld blocks in order, the first %lld samples skipped by the "
                    "server at the stream's start",
                    static_cast<long long>(blocks - static_cast<std::int64_t>(lost.size())),
                    static_cast<long long>(blocks), static_cast<long long>(skipped));
        if (first >= 0) std::printf(", first difference at %lld", static_cast<long long>(first));
        std::printf("\n");
    }
    return static_cast<std::int64_t>(lost.size());
}

// The recording may run seconds behind what the sink has played: it is read again until
// the whole count is in it or ten seconds have passed.
std::int64_t WaitForHeard(const std::string& path, std::int64_t frames) {
    const auto end = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < end) {
        if (HeardLost(ReadRaw(path), frames, false) == 0) break;
        std::this_thread::sleep_for(250ms);
    }
    return HeardLost(ReadRaw(path), frames, true);
}

int WriteRamp(const std::string& path, double seconds) {
    std::vector<std::int16_t> s(static_cast<std::size_t>(Frames(seconds)));
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = Count(static_cast<std::int64_t>(i));
    os::WriteWavFile(path, kRate, 1, s);
    return 0;
}

int Run(double seconds, bool ramp, const std::string& heard) {
    AlsaPlatform platform;
    fw::Runtime runtime(platform);
    auto form = std::make_unique<TSoakForm>(nullptr);
    form->check_ramp = ramp;
    audio::TAudioIn& in = *form->AudioIn1;
    audio::TAudioOut& out = *form->AudioOut1;

    // As the main window starts them: capture, then playback paused, started, unpaused.
    if (!in.Start(form->AudioIn1)) {
        std::fprintf(stderr, "Recording failed because: %s\n", in.ErrorText().c_str());
        return 1;
    }
    out.SetPaused(true);
    if (!out.Start(form->AudioOut1)) {
        std::fprintf(stderr, "Playing failed because: %s\n", out.ErrorText().c_str());
        return 1;
    }
    out.SetPaused(false);
    const auto t0 = platform.GetClock().Monotonic();
    runtime.Loop().RunFor(
        std::chrono::duration_cast<os::Nanos>(std::chrono::duration<double>(seconds)));

    // Capture ends at once; playback plays out what it holds, so that all of it is heard.
    const std::int64_t captured = in.BlocksDone();
    in.StopNow();
    out.StopWhenDrained();
    const auto limit = platform.GetClock().Monotonic() + 5s;
    runtime.Loop().RunUntil(
        [&] { return !out.Running() || platform.GetClock().Monotonic() > limit; });
    const double wall = std::chrono::duration<double>(platform.GetClock().Monotonic() - t0).count();
    const std::int64_t played = out.BlocksDone();
    const bool drained = !out.Running();
    out.StopNow();

    std::int64_t heard_lost = 0;
    if (!heard.empty()) {
        heard_lost = WaitForHeard(heard, played * kFrames);
    }
    const auto x = platform.Alsa().TotalXruns();
    const std::string count_checked =
        ramp ? ", " + std::to_string(form->checked) + " samples of the count checked" : "";
    std::printf("ran %.1f s: %d polls; capture %lld blocks (%lld frames dropped%s), playback %lld "
                "blocks (%lld refills late%s)\n",
                wall, static_cast<int>(form->polls), static_cast<long long>(captured),
                static_cast<long long>(form->dropped), count_checked.c_str(),
                static_cast<long long>(played), static_cast<long long>(form->late),
                drained ? "" : ", did not drain");
    std::printf("overruns=%llu underruns=%llu\n", static_cast<unsigned long long>(x.overruns),
                static_cast<unsigned long long>(x.underruns));
    // A late refill is heard as a gap: where the recording is checked, it says it all.
    const std::int64_t played_lost = heard.empty() ? form->late : heard_lost;
    const std::int64_t lost =
        static_cast<std::int64_t>(form->capture_lost.size()) + played_lost + (drained ? 0 : 1);
    form.reset();
    std::printf("blocks=%lld lost=%lld xruns=%llu\n", static_cast<long long>(captured + played),
                static_cast<long long>(lost),
                static_cast<unsigned long long>(x.overruns + x.underruns));
    return 0;
}

int Usage(const char* self) {
    std::fprintf(stderr,
                 "usage: %s run SECONDS [--ramp] [--heard FILE]\n       %s ramp FILE SECONDS\n",
                 self, self);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "run") == 0) {
        bool ramp = false;
        std::string heard;
        for (int i = 3; i < argc; ++i) {
            if (std::strcmp(argv[i], "--ramp") == 0)
                ramp = true;
            else if (std::strcmp(argv[i], "--heard") == 0 && i + 1 < argc)
                heard = argv[++i];
            else
                return Usage(argv[0]);
        }
        const double seconds = std::atof(argv[2]);
        if (!(seconds > 0)) return Usage(argv[0]);
        return Run(seconds, ramp, heard);
    }
    if (argc == 4 && std::strcmp(argv[1], "ramp") == 0)
        return WriteRamp(argv[2], std::atof(argv[3]));
    return Usage(argv[0]);
}
