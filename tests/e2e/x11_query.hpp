// Small questions the end-to-end tests ask the X server directly.
#pragma once

#include "os/display/display.hpp"

#include <X11/Xlib.h>

#include <vector>

namespace e2e {

// Xlib's default handler ends the process on any error; reading properties of windows that
// other clients may destroy at any moment must only fail that one read, while this lives.
class XErrorsIgnored {
public:
    XErrorsIgnored() : previous_(XSetErrorHandler(Ignore)) {}
    ~XErrorsIgnored() { XSetErrorHandler(previous_); }
    XErrorsIgnored(const XErrorsIgnored&) = delete;
    XErrorsIgnored& operator=(const XErrorsIgnored&) = delete;

private:
    static int Ignore(::Display*, XErrorEvent*) { return 0; }
    int (*previous_)(::Display*, XErrorEvent*);
};

// A property of 32-bit items of `type` (AnyPropertyType for any); empty when the window has
// none such.
inline std::vector<unsigned long> Property32(::Display* dpy, ::Window w, Atom name, Atom type) {
    Atom actual = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<unsigned long> out;
    if (XGetWindowProperty(dpy, w, name, 0, 4096, False, type, &actual, &format, &count, &after,
                           &data) == Success &&
        data && (type == AnyPropertyType || actual == type) && format == 32) {
        // Xlib hands 32-bit items out as longs.
        const auto* items = reinterpret_cast<const unsigned long*>(data);
        out.assign(items, items + count);
    }
    if (data) XFree(data);
    return out;
}

inline bool Viewable(::Display* dpy, ::Window w) {
    XWindowAttributes attrs{};
    return w && XGetWindowAttributes(dpy, w, &attrs) && attrs.map_state == IsViewable;
}

// A window's parent; 0 when the window is gone.
inline ::Window Parent(::Display* dpy, ::Window w) {
    ::Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(dpy, w, &root, &parent, &children, &count)) return 0;
    if (children) XFree(children);
    return parent;
}

// Docked: inside some window other than the root (a tray host's), and on view.
inline bool Docked(::Display* dpy, ::Window w) {
    const ::Window parent = w ? Parent(dpy, w) : 0;
    return parent && parent != DefaultRootWindow(dpy) && Viewable(dpy, w);
}

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
