// The X11 display on a real X server with a window manager: placement without a frame,
// staying above an active window, shapes, pixels, pointer and keys, the move loop, double
// clicks, the hints and the icon the window manager reads; on a server with no window
// manager: minimising, and keys of the keypad and of other layouts; and the real platform's
// wait on the connection. The window manager acts asynchronously, so every check polls with a
// limit. GoogleTest first: Xlib's macros (None, Bool) would break its templates.
#include <gtest/gtest.h>

#include "bare_server.hpp"
#include "desktop.hpp"
#include "e2e_support.hpp"

#include "os/display/x11_display.hpp"
#include "os/display/x11_property.hpp"
#include "os/real_platform.hpp"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <sstream>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
using os::EventKind;
using os::Modifiers;
using os::MouseButton;

namespace {

constexpr double kLimit = 5.0; // seconds to wait for the window manager or the server

std::string Hex(unsigned long xid) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "0x%lx", xid);
    return buf;
}

// A pattern that differs in every pixel of a window, so a shifted or clipped copy shows.
os::PixelBuffer Pattern(int w, int h, std::uint32_t seed) {
    os::PixelBuffer p(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            p.Set(x, y,
                  (seed + static_cast<std::uint32_t>(x * 2654435761u ^ y * 40503u)) & 0xFFFFFF);
    return p;
}

class X11DisplayTest : public ::testing::Test {
protected:
    e2e::Desktop& desktop = e2e::Desktop::Get();
    os::RealClock clock;
    std::unique_ptr<os::X11Display> display;
    std::vector<os::DisplayEvent> log;    // every event read, in order
    std::vector<os::DisplayEvent> unread; // those not yet taken by Await
    std::vector<pid_t> spawned;

    void SetUp() override { Open({}); }
    void TearDown() override {
        display.reset();
        for (pid_t pid : spawned)
            desktop.Stop(pid);
    }

    void Open(const os::X11Options& options) {
        display.reset();
        display = os::X11Display::Open(desktop.Display(), clock, options);
    }

    void Read() {
        os::DisplayEvent e;
        while (display->NextEvent(e)) {
            log.push_back(e);
            unread.push_back(e);
        }
    }

    void Forget() {
        Read();
        log.clear();
        unread.clear();
    }

    // The first unread event that matches, once it has come; the unread events before it
    // are passed over.
    std::optional<os::DisplayEvent> Await(const std::function<bool(const os::DisplayEvent&)>& want,
                                          double seconds = kLimit) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        do {
            Read();
            auto it = std::find_if(unread.begin(), unread.end(), want);
            if (it != unread.end()) {
                const os::DisplayEvent found = *it;
                unread.erase(unread.begin(), it + 1);
                return found;
            }
            std::this_thread::sleep_for(5ms);
        } while (std::chrono::steady_clock::now() < end);
        return std::nullopt;
    }

    std::optional<os::DisplayEvent> Await(EventKind kind, os::WindowId w) {
        return Await([&](const os::DisplayEvent& e) { return e.kind == kind && e.window == w; });
    }

    // Reads events (the window manager needs our answers) until `cond` holds.
    bool Eventually(const std::function<bool()>& cond, double seconds = kLimit) {
        return e2e::Eventually(
            [&] {
                Read();
                return cond();
            },
            seconds);
    }

    std::string Sh(const std::string& command) { return desktop.Run(command); }
    std::string Id(os::WindowId w) { return Hex(display->NativeWindow(w)); }
    std::string Prop(os::WindowId w, const std::string& name) {
        return Sh("xprop -id " + Id(w) + " " + name);
    }

    // The window's client area on the screen, as the server has it.
    os::Rect Geometry(os::WindowId w) {
        const std::string out = Sh("xwininfo -id " + Id(w));
        auto field = [&](const std::string& label) {
            const auto at = out.find(label);
            return at == std::string::npos ? -99999 : std::stoi(out.substr(at + label.size()));
        };
        const int x = field("Absolute upper-left X:"), y = field("Absolute upper-left Y:");
        return {x, y, x + field("Width:"), y + field("Height:")};
    }

    bool Viewable(os::WindowId w) {
        return Sh("xwininfo -id " + Id(w)).find("IsViewable") != std::string::npos;
    }

    // Creates, shows and paints a window, and waits until the window manager has put it
    // where it was asked to go.
    os::WindowId Place(os::WindowParams p, const os::PixelBuffer* pixels = nullptr) {
        const os::WindowId w = display->CreateWindow(p);
        display->Show(w, true);
        const os::PixelBuffer fill =
            pixels ? *pixels : os::PixelBuffer(p.bounds.Width(), p.bounds.Height(), 0x208040);
        display->Present(w, fill, {0, 0, fill.width, fill.height});
        EXPECT_TRUE(Eventually([&] { return Viewable(w) && Geometry(w) == p.bounds; }))
            << Sh("xwininfo -id " + Id(w));
        return w;
    }

    static os::WindowParams Params(os::Rect bounds, bool topmost = true) {
        os::WindowParams p;
        p.bounds = bounds;
        p.title = "mirelo test";
        p.undecorated = true;
        p.topmost = topmost;
        return p;
    }

    // A foreign window with a known title, once it is on the screen; returns its X id.
    std::string Foreign(const std::string& title, const std::string& geometry) {
        spawned.push_back(desktop.Spawn({"xlogo", "-title", title, "-geometry", geometry}));
        const std::string id = Sh("xdotool search --sync --onlyvisible --name '^" + title + "$'");
        return id.substr(0, id.find('\n'));
    }

    std::vector<unsigned long> Stacking() {
        std::istringstream in(Sh("xprop -root _NET_CLIENT_LIST_STACKING"));
        std::vector<unsigned long> ids;
        std::string word;
        while (in >> word)
            if (word.rfind("0x", 0) == 0) ids.push_back(std::stoul(word, nullptr, 16));
        return ids;
    }

    std::vector<os::DisplayEvent> Logged(std::initializer_list<EventKind> kinds) {
        std::vector<os::DisplayEvent> out;
        for (const auto& e : log)
            if (std::find(kinds.begin(), kinds.end(), e.kind) != kinds.end()) out.push_back(e);
        return out;
    }
};

