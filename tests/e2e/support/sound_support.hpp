// What the end-to-end sound tests and the soak benchmark share: a user PulseAudio with null
// sinks in a scratch folder (tests/e2e/sound_server.sh), child processes, a platform with
// ALSA's devices and no screen, and the signal helpers that find one sound in another.
#pragma once

#include "os/sim_platform.hpp"
#include "os/wave/alsa_wave.hpp"

#include <csignal>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <sys/types.h>
#include <vector>

namespace e2e {

inline constexpr std::uint32_t kRate = 22050;

bool OnPath(const std::string& program);
// Starts a program with its standard output in `out` (or /dev/null); returns its pid, or
// -1 when it cannot be started.
pid_t Spawn(std::vector<std::string> args, const std::string& out = "/dev/null");
// Ends a child: `sig` first, SIGKILL if it is still there after two seconds.
void Stop(pid_t pid, int sig);

// Records what the speaker plays (its sink's monitor) as raw 16-bit mono samples at kRate
// into `path`, until stopped with SIGINT; returns the recorder's pid.
pid_t RecordSpeaker(const std::string& path);

// The speaker recorded into `path` from a moment before a sound is played until Heard(): the
// recorder has had 300 ms to start when this is made, and the sound's end 300 ms to arrive
// when Heard() stops it.
class SpeakerRecording {
public:
    explicit SpeakerRecording(std::string path);
    ~SpeakerRecording();
    SpeakerRecording(const SpeakerRecording&) = delete;
    SpeakerRecording& operator=(const SpeakerRecording&) = delete;
    // The recorder's pid; not above 0 when it did not start.
    pid_t Pid() const { return pid_; }
    // Stops the recorder and returns what it heard.
    std::vector<std::int16_t> Heard();

private:
    std::string path_;
    pid_t pid_;
};

// Whether the program (named "mirelo" on the sound server) has a stream of `kind` open there
// now: "source-outputs" captures, "sink-inputs" plays.
bool HasStream(const std::string& kind);

// A user PulseAudio with a speaker sink "spk" and a microphone sink "mic" (recorded from
// "mic.monitor"), its HOME, XDG and PULSE_* variables set in this process so that ALSA's
// pulse plug-in reaches it.
class SoundServer {
public:
    // Starts it in `dir` (made empty first). False, with the reason in Error(), when it
    // does not come up.
    bool Start(const std::string& dir);
    ~SoundServer();
    // SIGTERM by default; SIGKILL makes it vanish as a crashed server would.
    void Stop(int sig = SIGTERM);
    const std::string& Dir() const { return dir_; }
    const std::string& Error() const { return error_; }

private:
    std::string dir_;
    std::string error_;
    pid_t pid_ = -1;
};

// The real clock and event wait with ALSA's wave devices; the display, the settings and the
// tray are unused in-memory ones, for programs that need no windows on a screen.
class AlsaPlatform final : public os::Platform {
public:
    os::Clock& GetClock() override { return clock_; }
    os::EventWait& GetWait() override { return wait_; }
    os::Display& GetDisplay() override { return display_; }
    os::WaveService& GetWave() override { return Alsa(); }
    os::NotifyArea& GetNotify() override { return notify_; }
    os::SettingsStore& GetSettings() override { return settings_; }
    os::AlsaWaveService& Alsa();

private:
    os::RealClock clock_;
    os::PollEventWait wait_{clock_};
    os::SimDisplay display_{clock_};
    std::unique_ptr<os::AlsaWaveService> wave_;
    os::SimNotifyArea notify_{Forwarder()};
    os::SimSettings settings_;
};

// 16-bit mono PCM at kRate, the format of every stream of these tests.
os::WaveFormatEx Mono16();

// A signal that never contains silence, so that where it starts and ends is plain.
std::vector<std::int16_t> Noise(std::size_t frames, std::uint32_t seed);
// Noise whose loudest sample, at `peak_at`, is exactly 10000: a take that holds that sample
// is levelled by exactly three, with no rounding.
std::vector<std::int16_t> PeakedNoise(std::size_t frames, std::uint32_t seed, std::size_t peak_at);
// A quarter second of silence, then the signal: a sound server may skip the first
// milliseconds of a new stream.
std::vector<std::int16_t> AfterSilence(std::span<const std::int16_t> signal);
// The signal as a WAV file at kRate with a quarter second of silence before and after it, so
// that its start is plain in a take.
void WriteSignal(const std::string& path, std::span<const std::int16_t> signal);
// A raw file of signed 16-bit samples.
std::vector<std::int16_t> ReadRaw(const std::string& path);
// Where the first samples of `signal` begin in `stream` (from `from` on), if they do.
std::optional<std::size_t> Find(std::span<const std::int16_t> stream,
                                std::span<const std::int16_t> signal, std::size_t from = 0);
// Samples of `signal` that differ from `stream` at `at`; the first one in `first`.
std::size_t Mismatches(std::span<const std::int16_t> stream, std::size_t at,
                       std::span<const std::int16_t> signal, std::size_t& first);
// The signal as the take's levelling makes it when its loudest sample is 10000 (times 3).
std::vector<std::int16_t> Levelled(std::span<const std::int16_t> s);
// The share of `signal`, in tenths of a second, that `heard` holds exactly and in order. A
// stall of the speaker's recorder under load loses a few samples and shifts what follows;
// the parts around it are still found.
double HeardShare(std::span<const std::int16_t> heard, std::span<const std::int16_t> signal);
// The largest magnitude of the samples.
int Peak(std::span<const std::int16_t> s);

} // namespace e2e
