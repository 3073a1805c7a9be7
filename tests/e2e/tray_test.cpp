// The real program and the notification area, on the test desktop with trayer as the tray
// host: M takes the window and its taskbar entry away and docks an icon whose tip reads
// "MIRELO"; a click on the icon brings the window back in front with the keyboard; a
// recording goes on while the window is minimised; with no tray host, M leaves the taskbar
// entry and the window manager restores the window.
// GoogleTest first: Xlib's macros (None, Bool) would break its templates.
#include <gtest/gtest.h>

#include "desktop.hpp"
#include "e2e_support.hpp"
#include "sound_support.hpp"
#include "x11_query.hpp"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <optional>
#include <set>
#include <thread>

using namespace std::chrono_literals;

namespace {

using e2e::Eventually;

class TrayTest : public ::testing::Test {
protected:
    std::unique_ptr<e2e::Desktop> own; // for the test that takes the tray host away
    e2e::Desktop* desktop = nullptr;
    e2e::SoundServer server;
    std::string sound_dir;
    std::optional<e2e::ScopedEnv> no_bus;
    // The probe reads windows that other clients may destroy at any moment.
    std::optional<e2e::XErrorsIgnored> ignore_errors;
    ::Display* probe = nullptr;
    pid_t pid = 0;
    pid_t other = 0;    // another program in front
    std::string window; // as xdotool names it
    ::Window xid = 0;