TEST_F(X11DisplayTest, MapsUndecoratedWhereAskedAndStaysAboveAnActiveWindow) {
    const os::Rect bounds{120, 90, 320, 240};
    const os::WindowId w = Place(Params(bounds));
    EXPECT_NE(Prop(w, "_NET_FRAME_EXTENTS").find("= 0, 0, 0, 0"), std::string::npos);
    EXPECT_EQ(display->GetBounds(w), bounds);

    // A normal window over ours, made active: ours must stay above it.
    const std::string other = Foreign("cover1", "300x200+100+80");
    Sh("xdotool windowactivate --sync " + other);
    ASSERT_TRUE(Eventually([&] {
        return Sh("xprop -root _NET_ACTIVE_WINDOW").find(Hex(std::stoul(other))) !=
               std::string::npos;
    }));
    EXPECT_NE(display->ActiveWindow(), w);
    const auto order = Stacking();
    const auto ours = std::find(order.begin(), order.end(), display->NativeWindow(w));
    const auto theirs = std::find(order.begin(), order.end(), std::stoul(other));
    ASSERT_NE(ours, order.end());
    ASSERT_NE(theirs, order.end());
    EXPECT_GT(ours, theirs);
    // And it is what is seen where the two overlap.
    EXPECT_TRUE(
        Eventually([&] { return desktop.Screenshot(150, 100, 1, 1).At(0, 0) == 0x208040; }));

    // Leaving the topmost layer lets the active window cover it, until ours is raised.
    display->SetTopmost(w, false);
    Sh("xdotool windowactivate --sync " + other);
    EXPECT_TRUE(
        Eventually([&] { return desktop.Screenshot(150, 100, 1, 1).At(0, 0) != 0x208040; }));
    display->Raise(w);
    EXPECT_TRUE(
        Eventually([&] { return desktop.Screenshot(150, 100, 1, 1).At(0, 0) == 0x208040; }));
}

TEST_F(X11DisplayTest, TellsTheWindowManagerWhoItIs) {
    os::WindowParams p = Params({40, 40, 100, 100});
    p.title = "Mirelo \xE2\x80\x94 \xC3\xBC"; // an em dash and a u with diaeresis
    const os::WindowId w = Place(p);
    EXPECT_NE(Prop(w, "WM_CLASS").find("\"mirelo\", \"Mirelo\""), std::string::npos);
    EXPECT_NE(Prop(w, "_NET_WM_PID").find("= " + std::to_string(getpid())), std::string::npos);
    EXPECT_NE(Prop(w, "WM_PROTOCOLS").find("WM_DELETE_WINDOW"), std::string::npos);
    EXPECT_NE(Prop(w, "_MOTIF_WM_HINTS").find("= 0x2, 0x0, 0x0"), std::string::npos);

    auto read_utf8 = [&](const char* name) {
        ::Display* dpy = display->Connection();
        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        XGetWindowProperty(dpy, display->NativeWindow(w), XInternAtom(dpy, name, False), 0, 1024,
                           False, AnyPropertyType, &type, &format, &count, &after, &data);
        std::string s = data ? std::string(reinterpret_cast<char*>(data), count) : "";
        if (data) XFree(data);
        return s;
    };
    EXPECT_EQ(read_utf8("_NET_WM_NAME"), p.title);
    display->SetTitle(w, "Plain");
    EXPECT_EQ(read_utf8("_NET_WM_NAME"), "Plain");
    EXPECT_NE(Prop(w, "WM_NAME").find("\"Plain\""), std::string::npos);

    // The window manager's close request (sent here as it would send it).
    ::Display* dpy = XOpenDisplay(desktop.Display().c_str());
    ASSERT_NE(dpy, nullptr);
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = display->NativeWindow(w);
    ev.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
    XSendEvent(dpy, ev.xclient.window, False, NoEventMask, &ev);
    XCloseDisplay(dpy);
    EXPECT_TRUE(Await(EventKind::CloseRequest, w));
}

