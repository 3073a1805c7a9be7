#include "os/clock/clock.hpp"
#include "os/wait/event_wait.hpp"

#include <gtest/gtest.h>

#include <poll.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;

TEST(DateTime, EncodesDaysSince30December1899) {
    EXPECT_DOUBLE_EQ(os::EncodeDateTime(1899, 12, 30, 0, 0, 0, 0), 0.0);
    EXPECT_DOUBLE_EQ(os::EncodeDateTime(1900, 1, 1, 0, 0, 0, 0), 2.0);
    EXPECT_DOUBLE_EQ(os::EncodeDateTime(2000, 1, 1, 18, 0, 0, 0), 36526.75);
    EXPECT_DOUBLE_EQ(os::EncodeDateTime(1899, 12, 29, 0, 0, 0, 0), -1.0);
}

TEST(DateTime, DecodeInvertsEncode) {
    for (double d : {0.0, 2.0, 36526.75, 45658.123456, 46000.999}) {
        const auto p = os::DecodeDateTime(d);
        const double back =
            os::EncodeDateTime(p.year, p.month, p.day, p.hour, p.minute, p.second, p.millisecond);
        EXPECT_NEAR(back, d, 1.0 / 86400000.0) << d;
    }
    const auto p = os::DecodeDateTime(os::EncodeDateTime(2024, 2, 29, 23, 59, 59, 999));
    EXPECT_EQ(p.year, 2024);
    EXPECT_EQ(p.month, 2);
    EXPECT_EQ(p.day, 29);
    EXPECT_EQ(p.hour, 23);
    EXPECT_EQ(p.millisecond, 999);
}

TEST(RealClock, NowIsTodayAndMonotonicAdvances) {
    os::RealClock clock;
    const auto a = clock.Monotonic();
    std::this_thread::sleep_for(2ms);
    EXPECT_GE(clock.Monotonic() - a, 2ms);
    const auto now = clock.Now();
    EXPECT_GT(now, os::EncodeDateTime(2020, 1, 1, 0, 0, 0, 0));
    EXPECT_LT(now, os::EncodeDateTime(2100, 1, 1, 0, 0, 0, 0));
}

TEST(VirtualClock, RunsScheduledCallbacksInTimeOrderAtTheirMoment) {
    os::VirtualClock clock(100.0);
    std::vector<std::pair<int, os::TimePoint>> seen;
    clock.Schedule(30ms, [&] { seen.push_back({3, clock.Monotonic()}); });
    clock.Schedule(10ms, [&] {
        seen.push_back({1, clock.Monotonic()});
        clock.Schedule(20ms, [&] { seen.push_back({2, clock.Monotonic()}); });
    });
    const auto cancelled = clock.Schedule(15ms, [&] { seen.push_back({99, 0ms}); });
    clock.Cancel(cancelled);
    clock.Schedule(50ms, [&] { seen.push_back({5, clock.Monotonic()}); });
    clock.AdvanceTo(30ms);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], std::make_pair(1, os::TimePoint(10ms)));
    EXPECT_EQ(seen[1], std::make_pair(2, os::TimePoint(20ms)));
    EXPECT_EQ(seen[2], std::make_pair(3, os::TimePoint(30ms)));
    EXPECT_EQ(clock.Monotonic(), 30ms);
    EXPECT_DOUBLE_EQ(clock.Now(), 100.0 + 0.030 / 86400.0);
    EXPECT_EQ(clock.NextScheduled(), os::TimePoint(50ms));
}

TEST(VirtualEventWait, AdvancesToDeadlineAndReturnsEarlyForWork) {
    os::VirtualClock clock;
    os::VirtualEventWait wait(clock);
    wait.Wait(5s);
    EXPECT_EQ(clock.Monotonic(), 5s);
    // A scheduled callback that wakes ends the wait at its own moment.
    clock.Schedule(6s, [&] { wait.Wake(); });
    wait.Wait(10s);
    EXPECT_EQ(clock.Monotonic(), 6s);
    // Without a deadline the wait blocks until another thread wakes it.
    std::thread t([&] {
        std::this_thread::sleep_for(5ms);
        wait.Wake();
    });
    wait.Wait(std::nullopt);
    t.join();
    EXPECT_EQ(clock.Monotonic(), 6s);
}

TEST(PollEventWait, SleepsUntilDeadlineOrWake) {
    os::RealClock clock;
    os::PollEventWait wait(clock);
    auto start = clock.Monotonic();
    wait.Wait(clock.Monotonic() + 20ms);
    EXPECT_GE(clock.Monotonic() - start, 20ms);
    std::thread t([&] {
        std::this_thread::sleep_for(10ms);
        wait.Wake();
    });
    start = clock.Monotonic();
    wait.Wait(std::nullopt);
    t.join();
    EXPECT_LT(clock.Monotonic() - start, 5s);
}

// A ready source's handler runs inside the wait; a handler may remove its own source and
// another one that is ready in the same round, whose handler then does not run.
TEST(PollEventWait, RunsTheHandlersOfReadySourcesWhichMayRemoveSources) {
    os::RealClock clock;
    os::PollEventWait wait(clock);
    int a[2], b[2], idle[2];
    ASSERT_EQ(pipe(a), 0);
    ASSERT_EQ(pipe(b), 0);
    ASSERT_EQ(pipe(idle), 0);
    std::vector<char> ran;
    const auto drain = [](int fd) {
        char c;
        [[maybe_unused]] ssize_t n = read(fd, &c, 1);
    };
    wait.AddSource(a[0], [&] {
        ran.push_back('a');
        drain(a[0]);
        wait.RemoveSource(a[0]);
        wait.RemoveSource(b[0]);
    });
    wait.AddSource(b[0], [&] { ran.push_back('b'); });
    wait.AddSource(idle[0], [&] { ran.push_back('i'); });
    ASSERT_EQ(write(a[1], "x", 1), 1);
    ASSERT_EQ(write(b[1], "x", 1), 1);
    const auto start = clock.Monotonic();
    wait.Wait(clock.Monotonic() + 5s);
    EXPECT_LT(clock.Monotonic() - start, 1s);
    EXPECT_EQ(ran, std::vector<char>{'a'});
    // Both removed: still readable, they neither end a wait nor run.
    ASSERT_EQ(write(a[1], "x", 1), 1);
    wait.Wait(clock.Monotonic() + 20ms);
    EXPECT_EQ(ran, std::vector<char>{'a'});
    ASSERT_EQ(write(idle[1], "x", 1), 1);
    wait.Wait(clock.Monotonic() + 5s);
    EXPECT_EQ(ran, (std::vector<char>{'a', 'i'}));
    // A source's own deadline ends the wait and runs it, readable or not; a source that
    // waits to write runs once it can.
    wait.RemoveSource(idle[0]);
    drain(idle[0]);
    const auto due = clock.Monotonic() + 20ms;
    wait.AddSource(
        idle[0], [&] { ran.push_back('d'); },
        [&] {
            return os::PollEventWait::Interest{0, due};
        });
    const auto before = clock.Monotonic();
    wait.Wait(clock.Monotonic() + 5s);
    EXPECT_LT(clock.Monotonic() - before, 1s);
    wait.RemoveSource(idle[0]);
    wait.AddSource(
        b[1], [&] { ran.push_back('w'); },
        [] {
            return os::PollEventWait::Interest{POLLOUT, std::nullopt};
        });
    wait.Wait(clock.Monotonic() + 5s);
    EXPECT_EQ(ran, (std::vector<char>{'a', 'i', 'd', 'w'}));
    for (int fd : {a[0], a[1], b[0], b[1], idle[0], idle[1]})
        close(fd);
}
