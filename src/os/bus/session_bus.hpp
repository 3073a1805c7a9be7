// The program's one connection to the session bus, shared by every client on it (the
// notification area, the desktop portal). It is opened without waiting: the socket, the
// authentication and the hello all go on inside the event wait, driven by the connection's
// own events and deadline, so a daemon that is stuck, or a socket that accepts and never
// answers, never holds the user-interface thread. An attempt that is not through in 2 s is
// given up, and the next one is made no sooner than a minute later.
#pragma once

#include "os/clock/clock.hpp"
#include "os/wait/event_wait.hpp"

#include <chrono>
#include <functional>
#include <map>

struct sd_bus;

namespace os {

class SessionBus {
public:
    static constexpr Nanos kConnectTimeout = std::chrono::seconds(2);
    static constexpr Nanos kRetryAfter = std::chrono::minutes(1);
    // Every method call on the connection gives up after this long, with an error reply.
    static constexpr std::uint64_t kCallTimeoutUs = 2'000'000;

    SessionBus(PollEventWait& wait, const Clock& clock);
    ~SessionBus();
    SessionBus(const SessionBus&) = delete;
    SessionBus& operator=(const SessionBus&) = delete;

    // Starts connecting ($DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus) and returns at
    // once; nothing when connected, connecting, or when an attempt failed less than
    // kRetryAfter ago. A connection that was lost may be looked for again at once.
    void Connect();
    // The connection once the daemon has answered its hello, else null. Clients make only
    // asynchronous calls on it; their replies, signals and time-outs are handled by the
    // event wait.
    sd_bus* Bus() const { return ready_ ? bus_ : nullptr; }
    bool Connecting() const { return bus_ && !ready_; }

    // Told `bus` when the connection is ready, and null when it is lost or an attempt
    // fails. A client drops its slots on null: the connection goes right after. Listeners
    // may connect, listen and stop listening from inside.
    using Listener = std::function<void(sd_bus* bus)>;
    int Listen(Listener listener);
    void StopListening(int token);

    // Handles whatever the connection has for us and its time-outs, without blocking; the
    // event wait calls it.
    void Process();
    // Says that a client has used the connection (a call, a signal, a name asked for or
    // given up) outside Process(): what it waits for is asked of sd-bus again before the
    // next sleep. Asking on every turn would bring sd-bus's code and data back into the
    // cache a hundred times a second in an idle program; a use not said is caught by the
    // first sleep kAskAgainAfter after the last asking, without waking for it.
    void Used() { asked_ = false; }
    static constexpr Nanos kAskAgainAfter = std::chrono::seconds(1);

private:
    PollEventWait::Interest Ask() const;
    void Drop(bool failed);
    void Tell(sd_bus* bus);

    PollEventWait& wait_;
    const Clock& clock_;
    sd_bus* bus_ = nullptr;
    int fd_ = -1;
    bool ready_ = false;
    TimePoint give_up_{};
    bool failed_once_ = false;
    TimePoint failed_at_{};
    bool asked_ = false; // want_ is what sd-bus said, since the connection was last used
    TimePoint asked_at_{};
    PollEventWait::Interest want_;
    int next_token_ = 1;
    std::map<int, Listener> listeners_;
};

} // namespace os