TEST_F(X11DisplayTest, TheIconIsAPropertyForTheTaskbarAndCanBeTakenAway) {
    const os::WindowId w = Place(Params({40, 300, 100, 360}));
    const os::IconPixels icon{
        2, 3, {0xFF0000FF, 0x80FFFFFF, 0x00000000, 0xFF102030, 0xFFFFFFFF, 0x01020304}};
    display->SetIcon(w, icon);
    ::Display* dpy = display->Connection();
    const Atom net_wm_icon = XInternAtom(dpy, "_NET_WM_ICON", False);
    const auto items = os::x11::ReadProperty32<unsigned long>(dpy, display->NativeWindow(w),
                                                              net_wm_icon, XA_CARDINAL, 1024);
    std::vector<unsigned long> expected = {2, 3};
    expected.insert(expected.end(), icon.argb.begin(), icon.argb.end());
    EXPECT_EQ(items, expected);
    // What the taskbar reads, as xprop shows it; of another type it is not read at all.
    EXPECT_NE(Prop(w, "_NET_WM_ICON").find("Icon (2 x 3)"), std::string::npos);
    EXPECT_TRUE(os::x11::ReadProperty32<unsigned long>(dpy, display->NativeWindow(w), net_wm_icon,
                                                       XA_WINDOW, 1024)
                    .empty());

    EXPECT_THROW(display->SetIcon(w, {2, 2, {1, 2, 3}}), std::invalid_argument);
    // Taken away, it is ours no more (openbox puts a default icon of its own in its place).
    display->SetIcon(w, {});
    EXPECT_TRUE(
        Eventually([&] { return Prop(w, "_NET_WM_ICON").find("(2 x 3)") == std::string::npos; }));
}

TEST_F(X11DisplayTest, ErrorsOfVanishedWindowsAreQuietAndOthersReportedOnce) {
    ::Display* dpy = display->Connection();
    testing::internal::CaptureStderr();
    XMapWindow(dpy, 0x1fffffe);  // BadWindow: a window that has gone
    XFreePixmap(dpy, 0x1fffffd); // BadPixmap: a fault of ours
    XFreePixmap(dpy, 0x1fffffc);
    XSync(dpy, False);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.find("BadWindow"), std::string::npos) << said;
    const auto first = said.find("BadPixmap");
    ASSERT_NE(first, std::string::npos) << said;
    EXPECT_EQ(said.find("BadPixmap", first + 1), std::string::npos) << said;
}

TEST_F(X11DisplayTest, StayOnTopAndSkipTaskbarSurviveHidingAndCanBeDropped) {
    os::WindowParams p = Params({60, 60, 160, 160});
    p.skip_taskbar = true;
    const os::WindowId w = Place(p);
    auto state = [&] { return Prop(w, "_NET_WM_STATE"); };
    auto has = [&](const char* s) { return state().find(s) != std::string::npos; };
    EXPECT_TRUE(has("_NET_WM_STATE_ABOVE"));
    EXPECT_TRUE(has("_NET_WM_STATE_SKIP_TASKBAR"));

    display->Show(w, false);
    EXPECT_FALSE(display->IsVisible(w));
    ASSERT_TRUE(Eventually([&] { return !Viewable(w) && !has("_NET_WM_STATE_ABOVE"); }))
        << "the window manager did not withdraw the window: " << state();
    display->Show(w, true);
    EXPECT_TRUE(Eventually([&] {
        return Viewable(w) && has("_NET_WM_STATE_ABOVE") && has("_NET_WM_STATE_SKIP_TASKBAR");
    })) << state();

    display->SetSkipTaskbar(w, false);
    display->SetTopmost(w, false);
    EXPECT_TRUE(Eventually([&] {
        return !has("_NET_WM_STATE_ABOVE") && !has("_NET_WM_STATE_SKIP_TASKBAR");
    })) << state();
    display->SetTopmost(w, true);
    EXPECT_TRUE(Eventually([&] { return has("_NET_WM_STATE_ABOVE"); })) << state();
}

