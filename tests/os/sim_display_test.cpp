// The simulated display: stacking and shapes decide what is drawn and who gets input;
// capture, the move loop, double clicks, focus and keys; PNG files of screenshots.
#include "os/display/png.hpp"
#include "os/display/sim_display.hpp"
#include "os/input_budget.hpp"

#include "../heap_peak.hpp"

#include <gtest/gtest.h>

#include <X11/keysym.h>

#include <algorithm>
#include <filesystem>
#include <tuple>

using namespace std::chrono_literals;
using os::EventKind;
using os::MouseButton;

namespace {

class SimDisplayTest : public ::testing::Test {
protected:
    os::VirtualClock clock;
    os::SimDisplay display{clock, {320, 240}};

    // A shown window filled with one colour.
    os::WindowId Solid(os::Rect bounds, std::uint32_t colour, bool topmost = false,
                       bool double_clicks = false) {
        os::WindowParams p;
        p.bounds = bounds;
        p.topmost = topmost;
        p.wants_double_clicks = double_clicks;
        const os::WindowId w = display.CreateWindow(p);
        display.Show(w, true);
        display.Present(w, os::PixelBuffer(bounds.Width(), bounds.Height(), colour),
                        {0, 0, bounds.Width(), bounds.Height()});
        return w;
    }

    std::vector<os::DisplayEvent> Drain() {
        std::vector<os::DisplayEvent> out;
        os::DisplayEvent e;
        while (display.NextEvent(e))
            out.push_back(e);
        return out;
    }

    // The pending events of the given kinds, in order; the rest are dropped.
    std::vector<os::DisplayEvent> Drain(std::initializer_list<EventKind> kinds) {
        std::vector<os::DisplayEvent> out = Drain();
        std::erase_if(out, [&](const os::DisplayEvent& e) {
            return std::find(kinds.begin(), kinds.end(), e.kind) == kinds.end();
        });
        return out;
    }

    std::uint32_t ScreenAt(int x, int y) const { return display.Screenshot().At(x, y); }
};

constexpr std::uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF;

TEST_F(SimDisplayTest, TopmostWindowsStayAboveNormalOnesWhateverIsRaised) {
    const auto top = Solid({0, 0, 100, 100}, kRed, /*topmost=*/true);
    const auto a = Solid({50, 50, 150, 150}, kGreen);
    const auto b = Solid({80, 80, 180, 180}, kBlue);
    EXPECT_EQ(display.StackingOrder(), (std::vector<os::WindowId>{a, b, top}));
    EXPECT_EQ(ScreenAt(60, 60), kRed);
    EXPECT_EQ(ScreenAt(120, 120), kBlue);

    display.Raise(a);
    EXPECT_EQ(ScreenAt(60, 60), kRed);
    EXPECT_EQ(ScreenAt(120, 120), kGreen);
    EXPECT_EQ(display.WindowAt({90, 90}), top);

    // Leaving the topmost layer keeps the window where it was raised to: below `a`.
    display.SetTopmost(top, false);
    EXPECT_EQ(display.StackingOrder(), (std::vector<os::WindowId>{top, b, a}));
    EXPECT_EQ(ScreenAt(60, 60), kGreen);

    EXPECT_EQ(ScreenAt(300, 200), os::SimDisplay::kDefaultBackground);
    display.SetBackground(0x123456);
    EXPECT_EQ(ScreenAt(300, 200), 0x123456u);
}

TEST_F(SimDisplayTest, HiddenAndIconicWindowsAreNeitherDrawnNorHit) {
    const auto below = Solid({0, 0, 100, 100}, kGreen);
    const auto w = Solid({0, 0, 100, 100}, kRed);
    display.Show(w, false);
    EXPECT_EQ(ScreenAt(10, 10), kGreen);
    EXPECT_EQ(display.WindowAt({10, 10}), below);

    // Mapping again puts the window back on top and asks for its pixels.
    Drain();
    display.Show(w, true);
    EXPECT_EQ(ScreenAt(10, 10), kRed);
    auto events = Drain({EventKind::Exposed});
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].window, w);
    EXPECT_EQ(events[0].area, (os::Rect{0, 0, 100, 100}));

    display.Iconify(w);
    EXPECT_TRUE(display.IsIconic(w));
    EXPECT_TRUE(display.IsVisible(w));
    EXPECT_EQ(display.WindowAt({10, 10}), below);
    EXPECT_EQ(ScreenAt(10, 10), kGreen);
    display.Restore(w);
    EXPECT_EQ(ScreenAt(10, 10), kRed);
    events = Drain({EventKind::Iconified, EventKind::Restored, EventKind::Exposed});
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].kind, EventKind::Iconified);
    EXPECT_EQ(events[1].kind, EventKind::Restored);
    EXPECT_EQ(events[2].kind, EventKind::Exposed);
}

