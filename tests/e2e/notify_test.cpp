// The system tray back end on a real X server with trayer as the tray host: docking, the
// picture on the panel, the tip on hover, clicks and double clicks reported to the icon's
// owner, docking again into a restarted host, and no icon without a host.
// GoogleTest first: Xlib's macros (None, Bool) would break its templates.
#include <gtest/gtest.h>

#include "desktop.hpp"
#include "e2e_support.hpp"
#include "x11_query.hpp"

#include "os/notify/xembed_notify.hpp"
#include "os/real_platform.hpp"

#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr double kLimit = 10.0; // seconds to wait for the tray host or the server
constexpr std::uint32_t kOwner = 41, kId = 3, kCallback = 0xB054;
constexpr std::uint32_t kRed = 0xCC2233, kBlue = 0x2244DD;

struct Posted {
    std::uint32_t window, msg;
    std::uintptr_t wparam;
    std::intptr_t lparam;
    bool operator==(const Posted&) const = default;
};

// A 16 x 16 picture: a solid square of `colour` with a clear two-pixel margin.
os::PixelBuffer Picture(std::uint32_t colour) {
    os::PixelBuffer p(16, 16, 0x00FFFFFF);
    for (int y = 2; y < 14; ++y)
        for (int x = 2; x < 14; ++x)
            p.Set(x, y, 0xFF000000 | colour);
    return p;
}

class NotifyTest : public ::testing::Test {
protected:
    e2e::Desktop& desktop = e2e::Desktop::Get();
    std::unique_ptr<os::RealPlatform> platform;
    std::vector<Posted> posted;
    ::Display* probe = nullptr; // our own look at the server
    std::optional<e2e::ScopedEnv> no_bus;

