#include "framework/thread.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

using namespace std::chrono_literals;

namespace {

// Counts steps at safe points until terminated.
struct Counter : fw::TThread {
    std::atomic<int> steps{0};
    std::atomic<bool>* destroyed = nullptr;
    explicit Counter(bool suspended, std::atomic<bool>* d = nullptr)
        : TThread(suspended), destroyed(d) {}
    ~Counter() override {
        TerminateAndWait(); // Execute uses this object's members
        if (destroyed) *destroyed = true;
    }
    void Execute() override {
        while (!Terminated()) {
            CheckSuspended();
            ++steps;
            Sleep(1);
        }
        ReturnValue = 7;
    }
};

template <class Pred> bool Eventually(Pred p) {
    for (int i = 0; i < 2000; ++i) {
        if (p()) return true;
        std::this_thread::sleep_for(1ms);
    }
    return false;
}

} // namespace

TEST(Thread, CreatedSuspendedRunsOnlyAfterResume) {
    auto* t = fw::NewThread<Counter>(true);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(t->steps, 0);
    EXPECT_TRUE(t->Suspended());
    t->Resume();
    EXPECT_TRUE(Eventually([&] { return t->steps > 3; }));
    t->Terminate();
    EXPECT_EQ(t->WaitFor(), 7);
    EXPECT_TRUE(t->Finished());
    delete t;
}

TEST(Thread, SuspendStopsAtTheNextSafePointAndResumeGoesOn) {
    std::unique_ptr<Counter> t(fw::NewThread<Counter>(false));
    ASSERT_TRUE(Eventually([&] { return t->steps > 3; }));
    t->Suspend();
    std::this_thread::sleep_for(20ms); // let it reach a safe point
    const int held = t->steps;
    std::this_thread::sleep_for(30ms);
    EXPECT_LE(t->steps - held, 1);
    t->Resume();
    EXPECT_TRUE(Eventually([&] { return t->steps > held + 3; }));
}

TEST(Thread, DestroyingASuspendedThreadEndsIt) {
    auto t = std::make_unique<Counter>(true);
    t->AfterConstruction();
    t->Resume();
    ASSERT_TRUE(Eventually([&] { return t->steps > 0; }));
    t->Suspend();
    t.reset(); // terminates, resumes and joins; must not hang
    SUCCEED();
}

TEST(Thread, SleepEndsEarlyOnTerminate) {
    struct Sleeper : fw::TThread {
        std::atomic<bool> woke_early{false};
        Sleeper() : TThread(false) {}
        ~Sleeper() override { TerminateAndWait(); }
        void Execute() override { woke_early = !Sleep(60000); }
    };
    std::unique_ptr<Sleeper> t(fw::NewThread<Sleeper>());
    std::this_thread::sleep_for(10ms);
    const auto start = std::chrono::steady_clock::now();
    t->Terminate();
    t->WaitFor();
    EXPECT_TRUE(t->woke_early);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST(Thread, FreeOnTerminateFreesItselfWhenExecuteReturns) {
    std::atomic<bool> destroyed{false};
    auto* t = new Counter(true, &destroyed);
    t->FreeOnTerminate = true;
    t->Resume();
    ASSERT_TRUE(Eventually([&] { return t->steps > 0; }));
    t->Terminate(); // from here on the object may vanish at any moment
    EXPECT_TRUE(Eventually([&] { return destroyed.load(); }));
}

TEST(Thread, AnExceptionFromExecuteEndsOnlyTheThreadAndIsKeptForTheOwner) {
    struct Failing : fw::TThread {
        std::atomic<bool>* destroyed = nullptr;
        explicit Failing(bool suspended, std::atomic<bool>* d = nullptr)
            : TThread(suspended), destroyed(d) {}
        ~Failing() override {
            if (destroyed) *destroyed = true;
        }
        void Execute() override {
            ReturnValue = 3;
            throw std::runtime_error("device gone");
        }
    };
    std::unique_ptr<Failing> t(fw::NewThread<Failing>(false));
    EXPECT_EQ(t->WaitFor(), 3);
    EXPECT_TRUE(t->Finished());
    ASSERT_TRUE(t->FatalException());
    try {
        std::rethrow_exception(t->FatalException());
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "device gone");
    }
    // A self-freeing thread has no owner to keep it for: it goes to standard error.
    std::atomic<bool> destroyed{false};
    testing::internal::CaptureStderr();
    auto* lone = new Failing(true, &destroyed);
    lone->FreeOnTerminate = true;
    lone->Resume();
    ASSERT_TRUE(Eventually([&] { return destroyed.load(); }));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "device gone\n");
}
