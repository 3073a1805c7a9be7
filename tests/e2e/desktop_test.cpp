// The test desktop itself: a window manager and a tray host on a 24-bit screen.
// GoogleTest first: Xlib's macros (None, Bool, Status) clash with its templates.
#include <gtest/gtest.h>

#include "desktop.hpp"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

namespace {

unsigned long TrayOwner(const std::string& display) {
    ::Display* dpy = XOpenDisplay(display.c_str());
    if (!dpy) return None;
    const Window owner = XGetSelectionOwner(dpy, XInternAtom(dpy, "_NET_SYSTEM_TRAY_S0", False));
    XCloseDisplay(dpy);
    return owner;
}

// True once the root window names a window manager, polled as fast as the server answers.
bool WaitForWindowManagerName(::Display* dpy, std::chrono::seconds limit) {
    const Atom check = XInternAtom(dpy, "_NET_SUPPORTING_WM_CHECK", False);
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        XGetWindowProperty(dpy, DefaultRootWindow(dpy), check, 0, 1, False, XA_WINDOW, &type,
                           &format, &count, &after, &data);
        if (data) XFree(data);
        if (count == 1) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
}

} // namespace

TEST(Desktop, RunsAWindowManagerAndATrayHostOnA24BitScreen) {
    auto& desktop = e2e::Desktop::Get();
    EXPECT_NE(desktop.Run("xdpyinfo").find("depth of root window:    24 planes"),
              std::string::npos);
    EXPECT_NE(desktop.Run("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id"),
              std::string::npos);
    EXPECT_NE(TrayOwner(desktop.Display()), static_cast<unsigned long>(None));
    EXPECT_NE(desktop.Run("xdotool search --onlyvisible --name '^panel$'"), "");
    const auto shot = desktop.Screenshot();
    EXPECT_EQ(shot.width, 1024);
    EXPECT_EQ(shot.height, 768);
    // Nothing is written outside the scratch folder: HOME points into it.
    EXPECT_EQ(desktop.Run("printf %s \"$HOME\""), desktop.Scratch() + "/home");
}

// openbox names itself on the root window before it handles requests; a tray panel mapped
// in that gap was never shown. Holding openbox there for a second makes the gap certain.
TEST(Desktop, ShowsTheTrayPanelWhenTheWindowManagerIsSlowToStart) {
    std::atomic<bool> held{false};
    std::jthread holder;
    const auto hold = [&](const e2e::Desktop& d, pid_t openbox) {
        holder = std::jthread([display = d.Display(), openbox, &held] {
            ::Display* dpy = XOpenDisplay(display.c_str());
            if (!dpy) return;
            if (WaitForWindowManagerName(dpy, std::chrono::seconds(20))) {
                kill(openbox, SIGSTOP);
                held = true;
                std::this_thread::sleep_for(std::chrono::seconds(1));
                kill(openbox, SIGCONT);
            }
            XCloseDisplay(dpy);
        });
    };
    const auto desktop = e2e::Desktop::StartOwn("slow-window-manager", hold);
    holder.join();
    ASSERT_TRUE(held);
    EXPECT_NE(TrayOwner(desktop->Display()), static_cast<unsigned long>(None));
    EXPECT_NE(desktop->Run("xdotool search --onlyvisible --name '^panel$'"), "");
}
