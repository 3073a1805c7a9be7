// The application object and the window calls on the simulated display: minimise and
// restore with their events, the taskbar entry, exceptions shown by the default display,
// the screen, pointer and key state, window regions.
#include "framework/application.hpp"
#include "framework/message_box.hpp"
#include "framework/regions.hpp"
#include "framework/timer.hpp"
#include "framework/window_calls.hpp"
#include "os/sim_platform.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

struct Events : fw::TObject {
    std::vector<std::string> seen;
    void Minimize(fw::TObject*) { seen.push_back("minimize"); }
    void Restore(fw::TObject*) { seen.push_back("restore"); }
    void Tick(fw::TObject*) { throw fw::EInvalidOperation("Failed to set data for 'Top'"); }
};

class ApplicationTest : public ::testing::Test {
protected:
    os::SimPlatform platform;
    fw::Runtime runtime{platform};
    os::SimDisplay& screen = platform.Screen();
    fw::TForm* form = nullptr;
    Events events;

    void SetUp() override {
        fw::Application->SetTitle("Mirelo");
        fw::Application->CreateForm(form);
        form->SetBorderStyle(fw::bsNone);
        form->SetCaption("Form1");
        form->SetBounds(10, 20, 50, 40);
        fw::Application->OnMinimize = fw::Bind<&Events::Minimize>(events);
        fw::Application->OnRestore = fw::Bind<&Events::Restore>(events);
        form->Show();
        runtime.Loop().RunFor(1ms);
    }
    const os::SimWindow& Window() const { return screen.Window(form->DisplayWindow()); }
};

} // namespace

TEST_F(ApplicationTest, MainFormIsTitledAfterTheApplicationAndMinimiseRestoreRaiseTheirEvents) {
    EXPECT_EQ(Window().title, "Mirelo");
    fw::Application->Minimize();
    EXPECT_TRUE(Window().iconic);
    EXPECT_TRUE(fw::Application->Minimized());
    fw::Application->Minimize(); // already minimised: no second event
    fw::Application->Restore();
    EXPECT_FALSE(Window().iconic);
    EXPECT_EQ(events.seen, (std::vector<std::string>{"minimize", "restore"}));
    // A minimise by the window system reaches the same events.
    screen.Iconify(form->DisplayWindow());
    runtime.Loop().RunFor(1ms);
    screen.Restore(form->DisplayWindow());
    runtime.Loop().RunFor(1ms);
    EXPECT_EQ(events.seen,
              (std::vector<std::string>{"minimize", "restore", "minimize", "restore"}));
}

TEST_F(ApplicationTest, HidingTheApplicationWindowRemovesTheTaskbarEntry) {
    EXPECT_FALSE(Window().skip_taskbar);
    fw::ShowWindow(fw::Application->Handle(), fw::SW_HIDE);
    EXPECT_TRUE(Window().skip_taskbar);
    fw::ShowWindow(fw::Application->Handle(), fw::SW_SHOWDEFAULT);
    EXPECT_FALSE(Window().skip_taskbar);
    EXPECT_TRUE(fw::IsWindow(fw::Application->Handle()));
}

TEST_F(ApplicationTest, AnExceptionInAHandlerIsShownByTheDefaultErrorDisplayAndTheLoopGoesOn) {
    std::vector<std::string> boxes;
    auto old = fw::SetMessageBoxHook([&](const std::string& t) {
        boxes.push_back(t);
        return true;
    });
    auto* timer = fw::New<fw::TTimer>(*form);
    timer->SetInterval(100);
    timer->SetOnTimer(fw::Bind<&Events::Tick>(events));
    runtime.Loop().RunFor(250ms);
    fw::SetMessageBoxHook(old);
    EXPECT_EQ(boxes, std::vector<std::string>(2, "Failed to set data for 'Top'."));
}

TEST_F(ApplicationTest, AHandlerFailingAgainWhileTheErrorBoxShowsGoesToStandardError) {
    // The first box is shown for real; any box opened inside it is counted and closed at
    // once, so that a nesting display still lets the test end.
    int boxes = 0;
    auto old = fw::SetMessageBoxHook([&](const std::string&) { return ++boxes > 1; });
    auto* timer = fw::New<fw::TTimer>(*form);
    timer->SetInterval(10);
    timer->SetOnTimer(fw::Bind<&Events::Tick>(events));
    // The box's loop runs the failing timer at 20, 30, ... 100 ms; Enter closes the box.
    platform.Virtual().Schedule(platform.GetClock().Monotonic() + 105ms, [&] {
        timer->SetEnabled(false);
        screen.KeyDown(fw::VK_RETURN);
    });
    testing::internal::CaptureStderr();
    runtime.Loop().RunFor(200ms);
    const std::string errors = testing::internal::GetCapturedStderr();
    fw::SetMessageBoxHook(old);
    EXPECT_EQ(boxes, 1);
    std::string expected;
    for (int i = 0; i < 9; ++i)
        expected += "Failed to set data for 'Top'.\n";
    EXPECT_EQ(errors, expected);
    EXPECT_EQ(fw::Screen->FormCount(), 1);
    // With the box gone, the next failure gets a box of its own.
    timer->SetEnabled(true);
    old = fw::SetMessageBoxHook([&](const std::string&) { return ++boxes > 0; });
    runtime.Loop().RunFor(15ms);
    fw::SetMessageBoxHook(old);
    EXPECT_EQ(boxes, 2);
}

TEST_F(ApplicationTest, ScreenPointerAndKeyStateComeFromTheDisplay) {
    EXPECT_EQ(fw::GetSystemMetrics(fw::SM_CXSCREEN), 1024);
    EXPECT_EQ(fw::Screen->Height(), 768);
    screen.MovePointer(33, 44);
    fw::TPoint p;
    ASSERT_TRUE(fw::GetCursorPos(&p));
    EXPECT_EQ(p, (fw::TPoint{33, 44}));
    EXPECT_GE(fw::GetKeyState(fw::VK_SHIFT), 0);
    screen.KeyDown(fw::VK_SHIFT);
    EXPECT_LT(fw::GetKeyState(fw::VK_SHIFT), 0);
    screen.KeyUp(fw::VK_SHIFT);
    EXPECT_EQ(fw::GetForegroundWindow(), form->Handle());
}

TEST_F(ApplicationTest, RegionDataRoundTripsAndAWindowRegionShapesTheWindow) {
    const fw::Region disc = fw::Region::FromRects(
        std::vector<fw::TRect>{{10, 0, 40, 10}, {0, 10, 50, 30}, {10, 30, 40, 40}});
    const auto data = disc.Data(2488);
    const fw::HRGN h =
        fw::ExtCreateRegion(nullptr, static_cast<std::uint32_t>(data.size()), data.data());
    ASSERT_NE(h, 0u);
    std::vector<std::byte> back(fw::GetRegionData(h, 0, nullptr));
    EXPECT_EQ(back.size(), data.size());
    fw::GetRegionData(h, static_cast<std::uint32_t>(back.size()), back.data());
    EXPECT_EQ(fw::Region::FromData(back), disc);
    EXPECT_EQ(fw::SetWindowRgn(form->Handle(), h, true), 1);
    EXPECT_EQ(fw::RegionOf(h), nullptr); // the window owns it now
    ASSERT_TRUE(Window().shape.has_value());
    EXPECT_EQ(Window().shape->size(), 3u);
    // Malformed data give no region.
    const std::byte junk[8]{};
    EXPECT_EQ(fw::ExtCreateRegion(nullptr, sizeof junk, junk), 0u);
}
