// The simulated notification area: what it shows, what it refuses, and the mouse messages
// that injected clicks post to the icon's owner.
#include "os/sim_platform.hpp"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Posted {
    std::uint32_t window, msg;
    std::uintptr_t wparam;
    std::intptr_t lparam;
    bool operator==(const Posted&) const = default;
};

os::NotifyIcon MakeIcon(std::uint32_t window, std::uint32_t id, std::string tip) {
    os::NotifyIcon icon;
    icon.window = window;
    icon.id = id;
    icon.callback_message = 0xB054;
    icon.picture = os::PixelBuffer(16, 16, 0xFF102030);
    icon.tip = std::move(tip);
    return icon;
}

TEST(SimNotifyArea, ShowsIconsThroughAHostRestartAndReportsClicksToTheirOwner) {
    os::SimPlatform platform;
    std::vector<Posted> posted;
    platform.SetPoster(
        [&](std::uint32_t w, std::uint32_t msg, std::uintptr_t wp, std::intptr_t lp) {
            posted.push_back({w, msg, wp, lp});
            return true;
        });
    os::SimNotifyArea& tray = platform.Notify();
    os::NotifyArea& area = platform.GetNotify();

    const std::string long_tip(70, 'x');
    ASSERT_TRUE(area.Add(MakeIcon(7, 0, long_tip)));
    EXPECT_FALSE(area.Add(MakeIcon(7, 0, "again"))); // one icon per window and id
    os::NotifyIcon broken = MakeIcon(8, 0, "broken");
    broken.picture.pixels.pop_back();
    EXPECT_FALSE(area.Add(broken));
    ASSERT_EQ(tray.Shown().size(), 1u);
    EXPECT_EQ(tray.Shown()[0].tip, long_tip.substr(0, os::kMaxNotifyTip));

    // A click lands where the icon is, so the owner reads the pointer there.
    ASSERT_TRUE(tray.Click(7, 0));
    const os::Rect at = *tray.Bounds(7, 0);
    EXPECT_EQ(platform.Screen().PointerPosition(),
              (os::Point{at.left + at.Width() / 2, at.top + at.Height() / 2}));
    EXPECT_EQ(at.bottom, platform.Screen().ScreenSize().height);
    ASSERT_TRUE(tray.DoubleClick(7, 0, os::MouseButton::Right));
    ASSERT_TRUE(tray.Move(7, 0));
    const std::vector<Posted> expected = {
        {7, 0xB054, 0, 0x201}, {7, 0xB054, 0, 0x202}, {7, 0xB054, 0, 0x204}, {7, 0xB054, 0, 0x205},
        {7, 0xB054, 0, 0x206}, {7, 0xB054, 0, 0x205}, {7, 0xB054, 0, 0x200}};
    EXPECT_EQ(posted, expected);
    posted.clear();

    // The host goes away: nothing is on view and nothing can be added, but the icon is still
    // its owner's to change, and the next host shows it as it is now.
    tray.SetHostRunning(false);
    EXPECT_TRUE(tray.Shown().empty());
    EXPECT_FALSE(tray.Click(7, 0));
    EXPECT_FALSE(area.Add(MakeIcon(9, 1, "late")));
    EXPECT_TRUE(area.Modify(MakeIcon(7, 0, "MIRELO")));
    tray.SetHostRunning(true);
    ASSERT_EQ(tray.Shown().size(), 1u);
    EXPECT_EQ(tray.Shown()[0].tip, "MIRELO");

    // A second icon sits beside the first and reports its own id.
    ASSERT_TRUE(area.Add(MakeIcon(9, 1, "second")));
    EXPECT_EQ(tray.Bounds(9, 1)->right, at.left);
    ASSERT_TRUE(tray.Click(9, 1, os::MouseButton::Middle));
    EXPECT_EQ(posted, (std::vector<Posted>{{9, 0xB054, 1, 0x207}, {9, 0xB054, 1, 0x208}}));

    EXPECT_TRUE(area.Delete(7, 0));
    EXPECT_FALSE(area.Delete(7, 0));
    EXPECT_FALSE(area.Modify(MakeIcon(7, 0, "gone")));
    EXPECT_FALSE(tray.Click(7, 0));
    tray.SetRefuse(true);
    EXPECT_FALSE(area.Add(MakeIcon(7, 0, "refused")));
    EXPECT_EQ(tray.Shown().size(), 1u);
}

} // namespace
