// The system's clocks: steady time for intervals, local civil time for Now().
#include "os/clock/clock.hpp"

#include <ctime>

namespace os {

RealClock::RealClock() : origin_(std::chrono::steady_clock::now()) {}

TimePoint RealClock::Monotonic() const {
    return std::chrono::duration_cast<Nanos>(std::chrono::steady_clock::now() - origin_);
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
