// A throw-away desktop for end-to-end tests: Xvfb, the openbox window manager and the
// trayer tray host, with HOME and XDG folders in a scratch folder of the build tree.
// Started once per test binary, stopped by process id, newest first.
#pragma once

#include "os/display/display.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <sys/types.h>
#include <utility>
#include <vector>

namespace e2e {

class Desktop {
public:
    // Called with the window manager's process id right after it is spawned.
    using WindowManagerHook = std::function<void(const Desktop&, pid_t)>;

    // The desktop of this test binary, started on first use. Fails the calling test
    // (through an exception) when a part of it cannot start; later calls fail the same way
    // at once instead of waiting for another start.
    static Desktop& Get();
    // A desktop of its own beside the shared one, for tests of the desktop itself. `name`
    // tells its scratch folder apart.
    static std::unique_ptr<Desktop> StartOwn(const std::string& name,
                                             const WindowManagerHook& hook = {});
    ~Desktop();
    Desktop(const Desktop&) = delete;
    Desktop& operator=(const Desktop&) = delete;

    const std::string& Display() const { return display_; }
    const std::string& Scratch() const { return scratch_; }
    // Environment for child processes: DISPLAY, HOME, XDG_* (plus the inherited rest).
    std::vector<std::string> Environment() const;

    // Runs a shell command on this desktop and returns its standard output; throws when it
    // exits non-zero.
    std::string Run(const std::string& command) const;
    // Starts a process on this desktop; it is stopped with the desktop unless Stop()ped.
    pid_t Spawn(const std::vector<std::string>& argv);
    // SIGTERM, then SIGKILL after a grace period; returns the exit status, or -1 when the
    // process is not one of this desktop's or was already collected.
    int Stop(pid_t pid);
    // Waits up to `seconds` for a command to succeed.
    bool WaitFor(const std::string& command, double seconds) const;
    // Where a window (its id as xdotool gives it) sits on the screen, as xwininfo says.
    std::pair<int, int> WindowOrigin(const std::string& window) const;
    // The screen (or a part of it) as pixels, read from the X server.
    os::PixelBuffer Screenshot(int x = 0, int y = 0, int w = -1, int h = -1) const;

private:
    explicit Desktop(const std::string& name);
    void Start(const WindowManagerHook& hook);
    // The last lines of each process's log, for error messages.
    std::string LogTails() const;
    std::string display_;
    std::string scratch_;
    std::vector<pid_t> pids_; // in start order
};

} // namespace e2e