TEST_F(SimDisplayTest, ShapeDecidesWhatIsDrawnAndWhoGetsThePointer) {
    const auto below = Solid({0, 0, 200, 200}, kGreen);
    const auto shaped = Solid({10, 10, 110, 110}, kRed);
    // An L: the top strip and the left column; the shape is clipped to the window.
    display.SetShape(shaped, std::vector<os::Rect>{{0, 0, 150, 20}, {0, 0, 20, 100}});
    EXPECT_EQ(ScreenAt(15, 15), kRed);
    EXPECT_EQ(ScreenAt(100, 15), kRed);
    EXPECT_EQ(ScreenAt(115, 15), kGreen); // beyond the window though inside the rectangle
    EXPECT_EQ(ScreenAt(60, 60), kGreen);  // inside the bounds, outside the shape
    EXPECT_EQ(display.WindowAt({60, 60}), below);
    EXPECT_EQ(display.WindowAt({15, 60}), shaped);

    Drain();
    display.Click(60, 60);
    auto presses = Drain({EventKind::ButtonDown});
    ASSERT_EQ(presses.size(), 1u);
    EXPECT_EQ(presses[0].window, below);
    EXPECT_EQ(presses[0].x, 60);
    display.Raise(shaped); // the click raised the window below

    display.SetShape(shaped, std::vector<os::Rect>{});
    EXPECT_EQ(ScreenAt(15, 15), kGreen);
    EXPECT_EQ(display.WindowAt({15, 15}), below);
    display.SetShape(shaped, std::nullopt);
    EXPECT_EQ(ScreenAt(60, 60), kRed);
    EXPECT_EQ(display.WindowAt({60, 60}), shaped);
}

TEST_F(SimDisplayTest, PresentCopiesOnlyTheDamagedAreaAndResizeKeepsPixels) {
    const auto w = Solid({300, 200, 340, 260}, kRed); // partly beyond the screen's corner
    EXPECT_EQ(ScreenAt(319, 239), kRed);
    display.Present(w, os::PixelBuffer(40, 60, kBlue), {5, 5, 10, 10});
    EXPECT_EQ(display.Window(w).pixels.At(5, 5), kBlue);
    EXPECT_EQ(display.Window(w).pixels.At(9, 9), kBlue);
    EXPECT_EQ(display.Window(w).pixels.At(10, 10), kRed);
    EXPECT_EQ(display.Window(w).pixels.At(4, 5), kRed);

    os::PixelBuffer broken(40, 60);
    broken.pixels.pop_back();
    EXPECT_THROW(display.Present(w, broken, {0, 0, 40, 60}), std::invalid_argument);

    Drain();
    display.SetBounds(w, {0, 0, 20, 80});
    EXPECT_EQ(display.Window(w).pixels.At(5, 5), kBlue);
    EXPECT_EQ(display.Window(w).pixels.At(19, 79), 0u); // new area is black until presented
    auto events = Drain({EventKind::Exposed});
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].area, (os::Rect{0, 0, 20, 80}));
    display.SetBounds(w, {30, 30, 50, 110}); // a move alone needs no repaint
    EXPECT_TRUE(Drain({EventKind::Exposed}).empty());
}

