#include "framework/message_loop.hpp"
#include "os/sim_platform.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using fw::TMessage;

namespace {

struct LoopTest : ::testing::Test {
    os::SimPlatform platform;
    fw::MessageLoop loop{platform.GetClock(), platform.GetWait()};
};

struct Recorder : fw::MessageTarget {
    std::vector<TMessage> seen;
    std::function<void(TMessage&)> on;
    void WndProc(TMessage& m) override {
        seen.push_back(m);
        if (on) on(m);
    }
};

} // namespace

TEST_F(LoopTest, TenMillisecondTimerTicksExactly1000TimesIn10VirtualSeconds) {
    std::vector<os::TimePoint> ticks;
    fw::HiddenWindow w([&](TMessage& m) {
        if (m.Msg == fw::WM_TIMER && m.WParam == 7) ticks.push_back(loop.Clock().Monotonic());
    });
    ASSERT_TRUE(loop.SetTimer(w.Handle(), 7, 10));
    loop.RunFor(10s);
    ASSERT_EQ(ticks.size(), 1000u);
    EXPECT_EQ(ticks.front(), 10ms);
    EXPECT_EQ(ticks.back(), 10s);
    for (size_t i = 1; i < ticks.size(); ++i)
        ASSERT_EQ(ticks[i] - ticks[i - 1], 10ms);
    loop.RunFor(5ms);
    EXPECT_EQ(ticks.size(), 1000u);
    loop.KillTimer(w.Handle(), 7);
    loop.RunFor(1s);
    EXPECT_EQ(ticks.size(), 1000u);
}

TEST_F(LoopTest, ScheduledDeviceNotificationsAndTicksArriveInTimeOrder) {
    std::vector<std::pair<char, os::TimePoint>> seen;
    fw::HiddenWindow w([&](TMessage& m) {
        seen.push_back({m.Msg == fw::WM_TIMER ? 't' : 'd', loop.Clock().Monotonic()});
    });
    loop.SetTimer(w.Handle(), 1, 100);
    // A simulated device posts at its own moments of virtual time.
    for (int ms : {150, 250, 300})
        platform.Virtual().Schedule(std::chrono::milliseconds(ms),
                                    [&, h = w.Handle()] { loop.PostMessage(h, fw::MM_WIM_DATA); });
    loop.RunFor(310ms);
    std::vector<std::pair<char, os::TimePoint>> want = {{'t', 100ms}, {'d', 150ms}, {'t', 200ms},
                                                        {'d', 250ms}, {'d', 300ms}, {'t', 300ms}};
    EXPECT_EQ(seen, want);
}

TEST_F(LoopTest, MessagesFromFourThreadsAllArriveEachInOrder) {
    constexpr int kPerThread = 5000;
    std::vector<std::vector<int>> got(4);
    int total = 0;
    fw::HiddenWindow w([&](TMessage& m) {
        got[m.WParam].push_back(static_cast<int>(m.LParam));
        ++total;
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < kPerThread; ++i)
                ASSERT_TRUE(fw::PostMessage(w.Handle(), fw::WM_USER, t, i));
        });
    loop.RunUntil([&] { return total == 4 * kPerThread; });
    for (auto& t : threads)
        t.join();
    for (int t = 0; t < 4; ++t) {
        ASSERT_EQ(got[t].size(), static_cast<size_t>(kPerThread));
        for (int i = 0; i < kPerThread; ++i)
            ASSERT_EQ(got[t][i], i);
    }
}

TEST_F(LoopTest, WindowDestroyedInsideItsOwnHandlerIsSafeAndLaterMessagesAreDropped) {
    // The object that owns the window frees itself from inside the handler, deferred
    // until the handler has returned.
    struct SelfDestroying final : fw::MessageTarget {
        fw::MessageLoop& loop;
        std::unique_ptr<SelfDestroying>* holder;
        fw::HWND handle;
        std::vector<int> log;
        int* handled;
        fw::UINT close_on = fw::WM_CLOSE;
        SelfDestroying(fw::MessageLoop& l, std::unique_ptr<SelfDestroying>* h, int* count)
            : loop(l), holder(h), handle(l.AllocateHandle(this)), handled(count) {}
        ~SelfDestroying() { loop.DestroyHandle(handle); }
        void WndProc(TMessage& m) override {
            ++*handled;
            if (m.Msg == close_on) {
                loop.DestroyHandle(handle);
                EXPECT_FALSE(loop.IsWindow(handle));
                auto* h = holder;
                loop.ReleaseAfterDispatch(handle, [h] { h->reset(); });
                log.push_back(1); // still alive here
                EXPECT_NE(*holder, nullptr);
            }
        }
    };
    int handled = 0;
    std::unique_ptr<SelfDestroying> obj;
    obj = std::make_unique<SelfDestroying>(loop, &obj, &handled);
    const auto h = obj->handle;
    loop.PostMessage(h, fw::WM_USER);
    loop.PostMessage(h, fw::WM_CLOSE);
    loop.PostMessage(h, fw::WM_USER);
    loop.ProcessMessages();
    EXPECT_EQ(handled, 2);
    EXPECT_EQ(obj, nullptr);
    EXPECT_FALSE(loop.IsWindow(h));
    EXPECT_FALSE(loop.PostMessage(h, fw::WM_USER));
    EXPECT_EQ(loop.SendMessage(h, fw::WM_USER), 0);
    // The same from inside a timer's tick, which reaches its window without a lookup.
    obj = std::make_unique<SelfDestroying>(loop, &obj, &handled);
    obj->close_on = fw::WM_TIMER;
    const auto ticking = obj->handle;
    loop.SetTimer(ticking, 1, 10);
    loop.RunFor(50ms);
    EXPECT_EQ(handled, 3);
    EXPECT_EQ(obj, nullptr);
    EXPECT_FALSE(loop.IsWindow(ticking));
}

