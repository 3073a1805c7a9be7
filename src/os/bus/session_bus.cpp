// The session bus connection, driven by poll() through the event wait.
#include "os/bus/session_bus.hpp"

#include "os/wait/event_wait.hpp"

#include <systemd/sd-bus.h>

#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

namespace os {

namespace {

std::string Address() {
    if (const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address)
        return address;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime)
        return std::string("unix:path=") + runtime + "/bus";
    return {};
}

std::uint64_t MonotonicUs() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<std::uint64_t>(ts.tv_sec) * 1'000'000u +
           static_cast<std::uint64_t>(ts.tv_nsec) / 1000u;
}

} // namespace

SessionBus::SessionBus(PollEventWait& wait, const Clock& clock) : wait_(wait), clock_(clock) {}

SessionBus::~SessionBus() {
    listeners_.clear();
    if (!bus_) return;
    wait_.RemoveSource(fd_);
    // A ready daemon takes our last words (names given up); a stuck one is not waited for.
    if (ready_)
        sd_bus_flush_close_unref(bus_);
    else
        sd_bus_close_unref(bus_);
}

void SessionBus::Connect() {
    if (bus_ || (failed_once_ && clock_.Monotonic() - failed_at_ < kRetryAfter)) return;
    const std::string address = Address();
    sd_bus* bus = nullptr;
    if (address.empty() || sd_bus_new(&bus) < 0 || sd_bus_set_address(bus, address.c_str()) < 0 ||
        sd_bus_set_bus_client(bus, 1) < 0 ||
        sd_bus_set_method_call_timeout(bus, kCallTimeoutUs) < 0 || sd_bus_start(bus) < 0 ||
        sd_bus_get_fd(bus) < 0) {
        sd_bus_close_unref(bus);
        failed_once_ = true;
        failed_at_ = clock_.Monotonic();
        Tell(nullptr);
        return;
    }
    bus_ = bus;
    ready_ = false;
    give_up_ = clock_.Monotonic() + kConnectTimeout;
    fd_ = sd_bus_get_fd(bus_);
    asked_ = false;
    wait_.AddSource(
        fd_, [this] { Process(); },
        [this] {
            const TimePoint now = clock_.Monotonic();
            if (!asked_ || now >= asked_at_ + kAskAgainAfter) {
                want_ = Ask();
                asked_ = true;
                asked_at_ = now;
            }
            return want_;
        });
}

PollEventWait::Interest SessionBus::Ask() const {
    PollEventWait::Interest want;
    if (!bus_) return want;
    const int events = sd_bus_get_events(bus_);
    if (events > 0) want.events = static_cast<short>(events);
    std::uint64_t at = 0;
    if (sd_bus_get_timeout(bus_, &at) >= 0 && at != UINT64_MAX) {
        const std::uint64_t now = MonotonicUs();
        const std::uint64_t left = at > now ? at - now : 0;
        want.deadline = clock_.Monotonic() + std::chrono::microseconds(left);
    }
    if (!ready_ && (!want.deadline || give_up_ < *want.deadline)) want.deadline = give_up_;
    return want;
}

void SessionBus::Process() {
    if (!bus_) return;
    asked_ = false; // whatever it handles may call, reply or take a reply
    int r;
    do
        r = sd_bus_process(bus_, nullptr);
    while (r > 0 && bus_);
    if (!bus_) return;
    if (r < 0 || sd_bus_is_open(bus_) <= 0) {
        Drop(!ready_);
        return;
    }
    if (!ready_ && sd_bus_is_ready(bus_) > 0) {
        ready_ = true;
        failed_once_ = false;
        Tell(bus_);
    } else if (!ready_ && clock_.Monotonic() >= give_up_) {
        Drop(true);
    }
}

void SessionBus::Drop(bool failed) {
    if (failed) {
        failed_once_ = true;
        failed_at_ = clock_.Monotonic();
    }
    // Clients let go of their slots first; the connection goes after.
    ready_ = false;
    Tell(nullptr);
    wait_.RemoveSource(fd_);
    fd_ = -1;
    sd_bus_close_unref(bus_);
    bus_ = nullptr;
}

int SessionBus::Listen(Listener listener) {
    listeners_.emplace(next_token_, std::move(listener));
    return next_token_++;
}

void SessionBus::StopListening(int token) {
    listeners_.erase(token);
}

void SessionBus::Tell(sd_bus* bus) {
    // A listener may change the list: each one is looked up again before it runs.
    std::vector<int> tokens;
    for (const auto& [token, listener] : listeners_)
        tokens.push_back(token);
    for (int token : tokens) {
        const auto it = listeners_.find(token);
        if (it == listeners_.end()) continue;
        const Listener listener = it->second;
        listener(bus);
    }
}

} // namespace os