TEST_F(X11DisplayTest, ShapeCutsWhatIsSeenAndWhereClicksLand) {
    const os::Rect bounds{300, 200, 500, 350};
    // An L inset from the window's edges: a bar along the top and a column on the left.
    const std::vector<os::Rect> shape{{10, 10, 190, 60}, {10, 60, 70, 140}};
    const os::PixelBuffer before = desktop.Screenshot(bounds.left, bounds.top, 200, 150);
    const os::PixelBuffer pixels = Pattern(200, 150, 7);
    os::WindowParams p = Params(bounds);
    const os::WindowId w = display->CreateWindow(p);
    display->SetShape(w, shape);
    display->Show(w, true);
    display->Present(w, pixels, {0, 0, 200, 150});
    ASSERT_TRUE(Eventually([&] { return Viewable(w) && Geometry(w) == bounds; }));

    const std::string info = Sh("xwininfo -shape -id " + Id(w));
    EXPECT_NE(info.find("Window shape extents:  180x130+10+10"), std::string::npos) << info;

    // Inside the shape the window's pixels, outside it whatever was there before.
    EXPECT_TRUE(Eventually([&] {
        const os::PixelBuffer shot = desktop.Screenshot(bounds.left, bounds.top, 200, 150);
        for (int y = 0; y < 150; ++y)
            for (int x = 0; x < 200; ++x) {
                const bool in = std::any_of(shape.begin(), shape.end(),
                                            [&](const os::Rect& r) { return r.Contains(x, y); });
                if (shot.At(x, y) != (in ? pixels.At(x, y) : before.At(x, y))) return false;
            }
        return true;
    }));
    EXPECT_EQ(display->WindowAt({bounds.left + 20, bounds.top + 100}), w);
    EXPECT_EQ(display->WindowAt({bounds.left + 150, bounds.top + 100}), os::kNoWindow);

    // A click in the box but outside the shape reaches nobody; the next one inside does.
    Forget();
    Sh("xdotool mousemove --sync 450 300 click 1");
    Sh("xdotool mousemove --sync 325 280 click 1");
    const auto down = Await(EventKind::ButtonDown, w);
    ASSERT_TRUE(down);
    EXPECT_EQ(std::pair(down->x, down->y), std::pair(25, 80));
    EXPECT_EQ(std::pair(down->screen_x, down->screen_y), std::pair(325, 280));
    EXPECT_EQ(down->button, MouseButton::Left);
    EXPECT_EQ(down->modifiers, Modifiers::kLeftButton);
    const auto up = Await(EventKind::ButtonUp, w);
    ASSERT_TRUE(up);
    EXPECT_EQ(std::pair(up->x, up->y), std::pair(25, 80));
    EXPECT_EQ(up->modifiers, 0u);
    EXPECT_EQ(Logged({EventKind::ButtonDown}).size(), 1u);

    // Back to a rectangle: the former gap takes clicks.
    display->SetShape(w, std::nullopt);
    Sh("xdotool mousemove --sync 450 300 click 3");
    const auto right = Await(EventKind::ButtonDown, w);
    ASSERT_TRUE(right);
    EXPECT_EQ(right->button, MouseButton::Right);
    EXPECT_EQ(std::pair(right->x, right->y), std::pair(150, 100));
}

TEST_F(X11DisplayTest, SeveralWindowsHaveTheirOwnIdsAndEvents) {
    const os::WindowId a = Place(Params({40, 400, 140, 480}));
    const os::WindowId b = Place(Params({200, 400, 300, 480}, false));
    EXPECT_NE(a, b);
    EXPECT_NE(display->NativeWindow(a), a);
    EXPECT_NE(display->NativeWindow(a), display->NativeWindow(b));
    Forget();
    Sh("xdotool mousemove --sync 250 420 click 1 mousemove --sync 50 410 click 1");
    const auto on_b =
        Await([](const os::DisplayEvent& e) { return e.kind == EventKind::ButtonDown; });
    const auto on_a =
        Await([](const os::DisplayEvent& e) { return e.kind == EventKind::ButtonDown; });
    ASSERT_TRUE(on_b && on_a);
    EXPECT_EQ(on_b->window, b);
    EXPECT_EQ(std::pair(on_b->x, on_b->y), std::pair(50, 20));
    EXPECT_EQ(on_a->window, a);
    EXPECT_EQ(std::pair(on_a->x, on_a->y), std::pair(10, 10));

    // A destroyed window is gone for good; the other one carries on.
    display->DestroyWindow(a);
    EXPECT_EQ(display->NativeWindow(a), 0u);
    EXPECT_FALSE(display->IsVisible(a));
    display->Show(a, true); // ignored, as for any unknown id
    Forget();
    Sh("xdotool mousemove --sync 60 420 click 1 mousemove --sync 260 420 click 1");
    const auto next =
        Await([](const os::DisplayEvent& e) { return e.kind == EventKind::ButtonDown; });
    ASSERT_TRUE(next);
    EXPECT_EQ(next->window, b);
    EXPECT_TRUE(std::none_of(log.begin(), log.end(),
                             [&](const os::DisplayEvent& e) { return e.window == a; }));
}

