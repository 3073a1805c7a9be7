// What the end-to-end tests share beyond sound: polling with a limit, the children they
// start and wait for, shell commands on a screen (the test desktop or a bare X server), the
// windows they look for there, an environment variable changed for a while, and the checks
// on what a program said.
#pragma once

#include "os/platform.hpp"

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <sys/types.h>
#include <thread>
#include <utility>
#include <vector>

namespace e2e {

// Asks `check` every 20 ms until it holds (true) or `seconds` have passed (false); it is
// asked at least once.
template <class Check> bool Eventually(Check&& check, double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        if (check()) return true;
        if (std::chrono::steady_clock::now() >= end) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// Runs a platform's side as the program's loop does until `cond` holds (true) or `seconds`
// have passed (false): its display's events read, then a wait of at most `step` on its
// event wait.
bool PumpUntil(os::Platform& platform, const std::function<bool()>& cond, double seconds,
               std::chrono::milliseconds step);

// The program as built.
const std::string& MireloProgram();
// trayer as the tray host of the tests: a panel at the bottom right that docks icons.
std::vector<std::string> TrayerCommand();

// Whether the file at `path` holds `line` as a whole line, within `seconds`.
bool LogHas(const std::string& path, const std::string& line, double seconds);

// The text up to its first line end: a window id as `xdotool search ... | head -n1` prints it.
std::string FirstLine(const std::string& text);

// Whether a child has ended, with its state in `info`. The child is looked at without being
// collected, so that its owner still collects it.
bool Ended(pid_t pid, siginfo_t& info);
// Whether a child still runs, looked at the same way.
bool Alive(pid_t pid);
// The wait status of a child once it has ended, waiting at most `seconds`; nullopt while
// it still runs.
std::optional<int> WaitExit(pid_t pid, double seconds);
// SIGKILL and reap, for a child that must not outlive a test.
void KillChild(pid_t pid);

std::string ShellQuote(const std::string& s);
// A wait status in words: "exit code 1", "signal 9".
std::string DescribeStatus(int status);
// Runs `command` with `sh -c` under `env` with the assignments in `variables` (NAME='value',
// each followed by a space), its standard error dropped; its standard output. Throws when it
// exits non-zero.
std::string RunShell(const std::string& variables, const std::string& command);

// ---- On a screen: an e2e::Desktop or an e2e::BareServer ----

// Waits up to `seconds` for `command` to succeed there.
template <class Screen>
bool WaitForCommand(const Screen& screen, const std::string& command, double seconds) {
    return Eventually(
        [&] {
            try {
                screen.Run(command);
                return true;
            } catch (const std::exception&) {
                return false;
            }
        },
        seconds);
}

// The first window on view whose name matches `name` (a pattern of xdotool's), once one
// shows within `seconds`; "" when none does.
template <class Screen>
std::string ShownWindow(const Screen& screen, const std::string& name, double seconds) {
    const std::string search = "xdotool search --onlyvisible --name '" + name + "'";
    if (!screen.WaitFor(search, seconds)) return "";
    return FirstLine(screen.Run(search + " | head -n1"));
}

// A window's map state as xwininfo names it ("IsViewable", "IsUnMapped"); all that xwininfo
// said when it names none.
template <class Screen> std::string MapState(const Screen& screen, const std::string& window) {
    const std::string info = screen.Run("xwininfo -id " + window);
    const auto at = info.find("Map State: ");
    return at == std::string::npos ? info : info.substr(at + 11, info.find('\n', at) - at - 11);
}

// A window's position as xdotool gives it (0, 0 when it gives none).
template <class Screen>
std::pair<int, int> WindowPosition(const Screen& screen, const std::string& window) {
    const std::string g = screen.Run("xdotool getwindowgeometry " + window);
    int x = 0, y = 0;
    const auto p = g.find("Position: ");
    if (p != std::string::npos) std::sscanf(g.c_str() + p, "Position: %d,%d", &x, &y);
    return {x, y};
}

// An environment variable of this process set for as long as this lives; what was there
// before (or its absence) comes back afterwards.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    std::optional<std::string> saved_;
};

// ---- Sound into the microphone ----

// Plays the WAV file at `path` into the microphone and waits for the player to end.
void SayIntoMicrophone(const std::string& path);

// Runs a test's message loop until `done` holds or `limit` has passed; false on time-out.
using RunLoopUntil =
    std::function<bool(const std::function<bool()>& done, std::chrono::nanoseconds limit)>;
// With capture running into `captured` in the loop that `run_until` runs: a moment of
// capture first, then `signal` (written to the WAV file `path` after some silence) played
// into the microphone until all of it and a tenth of a second more have come, or ten seconds
// have passed. Where the signal starts in `captured`, in `at`.
void FeedMicrophone(const std::string& path, std::span<const std::int16_t> signal,
                    const std::vector<std::int16_t>& captured, const RunLoopUntil& run_until,
                    std::optional<std::size_t>& at);

// ---- Checks ----

// Nothing that a sanitizer, the C++ runtime or a crash leaves in a log.
void ExpectNoReport(const std::string& said);
// The program's message for a lost X server, said exactly once.
void ExpectLostConnectionOnce(const std::string& said);
// All of `signal` in `stream` from `at` on, sample for sample; with `silence_before`, only
// silence ahead of it. `kind` says in the messages where the stream comes from
// ("recorded", "captured").
void ExpectSignalAt(std::span<const std::int16_t> stream, std::optional<std::size_t> at,
                    std::span<const std::int16_t> signal, const std::string& kind,
                    bool silence_before = false);

} // namespace e2e
