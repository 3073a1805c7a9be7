// Date-time values read from the platform's clock service.
#include "framework/sysutils.hpp"

#include "framework/platform_access.hpp"

#include <chrono>

namespace fw {

double Now() {
    return GetPlatform().GetClock().Now();
}

double MonotonicNow() {
    const auto t = GetPlatform().GetClock().Monotonic();
    return std::chrono::duration<double>(t).count() / 86400.0;
}

} // namespace fw