    // Starts the program on `d` (and a sound server when `sound`), with an empty
    // configuration, and waits for its window at the default place.
    void Launch(e2e::Desktop& d, bool sound) {
        desktop = &d;
        if (sound) {
            if (!e2e::OnPath("pulseaudio")) GTEST_SKIP() << "pulseaudio is not installed";
            sound_dir = d.Scratch() + "/tray-sound";
            ASSERT_TRUE(server.Start(sound_dir)) << server.Error();
        }
        // The system tray even where the session bus has a StatusNotifierWatcher.
        no_bus.emplace("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + d.Scratch() + "/no-bus");
        ignore_errors.emplace();
        probe = XOpenDisplay(d.Display().c_str());
        ASSERT_NE(probe, nullptr);
        std::filesystem::remove_all(d.Scratch() + "/config/mirelo");
        pid = d.Spawn({e2e::MireloProgram()});
        window = e2e::ShownWindow(d, "^Mirelo$", 15);
        ASSERT_FALSE(window.empty());
        xid = std::stoul(window);
        ASSERT_TRUE(
            d.WaitFor("xdotool getwindowgeometry " + window + " | grep -q 'Position: 858,570'", 5));
    }
    void TearDown() override {
        if (other) desktop->Stop(other);
        if (pid) desktop->Stop(pid);
        if (probe) XCloseDisplay(probe);
        ignore_errors.reset();
        server.Stop();
        if (!sound_dir.empty() && !HasFailure()) std::filesystem::remove_all(sound_dir);
        no_bus.reset();
    }

    void Key(const std::string& key) const {
        desktop->Run("xdotool windowactivate --sync " + window + " key " + key);
    }
    static bool Capturing() { return e2e::HasStream("source-outputs"); }
    static bool Playing() { return e2e::HasStream("sink-inputs"); }

    // ---- What the X server says ----
    std::vector<unsigned long> Property(::Window w, const char* name) const {
        return e2e::Property32(probe, w, XInternAtom(probe, name, False), AnyPropertyType);
    }
    bool HasState(const char* state) const {
        const auto states = Property(xid, "_NET_WM_STATE");
        return std::count(states.begin(), states.end(), XInternAtom(probe, state, False)) > 0;
    }
    bool Iconic() const {
        const auto s = Property(xid, "WM_STATE");
        return !s.empty() && s[0] == IconicState;
    }
    bool Viewable(::Window w) const { return e2e::Viewable(probe, w); }
    // Off the screen and out of the taskbar.
    bool HiddenInTray() const {
        return !Viewable(xid) && HasState("_NET_WM_STATE_SKIP_TASKBAR") &&
               (HasState("_NET_WM_STATE_HIDDEN") || Iconic());
    }
    ::Window Active() const {
        const auto a = Property(DefaultRootWindow(probe), "_NET_ACTIVE_WINDOW");
        return a.empty() ? 0 : a[0];
    }
    ::Window Parent(::Window w) const { return e2e::Parent(probe, w); }
    ::Window TrayOwner() const {
        return XGetSelectionOwner(probe, XInternAtom(probe, "_NET_SYSTEM_TRAY_S0", False));
    }
    // The program's icon docked in the tray host: a viewable XEmbed client of class
    // "Mirelo" inside a window of the process that owns the tray selection (trayer's owner
    // window is a top-level of its own, beside its panel).
    ::Window DockedIcon() const {
        const auto host = Property(TrayOwner(), "_NET_WM_PID");
        const ::Window root = DefaultRootWindow(probe);
        const ::Window icon = host.empty() ? 0 : Find(root);
        for (::Window a = icon ? Parent(icon) : 0; a && a != root; a = Parent(a))
            if (Property(a, "_NET_WM_PID") == host) return icon;
        return 0;
    }
    ::Window Find(::Window under) const {
        ::Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        if (!XQueryTree(probe, under, &root, &parent, &children, &count)) return 0;
        std::vector<::Window> kids(children, children + count);
        if (children) XFree(children);
        for (const ::Window w : kids) {
            XClassHint hint{};
            bool ours = false;
            if (XGetClassHint(probe, w, &hint)) {
                ours = std::string(hint.res_class) == "Mirelo";
                XFree(hint.res_name);
                XFree(hint.res_class);
            }
            if (ours && Property(w, "_XEMBED_INFO").size() >= 2 && Viewable(w)) return w;
            if (const ::Window found = Find(w)) return found;
        }
        return 0;
    }
    os::Rect ScreenRect(::Window w) const { return e2e::ScreenRect(probe, w); }
    // Moves the pointer to (x, y) and waits until it is there. (A hop elsewhere first: a
    // synchronous move onto the place where the pointer already is waits for good.)
    void MoveTo(int x, int y) const {
        desktop->Run("xdotool mousemove 0 0 mousemove --sync " + std::to_string(x) + " " +
                     std::to_string(y));
    }
    void ClickIcon() {
        ::Window icon = 0;
        ASSERT_TRUE(Eventually([&] { return (icon = DockedIcon()) != 0; }, 10)) << "no icon";
        const os::Rect r = ScreenRect(icon);
        MoveTo(r.left + r.Width() / 2, r.top + r.Height() / 2);
        desktop->Run("xdotool click 1");
    }

    // Whether "MIRELO", as the X server's "fixed" font draws it, is shown in one colour on
    // another anywhere in `shot`.
    bool ShowsTipText(const os::PixelBuffer& shot) const {
        XFontStruct* font = XLoadQueryFont(probe, "fixed");
        if (!font) return false;
        const std::string text = "MIRELO";
        const int w = XTextWidth(font, text.data(), static_cast<int>(text.size()));
        const int h = font->ascent + font->descent;
        const ::Window root = DefaultRootWindow(probe);
        const Pixmap pm = XCreatePixmap(probe, root, static_cast<unsigned>(w),
                                        static_cast<unsigned>(h), DefaultDepth(probe, 0));
        const GC gc = XCreateGC(probe, pm, 0, nullptr);
        XSetForeground(probe, gc, 0);
        XFillRectangle(probe, pm, gc, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h));
        XSetForeground(probe, gc, 0xFFFFFF);
        XSetFont(probe, gc, font->fid);
        XDrawString(probe, pm, gc, 0, font->ascent, text.data(), static_cast<int>(text.size()));
        XImage* img = XGetImage(probe, pm, 0, 0, static_cast<unsigned>(w), static_cast<unsigned>(h),
                                AllPlanes, ZPixmap);
        std::vector<bool> ink(static_cast<std::size_t>(w * h));
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                ink[static_cast<std::size_t>(y * w + x)] = XGetPixel(img, x, y) != 0;
        XDestroyImage(img);
        XFreeGC(probe, gc);
        XFreePixmap(probe, pm);
        XFreeFont(probe, font);
        // Ink and paper each take the colour of their first pixel.
        const auto first_ink =
            static_cast<int>(std::find(ink.begin(), ink.end(), true) - ink.begin());
        const auto first_paper =
            static_cast<int>(std::find(ink.begin(), ink.end(), false) - ink.begin());
        if (first_ink == w * h || first_paper == w * h) return false;
        const auto matches = [&](int ox, int oy) {
            const std::uint32_t fg = shot.At(ox + first_ink % w, oy + first_ink / w);
            const std::uint32_t bg = shot.At(ox + first_paper % w, oy + first_paper / w);
            if (fg == bg) return false;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    if (shot.At(ox + x, oy + y) !=
                        (ink[static_cast<std::size_t>(y * w + x)] ? fg : bg))
                        return false;
            return true;
        };
        for (int oy = 0; oy + h <= shot.height; ++oy)
            for (int ox = 0; ox + w <= shot.width; ++ox)
                if (matches(ox, oy)) return true;
        return false;
    }
};

} // namespace

