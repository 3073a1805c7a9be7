// The emergency stops: a registry under one mutex, and the exit that runs them.
#include "os/emergency.hpp"

#include <cstdio>
#include <map>
#include <mutex>
#include <unistd.h>
#include <utility>

namespace os {

namespace {

struct Registry {
    std::mutex mutex;
    EmergencyStopId next = 1;
    std::map<EmergencyStopId, std::function<void()>> stops;
};

Registry& TheRegistry() {
    // Never destroyed: services that outlive other statics still unregister.
    static auto* registry = new Registry;
    return *registry;
}

} // namespace

EmergencyStopId AddEmergencyStop(std::function<void()> stop) {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    const EmergencyStopId id = r.next++;
    r.stops.emplace(id, std::move(stop));
    return id;
}

void RemoveEmergencyStop(EmergencyStopId id) {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    r.stops.erase(id);
}

void RunEmergencyStops() {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    // Newest first: a service started on top of another goes before it.
    for (auto it = r.stops.rbegin(); it != r.stops.rend(); ++it)
        it->second();
    r.stops.clear();
}

void EmergencyExit(const char* message, int status) {
    RunEmergencyStops();
    std::fprintf(stderr, "mirelo: %s\n", message);
    std::fflush(stderr);
    _exit(status);
}

} // namespace os