    void SetUp() override {
        // The XEmbed side even on a desktop whose session bus has a StatusNotifierWatcher.
        no_bus.emplace("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + desktop.Scratch() + "/no-bus");
        platform = os::RealPlatform::Open(desktop.Display());
        platform->SetPoster(
            [this](std::uint32_t w, std::uint32_t msg, std::uintptr_t wp, std::intptr_t lp) {
                posted.push_back({w, msg, wp, lp});
                return true;
            });
        probe = XOpenDisplay(desktop.Display().c_str());
        ASSERT_NE(probe, nullptr);
        ASSERT_TRUE(Eventually([&] { return TrayOwner() != 0; })) << "no tray host";
    }
    void TearDown() override {
        platform.reset();
        if (probe) XCloseDisplay(probe);
        no_bus.reset();
    }

    os::XEmbedNotifyArea& Tray() { return platform->XEmbed(); }

    // Reads the display's events (which the tray sees first) until `cond` holds, waiting as
    // the program's loop does: the display is read once its wait saw it readable.
    bool Eventually(const std::function<bool()>& cond, double seconds = kLimit) {
        return e2e::PumpUntil(*platform, cond, seconds, 10ms);
    }

    ::Window TrayOwner() {
        return XGetSelectionOwner(probe, XInternAtom(probe, "_NET_SYSTEM_TRAY_S0", False));
    }

    bool Exists(::Window w) { return e2e::Parent(probe, w) != 0; }
    bool Docked(::Window w) { return e2e::Docked(probe, w); }

    // The window's place on the screen.
    os::Rect ScreenRect(::Window w) { return e2e::ScreenRect(probe, w); }

    os::NotifyIcon Icon(std::uint32_t id, std::uint32_t colour, std::string tip) {
        os::NotifyIcon icon;
        icon.window = kOwner;
        icon.id = id;
        icon.callback_message = kCallback;
        icon.picture = Picture(colour);
        icon.tip = std::move(tip);
        return icon;
    }

    // The icon's picture shows centred: its colour in the middle, the panel at the corners.
    void ExpectPicture(::Window w, std::uint32_t colour) {
        const os::Rect r = ScreenRect(w);
        ASSERT_GE(r.Width(), 16);
        ASSERT_GE(r.Height(), 16);
        bool drawn = Eventually([&] {
            const os::PixelBuffer shot = desktop.Screenshot(r.left, r.top, r.Width(), r.Height());
            const int cx = r.Width() / 2, cy = r.Height() / 2;
            const int top = (r.Height() - 16) / 2, left = (r.Width() - 16) / 2;
            return shot.At(cx, cy) == colour && shot.At(left + 2, top + 2) == colour &&
                   shot.At(left + 13, top + 13) == colour && shot.At(left, top) != colour &&
                   shot.At(left + 15, top + 15) != colour;
        });
        EXPECT_TRUE(drawn) << "icon at " << r.left << "," << r.top << " " << r.Width() << "x"
                           << r.Height();
    }

    std::vector<Posted> Expect(std::initializer_list<std::intptr_t> lparams,
                               std::uint32_t id = kId) {
        std::vector<Posted> out;
        for (std::intptr_t lp : lparams)
            out.push_back({kOwner, kCallback, id, lp});
        return out;
    }

    // The mouse reports posted so far, without the moves.
    std::vector<Posted> Buttons() {
        std::vector<Posted> out;
        for (const Posted& p : posted)
            if (p.lparam != 0x200) out.push_back(p);
        return out;
    }

    // Starts trayer as the test desktop does; a second try when the first shows nothing.
    void StartTrayer() {
        for (int attempt = 0; attempt < 2; ++attempt) {
            const pid_t pid = desktop.Spawn(e2e::TrayerCommand());
            if (Eventually([&] { return TrayOwner() != 0; })) return;
            desktop.Stop(pid);
        }
        FAIL() << "trayer did not start again";
    }
};

TEST_F(NotifyTest, DocksShowsTipReportsClicksAndDocksAgainIntoANewHost) {
    ASSERT_TRUE(platform->GetNotify().Add(Icon(kId, kRed, "MIRELO")));
    ASSERT_TRUE(Eventually([&] { return Docked(Tray().IconWindow(kOwner, kId)); }));
    const ::Window icon = Tray().IconWindow(kOwner, kId);
    ExpectPicture(icon, kRed);

    // Hovering shows the tip next to the icon; leaving hides it.
    const os::Rect at = ScreenRect(icon);
    const int cx = at.left + at.Width() / 2, cy = at.top + at.Height() / 2;
    desktop.Run("xdotool mousemove --sync " + std::to_string(cx) + " " + std::to_string(cy));
    ASSERT_TRUE(Eventually([&] { return Tray().TipWindow(kOwner, kId) != 0; }));
    const ::Window tip = Tray().TipWindow(kOwner, kId);
    ASSERT_TRUE(Eventually([&] {
        const os::Rect r = ScreenRect(tip);
        const os::PixelBuffer shot = desktop.Screenshot(r.left, r.top, r.Width(), r.Height());
        int text = 0, paper = 0;
        for (std::uint32_t p : shot.pixels) {
            text += p == 0x000000;
            paper += p == 0xFFFFE1;
        }
        // "MIRELO" in a small fixed font: a few dozen dark pixels on the pale paper.
        return r.Width() > 30 && text > 30 && paper > text && r.bottom <= at.top + 1;
    })) << "the tip is not drawn above the icon";
    desktop.Run("xdotool mousemove --sync 10 10");
    EXPECT_TRUE(Eventually([&] { return Tray().TipWindow(kOwner, kId) == 0; }));

    // A click, a double click and a right click, as the platform reports them; the pointer
    // is where the user clicked when the owner reads it.
    const std::string on =
        "xdotool mousemove --sync " + std::to_string(cx) + " " + std::to_string(cy) + " ";
    desktop.Run(on + "click 1");
    ASSERT_TRUE(Eventually([&] { return Buttons().size() >= 2; }));
    EXPECT_EQ(platform->GetDisplay().PointerPosition(), (os::Point{cx, cy}));
    std::this_thread::sleep_for(500ms); // the next press starts a new click
    desktop.Run("xdotool click --repeat 2 --delay 60 1");
    std::this_thread::sleep_for(500ms);
    desktop.Run("xdotool click 3");
    ASSERT_TRUE(Eventually([&] { return Buttons().size() >= 8; }));
    EXPECT_EQ(Buttons(), Expect({0x201, 0x202, 0x201, 0x202, 0x203, 0x202, 0x204, 0x205}));
    EXPECT_TRUE(std::any_of(posted.begin(), posted.end(), [](const Posted& p) {
        return p.lparam == 0x200;
    })) << "no move was reported";

    // A new picture is drawn in place.
    ASSERT_TRUE(platform->GetNotify().Modify(Icon(kId, kBlue, "MIRELO")));
    ExpectPicture(icon, kBlue);

    // The host quits: no new icon can be added, the one shown waits for the next host,
    // which takes it again as it is now.
    const std::string pid = desktop.Run("xdotool search --name '^panel$' getwindowpid");
    ASSERT_GT(std::stoi(pid), 0);
    desktop.Stop(std::stoi(pid));
    ASSERT_TRUE(Eventually([&] { return TrayOwner() == 0; }));
    EXPECT_FALSE(platform->GetNotify().Add(Icon(kId + 1, kRed, "no host")));
    EXPECT_TRUE(Eventually([&] { return Tray().IconWindow(kOwner, kId) == 0; }));
    // A host that holds the selection but never embeds: no icon, known within 2 s.
    const ::Window mute = XCreateSimpleWindow(probe, DefaultRootWindow(probe), 0, 0, 1, 1, 0, 0, 0);
    XSetSelectionOwner(probe, XInternAtom(probe, "_NET_SYSTEM_TRAY_S0", False), mute, CurrentTime);
    XSync(probe, False);
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_FALSE(platform->GetNotify().Add(Icon(kId + 2, kRed, "mute host")));
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 3s);
    XDestroyWindow(probe, mute);
    XSync(probe, False);
    StartTrayer();
    ASSERT_TRUE(Eventually([&] { return Docked(Tray().IconWindow(kOwner, kId)); }))
        << "not docked again into the new host";
    const ::Window again = Tray().IconWindow(kOwner, kId);
    ExpectPicture(again, kBlue);

    posted.clear();
    const os::Rect now = ScreenRect(again);
    // (Away first: a move onto the place where the pointer already is never ends.)
    desktop.Run("xdotool mousemove --sync 10 10 mousemove --sync " +
                std::to_string(now.left + now.Width() / 2) + " " +
                std::to_string(now.top + now.Height() / 2) + " click 1");
    ASSERT_TRUE(Eventually([&] { return Buttons().size() >= 2; }));
    EXPECT_EQ(Buttons(), Expect({0x201, 0x202}));

    // Deleted, it leaves the panel.
    EXPECT_TRUE(platform->GetNotify().Delete(kOwner, kId));
    EXPECT_FALSE(platform->GetNotify().Delete(kOwner, kId));
    EXPECT_TRUE(Eventually([&] { return !Exists(again); }));
}

} // namespace