TEST_F(LoopTest, SendMessageIsSynchronousAndReturnsTheResult) {
    Recorder r;
    const auto h = loop.AllocateHandle(&r);
    r.on = [](TMessage& m) { m.Result = static_cast<fw::LRESULT>(m.WParam * 2); };
    EXPECT_EQ(loop.SendMessage(h, fw::WM_USER, 21), 42);
    ASSERT_EQ(r.seen.size(), 1u);
    loop.DestroyHandle(h);
}

TEST_F(LoopTest, HandlesAreNeverReused) {
    Recorder r;
    const auto a = loop.AllocateHandle(&r);
    loop.DestroyHandle(a);
    const auto b = loop.AllocateHandle(&r);
    EXPECT_NE(a, b);
    EXPECT_FALSE(loop.IsWindow(a));
    EXPECT_TRUE(loop.IsWindow(b));
    loop.DestroyHandle(b);
}

TEST_F(LoopTest, NestedModalLoopSeesTicksAndPostsAndLeavesQuitForTheOuterLoop) {
    int ticks = 0;
    bool modal_done = false;
    fw::HiddenWindow w([&](TMessage& m) {
        if (m.Msg == fw::WM_TIMER) ++ticks;
        if (m.Msg == fw::WM_USER) {
            // A modal loop inside a handler, ended by a later message.
            loop.RunUntil([&] { return modal_done; });
            loop.PostQuitMessage(3);
        }
        if (m.Msg == fw::WM_USER + 1) modal_done = true;
    });
    loop.SetTimer(w.Handle(), 1, 10);
    loop.PostMessage(w.Handle(), fw::WM_USER);
    platform.Virtual().Schedule(105ms, [&] { loop.PostMessage(w.Handle(), fw::WM_USER + 1); });
    EXPECT_EQ(loop.Run(), 3);
    EXPECT_EQ(ticks, 10);
    EXPECT_EQ(loop.Clock().Monotonic(), 105ms);
}

TEST_F(LoopTest, IdleHandlersMayAddAndRemoveHandlersAndRunANestedLoop) {
    std::vector<int> ran;
    fw::MessageLoop::IdleId first = 0, second = 0, third = 0;
    bool nested = false;
    // The first runs a nested loop, whose idle turns run the others, then removes the second
    // and itself and adds a fourth: the rest of the outer turn skips the second, and the
    // fourth starts on the next turn.
    first = loop.AddIdleHandler([&] {
        if (nested) return;
        ran.push_back(1);
        nested = true;
        loop.RunFor(1ms);
        nested = false;
        loop.RemoveIdleHandler(second);
        loop.RemoveIdleHandler(first);
        loop.AddIdleHandler([&] { ran.push_back(4); });
    });
    second = loop.AddIdleHandler([&] { ran.push_back(2); });
    third = loop.AddIdleHandler([&] { ran.push_back(3); });
    loop.RunFor(1s);
    EXPECT_EQ(ran, (std::vector<int>{1, 2, 3, 2, 3, 3, 3, 4}));
    loop.RemoveIdleHandler(third);
    ran.clear();
    loop.RunFor(1s);
    EXPECT_EQ(ran, (std::vector<int>{4, 4}));
}

TEST_F(LoopTest, ATimerHandlerThatKillsOneTimerAndSetsAnotherIsObeyedAtOnce) {
    using Tick = std::pair<fw::UINT_PTR, os::TimePoint>;
    std::vector<Tick> ticks;
    fw::HiddenWindow w([&](TMessage& m) {
        if (m.Msg != fw::WM_TIMER) return;
        ticks.emplace_back(m.WParam, loop.Clock().Monotonic());
        if (m.WParam == 1 && ticks.size() == 1) {
            loop.KillTimer(w.Handle(), 2);
            loop.SetTimer(w.Handle(), 3, 3);
        }
        if (m.WParam == 3 && loop.Clock().Monotonic() >= 16ms) loop.KillTimer(w.Handle(), 3);
    });
    loop.SetTimer(w.Handle(), 1, 10);
    loop.SetTimer(w.Handle(), 2, 15);
    loop.RunFor(25ms);
    EXPECT_EQ(ticks, (std::vector<Tick>{{1, 10ms}, {3, 13ms}, {3, 16ms}, {1, 20ms}}));
}

TEST(RealLoop, TimerTicksOnTheRealClock) {
    os::RealClock clock;
    os::PollEventWait wait(clock);
    fw::MessageLoop loop(clock, wait);
    int ticks = 0;
    fw::HiddenWindow w([&](TMessage&) { ++ticks; });
    loop.SetTimer(w.Handle(), 1, 10);
    const auto start = clock.Monotonic();
    loop.RunFor(200ms);
    EXPECT_GE(clock.Monotonic() - start, 200ms);
    EXPECT_GE(ticks, 10);
    EXPECT_LE(ticks, 20);
}
