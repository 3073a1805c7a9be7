// Last things to do when the process must end at once, without unwinding (the display
// connection is lost): services that run threads of their own register a stop here, so that
// nothing goes on playing or recording while the process goes down.
#pragma once

#include <cstdint>
#include <functional>

namespace os {

using EmergencyStopId = std::uint64_t;

// Registers a stop; it must return within a fraction of a second and must not throw.
// Safe from any thread.
EmergencyStopId AddEmergencyStop(std::function<void()> stop);
// Unregisters it (waits while the stops are running). Unknown ids are ignored.
void RemoveEmergencyStop(EmergencyStopId id);
// Runs every registered stop, newest first, and unregisters them all.
void RunEmergencyStops();

// Runs the stops, prints "mirelo: <message>" on standard error and ends the process with
// `status` at once: no destructors, no handlers registered with atexit.
[[noreturn]] void EmergencyExit(const char* message, int status);

} // namespace os
