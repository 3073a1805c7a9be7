// Small questions the end-to-end tests ask the X server directly.
#pragma once

#include "os/display/display.hpp"

#include <X11/Xlib.h>

namespace e2e {

// A window's place on the screen.
inline os::Rect ScreenRect(::Display* dpy, ::Window w) {
    XWindowAttributes attrs{};
    XGetWindowAttributes(dpy, w, &attrs);
    int x = 0, y = 0;
    ::Window child = 0;
    XTranslateCoordinates(dpy, w, DefaultRootWindow(dpy), 0, 0, &x, &y, &child);
    return {x, y, x + attrs.width, y + attrs.height};
}

} // namespace e2e
