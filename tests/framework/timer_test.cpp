#include "framework/exception_guard.hpp"
#include "framework/form_reader.hpp"
#include "framework/timer.hpp"
#include "os/sim_platform.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

class TTickForm : public fw::TComponent {
    FW_CLASS(TTickForm, fw::TComponent)
public:
    using TComponent::TComponent;
    static void Describe(fw::TClassBuilder<TTickForm>& c) {
        c.Field("Timer1", &TTickForm::Timer1);
        c.Method<&TTickForm::Timer1Timer>("Timer1Timer");
    }
    fw::TTimer* Timer1 = nullptr;
    std::vector<os::TimePoint> ticks;
    bool fail = false;
    void Timer1Timer(fw::TObject* sender) {
        EXPECT_EQ(sender, Timer1);
        ticks.push_back(fw::MessageLoop::Current().Clock().Monotonic());
        if (fail) throw fw::Exception("tick failed");
    }
};

struct TimerTest : ::testing::Test {
    os::SimPlatform platform;
    fw::MessageLoop loop{platform.GetClock(), platform.GetWait()};
    TimerTest() { fw::RegisterClasses<TTickForm, fw::TTimer>(); }
};

const char* kForm = "object TickForm: TTickForm\n"
                    "  object Timer1: TTimer\n"
                    "    Interval = 10\n"
                    "    OnTimer = Timer1Timer\n"
                    "  end\n"
                    "end\n";

} // namespace

TEST_F(TimerTest, LoadedFromADescriptionItTicksEvery10MsUntilDisabled) {
    TTickForm form(nullptr);
    fw::ReadComponent(kForm, form);
    ASSERT_NE(form.Timer1, nullptr);
    loop.RunFor(10s);
    ASSERT_EQ(form.ticks.size(), 1000u);
    EXPECT_EQ(form.ticks[0], 10ms);
    form.Timer1->SetEnabled(false);
    loop.RunFor(1s);
    EXPECT_EQ(form.ticks.size(), 1000u);
    form.Timer1->SetEnabled(true);
    form.Timer1->SetInterval(250);
    loop.RunFor(1s);
    EXPECT_EQ(form.ticks.size(), 1004u);
}

TEST_F(TimerTest, DoesNotRunWithoutAHandlerOrWithIntervalZeroOrAfterDestruction) {
    TTickForm form(nullptr);
    auto* timer = fw::New<fw::TTimer>(form);
    timer->SetInterval(10);
    loop.RunFor(1s);
    EXPECT_TRUE(form.ticks.empty());
    timer->SetOnTimer(fw::Bind<&TTickForm::Timer1Timer>(form));
    form.Timer1 = timer;
    timer->SetInterval(0);
    loop.RunFor(1s);
    EXPECT_TRUE(form.ticks.empty());
    timer->SetInterval(100);
    loop.RunFor(1s);
    EXPECT_EQ(form.ticks.size(), 10u);
    delete timer;
    form.Timer1 = nullptr;
    loop.RunFor(1s);
    EXPECT_EQ(form.ticks.size(), 10u);
}

TEST_F(TimerTest, AnExceptionInTheHandlerGoesToTheExceptionHandlerAndTheTimerGoesOn) {
    TTickForm form(nullptr);
    fw::ReadComponent(kForm, form);
    form.fail = true;
    std::vector<std::string> errors;
    auto old = fw::SetExceptionHandler([&](fw::TObject* sender, std::exception_ptr e) {
        EXPECT_EQ(sender, form.Timer1);
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& ex) {
            errors.push_back(ex.what());
        }
    });
    loop.RunFor(35ms);
    fw::SetExceptionHandler(old);
    EXPECT_EQ(form.ticks.size(), 3u);
    EXPECT_EQ(errors, std::vector<std::string>(3, "tick failed"));
}