class X11PixelTest : public X11DisplayTest, public ::testing::WithParamInterface<bool> {};

TEST_P(X11PixelTest, ScreenShowsExactlyWhatWasPresentedAndKeepsItThroughAnExpose) {
    Open({.shared_memory = GetParam()});
    EXPECT_EQ(display->UsesSharedMemory(), GetParam());
    const os::Rect bounds{40, 40, 240, 190};
    const os::PixelBuffer first = Pattern(200, 150, 1);
    const os::WindowId w = Place(Params(bounds), &first);
    auto screen_is = [&](const os::PixelBuffer& want) {
        return Eventually([&] { return desktop.Screenshot(40, 40, 200, 150) == want; });
    };
    EXPECT_TRUE(screen_is(first));

    // Only the damaged part of a new image goes to the screen (large enough to go through
    // shared memory when it is used; a small part then goes plain).
    const os::PixelBuffer second = Pattern(200, 150, 99);
    const os::Rect damaged{30, 20, 190, 140};
    display->Present(w, second, damaged);
    os::PixelBuffer want = first;
    for (int y = damaged.top; y < damaged.bottom; ++y)
        for (int x = damaged.left; x < damaged.right; ++x)
            want.Set(x, y, second.At(x, y));
    EXPECT_TRUE(screen_is(want));
    const os::Rect button{5, 130, 37, 146};
    display->Present(w, first, button);
    for (int y = button.top; y < button.bottom; ++y)
        for (int x = button.left; x < button.right; ++x)
            want.Set(x, y, first.At(x, y));
    EXPECT_TRUE(screen_is(want));

    // Mapped again, the window is redrawn from what the server kept, and the program is
    // told so it may present afresh.
    display->Show(w, false);
    ASSERT_TRUE(Eventually([&] { return !Viewable(w); }));
    Forget();
    display->Show(w, true);
    EXPECT_TRUE(Await(EventKind::Exposed, w));
    EXPECT_TRUE(screen_is(want));

    // A buffer that does not hold its size is refused.
    os::PixelBuffer broken(4, 4);
    broken.pixels.pop_back();
    EXPECT_THROW(display->Present(w, broken, {0, 0, 4, 4}), std::invalid_argument);
}

INSTANTIATE_TEST_SUITE_P(Upload, X11PixelTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "SharedMemory" : "Plain"; });

TEST_F(X11DisplayTest, DragAfterStartMoveMovesTheWindowUntilTheRelease) {
    const os::WindowId w = Place(Params({100, 100, 220, 180}));
    Forget();
    Sh("xdotool mousemove --sync 130 130 mousedown 1");
    const auto down = Await(EventKind::ButtonDown, w);
    ASSERT_TRUE(down);
    log.clear();
    display->StartMove(w);
    Sh("xdotool mousemove --sync 150 140 mousemove --sync 170 160 mousemove --sync 180 175 "
       "mouseup 1");
    const auto ended = Await(EventKind::MoveEnded, w);
    ASSERT_TRUE(ended);
    const os::Rect moved{150, 145, 270, 225};
    EXPECT_EQ(ended->area, moved);
    EXPECT_EQ(display->GetBounds(w), moved);
    EXPECT_TRUE(Eventually([&] { return Geometry(w) == moved; }))
        << Geometry(w).left << "," << Geometry(w).top;
    // The loop had the pointer: neither the motion nor the release was reported.
    EXPECT_TRUE(Logged({EventKind::ButtonUp, EventKind::PointerMove}).empty());

    // Without a held button the move ends at once, and the window stays.
    display->StartMove(w);
    EXPECT_TRUE(Await(EventKind::MoveEnded, w));
    Sh("xdotool mousemove --sync 200 200");
    EXPECT_TRUE(Await(EventKind::PointerMove, w));
    EXPECT_EQ(display->GetBounds(w), moved);
}

