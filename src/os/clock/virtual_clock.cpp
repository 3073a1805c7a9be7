// The virtual clock and the day-count arithmetic shared by both clocks.
#include "os/clock/clock.hpp"

#include <cmath>

namespace os {

namespace {
constexpr double kNanosPerDay = 86400.0e9;

// Days from 0000-03-01 in the proleptic Gregorian calendar (Howard Hinnant's algorithm).
long DaysFromCivil(long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long>(doe) - 719468;
}

const long kEpochDays = DaysFromCivil(1899, 12, 30);
} // namespace

double EncodeDateTime(int year, int month, int day, int hour, int minute, int second, int ms) {
    const long days =
        DaysFromCivil(year, static_cast<unsigned>(month), static_cast<unsigned>(day)) - kEpochDays;
    const double frac = (((hour * 60.0 + minute) * 60.0 + second) * 1000.0 + ms) / 86400000.0;
    return static_cast<double>(days) + frac;
}

DateTimeParts DecodeDateTime(double date_time) {
    long days = static_cast<long>(date_time);
    if (static_cast<double>(days) > date_time) --days;
    long ms = std::lround((date_time - static_cast<double>(days)) * 86400000.0);
    if (ms >= 86400000) {
        ms -= 86400000;
        ++days;
    }
    // Civil from days (inverse of DaysFromCivil).
    long z = days + kEpochDays + 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long y = static_cast<long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    DateTimeParts p{};
    p.year = static_cast<int>(y + (m <= 2));
    p.month = static_cast<int>(m);
    p.day = static_cast<int>(d);
    p.hour = static_cast<int>(ms / 3600000);
    p.minute = static_cast<int>(ms / 60000 % 60);
    p.second = static_cast<int>(ms / 1000 % 60);
    p.millisecond = static_cast<int>(ms % 1000);
    return p;
}

VirtualClock::VirtualClock(double start_date_time) : start_(start_date_time) {}

TimePoint VirtualClock::Monotonic() const {
    std::lock_guard lock(mutex_);
    return now_;
}

double VirtualClock::Now() const {
    std::lock_guard lock(mutex_);
    return start_ + static_cast<double>(now_.count()) / kNanosPerDay;
}

void VirtualClock::SetDateTime(double date_time) {
    std::lock_guard lock(mutex_);
    start_ = date_time - static_cast<double>(now_.count()) / kNanosPerDay;
}

VirtualClock::Token VirtualClock::Schedule(TimePoint at, Callback fn) {
    std::lock_guard lock(mutex_);
    const Token token = next_seq_++;
    due_.emplace(std::make_pair(at, token), std::move(fn));
    return token;
}

void VirtualClock::Cancel(Token token) {
    std::lock_guard lock(mutex_);
    for (auto it = due_.begin(); it != due_.end(); ++it) {
        if (it->first.second == token) {
            due_.erase(it);
            return;
        }
    }
}

std::optional<TimePoint> VirtualClock::NextScheduled() const {
    std::lock_guard lock(mutex_);
    if (due_.empty()) return std::nullopt;
    return due_.begin()->first.first;
}

bool VirtualClock::RunNext(TimePoint limit) {
    Callback fn;
    {
        std::lock_guard lock(mutex_);
        if (due_.empty() || due_.begin()->first.first > limit) return false;
        auto it = due_.begin();
        if (it->first.first > now_) now_ = it->first.first;
        fn = std::move(it->second);
        due_.erase(it);
    }
    // Run outside the lock: the callback may schedule or read the time.
    fn();
    return true;
}

void VirtualClock::AdvanceTo(TimePoint to) {
    while (RunNext(to)) {
    }
    std::lock_guard lock(mutex_);
    if (to > now_) now_ = to;
}

} // namespace os
