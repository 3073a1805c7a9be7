// A StatusNotifierWatcher for the benchmarks' desktop, as little of one as a program
// docking an icon needs: it owns org.kde.StatusNotifierWatcher on the session bus named by
// DBUS_SESSION_BUS_ADDRESS, accepts RegisterStatusNotifierItem and says a host is there.
// Prints "ready" once it owns the name; runs until killed.
#include <systemd/sd-bus.h>

#include <cerrno>
#include <cstdio>

namespace {

constexpr const char* kName = "org.kde.StatusNotifierWatcher";

int OnRegister(sd_bus_message* m, void*, sd_bus_error*) {
    const char* service = nullptr;
    if (sd_bus_message_read(m, "s", &service) < 0) return -EINVAL;
    sd_bus_emit_signal(sd_bus_message_get_bus(m), "/StatusNotifierWatcher", kName,
                       "StatusNotifierItemRegistered", "s", service);
    return sd_bus_reply_method_return(m, nullptr);
}

int HostRegistered(sd_bus*, const char*, const char*, const char*, sd_bus_message* reply, void*,
                   sd_bus_error*) {
    return sd_bus_message_append(reply, "b", 1);
}

const sd_bus_vtable kVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("RegisterStatusNotifierItem", "s", "", OnRegister, 0),
    SD_BUS_PROPERTY("IsStatusNotifierHostRegistered", "b", HostRegistered, 0, 0),
    SD_BUS_SIGNAL("StatusNotifierItemRegistered", "s", 0),
    SD_BUS_VTABLE_END,
};

} // namespace

int main() {
    sd_bus* bus = nullptr;
    if (sd_bus_open_user(&bus) < 0 ||
        sd_bus_add_object_vtable(bus, nullptr, "/StatusNotifierWatcher", kName, kVtable, nullptr) <
            0 ||
        sd_bus_request_name(bus, kName, 0) < 0) {
        std::fprintf(stderr, "sni_watcher: cannot serve %s on the session bus\n", kName);
        return 1;
    }
    std::printf("ready\n");
    std::fflush(stdout);
    for (;;) {
        const int r = sd_bus_process(bus, nullptr);
        if (r < 0) return 0; // the bus is gone
        if (r == 0) sd_bus_wait(bus, UINT64_MAX);
    }
}