TEST_F(X11DisplayTest, KeysArriveAsVirtualKeysWithTheirModifiers) {
    const os::WindowId w = Place(Params({500, 450, 600, 550}));
    display->Activate(w);
    ASSERT_TRUE(Await(EventKind::FocusGained, w));
    EXPECT_TRUE(Eventually([&] { return display->ActiveWindow() == w; }));
    Forget();
    Sh("xdotool key Escape r shift+m 7 ctrl+F1 Return space Left Down");
    struct Want {
        std::uint16_t key;
        std::uint32_t modifiers;
    };
    const std::vector<Want> wanted = {{27, 0},
                                      {'R', 0},
                                      {16, Modifiers::kShift},
                                      {'M', Modifiers::kShift},
                                      {'7', 0},
                                      {17, Modifiers::kCtrl},
                                      {112, Modifiers::kCtrl},
                                      {13, 0},
                                      {32, 0},
                                      {37, 0},
                                      {40, 0}};
    std::vector<std::pair<int, std::uint32_t>> got;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        const auto e = Await(EventKind::KeyDown, w);
        if (!e) break;
        got.emplace_back(e->key, e->modifiers & Modifiers::kKeys);
    }
    std::vector<std::pair<int, std::uint32_t>> expected;
    for (const Want& k : wanted)
        expected.emplace_back(k.key, k.modifiers);
    EXPECT_EQ(got, expected);
    // The Shift key's own release no longer holds Shift.
    const auto ups = Logged({EventKind::KeyUp});
    const auto shift_up =
        std::find_if(ups.begin(), ups.end(), [](const auto& e) { return e.key == 16; });
    ASSERT_NE(shift_up, ups.end());
    EXPECT_EQ(shift_up->modifiers & Modifiers::kKeys, 0u);

    // Focus leaves with another active window.
    const std::string other = Foreign("thief", "80x80+700+100");
    Sh("xdotool windowactivate --sync " + other);
    EXPECT_TRUE(Await(EventKind::FocusLost, w));
    EXPECT_TRUE(Eventually([&] { return display->ActiveWindow() == os::kNoWindow; }));
}

TEST_F(X11DisplayTest, DoubleClicksOnlyForWindowsThatWantThemAndOnlyQuickAndClose) {
    os::WindowParams p = Params({600, 200, 800, 300});
    p.wants_double_clicks = true;
    const os::WindowId wants = Place(p);
    const os::WindowId plain = Place(Params({600, 320, 800, 420}));
    auto presses = [&](os::WindowId w, const std::string& clicks) {
        Forget();
        Sh(clicks);
        std::vector<bool> doubles;
        for (int i = 0; i < 2; ++i)
            if (const auto e = Await(EventKind::ButtonDown, w)) doubles.push_back(e->double_click);
        return doubles;
    };
    EXPECT_EQ(presses(wants, "xdotool mousemove --sync 650 250 click --repeat 2 --delay 80 1"),
              (std::vector<bool>{false, true}));
    EXPECT_EQ(presses(plain, "xdotool mousemove --sync 650 370 click --repeat 2 --delay 80 1"),
              (std::vector<bool>{false, false}));
    EXPECT_EQ(presses(wants, "xdotool mousemove --sync 700 250 click --repeat 2 --delay 700 1"),
              (std::vector<bool>{false, false}));
    EXPECT_EQ(presses(wants, "xdotool mousemove --sync 750 220 click 1 mousemove --sync 760 220 "
                             "click 1"),
              (std::vector<bool>{false, false}));
}

TEST_F(X11DisplayTest, IconifiedAndRestoredByUsAndByTheWindowManager) {
    const os::WindowId w = Place(Params({400, 60, 480, 140}));
    auto wm_state = [&] { return Prop(w, "WM_STATE"); };
    Forget();
    display->Iconify(w);
    EXPECT_TRUE(display->IsIconic(w));
    EXPECT_TRUE(Await(EventKind::Iconified, w));
    EXPECT_TRUE(Eventually([&] { return wm_state().find("Iconic") != std::string::npos; }));
    display->Restore(w);
    EXPECT_FALSE(display->IsIconic(w));
    EXPECT_TRUE(Await(EventKind::Restored, w));
    EXPECT_TRUE(Eventually([&] { return Viewable(w); }));

    // The user minimises and restores it through the window manager.
    Sh("xdotool windowminimize --sync " + Id(w));
    EXPECT_TRUE(Await(EventKind::Iconified, w));
    EXPECT_TRUE(display->IsIconic(w));
    Sh("xdotool windowactivate --sync " + Id(w));
    EXPECT_TRUE(Await(EventKind::Restored, w));
    EXPECT_FALSE(display->IsIconic(w));
    EXPECT_EQ(Logged({EventKind::Iconified}).size(), 2u);
    EXPECT_EQ(Logged({EventKind::Restored}).size(), 2u);
}