TEST_F(SimDisplayTest, ButtonHeldOnAWindowKeepsThePointerUntilReleasedElsewhere) {
    const auto a = Solid({0, 0, 100, 100}, kRed);
    const auto b = Solid({150, 0, 250, 100}, kGreen);
    display.MovePointer(50, 50);
    display.Press(MouseButton::Left);
    display.MovePointer(200, 50);
    display.Release(MouseButton::Left);
    display.MovePointer(210, 50);
    const auto events = Drain({EventKind::PointerMove, EventKind::ButtonDown, EventKind::ButtonUp,
                               EventKind::PointerLeave});
    ASSERT_EQ(events.size(), 6u);
    EXPECT_EQ(events[0].kind, EventKind::PointerMove);
    EXPECT_EQ(events[1].kind, EventKind::ButtonDown);
    EXPECT_EQ(events[1].modifiers, os::Modifiers::kLeftButton);
    EXPECT_EQ(events[2].kind, EventKind::PointerMove);
    EXPECT_EQ(events[2].window, a);
    EXPECT_EQ(events[2].x, 200); // window coordinates, outside the window
    EXPECT_EQ(events[2].screen_x, 200);
    EXPECT_EQ(events[3].kind, EventKind::ButtonUp);
    EXPECT_EQ(events[3].window, a);
    EXPECT_EQ(events[3].modifiers, 0u);
    // Once the grab ends the pointer is found to be over the other window.
    EXPECT_EQ(events[4].kind, EventKind::PointerLeave);
    EXPECT_EQ(events[4].window, a);
    EXPECT_EQ(events[5].kind, EventKind::PointerMove);
    EXPECT_EQ(events[5].window, b);
}

TEST_F(SimDisplayTest, ExplicitCaptureAndItsRelease) {
    const auto a = Solid({0, 0, 100, 100}, kRed);
    const auto b = Solid({150, 0, 250, 100}, kGreen);
    display.MovePointer(50, 50);
    display.SetCapture(a);
    display.MovePointer(200, 50);
    display.Click(201, 50, MouseButton::Right);
    auto events = Drain({EventKind::PointerMove, EventKind::ButtonDown, EventKind::ButtonUp});
    ASSERT_EQ(events.size(), 5u);
    for (const auto& e : events)
        EXPECT_EQ(e.window, a);
    EXPECT_EQ(events[3].button, MouseButton::Right);
    EXPECT_EQ(events[3].modifiers, os::Modifiers::kRightButton);

    // Releasing the capture while a button is held also ends that button's grab: the
    // release goes to whatever is under the pointer.
    display.Press(MouseButton::Middle);
    display.ReleaseCapture();
    EXPECT_EQ(display.PointerGrabWindow(), os::kNoWindow);
    display.Release(MouseButton::Middle);
    events = Drain({EventKind::ButtonDown, EventKind::ButtonUp, EventKind::PointerLeave});
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].window, a);
    EXPECT_EQ(events[0].button, MouseButton::Middle);
    EXPECT_EQ(events[1].kind, EventKind::PointerLeave);
    EXPECT_EQ(events[1].window, a);
    EXPECT_EQ(events[2].kind, EventKind::ButtonUp);
    EXPECT_EQ(events[2].window, b);

    // The same for the grab of a button pressed on a window, as before a window move.
    display.MovePointer(50, 50);
    display.Press(MouseButton::Left);
    display.MovePointer(200, 50);
    display.ReleaseCapture();
    display.Release(MouseButton::Left);
    events = Drain({EventKind::ButtonUp});
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].window, b);
}

TEST_F(SimDisplayTest, MoveFollowsThePointerUntilReleaseThenReportsMoveEnded) {
    const auto w = Solid({100, 100, 267, 270}, kRed, /*topmost=*/true);
    display.MovePointer(110, 120);
    display.Press(MouseButton::Left);
    display.StartMove(w);
    EXPECT_TRUE(display.Moving());
    Drain();
    display.MovePointer(140, 140);
    EXPECT_EQ(display.GetBounds(w), (os::Rect{130, 120, 297, 290}));
    display.MovePointer(20, 10);
    display.Release(MouseButton::Left);
    EXPECT_FALSE(display.Moving());
    EXPECT_EQ(display.GetBounds(w), (os::Rect{10, -10, 177, 160}));
    EXPECT_EQ(ScreenAt(10, 0), kRed);

    auto events = Drain();
    ASSERT_EQ(events.size(), 1u) << "the loop swallows motion and the release";
    EXPECT_EQ(events[0].kind, EventKind::MoveEnded);
    EXPECT_EQ(events[0].area, (os::Rect{10, -10, 177, 160}));

    // Afterwards the pointer is the window's again, and right presses stay ordinary presses.
    display.Click(30, 30, MouseButton::Right);
    events = Drain({EventKind::ButtonDown, EventKind::ButtonUp, EventKind::MoveEnded});
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].button, MouseButton::Right);
    EXPECT_EQ(events[0].x, 20);
    EXPECT_EQ(events[0].y, 40);

    // Asked with no button held, the move ends at once.
    display.StartMove(w);
    EXPECT_FALSE(display.Moving());
    events = Drain();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].kind, EventKind::MoveEnded);
    EXPECT_EQ(display.GetBounds(w), (os::Rect{10, -10, 177, 160}));
}

