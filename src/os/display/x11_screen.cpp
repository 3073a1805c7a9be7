// The X11 display's focus and stacking, cursors, the pixels of our windows and what is
// asked of the screen: the pointer, the monitors, the window under a point.
#include "os/display/x11_display.hpp"

#include "os/display/x11_atoms.hpp"
#include "os/display/x11_property.hpp"
#include "os/display/x11_upload.hpp"

#include <X11/Xatom.h>
#include <X11/cursorfont.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <stdexcept>

namespace os {

bool X11Display::WindowManagerRunning() const {
    // The root names the manager's check window, which names itself; a manager that died
    // leaves the root's property behind, naming a window that is gone or someone else's.
    const Atom check = (*atoms_)[x11::kNetSupportingWmCheck];
    const auto named = x11::ReadProperty32<::Window>(dpy_, root_, check, XA_WINDOW);
    if (named.empty() || named[0] == 0) return false;
    const auto self = x11::ReadProperty32<::Window>(dpy_, named[0], check, XA_WINDOW);
    return !self.empty() && self[0] == named[0];
}

void X11Display::Activate(WindowId w) {
    const Win* win = Find(w);
    if (!win || !win->visible || win->iconic) return;
    if (WindowManagerRunning()) {
        // Source indication 2 (a pager): window managers honour it without the focus-
        // stealing checks they apply to applications.
        SendToRoot(win->xid, (*atoms_)[x11::kNetActiveWindow], 2, CurrentTime, 0);
    } else {
        XRaiseWindow(dpy_, win->xid);
        XSetInputFocus(dpy_, win->xid, RevertToParent, CurrentTime);
    }
    Flush();
}

WindowId X11Display::ActiveWindow() const {
    const auto named =
        x11::ReadProperty32<::Window>(dpy_, root_, (*atoms_)[x11::kNetActiveWindow], XA_WINDOW);
    ::Window active = named.empty() ? 0 : named[0];
    if (named.empty()) {
        int revert = 0;
        XGetInputFocus(dpy_, &active, &revert);
    }
    auto it = by_xid_.find(active);
    return it == by_xid_.end() ? kNoWindow : it->second;
}

void X11Display::Raise(WindowId w) {
    if (const Win* win = Find(w)) {
        XRaiseWindow(dpy_, win->xid);
        Flush();
    }
}

void X11Display::SetCursor(WindowId w, PointerCursor shape) {
    const Win* win = Find(w);
    if (!win) return;
    switch (shape) {
    case PointerCursor::Default:
        XUndefineCursor(dpy_, win->xid);
        break;
    case PointerCursor::Hand:
        if (!hand_cursor_) hand_cursor_ = XCreateFontCursor(dpy_, XC_hand2);
        XDefineCursor(dpy_, win->xid, hand_cursor_);
        break;
    case PointerCursor::Drag:
        if (!drag_cursor_) drag_cursor_ = XCreateFontCursor(dpy_, XC_fleur);
        XDefineCursor(dpy_, win->xid, drag_cursor_);
        break;
    }
    Flush();
}

void X11Display::ResizePixmap(Win& win) {
    const Size size{win.bounds.Width(), win.bounds.Height()};
    if (win.pixmap && win.pixmap_size == size) return;
    const Pixmap fresh = XCreatePixmap(dpy_, win.xid, Dim(size.width), Dim(size.height),
                                       static_cast<unsigned>(DefaultDepth(dpy_, screen_)));
    XSetForeground(dpy_, gc_, BlackPixel(dpy_, screen_));
    XFillRectangle(dpy_, fresh, gc_, 0, 0, Dim(size.width), Dim(size.height));
    if (win.pixmap) {
        // Keep what the old image and the new size have in common.
        XCopyArea(dpy_, win.pixmap, fresh, gc_, 0, 0, Dim(win.pixmap_size.width),
                  Dim(win.pixmap_size.height), 0, 0);
        XFreePixmap(dpy_, win.pixmap);
    }
    win.pixmap = fresh;
    win.pixmap_size = size;
}

void X11Display::PresentFromPixmap(const Win& win, const Rect& area) {
    const Rect a = area.Intersect({0, 0, win.pixmap_size.width, win.pixmap_size.height});
    if (a.Empty()) return;
    XCopyArea(dpy_, win.pixmap, win.xid, gc_, a.left, a.top, Dim(a.Width()), Dim(a.Height()),
              a.left, a.top);
}

void X11Display::Present(WindowId w, const PixelBuffer& pixels, const Rect& damaged) {
    if (!pixels.Consistent())
        throw std::invalid_argument("display: pixel buffer " + std::to_string(pixels.width) + "x" +
                                    std::to_string(pixels.height) + " holds " +
                                    std::to_string(pixels.pixels.size()) + " pixels");
    Win* win = Find(w);
    if (!win) return;
    const Rect area = damaged.Intersect({0, 0, pixels.width, pixels.height})
                          .Intersect({0, 0, win->pixmap_size.width, win->pixmap_size.height});
    if (area.Empty()) return;
    uploader_->Put(win->pixmap, gc_, pixels, area);
    PresentFromPixmap(*win, area);
    Flush();
}

WindowId X11Display::WindowAt(Point p) const {
    auto covers = [&](const Win& win) {
        if (!win.visible || win.iconic || !win.bounds.Contains(p.x, p.y)) return false;
        if (!win.shape) return true;
        const int x = p.x - win.bounds.left, y = p.y - win.bounds.top;
        return std::any_of(win.shape->begin(), win.shape->end(),
                           [&](const Rect& r) { return r.Contains(x, y); });
    };
    // The window manager's stacking list, top last; without one, the newest window wins.
    const auto order = x11::ReadProperty32<::Window>(
        dpy_, root_, (*atoms_)[x11::kNetClientListStacking], XA_WINDOW, 65536);
    for (auto it = order.rbegin(); it != order.rend(); ++it) {
        auto found = by_xid_.find(*it);
        if (found != by_xid_.end() && covers(windows_.at(found->second))) return found->second;
    }
    for (auto it = windows_.rbegin(); it != windows_.rend(); ++it)
        if (covers(it->second)) return it->first;
    return kNoWindow;
}

Point X11Display::PointerPosition() const {
    ::Window root = 0, child = 0;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned mask = 0;
    XQueryPointer(dpy_, root_, &root, &child, &rx, &ry, &wx, &wy, &mask);
    return {rx, ry};
}

Size X11Display::ScreenSize() const {
    const Rect primary = Monitors().front();
    return {primary.Width(), primary.Height()};
}

std::vector<Rect> X11Display::Monitors() const {
    if (!monitors_) monitors_ = AskMonitors();
    return *monitors_;
}

std::vector<Rect> X11Display::AskMonitors() const {
    std::vector<Rect> monitors;
    std::size_t primary = 0;
    bool named = false;
    const auto add = [&](int x, int y, int width, int height, bool is_primary) {
        if (width <= 0 || height <= 0) return;
        if (is_primary && !named) {
            primary = monitors.size();
            named = true;
        }
        monitors.push_back({x, y, x + width, y + height});
    };
    if (has_monitors_) {
        int count = 0;
        if (XRRMonitorInfo* info = XRRGetMonitors(dpy_, root_, True, &count)) {
            for (int i = 0; i < count; ++i)
                add(info[i].x, info[i].y, info[i].width, info[i].height, info[i].primary);
            XRRFreeMonitors(info);
        }
    } else if (has_randr_) {
        // Before RandR 1.5: one monitor per lit CRTC, the primary output's first.
        if (XRRScreenResources* res = XRRGetScreenResourcesCurrent(dpy_, root_)) {
            RRCrtc primary_crtc = 0;
            if (const RROutput out_id = XRRGetOutputPrimary(dpy_, root_)) {
                if (XRROutputInfo* out = XRRGetOutputInfo(dpy_, res, out_id)) {
                    primary_crtc = out->crtc;
                    XRRFreeOutputInfo(out);
                }
            }
            for (int i = 0; i < res->ncrtc; ++i) {
                XRRCrtcInfo* info = XRRGetCrtcInfo(dpy_, res, res->crtcs[i]);
                if (!info) continue;
                if (info->mode != None)
                    add(info->x, info->y, static_cast<int>(info->width),
                        static_cast<int>(info->height),
                        primary_crtc != 0 && res->crtcs[i] == primary_crtc);
                XRRFreeCrtcInfo(info);
            }
            XRRFreeScreenResources(res);
        }
    }
    if (monitors.empty())
        return {{0, 0, DisplayWidth(dpy_, screen_), DisplayHeight(dpy_, screen_)}};
    // With none named primary, the one at the screen's origin is.
    if (!named)
        for (std::size_t i = 0; i < monitors.size(); ++i)
            if (monitors[i].left == 0 && monitors[i].top == 0) {
                primary = i;
                break;
            }
    std::rotate(monitors.begin(), monitors.begin() + static_cast<std::ptrdiff_t>(primary),
                monitors.begin() + static_cast<std::ptrdiff_t>(primary) + 1);
    return monitors;
}

} // namespace os
