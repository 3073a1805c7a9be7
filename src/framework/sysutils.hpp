// Date-time values of the platform's clock, in days since 30 December 1899.
#pragma once

namespace fw {

// The local date and time.
double Now();
// Monotonic time in the same unit as Now, counted from the clock's origin: for measuring
// intervals that a change of the system clock or of daylight saving time must not disturb.
double MonotonicNow();

} // namespace fw
