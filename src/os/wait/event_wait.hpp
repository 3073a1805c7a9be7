// The one place where the user-interface thread sleeps: until another thread wakes it, an
// input source becomes readable, or a deadline of monotonic time passes.
#pragma once

#include "os/clock/clock.hpp"

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

struct epoll_event;

namespace os {

class EventWait {
public:
    virtual ~EventWait() = default;
    // Returns when Wake() was called (now or since the last return), an input source is
    // ready, or the deadline has passed. With no deadline it may sleep indefinitely.
    virtual void Wait(std::optional<TimePoint> deadline) = 0;
    // Safe from any thread.
    virtual void Wake() = 0;
};

// Sleeps in epoll_wait() on a wake-up descriptor and the descriptors that back ends register
// (the display connection, the session bus). Idle costs no CPU.
class PollEventWait final : public EventWait {
public:
    explicit PollEventWait(const Clock& clock);
    ~PollEventWait() override;
    PollEventWait(const PollEventWait&) = delete;
    PollEventWait& operator=(const PollEventWait&) = delete;

    void Wait(std::optional<TimePoint> deadline) override;
    void Wake() override;
    // For back ends in os/: a descriptor whose readability ends a wait. `on_ready`, when
    // given, runs on the waiting thread before Wait returns whenever the descriptor is
    // readable or has hung up; it may add and remove sources.
    void AddSource(int fd, std::function<void()> on_ready = {});
    // A source that says before every sleep what it waits for (poll's event bits, readable
    // when 0) and until when: `on_ready` also runs once its deadline has passed, readable or
    // not. For connections with time-outs of their own, such as the session bus.
    struct Interest {
        short events = 0;
        std::optional<TimePoint> deadline;
    };
    void AddSource(int fd, std::function<void()> on_ready, std::function<Interest()> interest);
    void RemoveSource(int fd);
    // Called before every sleep: requests buffered for a connection go out once per turn.
    // A plain interface, called every turn of an idle program. Null for none.
    class SleepHook {
    public:
        virtual void BeforeSleep() = 0;

    protected:
        ~SleepHook() = default;
    };
    void SetBeforeSleep(SleepHook* hook) { before_sleep_ = hook; }

private:
    struct Source {
        int fd;
        std::shared_ptr<std::function<void()>> on_ready;
        std::function<Interest()> interest;
        std::uint32_t registered = 0; // the epoll events the kernel holds for it
    };
    // Tells the kernel what a source waits for now, when that changed.
    void Watch(Source& source, std::uint32_t events);
    // Runs the handlers of the `count` sources found ready, and of those whose deadline
    // passed.
    void RunReady(const ::epoll_event* ready, int count);
    const Clock& clock_;
    int wake_fd_ = -1;
    std::vector<Source> sources_;
    SleepHook* before_sleep_ = nullptr;
    std::vector<std::pair<int, TimePoint>> timed_; // this turn's sources with a deadline
    // The set of descriptors lives in the kernel between waits: a turn neither builds nor
    // registers it again.
    int epoll_fd_ = -1;
};

// For the virtual clock: instead of sleeping until a deadline, time is advanced to it,
// running the clock's scheduled callbacks (simulated devices) in time order on the way.
// Only a wait with no deadline and nothing scheduled blocks, until another thread wakes it.
class VirtualEventWait final : public EventWait {
public:
    explicit VirtualEventWait(VirtualClock& clock) : clock_(clock) {}
    void Wait(std::optional<TimePoint> deadline) override;
    void Wake() override;

private:
    VirtualClock& clock_;
    std::mutex mutex_;
    std::condition_variable cv_;
    bool woken_ = false;
};

} // namespace os