TEST_F(TrayTest, MHidesTheWindowAndItsTaskbarEntryAndDocksAnIconWhoseTipReadsMIRELO) {
    ASSERT_NO_FATAL_FAILURE(Launch(e2e::Desktop::Get(), false));
    ASSERT_TRUE(Eventually([&] { return TrayOwner() != 0; }, 10)) << "no tray host";
    EXPECT_TRUE(Viewable(xid));
    EXPECT_FALSE(HasState("_NET_WM_STATE_SKIP_TASKBAR"));
    EXPECT_EQ(DockedIcon(), 0u) << "an icon before M";

    Key("m");
    EXPECT_TRUE(Eventually([&] { return HiddenInTray(); }, 5))
        << "viewable " << Viewable(xid) << ", skip-taskbar "
        << HasState("_NET_WM_STATE_SKIP_TASKBAR") << ", hidden " << HasState("_NET_WM_STATE_HIDDEN")
        << ", iconic " << Iconic();
    ::Window icon = 0;
    ASSERT_TRUE(Eventually([&] { return (icon = DockedIcon()) != 0; }, 10))
        << "no icon of the program in the tray";
    const os::Rect at = ScreenRect(icon);
    EXPECT_GE(at.Width(), 16);
    EXPECT_GE(at.Height(), 16);
    // The application icon's picture, not an empty socket: many colours on the panel.
    ASSERT_TRUE(Eventually(
        [&] {
            const auto shot = desktop->Screenshot(at.left, at.top, at.Width(), at.Height());
            return std::set<std::uint32_t>(shot.pixels.begin(), shot.pixels.end()).size() >= 6;
        },
        5))
        << "the icon shows no picture";

    // The tip shows above the icon (the panel is at the foot of the screen) while the
    // pointer is over it, and goes when the pointer leaves.
    const os::Rect around{std::max(0, at.left - 100), std::max(0, at.top - 40),
                          std::min(1024, at.right + 100), at.bottom};
    const auto tip_shown = [&] {
        return ShowsTipText(
            desktop->Screenshot(around.left, around.top, around.Width(), around.Height()));
    };
    MoveTo(10, 10);
    EXPECT_FALSE(tip_shown()) << "the tip shows before the pointer is over the icon";
    MoveTo(at.left + at.Width() / 2, at.top + at.Height() / 2);
    EXPECT_TRUE(Eventually(tip_shown, 5)) << "no tip reading MIRELO near the icon";
    MoveTo(10, 10);
    EXPECT_TRUE(Eventually([&] { return !tip_shown(); }, 5)) << "the tip stays";
    EXPECT_TRUE(HiddenInTray()) << "hovering the icon brought the window back";
}

TEST_F(TrayTest, AClickOnTheIconBringsTheWindowBackInFrontWithTheKeyboardAndRRecords) {
    ASSERT_NO_FATAL_FAILURE(Launch(e2e::Desktop::Get(), true));
    if (IsSkipped()) return;
    Key("m");
    ASSERT_TRUE(Eventually([&] { return HiddenInTray(); }, 5));
    // Another program is in front and has the keyboard meanwhile.
    other = desktop->Spawn({"xlogo", "-geometry", "300x300+700+420"});
    ASSERT_TRUE(Eventually([&] { return Active() != 0 && Active() != xid; }, 10))
        << "xlogo did not become the active window";

    ASSERT_NO_FATAL_FAILURE(ClickIcon());
    EXPECT_TRUE(Eventually([&] { return Active() == xid && Viewable(xid); }, 5))
        << "active " << Active() << ", Mirelo " << xid << ", viewable " << Viewable(xid);
    EXPECT_FALSE(HasState("_NET_WM_STATE_SKIP_TASKBAR"));
    EXPECT_FALSE(HasState("_NET_WM_STATE_HIDDEN"));
    EXPECT_TRUE(Eventually([&] { return DockedIcon() == 0; }, 5)) << "the icon stays docked";

    // R to whatever has the keyboard: the program.
    desktop->Run("xdotool key r");
    EXPECT_TRUE(Eventually([&] { return Capturing(); }, 5)) << "R did not reach the program";
}

