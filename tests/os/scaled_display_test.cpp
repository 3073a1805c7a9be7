// The device scale: how it is chosen, and the program's logical pixels on a device display.
#include "os/display/scaled_display.hpp"
#include "os/display/sim_display.hpp"

#include <gtest/gtest.h>

TEST(DeviceScale, SettingThenVariableThenResourcesThenOne) {
    const char* dpi192 = "Xft.antialias:\t1\nXft.dpi:\t192\n";
    EXPECT_EQ(os::ChooseScale(3, "1", dpi192), 3);
    EXPECT_EQ(os::ChooseScale(0, "1", dpi192), 1);
    EXPECT_EQ(os::ChooseScale(9, "x", dpi192), 2); // out of bounds: neither counts
    EXPECT_EQ(os::ChooseScale(-1, "5", dpi192), 2);
    EXPECT_EQ(os::ChooseScale(std::nullopt, "1.5", "Xft.dpi:\t143"), 1);
    EXPECT_EQ(os::ChooseScale(std::nullopt, nullptr, "Xft.dpi:\t144"), 2);
    EXPECT_EQ(os::ChooseScale(std::nullopt, nullptr, "Xft.dpi: 240.0"), 3);
    EXPECT_EQ(os::ChooseScale(std::nullopt, nullptr, "Xft.dpi:\t900"), 4);
    EXPECT_EQ(os::ChooseScale(std::nullopt, nullptr, "Xft.dpi:\tlots\nXft.dpiX: 192"), 1);
}

TEST(ScaledDisplay, LogicalPlacesShapesPixelsAndPointerAtEveryScale) {
    for (int s = 1; s <= 4; ++s) {
        SCOPED_TRACE(s);
        os::VirtualClock clock;
        os::SimDisplay device(clock, {1024, 768});
        os::ScaledDisplay display(device, s);
        EXPECT_EQ(display.ScreenSize(), (os::Size{1024 / s, 768 / s}));
        const os::WindowId w = display.CreateWindow({.bounds = {20, 10, 120, 90}});
        EXPECT_EQ(device.Window(w).bounds, (os::Rect{20 * s, 10 * s, 120 * s, 90 * s}));
        display.SetShape(w, std::vector<os::Rect>{{0, 0, 100, 40}, {3, 40, 70, 80}});
        EXPECT_EQ(device.Window(w).shape, (std::vector<os::Rect>{{0, 0, 100 * s, 40 * s},
                                                                 {3 * s, 40 * s, 70 * s, 80 * s}}));
        display.Show(w, true);
        os::PixelBuffer image(100, 80, 0x000000);
        image.Set(63, 38, 0x00FF00);
        display.Present(w, image, {0, 0, 100, 80});
        const os::PixelBuffer shot = device.Screenshot();
        for (int d = -1; d <= s; ++d)
            EXPECT_EQ(shot.At((20 + 63) * s + d, (10 + 38) * s + d), d >= 0 && d < s ? 0xFF00u : 0);

        // The last device pixel of logical (64, 41) in the window.
        os::DisplayEvent e;
        while (display.NextEvent(e)) {
        }
        device.Click((20 + 64) * s + s - 1, (10 + 41) * s + s - 1);
        while (display.NextEvent(e) && e.kind != os::EventKind::ButtonDown) {
        }
        EXPECT_EQ((std::tuple{e.window, e.x, e.y, e.screen_x, e.screen_y}),
                  (std::tuple{w, 64, 41, 84, 51}));
        EXPECT_EQ(display.PointerPosition(), (os::Point{84, 51}));
        EXPECT_EQ(display.WindowAt({20 + 99, 10 + 79}), os::kNoWindow); // outside the shape
        // A window manager's odd device place keeps the logical size.
        device.SetBounds(w, {20 * s + s - 1, 10 * s, 120 * s + s - 1, 90 * s});
        EXPECT_EQ(display.GetBounds(w), (os::Rect{20, 10, 120, 90}));
    }
}
