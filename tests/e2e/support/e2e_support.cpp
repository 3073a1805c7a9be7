// Children, shell commands, the environment, and the checks the end-to-end tests share.
#include "e2e_support.hpp"

#include "../../read_file.hpp"
#include "os/wave/wav_file.hpp"
#include "sound_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <sys/wait.h>

namespace e2e {

bool PumpUntil(os::Platform& platform, const std::function<bool()>& cond, double seconds,
               std::chrono::milliseconds step) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    do {
        os::DisplayEvent e;
        while (platform.GetDisplay().NextEvent(e)) {
        }
        if (cond()) return true;
        platform.GetWait().Wait(platform.GetClock().Monotonic() + step);
    } while (std::chrono::steady_clock::now() < end);
    return false;
}

const std::string& MireloProgram() {
    static const std::string path = std::string(MIRELO_BINARY_DIR) + "/src/app/mirelo";
    return path;
}

std::vector<std::string> TrayerCommand() {
    return {"trayer",      "--edge",        "bottom",  "--align",       "right",
            "--widthtype", "pixel",         "--width", "120",           "--height",
            "24",          "--SetDockType", "true",    "--transparent", "false"};
}

bool LogHas(const std::string& path, const std::string& line, double seconds) {
    return Eventually(
        [&] {
            return ("\n" + tests::ReadFile(path)).find("\n" + line + "\n") != std::string::npos;
        },
        seconds);
}

std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

bool Ended(pid_t pid, siginfo_t& info) {
    info.si_pid = 0;
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == pid;
}

bool Alive(pid_t pid) {
    siginfo_t info{};
    return waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == 0;
}

std::optional<int> WaitExit(pid_t pid, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) return status;
        if (std::chrono::steady_clock::now() >= end) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void KillChild(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

std::string ShellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

std::string DescribeStatus(int status) {
    if (WIFEXITED(status)) return "exit code " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
}

std::string RunShell(const std::string& variables, const std::string& command) {
    const std::string full = "env " + variables + "sh -c " + ShellQuote(command) + " 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(full.c_str(), "r"), pclose);
    if (!pipe) throw std::runtime_error("cannot run: " + command + ": " + std::strerror(errno));
    std::string out;
    std::array<char, 4096> buf{};
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), pipe.get())) > 0)
        out.append(buf.data(), n);
    const int status = pclose(pipe.release());
    if (status != 0)
        throw std::runtime_error("command failed (" + DescribeStatus(status) + "): " + command);
    return out;
}

ScopedEnv::ScopedEnv(std::string name, const std::string& value) : name_(std::move(name)) {
    if (const char* old = std::getenv(name_.c_str())) saved_ = old;
    setenv(name_.c_str(), value.c_str(), 1);
}

ScopedEnv::~ScopedEnv() {
    if (saved_)
        setenv(name_.c_str(), saved_->c_str(), 1);
    else
        unsetenv(name_.c_str());
}

void SayIntoMicrophone(const std::string& path) {
    const pid_t player = Spawn({"paplay", "-d", "mic", path});
    ASSERT_GT(player, 0);
    int status = 0;
    ASSERT_EQ(waitpid(player, &status, 0), player);
}

void FeedMicrophone(const std::string& path, std::span<const std::int16_t> signal,
                    const std::vector<std::int16_t>& captured, const RunLoopUntil& run_until,
                    std::optional<std::size_t>& at) {
    using namespace std::chrono_literals;
    os::WriteWavFile(path, kRate, 1, AfterSilence(signal));
    run_until([] { return false; }, 300ms);
    const pid_t player = Spawn({"paplay", "-d", "mic", path});
    ASSERT_GT(player, 0);
    run_until(
        [&] {
            if (!at) at = Find(captured, signal);
            return at && captured.size() >= *at + signal.size() + kRate / 10;
        },
        10s);
    Stop(player, SIGTERM);
}

void ExpectNoReport(const std::string& said) {
    EXPECT_EQ(said.find("Sanitizer"), std::string::npos) << said;
    EXPECT_EQ(said.find("runtime error"), std::string::npos) << said;
    EXPECT_EQ(said.find("terminate"), std::string::npos) << said;
}

void ExpectLostConnectionOnce(const std::string& said) {
    const std::string message = "mirelo: lost the connection to the X server\n";
    const auto at = said.find(message);
    EXPECT_NE(at, std::string::npos) << said;
    EXPECT_EQ(said.find(message, at + 1), std::string::npos) << said;
}

void ExpectSignalAt(std::span<const std::int16_t> stream, std::optional<std::size_t> at,
                    std::span<const std::int16_t> signal, const std::string& kind,
                    bool silence_before) {
    ASSERT_TRUE(at) << "the signal was not found in " << stream.size() << " " << kind << " samples";
    std::size_t first = 0;
    EXPECT_EQ(Mismatches(stream, *at, signal, first), 0u) << "first difference at sample " << first;
    if (silence_before)
        EXPECT_TRUE(std::all_of(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(*at),
                                [](std::int16_t v) { return v == 0; }))
            << "something other than silence before the signal";
}

} // namespace e2e
