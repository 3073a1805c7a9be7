// Minimising the main window to the notification area and back, on the simulated display
// and notification area: the icon and its tip, the taskbar entry, the click that brings the
// window back in front with its keys working, a take that goes on meanwhile, the taskbar
// when there is no notification area, and the user's animation setting.
#include "app_test_support.hpp"

#include "framework/window_calls.hpp"

#include <gtest/gtest.h>

#include <chrono>

namespace {

using namespace std::chrono_literals;
using apptest::MainWindow;

struct Window : MainWindow {
    using MainWindow::MainWindow;
    const os::SimWindow& Shown() { return platform.Screen().Window(form->DisplayWindow()); }
    std::uint32_t IconWindow() const { return form->TrayIcon1->WindowHandle(); }
    void Key(std::uint16_t vk) {
        platform.Screen().KeyDown(vk);
        platform.Screen().KeyUp(vk);
        runtime.Loop().RunFor(1ms);
    }
};

TEST(Minimise, ToTheTrayDuringATakeAndBackInFrontByAClick) {
    Window w;
    app::TForm1& f = *w.form;
    EXPECT_TRUE(w.platform.Notify().Shown().empty()); // switched off at creation
    w.Key('R');
    ASSERT_TRUE(f.Recording);
    w.Key('M');
    // Hidden, out of the taskbar, and the icon shown with its tip.
    EXPECT_FALSE(w.Shown().Drawn());
    EXPECT_TRUE(w.Shown().skip_taskbar);
    const auto shown = w.platform.Notify().Shown();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].tip, "MIRELO");
    EXPECT_EQ(shown[0].picture.width, 16);
    EXPECT_EQ(f.MinButton->State, skin::cbsDisabled); // released, still disabled: recording
    // The take goes on while minimised and ends by its time limit.
    w.runtime.Loop().RunFor(10500ms);
    EXPECT_FALSE(f.Recording);
    EXPECT_EQ(f.TakeLength, 26);

    // Another window in front; a click on the icon brings ours back in front of it.
    const os::WindowId other = w.platform.Screen().CreateWindow({});
    w.platform.Screen().Show(other, true);
    w.platform.Screen().Activate(other);
    ASSERT_TRUE(w.platform.Notify().Click(w.IconWindow(), 0));
    w.Settle();
    EXPECT_TRUE(w.Shown().Drawn());
    EXPECT_FALSE(w.Shown().skip_taskbar);
    EXPECT_TRUE(w.platform.Notify().Shown().empty());
    EXPECT_EQ(w.platform.Screen().ActiveWindow(), f.DisplayWindow());
    w.Key('R'); // the keys work at once
    EXPECT_TRUE(f.Recording);
}

TEST(Minimise, WithoutANotificationAreaTheTaskbarKeepsTheWindowReachable) {
    Window w([](os::SimPlatform& p) { p.Notify().SetHostRunning(false); });
    w.Key('M');
    EXPECT_FALSE(w.Shown().Drawn());
    EXPECT_FALSE(w.Shown().skip_taskbar);
    EXPECT_TRUE(fw::Application->Minimized());
    // Restored from the taskbar, as the window manager does it.
    w.platform.Screen().Restore(w.form->DisplayWindow());
    w.Settle();
    EXPECT_FALSE(fw::Application->Minimized());
    EXPECT_TRUE(w.Shown().Drawn());
}

TEST(Minimise, PutsBackTheAnimationSettingTheUserHad) {
    Window w;
    fw::ANIMATIONINFO info;
    info.iMinAnimate = 0;
    ASSERT_TRUE(fw::SystemParametersInfo(fw::SPI_SETANIMATION, sizeof info, &info, 0));
    w.form->MinButtonClick(w.form->MinButton);
    info.iMinAnimate = 7;
    ASSERT_TRUE(fw::SystemParametersInfo(fw::SPI_GETANIMATION, sizeof info, &info, 0));
    EXPECT_EQ(info.iMinAnimate, 0);
}

} // namespace