TEST_F(SimDisplayTest, DoubleClickNeedsSameButtonWithinTimeAndDistance) {
    const auto w = Solid({0, 0, 200, 200}, kRed, false, /*double_clicks=*/true);
    const auto plain = Solid({200, 0, 300, 200}, kGreen);
    // Each press after a pause, at an offset from the previous one; is it a double click?
    auto press = [&](os::WindowId target, int x, os::Nanos pause,
                     MouseButton b = MouseButton::Left) {
        clock.AdvanceBy(pause);
        Drain();
        display.Click(x, 50, b);
        const auto e = Drain({EventKind::ButtonDown});
        EXPECT_EQ(e.size(), 1u);
        EXPECT_EQ(e.empty() ? 0 : e[0].window, target);
        return !e.empty() && e[0].double_click;
    };
    EXPECT_FALSE(press(w, 50, 0ms));
    EXPECT_TRUE(press(w, 54, 500ms));
    EXPECT_FALSE(press(w, 54, 10ms)) << "a third press starts over";
    EXPECT_TRUE(press(w, 54, 100ms));
    EXPECT_FALSE(press(w, 54, 100ms)) << "a third press starts over";
    EXPECT_FALSE(press(w, 54, 501ms)) << "too late";
    EXPECT_FALSE(press(w, 59, 100ms)) << "too far";
    EXPECT_TRUE(press(w, 55, 100ms));
    EXPECT_FALSE(press(w, 55, 100ms, MouseButton::Right));
    EXPECT_FALSE(press(w, 55, 100ms, MouseButton::Left)) << "a different button came between";
    EXPECT_TRUE(press(w, 55, 100ms, MouseButton::Left));
    EXPECT_FALSE(press(plain, 250, 1s));
    EXPECT_FALSE(press(plain, 250, 10ms)) << "the window did not ask for double clicks";
}

TEST_F(SimDisplayTest, KeysGoToTheActiveWindowWithModifiers) {
    const auto a = Solid({0, 0, 100, 100}, kRed);
    const auto b = Solid({150, 0, 250, 100}, kGreen);
    display.KeyDown('P');
    EXPECT_TRUE(Drain({EventKind::KeyDown}).empty()) << "nothing is active yet";

    display.Activate(a);
    EXPECT_EQ(display.ActiveWindow(), a);
    display.KeyDown(os::VirtualKey::kShift);
    display.KeyDown('R');
    EXPECT_EQ(display.ModifierState(), os::Modifiers::kShift);
    display.KeyUp('R');
    display.KeyUp(os::VirtualKey::kShift);
    display.KeyDown(os::VirtualKey::kEscape, os::Modifiers::kCtrl | os::Modifiers::kAlt);
    auto keys = Drain({EventKind::KeyDown, EventKind::KeyUp});
    ASSERT_EQ(keys.size(), 5u);
    for (const auto& e : keys)
        EXPECT_EQ(e.window, a);
    EXPECT_EQ(keys[1].key, 'R');
    EXPECT_EQ(keys[1].modifiers, os::Modifiers::kShift);
    EXPECT_EQ(keys[3].key, os::VirtualKey::kShift);
    EXPECT_EQ(keys[3].modifiers, 0u);
    EXPECT_EQ(keys[4].modifiers, os::Modifiers::kCtrl | os::Modifiers::kAlt);
    display.KeyUp(os::VirtualKey::kEscape, 0);

    // A press on another window activates and raises it before the press is reported.
    display.MovePointer(160, 10);
    display.Press(MouseButton::Left);
    auto events = Drain({EventKind::FocusLost, EventKind::FocusGained, EventKind::ButtonDown});
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].kind, EventKind::FocusLost);
    EXPECT_EQ(events[0].window, a);
    EXPECT_EQ(events[1].kind, EventKind::FocusGained);
    EXPECT_EQ(events[1].window, b);
    EXPECT_EQ(events[2].kind, EventKind::ButtonDown);
    EXPECT_EQ(display.StackingOrder().back(), b);
    display.Release(MouseButton::Left);

    // The desktop takes the focus away; so does hiding the active window.
    display.Click(300, 200);
    EXPECT_EQ(display.ActiveWindow(), os::kNoWindow);
    display.Activate(a);
    display.Iconify(a);
    EXPECT_EQ(display.ActiveWindow(), os::kNoWindow);
    display.Activate(a);
    EXPECT_EQ(display.ActiveWindow(), os::kNoWindow) << "an iconic window cannot be activated";
}

