// X protocol errors: one process-wide handler that stays quiet about the errors expected
// when a window vanishes under our feet, one for a lost connection, and a trap that catches
// the errors of a few requests whose failure the caller wants to see (attaching shared
// memory).
#pragma once

#include <X11/Xlib.h>

namespace os::x11 {

// The exit status of a process whose display connection was lost.
inline constexpr int kLostConnectionStatus = 3;

// Installs the handlers (once per process; later calls do nothing). A lost connection runs
// the emergency stops, says "mirelo: lost the connection to the X server" and ends the
// process with kLostConnectionStatus.
void InstallErrorHandler();

// While a trap is alive, every error of its connection is recorded instead of reported.
// Traps do not nest.
class ErrorTrap {
public:
    explicit ErrorTrap(::Display* dpy);
    ~ErrorTrap();
    ErrorTrap(const ErrorTrap&) = delete;
    ErrorTrap& operator=(const ErrorTrap&) = delete;
    // Waits for the server to process every request so far; returns the code of the first
    // error caught, 0 for none.
    int Sync();

private:
    ::Display* dpy_;
};

} // namespace os::x11
