// Time for the whole program: a monotonic clock for timers and devices, and the local
// date-time derived from it. The virtual clock also runs scheduled callbacks, which is how
// simulated devices act at exact moments of virtual time.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>

namespace os {

using Nanos = std::chrono::nanoseconds;
// A point of monotonic time, counted from the clock's own origin.
using TimePoint = std::chrono::nanoseconds;

class Clock {
public:
    virtual ~Clock() = default;
    virtual TimePoint Monotonic() const = 0;
    // Local date-time: days since 30 December 1899, the time of day as the fraction.
    virtual double Now() const = 0;
    // True for a clock whose time moves only when it is advanced.
    virtual bool IsVirtual() const { return false; }
};

class RealClock final : public Clock {
public:
    RealClock();
    TimePoint Monotonic() const override;
    double Now() const override;

private:
    Nanos origin_;
};

// A clock that a test drives. Now() starts at a given date-time and advances with the
// monotonic time. Callbacks scheduled at a time run, in time order, when time is advanced
// past them (callbacks with equal times run in the order they were scheduled).
class VirtualClock final : public Clock {
public:
    // 45658.5 is 1 January 2025, noon.
    explicit VirtualClock(double start_date_time = 45658.5);
    TimePoint Monotonic() const override;
    double Now() const override;
    bool IsVirtual() const override { return true; }
    // Sets the local date-time, as a change of the system clock or of daylight saving
    // time does; monotonic time goes on unchanged.
    void SetDateTime(double date_time);

    using Callback = std::function<void()>;
    using Token = std::uint64_t;
    Token Schedule(TimePoint at, Callback fn);
    void Cancel(Token token);
    std::optional<TimePoint> NextScheduled() const;
    // Moves time to `to` (never backwards), running every callback due on the way at its
    // own moment. A callback may schedule further callbacks; those due by `to` run too.
    void AdvanceTo(TimePoint to);
    void AdvanceBy(Nanos d) { AdvanceTo(Monotonic() + d); }
    // Runs the callbacks due at the earliest scheduled time, if it is not after `limit`,
    // and moves time there. Returns false when nothing was due by `limit`.
    bool RunNext(TimePoint limit);

private:
    mutable std::mutex mutex_;
    TimePoint now_{0};
    double start_;
    std::uint64_t next_seq_ = 1;
    std::map<std::pair<TimePoint, std::uint64_t>, Callback> due_;
};

// Conversions between civil time and the day count used by Now().
double EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms);
struct DateTimeParts {
    int year, month, day, hour, minute, second, millisecond;
};
DateTimeParts DecodeDateTime(double date_time);

} // namespace os