TEST_F(SimDisplayTest, LetterKeysWorkByTheirPlaceUnderAnyLayoutList) {
    // Key codes 24, 27, 29 and 58 of a pc105 keyboard (Q, R, Y and M in "us"), per layout.
    const std::vector<unsigned> codes = {24, 27, 29, 58};
    using L = std::vector<std::uint32_t>;
    const L us = {XK_q, XK_r, XK_y, XK_m}, de = {XK_q, XK_r, XK_z, XK_m};
    const L ru = {XK_Cyrillic_shorti, XK_Cyrillic_ka, XK_Cyrillic_en, XK_Cyrillic_softsign};
    const L gr = {XK_semicolon, XK_Greek_rho, XK_Greek_upsilon, XK_Greek_mu};
    const L fr = {XK_a, XK_r, XK_y, XK_comma};
    // Layout lists with the group the user types in. The active group's own keys keep their
    // meaning: ";" of Greek, "," of French.
    const std::vector<std::tuple<std::vector<const L*>, std::size_t, std::vector<int>>> cases = {
        {{&ru, &us}, 0, {'Q', 'R', 'Y', 'M'}},
        {{&us, &ru}, 1, {'Q', 'R', 'Y', 'M'}},
        {{&gr, &us}, 0, {186, 'R', 'Y', 'M'}},
        {{&de}, 0, {'Q', 'R', 'Z', 'M'}},
        {{&fr}, 0, {'A', 'R', 'Y', 188}}};
    display.Activate(Solid({0, 0, 10, 10}, kRed));
    for (const auto& [layouts, group, keys] : cases) {
        std::map<unsigned, os::KeyGroups> keyboard;
        for (std::size_t i = 0; i < codes.size(); ++i)
            for (const L* layout : layouts)
                keyboard[codes[i]].push_back({(*layout)[i]});
        display.SetKeyboard(keyboard);
        display.LockGroup(group);
        std::vector<int> got;
        for (const unsigned code : codes) {
            display.TypeKey(code);
            const auto down = Drain({EventKind::KeyDown});
            got.push_back(down.empty() ? 0 : down[0].key);
        }
        EXPECT_EQ(got, keys) << "group " << group << " of " << layouts.size();
    }
}

TEST_F(SimDisplayTest, EventsCarryTheClockTimeAndDieWithTheirWindow) {
    const auto a = Solid({0, 0, 100, 100}, kRed);
    const auto b = Solid({150, 0, 250, 100}, kGreen);
    Drain();
    clock.AdvanceBy(1234ms);
    display.MovePointer(10, 10);
    display.MovePointer(160, 10);
    display.RequestClose(b);
    display.DestroyWindow(a);
    const auto events = Drain();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].kind, EventKind::PointerMove);
    EXPECT_EQ(events[0].window, b);
    EXPECT_EQ(events[0].time, 1234ms);
    EXPECT_EQ(events[1].kind, EventKind::CloseRequest);
    EXPECT_FALSE(display.Exists(a));
    EXPECT_THROW(display.Window(a), std::out_of_range);
    // A window that is gone is ignored rather than an error, as on a real display.
    display.Show(a, true);
    display.SetCapture(a);
    EXPECT_EQ(display.GetBounds(a), os::Rect{});
    EXPECT_EQ(display.PointerGrabWindow(), os::kNoWindow);
}

