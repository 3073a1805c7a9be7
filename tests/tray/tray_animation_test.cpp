// The tray icon's animation: frames in order while shown, none while not shown, the list
// emptied while running, an empty frame, and a worker switched off or destroyed with its
// icon. The worker pauses on real time, so these tests wait on what happened, never on
// how long it took.
#include "tray/tray_icon.hpp"
#include "tray_test_support.hpp"

#include <thread>

using traytest::Middle;
using traytest::SolidIcon;

namespace {

constexpr std::uint32_t kFrames[3] = {0xFF0000, 0x00FF00, 0x0000FF};
constexpr std::uint32_t kStill = 0x808080;

class TrayAnimationTest : public traytest::TrayTestBase {
protected:
    std::unique_ptr<tray::TTrayIcon> icon = std::make_unique<tray::TTrayIcon>(nullptr);

    void SetUp() override {
        icon->SetHint("MIRELO");
        icon->SetIcon(*SolidIcon(kStill));
        for (std::uint32_t c : kFrames)
            icon->Icons().Add(SolidIcon(c).get());
        icon->SetInterval(5);
    }
    const os::NotifyIcon* Shown() const { return area.Find(icon->WindowHandle(), 0); }
    std::uint32_t Picture() const { return Shown() ? Middle(Shown()->picture) : 0; }
    // The pictures shown, each time it changes, until `count` have been seen.
    std::vector<std::uint32_t> Watch(std::size_t count) {
        std::vector<std::uint32_t> seen{Picture()};
        PumpUntil([&] {
            if (Picture() != seen.back()) seen.push_back(Picture());
            return seen.size() >= count;
        });
        return seen;
    }
};

} // namespace

TEST_F(TrayAnimationTest, FramesFollowInOrderWhileShownFromFrameZeroAndKeepTheTip) {
    ASSERT_TRUE(icon->Added());
    EXPECT_EQ(icon->FrameIndex(), -1);
    icon->SetAnimated(true);
    EXPECT_EQ(icon->FrameIndex(), 0);
    EXPECT_EQ(Picture(), kFrames[0]) << "switching on shows frame 0 at once";
    EXPECT_EQ(Watch(5), (std::vector<std::uint32_t>{kFrames[0], kFrames[1], kFrames[2], kFrames[0],
                                                    kFrames[1]}));
    EXPECT_EQ(Shown()->tip, "MIRELO");

    // Switched off, the still picture comes back and no frame follows.
    icon->SetAnimated(false);
    EXPECT_EQ(Picture(), kStill);
    const int modifies = area.modifies;
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    Pump();
    EXPECT_EQ(area.modifies, modifies);
}

TEST_F(TrayAnimationTest, FramesAdvanceOnlyWhileTheIconIsShown) {
    icon->SetActive(false);
    icon->SetAnimated(true);
    EXPECT_TRUE(icon->Animated());
    const int adds = area.adds, modifies = area.modifies;
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    Pump();
    EXPECT_EQ(icon->FrameIndex(), 0);
    EXPECT_EQ(area.modifies, modifies);
    EXPECT_EQ(area.adds, adds);

    icon->SetActive(true);
    EXPECT_EQ(Picture(), kFrames[0]);
    EXPECT_EQ(Watch(3), (std::vector<std::uint32_t>{kFrames[0], kFrames[1], kFrames[2]}));

    // Taken away in the middle: the frame stands where it was until shown again.
    icon->SetActive(false);
    Pump();
    const int frame = icon->FrameIndex();
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    Pump();
    EXPECT_EQ(icon->FrameIndex(), frame);
    icon->SetActive(true);
    EXPECT_TRUE(PumpUntil([&] { return icon->FrameIndex() != frame; }));
}

TEST_F(TrayAnimationTest, EmptyingTheListSwitchesTheAnimationOffAndShowsTheStillPicture) {
    icon->SetAnimated(true);
    ASSERT_TRUE(PumpUntil([&] { return icon->FrameIndex() == 2; }));
    // Frames cut below the current one: the last frame shows until the next step wraps.
    icon->Icons().Delete(2);
    EXPECT_EQ(Picture(), kFrames[1]);
    ASSERT_TRUE(PumpUntil([&] { return icon->FrameIndex() == 0; }));
    EXPECT_EQ(Picture(), kFrames[0]);

    icon->Icons().Clear();
    EXPECT_FALSE(icon->Animated());
    EXPECT_EQ(Picture(), kStill);
    // New frames do not start it again by themselves; switching on needs frames.
    icon->Icons().Add(SolidIcon(kFrames[2]).get());
    EXPECT_FALSE(icon->Animated());
    icon->Icons().Clear();
    icon->SetAnimated(true);
    EXPECT_FALSE(icon->Animated());
}

TEST_F(TrayAnimationTest, AnEmptyFrameTakesTheIconAwayAndTheAnimationWaitsThere) {
    icon->Icons().Clear();
    icon->Icons().Add(SolidIcon(kFrames[0]).get());
    icon->Icons().AddEntry(nullptr);
    icon->SetAnimated(true);
    ASSERT_TRUE(PumpUntil([&] { return icon->FrameIndex() == 1; }));
    EXPECT_FALSE(icon->Added());
    EXPECT_EQ(Shown(), nullptr);
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    Pump();
    EXPECT_EQ(icon->FrameIndex(), 1);
    EXPECT_EQ(Shown(), nullptr);
    // Off and on again starts from frame 0, which has a picture.
    icon->SetAnimated(false);
    icon->SetAnimated(true);
    EXPECT_TRUE(icon->Added());
    EXPECT_EQ(Picture(), kFrames[0]);
}

TEST_F(TrayAnimationTest, AnIconDestroyedWhileAnimatingIsNeverReachedByItsWorker) {
    icon->SetInterval(0); // as fast as the worker runs
    icon->SetAnimated(true);
    ASSERT_TRUE(PumpUntil([&] { return icon->FrameIndex() == 2; }));
    const fw::HWND window = icon->WindowHandle();
    icon.reset();
    EXPECT_FALSE(fw::IsWindow(window));
    EXPECT_TRUE(area.Shown().empty());
    const int modifies = area.modifies;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    Pump();
    EXPECT_EQ(area.modifies, modifies);
}
