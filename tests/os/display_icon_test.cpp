// The simulated display keeps a window's icon as given and refuses an inconsistent one.
#include "os/display/sim_display.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

TEST(SimDisplayIcon, KeepsTheIconGivenAndRefusesOneWhosePixelsDoNotMatchItsSize) {
    os::VirtualClock clock;
    os::SimDisplay display(clock);
    const os::WindowId w = display.CreateWindow({});
    const os::IconPixels good{2, 1, {0xFF102030, 0x00000000}};
    display.SetIcon(w, good);
    os::IconPixels bad{2, 2, {1, 2, 3}};
    EXPECT_THROW(display.SetIcon(w, bad), std::invalid_argument);
    os::IconPixels huge{4096, 1, std::vector<std::uint32_t>(4096)};
    EXPECT_THROW(display.SetIcon(w, huge), std::invalid_argument);
    EXPECT_EQ(display.Window(w).icon, good);
    display.SetIcon(w, {});
    EXPECT_EQ(display.Window(w).icon, os::IconPixels{});
}
