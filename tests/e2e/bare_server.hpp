// A private X server with no window manager: Xvfb alone, for the tests that need a screen
// that nobody manages, a keyboard layout of their own, or a server they may kill. Its
// processes are started with its display in their environment; it is stopped by process id.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace e2e {

class BareServer {
public:
    // Starts Xvfb; throws std::runtime_error when it does not answer.
    BareServer();
    ~BareServer();
    BareServer(const BareServer&) = delete;
    BareServer& operator=(const BareServer&) = delete;

    const std::string& Display() const { return display_; }
    const std::string& Scratch() const { return scratch_; }
    // Runs a shell command on this server; its standard output. Throws when it fails.
    std::string Run(const std::string& command) const;
    // Waits up to `seconds` for a command to succeed.
    bool WaitFor(const std::string& command, double seconds) const;
    // Starts a program on this server, its standard output and error in `log`; throws when
    // it cannot be started.
    pid_t Spawn(const std::vector<std::string>& argv, const std::string& log) const;
    // Ends the server as a crash would (SIGKILL) and reaps it.
    void Kill();

private:
    std::string display_;
    std::string scratch_;
    pid_t pid_ = -1;
};

} // namespace e2e