TEST_F(SimDisplayTest, WindowStateIsRecorded) {
    os::WindowParams p;
    p.bounds = {5, 6, 172, 176};
    p.title = "Mirelo";
    p.undecorated = true;
    p.skip_taskbar = true;
    const auto w = display.CreateWindow(p);
    const os::SimWindow& s = display.Window(w);
    EXPECT_FALSE(s.visible) << "windows start hidden";
    EXPECT_TRUE(s.undecorated);
    EXPECT_TRUE(s.skip_taskbar);
    EXPECT_EQ(s.bounds, p.bounds);
    display.SetTitle(w, "other");
    display.SetSkipTaskbar(w, false);
    display.SetCursor(w, os::PointerCursor::Hand);
    EXPECT_EQ(s.title, "other");
    EXPECT_FALSE(s.skip_taskbar);
    EXPECT_EQ(s.cursor, os::PointerCursor::Hand);
    display.SetBounds(w, {0, 0, -4, 0});
    EXPECT_EQ(display.GetBounds(w), (os::Rect{0, 0, 1, 1}));
    EXPECT_EQ(display.ScreenSize(), (os::Size{320, 240}));
    display.MovePointer(1000, -5);
    EXPECT_EQ(display.PointerPosition(), (os::Point{319, 0}));
}

class PngTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const {
        return (std::filesystem::path(::testing::TempDir()) / ("mirelo_png_" + name)).string();
    }
};

TEST_F(PngTest, RoundTripsPixelsAndScreenshots) {
    os::PixelBuffer image(37, 23);
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            image.Set(x, y, static_cast<std::uint32_t>(x * 7 << 16 | y * 11 << 8 | (x ^ y)));
    const std::string path = Path("round.png");
    os::WritePng(path, image);
    EXPECT_EQ(os::ReadPng(path), image);

    os::VirtualClock clock;
    os::SimDisplay display(clock, {64, 48});
    os::WindowParams p;
    p.bounds = {10, 10, 47, 33};
    const auto w = display.CreateWindow(p);
    display.Show(w, true);
    display.Present(w, image, {0, 0, 37, 23});
    display.SetShape(w, std::vector<os::Rect>{{0, 0, 10, 23}});
    const std::string shot = Path("shot.png");
    display.SavePng(shot);
    const os::PixelBuffer back = os::ReadPng(shot);
    EXPECT_EQ(back, display.Screenshot());
    EXPECT_EQ(back.At(15, 15), image.At(5, 5));
    EXPECT_EQ(back.At(25, 15), os::SimDisplay::kDefaultBackground);
    std::filesystem::remove(path);
    std::filesystem::remove(shot);
}

TEST_F(PngTest, BadInputGivesClearErrors) {
    os::PixelBuffer broken(4, 4);
    broken.pixels.resize(15);
    EXPECT_THROW(os::EncodePng(broken), std::invalid_argument);
    EXPECT_THROW(os::EncodePng(os::PixelBuffer(0, 3)), std::invalid_argument);

    try {
        os::ReadPng(Path("missing.png"));
        FAIL() << "a missing file was read";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("missing.png"), std::string::npos) << e.what();
    }

    const std::vector<std::byte> good = os::EncodePng(os::PixelBuffer(8, 8, 0x808080));
    // Cut anywhere, or with a flipped byte in the image data, the file is refused.
    for (std::size_t cut : {std::size_t{0}, std::size_t{7}, std::size_t{30}, good.size() - 13})
        EXPECT_THROW(os::DecodePng(std::span(good).first(cut)), std::runtime_error) << cut;
    std::vector<std::byte> flipped = good;
    flipped[good.size() - 20] ^= std::byte{0x5A};
    EXPECT_THROW(os::DecodePng(flipped), std::runtime_error);

    // A header asking for more pixels than the reader accepts.
    const auto wide = os::EncodePng(os::PixelBuffer(os::kMaxPngSide + 1, 1));
    try {
        os::DecodePng(wide);
        FAIL() << "an oversized image was decoded";
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("16385x1"), std::string::npos) << e.what();
    }
}

TEST_F(PngTest, ALargeImageInASmallFileHoldsNoMoreThanTheReadersBound) {
    // Twelve million pixels of one colour compress to a few dozen kilobytes.
    os::PixelBuffer plain(4096, 3072, 0x203040);
    const std::vector<std::byte> file = os::EncodePng(plain);
    ASSERT_LT(file.size(), 1u << 20);
    os::PixelBuffer back;
    const auto peak = heap_peak::During([&] { back = os::DecodePng(file); });
    if (!peak) GTEST_SKIP() << "heap use is measured only in AddressSanitizer builds";
    EXPECT_EQ(back, plain);
    // The image itself is 64 MiB; libpng's own state is a few rows and a zlib window.
    EXPECT_LE(*peak, os::InputBudget(file.size()) + (1u << 20));
}

} // namespace
