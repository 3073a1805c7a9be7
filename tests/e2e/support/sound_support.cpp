// Child processes, the user sound server and the signal helpers.
#include "sound_support.hpp"

#include "../../read_file.hpp"
#include "os/wave/wav_file.hpp"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace e2e {

namespace {
const std::string kScript = MIRELO_SOURCE_DIR "/tests/e2e/sound_server.sh";
}

bool OnPath(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

pid_t Spawn(std::vector<std::string> args, const std::string& out) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void Stop(pid_t pid, int sig) {
    if (pid <= 0) return;
    kill(pid, sig);
    for (int i = 0; i < 200; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) return;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

pid_t RecordSpeaker(const std::string& path) {
    return Spawn({"pacat", "-r", "-d", "spk.monitor", "--rate=" + std::to_string(kRate),
                  "--channels=1", "--format=s16le", "--raw", "--latency-msec=20"},
                 path);
}

SpeakerRecording::SpeakerRecording(std::string path)
    : path_(std::move(path)), pid_(RecordSpeaker(path_)) {
    if (pid_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

SpeakerRecording::~SpeakerRecording() {
    e2e::Stop(pid_, SIGINT);
}

std::vector<std::int16_t> SpeakerRecording::Heard() {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    e2e::Stop(pid_, SIGINT);
    pid_ = -1;
    return ReadRaw(path_);
}

bool HasStream(const std::string& kind) {
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(("pactl list " + kind).c_str(), "r"), pclose);
    if (!pipe) return false;
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, pipe.get())) > 0)
        out.append(buf, n);
    return out.find("\"mirelo\"") != std::string::npos;
}

bool SoundServer::Start(const std::string& dir) {
    dir_ = dir;
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    // The same environment as the script's.
    setenv("HOME", (dir_ + "/home").c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (dir_ + "/run").c_str(), 1);
    setenv("XDG_CONFIG_HOME", (dir_ + "/home/.config").c_str(), 1);
    setenv("XDG_CACHE_HOME", (dir_ + "/home/.cache").c_str(), 1);
    setenv("PULSE_CLIENTCONFIG", (dir_ + "/client.conf").c_str(), 1);
    setenv("PULSE_SERVER", ("unix:" + dir_ + "/run/native").c_str(), 1);
    pid_ = Spawn({"bash", kScript, "run", dir_});
    if (pid_ <= 0) {
        error_ = "could not start " + kScript;
        return false;
    }
    const std::string wait = "bash '" + kScript + "' wait '" + dir_ + "'";
    if (std::system(wait.c_str()) != 0) {
        error_ = "pulseaudio did not start in " + dir_ + "; its log:\n" +
                 tests::ReadFile(dir_ + "/pulseaudio.log");
        return false;
    }
    return true;
}

void SoundServer::Stop(int sig) {
    e2e::Stop(pid_, sig);
    pid_ = -1;
}

SoundServer::~SoundServer() {
    Stop();
}

os::AlsaWaveService& AlsaPlatform::Alsa() {
    if (!wave_) wave_ = os::MakeAlsaWave(Forwarder());
    return *wave_;
}

os::WaveFormatEx Mono16() {
    return {os::WAVE_FORMAT_PCM, 1, kRate, kRate * 2, 2, 16, 0};
}

std::vector<std::int16_t> Noise(std::size_t frames, std::uint32_t seed) {
    std::vector<std::int16_t> s(frames);
    for (auto& v : s) {
        seed = seed * 1664525 + 1013904223;
        v = static_cast<std::int16_t>((static_cast<std::int32_t>(seed >> 16) - 32768) / 2);
        if (v == 0) v = 1;
    }
    return s;
}

std::vector<std::int16_t> PeakedNoise(std::size_t frames, std::uint32_t seed, std::size_t peak_at) {
    auto s = Noise(frames, seed);
    for (auto& v : s)
        v = static_cast<std::int16_t>(v * 10000 / 16384 == 0 ? 1 : v * 10000 / 16384);
    s[peak_at] = 10000;
    return s;
}

std::vector<std::int16_t> AfterSilence(std::span<const std::int16_t> signal) {
    std::vector<std::int16_t> sound(kRate / 4, 0);
    sound.insert(sound.end(), signal.begin(), signal.end());
    return sound;
}

void WriteSignal(const std::string& path, std::span<const std::int16_t> signal) {
    auto sound = AfterSilence(signal);
    sound.resize(sound.size() + kRate / 4, 0);
    os::WriteWavFile(path, kRate, 1, sound);
}

std::vector<std::int16_t> ReadRaw(const std::string& path) {
    const std::string bytes = tests::ReadFile(path);
    std::vector<std::int16_t> s(bytes.size() / 2);
    std::memcpy(s.data(), bytes.data(), s.size() * 2);
    return s;
}

std::optional<std::size_t> Find(std::span<const std::int16_t> stream,
                                std::span<const std::int16_t> signal, std::size_t from) {
    const std::size_t probe = std::min<std::size_t>(64, signal.size());
    auto it = std::search(
        stream.begin() + static_cast<std::ptrdiff_t>(std::min(from, stream.size())), stream.end(),
        signal.begin(), signal.begin() + static_cast<std::ptrdiff_t>(probe));
    if (it == stream.end()) return std::nullopt;
    return static_cast<std::size_t>(it - stream.begin());
}

std::size_t Mismatches(std::span<const std::int16_t> stream, std::size_t at,
                       std::span<const std::int16_t> signal, std::size_t& first) {
    std::size_t bad = 0;
    first = signal.size();
    for (std::size_t i = 0; i < signal.size(); ++i)
        if (at + i >= stream.size() || stream[at + i] != signal[i])
            if (bad++ == 0) first = i;
    return bad;
}

std::vector<std::int16_t> Levelled(std::span<const std::int16_t> s) {
    std::vector<std::int16_t> out(s.size());
    std::transform(s.begin(), s.end(), out.begin(),
                   [](std::int16_t v) { return static_cast<std::int16_t>(v * 3); });
    return out;
}

// The share of `signal`, in tenths of a second, that `heard` holds exactly and in order. A
// stall of the speaker's recorder under load loses a few samples and shifts what follows;
// the parts around it are still found.
double HeardShare(std::span<const std::int16_t> heard, std::span<const std::int16_t> signal) {
    const std::size_t tenth = kRate / 10;
    std::size_t parts = 0, found = 0, from = 0;
    for (std::size_t at = 0; at + tenth <= signal.size(); at += tenth, ++parts) {
        const auto part = signal.subspan(at, tenth);
        const auto where = Find(heard, part, from);
        std::size_t first = 0;
        if (where && Mismatches(heard, *where, part, first) == 0) {
            ++found;
            from = *where + tenth;
        }
    }
    return parts ? static_cast<double>(found) / static_cast<double>(parts) : 0.0;
}

int Peak(std::span<const std::int16_t> s) {
    const auto [low, high] = std::minmax_element(s.begin(), s.end());
    return low == s.end() ? 0 : std::max(-static_cast<int>(*low), static_cast<int>(*high));
}

} // namespace e2e
