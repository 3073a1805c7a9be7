// The X error handlers and the error trap.
#include "os/display/x11_errors.hpp"

#include "os/emergency.hpp"

#include <X11/Xproto.h>

#include <cstdio>
#include <mutex>
#include <set>
#include <utility>

namespace os::x11 {

namespace {

std::mutex g_mutex;
::Display* g_trap_display = nullptr;
int g_trapped_error = 0;
std::set<std::pair<int, int>> g_reported; // (error code, request code)

// A window can be destroyed by its owner or the window manager at any moment, so requests
// still in flight for it fail; focusing a window that is being unmapped fails with BadMatch.
bool Expected(const XErrorEvent& e) {
    if (e.error_code == BadWindow || e.error_code == BadDrawable) return true;
    if (e.error_code == BadMatch) {
        switch (e.request_code) {
        case X_SetInputFocus:
        case X_ConfigureWindow:
        case X_CopyArea:
        case X_GetWindowAttributes:
            return true;
        default:
            break;
        }
    }
    return false;
}

int OnError(::Display* dpy, XErrorEvent* e) {
    std::lock_guard lock(g_mutex);
    if (dpy == g_trap_display) {
        if (!g_trapped_error) g_trapped_error = e->error_code;
        return 0;
    }
    if (Expected(*e)) return 0;
    if (!g_reported.insert({e->error_code, e->request_code}).second) return 0;
    char text[160] = {};
    XGetErrorText(dpy, e->error_code, text, sizeof text);
    std::fprintf(stderr, "mirelo: X error: %s (request %d.%d, resource 0x%lx)\n", text,
                 e->request_code, e->minor_code, e->resourceid);
    return 0;
}

// Xlib cannot go on without its connection, and exiting through it would run static
// destructors while the sound workers still run: stop them and end at once.
int OnIoError(::Display*) {
    EmergencyExit("lost the connection to the X server", kLostConnectionStatus);
}

} // namespace

void InstallErrorHandler() {
    static std::once_flag once;
    std::call_once(once, [] {
        XSetErrorHandler(OnError);
        XSetIOErrorHandler(OnIoError);
    });
}

ErrorTrap::ErrorTrap(::Display* dpy) : dpy_(dpy) {
    InstallErrorHandler();
    XSync(dpy_, False); // errors of earlier requests are not ours to catch
    std::lock_guard lock(g_mutex);
    g_trap_display = dpy_;
    g_trapped_error = 0;
}

ErrorTrap::~ErrorTrap() {
    XSync(dpy_, False);
    std::lock_guard lock(g_mutex);
    g_trap_display = nullptr;
}

int ErrorTrap::Sync() {
    XSync(dpy_, False);
    std::lock_guard lock(g_mutex);
    return g_trapped_error;
}

} // namespace os::x11