TEST_F(X11DisplayTest, PointerCaptureKeysAndScreenQueries) {
    EXPECT_EQ(display->ScreenSize(), (os::Size{1024, 768}));
    Sh("xdotool mousemove --sync 17 23");
    EXPECT_EQ(display->PointerPosition(), (os::Point{17, 23}));
    Sh("xdotool keydown shift");
    EXPECT_EQ(display->ModifierState(), Modifiers::kShift);
    Sh("xdotool keyup shift");
    EXPECT_EQ(display->ModifierState(), 0u);

    // While captured, motion far outside the window is reported in its coordinates.
    const os::WindowId w = Place(Params({300, 500, 400, 600}));
    display->SetCursor(w, os::PointerCursor::Hand);
    display->SetCapture(w);
    Forget();
    Sh("xdotool mousemove --sync 250 480");
    const auto moved = Await([&](const os::DisplayEvent& e) {
        return e.kind == EventKind::PointerMove && e.window == w && e.screen_x == 250;
    });
    ASSERT_TRUE(moved);
    EXPECT_EQ(std::pair(moved->x, moved->y), std::pair(-50, -20));
    display->ReleaseCapture();
    display->SetCursor(w, os::PointerCursor::Default);
    Sh("xdotool mousemove --sync 330 530 mousemove --sync 240 470");
    EXPECT_TRUE(Await(EventKind::PointerLeave, w));
    Forget();
    Sh("xdotool mousemove --sync 230 460");
    // Nothing more comes from the window once the pointer is elsewhere; a click on it again
    // is the first thing reported.
    Sh("xdotool mousemove --sync 310 510 click 1");
    const auto next = Await([](const os::DisplayEvent& e) {
        return e.kind != EventKind::FocusGained && e.kind != EventKind::FocusLost;
    });
    ASSERT_TRUE(next);
    EXPECT_EQ(next->kind, EventKind::PointerMove);
    EXPECT_EQ(std::pair(next->x, next->y), std::pair(10, 10));
}

namespace {

// An X11 display on a server of its own that no window manager manages.
class BareX11Test : public ::testing::Test {
protected:
    e2e::BareServer server;
    os::RealClock clock;
    std::unique_ptr<os::X11Display> display = os::X11Display::Open(server.Display(), clock);
    std::vector<os::DisplayEvent> events;

    void Read() {
        os::DisplayEvent e;
        while (display->NextEvent(e))
            events.push_back(e);
    }
    bool Eventually(const std::function<bool()>& cond) {
        return e2e::Eventually(
            [&] {
                Read();
                return cond();
            },
            kLimit);
    }
    std::string MapState(os::WindowId w) {
        return e2e::MapState(server, Hex(display->NativeWindow(w)));
    }
    os::WindowId ShowWindow() {
        os::WindowParams p;
        p.bounds = {100, 100, 200, 180};
        p.undecorated = true;
        p.topmost = true;
        const os::WindowId w = display->CreateWindow(p);
        display->Show(w, true);
        display->Activate(w);
        EXPECT_TRUE(Eventually([&] { return MapState(w) == "IsViewable"; })) << MapState(w);
        return w;
    }
};

} // namespace

TEST_F(BareX11Test, WithoutAWindowManagerMinimiseWithdrawsTheWindowAndRestoreMapsIt) {
    const os::WindowId w = ShowWindow();
    auto minimise_and_restore = [&](const std::string& when) {
        SCOPED_TRACE(when);
        display->Iconify(w);
        EXPECT_TRUE(display->IsIconic(w));
        EXPECT_TRUE(Eventually([&] { return MapState(w) == "IsUnMapped"; })) << MapState(w);
        // Hidden and shown again while minimised, it stays off the screen.
        display->Show(w, false);
        display->Show(w, true);
        Read();
        EXPECT_EQ(MapState(w), "IsUnMapped");
        display->Restore(w);
        EXPECT_FALSE(display->IsIconic(w));
        EXPECT_TRUE(Eventually([&] { return MapState(w) == "IsViewable"; })) << MapState(w);
    };
    minimise_and_restore("no manager ever ran");

    // A manager that died leaves its check on the root, naming a window that is gone...
    ::Display* dpy = display->Connection();
    const Atom check = XInternAtom(dpy, "_NET_SUPPORTING_WM_CHECK", False);
    const ::Window root = DefaultRootWindow(dpy);
    const ::Window gone = XCreateSimpleWindow(dpy, root, 0, 0, 1, 1, 0, 0, 0);
    XChangeProperty(dpy, root, check, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&gone), 1);
    XDestroyWindow(dpy, gone);
    XSync(dpy, False);
    minimise_and_restore("the check names a window that is gone");
    // ... or one that does not name itself.
    const ::Window stranger = XCreateSimpleWindow(dpy, root, 0, 0, 1, 1, 0, 0, 0);
    XChangeProperty(dpy, root, check, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&stranger), 1);
    XSync(dpy, False);
    minimise_and_restore("the check names a window that does not name itself");

    // A window withdrawn while no manager ran is mapped again on restore even when one has
    // started meanwhile (here one that only states itself, and would not map it).
    display->Iconify(w);
    EXPECT_TRUE(Eventually([&] { return MapState(w) == "IsUnMapped"; })) << MapState(w);
    XChangeProperty(dpy, stranger, check, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&stranger), 1);
    XSync(dpy, False);
    display->Restore(w);
    EXPECT_TRUE(Eventually([&] { return MapState(w) == "IsViewable"; })) << MapState(w);

    const auto count = [&](EventKind kind) {
        return std::count_if(events.begin(), events.end(),
                             [&](const os::DisplayEvent& e) { return e.kind == kind; });
    };
    EXPECT_EQ(count(EventKind::Iconified), 4);
    EXPECT_EQ(count(EventKind::Restored), 4);
}