TEST_F(TrayTest, ARecordingGoesOnWhileTheWindowIsMinimised) {
    ASSERT_NO_FATAL_FAILURE(Launch(e2e::Desktop::Get(), true));
    if (IsSkipped()) return;
    // Its loudest sample is exactly 10000: the take that holds it is levelled by three.
    const auto signal = e2e::PeakedNoise(e2e::kRate * 3 / 2, 23, e2e::kRate * 3 / 4);
    e2e::WriteSignal(sound_dir + "/signal.wav", signal);

    Key("r");
    ASSERT_TRUE(Eventually([&] { return Capturing(); }, 5)) << "R started no recording";
    Key("m");
    ASSERT_TRUE(Eventually([&] { return HiddenInTray(); }, 5));
    // Said to the microphone only while the window is in the tray.
    ASSERT_NO_FATAL_FAILURE(e2e::SayIntoMicrophone(sound_dir + "/signal.wav"));
    std::this_thread::sleep_for(500ms);
    EXPECT_TRUE(Capturing()) << "the recording ended while minimised";
    ASSERT_TRUE(HiddenInTray());

    ASSERT_NO_FATAL_FAILURE(ClickIcon());
    ASSERT_TRUE(Eventually([&] { return Viewable(xid); }, 5));
    Key("r");
    ASSERT_TRUE(Eventually([&] { return !Capturing(); }, 5)) << "R did not end the recording";

    // The take holds what was said, levelled as any take is.
    e2e::SpeakerRecording speaker(sound_dir + "/heard.raw");
    ASSERT_GT(speaker.Pid(), 0);
    Key("p");
    EXPECT_TRUE(Eventually([&] { return Playing(); }, 5)) << "P played nothing";
    EXPECT_TRUE(Eventually([&] { return !Playing(); }, 15)) << "the playback did not end";
    const auto level = e2e::Levelled(signal);
    const auto heard = speaker.Heard();
    const auto found = e2e::Find(heard, level);
    ASSERT_TRUE(found) << "what was said while minimised is not in the take (" << heard.size()
                       << " samples heard)";
    std::size_t first = 0;
    EXPECT_EQ(e2e::Mismatches(heard, *found, level, first), 0u) << "first difference at " << first;
}

TEST_F(TrayTest, WithNoTrayHostMLeavesTheTaskbarEntryAndTheWindowManagerRestoresTheWindow) {
    // A desktop of its own, so that the shared one keeps its tray host.
    own = e2e::Desktop::StartOwn("no-tray");
    ASSERT_NO_FATAL_FAILURE(Launch(*own, false));
    const std::string trayer = own->Run("xdotool search --name '^panel$' getwindowpid");
    ASSERT_GT(own->Stop(std::stoi(trayer)), -1) << "trayer is not the desktop's";
    ASSERT_TRUE(Eventually([&] { return TrayOwner() == 0; }, 5));

    Key("m");
    ASSERT_TRUE(Eventually([&] { return !Viewable(xid) && Iconic(); }, 5))
        << "M did not minimise the window";
    std::this_thread::sleep_for(500ms);
    EXPECT_FALSE(HasState("_NET_WM_STATE_SKIP_TASKBAR")) << "no way back: out of the taskbar";
    EXPECT_FALSE(Viewable(xid));

    // As a taskbar does: ask the window manager to activate it.
    own->Run("xdotool windowactivate --sync " + window);
    EXPECT_TRUE(Eventually([&] { return Viewable(xid) && Active() == xid; }, 5));
    EXPECT_FALSE(Iconic());
    // The program knows it is back: M minimises it again.
    Key("m");
    EXPECT_TRUE(Eventually([&] { return !Viewable(xid) && Iconic(); }, 5))
        << "M did nothing after the restore";
}
