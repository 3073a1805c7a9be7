// The system's clocks: steady time for intervals, local civil time for Now().
#include "os/clock/clock.hpp"

#include <ctime>

namespace os {

namespace {
// The C library's clock_gettime rather than the C++ library's wrapper of it: the loop reads
// the time a few times every turn, and each library touched is more code to bring back in
// after 10 ms asleep.
Nanos MonotonicSinceBoot() {
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return std::chrono::seconds(ts.tv_sec) + Nanos(ts.tv_nsec);
}
} // namespace

RealClock::RealClock() : origin_(MonotonicSinceBoot()) {}

[[gnu::hot]] TimePoint RealClock::Monotonic() const {
    return MonotonicSinceBoot() - origin_;
}

double RealClock::Now() const {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    tm local{};
    localtime_r(&ts.tv_sec, &local);
    return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                          local.tm_min, local.tm_sec, static_cast<int>(ts.tv_nsec / 1000000));
}

} // namespace os