TEST_F(BareX11Test, KeysOfTheKeypadFollowNumLockAndOtherLayoutsGiveTheirDigitsAndLetters) {
    ::Display* dpy = display->Connection();
    auto code = [&](KeySym k) { return std::to_string(XKeysymToKeycode(dpy, k)); };
    // Key codes of the US layout, pressed as they are whatever the layout is now.
    const std::string kp7 = code(XK_KP_Home), kp_dot = code(XK_KP_Delete), one = code(XK_1),
                      two = code(XK_2), a = code(XK_a);
    const os::WindowId w = ShowWindow();
    ASSERT_TRUE(Eventually([&] { return display->ActiveWindow() == w; }));
    auto keys = [&](const std::string& xdotool_keys, std::size_t count) {
        events.clear();
        server.Run("xdotool key " + xdotool_keys);
        std::vector<int> got;
        Eventually([&] {
            got.clear();
            for (const auto& e : events)
                if (e.kind == EventKind::KeyDown && e.window == w) got.push_back(e.key);
            return got.size() >= count;
        });
        return got;
    };
    // NumLock off: Home and Delete; on: numpad 7 and the decimal point (NumLock is 144).
    EXPECT_EQ(keys(kp7 + " " + kp_dot, 2), (std::vector<int>{36, 46}));
    EXPECT_EQ(keys("Num_Lock " + kp7 + " " + kp_dot + " Num_Lock", 4),
              (std::vector<int>{144, 103, 110, 144}));

    // French: the digit row's first level is & and é; the digits are on its second.
    server.Run("setxkbmap fr");
    EXPECT_EQ(keys(one + " " + two + " " + a, 3), (std::vector<int>{'1', '2', 'Q'}));
    // Russian as the second layout, selected: its letters give the first layout's.
    server.Run("setxkbmap -layout us,ru");
    XkbLockGroup(dpy, XkbUseCoreKbd, 1);
    XSync(dpy, False);
    EXPECT_EQ(keys(a + " " + one, 2), (std::vector<int>{'A', '1'}));
    XkbLockGroup(dpy, XkbUseCoreKbd, 0);
    XSync(dpy, False);
}

TEST(RealPlatform, SaysWhichDisplayItCannotOpen) {
    try {
        os::RealPlatform::Open(":987");
        FAIL() << "opened a display that does not exist";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "cannot open display :987");
    }
}

TEST(RealPlatform, SleepsWhileIdleAndWakesForTheServer) {
    auto& desktop = e2e::Desktop::Get();
    auto platform = os::RealPlatform::Open(desktop.Display());
    os::Display& display = platform->GetDisplay();
    os::Clock& clock = platform->GetClock();
    os::WindowParams p;
    p.bounds = {700, 500, 800, 600};
    p.undecorated = true;
    const os::WindowId w = display.CreateWindow(p);
    display.Show(w, true);
    os::DisplayEvent e;
    ASSERT_TRUE(desktop.WaitFor(
        "xwininfo -id " + Hex(platform->X11().NativeWindow(w)) + " | grep -q IsViewable", kLimit));
    // Settle: read everything the map brought, then an idle wait lasts to its deadline.
    for (int i = 0; i < 20; ++i) {
        while (display.NextEvent(e)) {
        }
        platform->GetWait().Wait(clock.Monotonic() + 20ms);
    }
    while (display.NextEvent(e)) {
    }
    auto start = clock.Monotonic();
    platform->GetWait().Wait(start + 200ms);
    EXPECT_GE(clock.Monotonic() - start, 190ms);

    // Input ends the wait long before its deadline.
    std::thread mover([&] {
        std::this_thread::sleep_for(200ms);
        desktop.Run("xdotool mousemove 750 550");
    });
    start = clock.Monotonic();
    bool moved = false;
    while (!moved && clock.Monotonic() - start < 4s) {
        platform->GetWait().Wait(start + 5s);
        while (display.NextEvent(e))
            moved = moved || (e.kind == EventKind::PointerMove && e.window == w);
    }
    mover.join();
    EXPECT_TRUE(moved);
    EXPECT_LT(clock.Monotonic() - start, 3s);
}

} // namespace
