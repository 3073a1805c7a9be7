// The X11 display's connection and windows: creation, placement, properties and hints for
// the window manager, shapes, iconic state. Focus, stacking, pixels and the screen live in
// x11_screen.cpp, input in x11_events.cpp.
#include "os/display/x11_display.hpp"

#include "os/display/x11_atoms.hpp"
#include "os/display/x11_errors.hpp"
#include "os/display/x11_upload.hpp"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/shape.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <stdexcept>
#include <unistd.h>

namespace os {

namespace {

constexpr long kEventMask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                            Button1MotionMask | KeyPressMask | KeyReleaseMask |
                            StructureNotifyMask | FocusChangeMask | LeaveWindowMask |
                            PropertyChangeMask;

Rect ClampSize(Rect r) {
    if (r.right < r.left + 1) r.right = r.left + 1;
    if (r.bottom < r.top + 1) r.bottom = r.top + 1;
    return r;
}

short Coord(int v) {
    return static_cast<short>(std::clamp(v, SHRT_MIN, SHRT_MAX));
}

} // namespace

std::unique_ptr<X11Display> X11Display::Open(const std::string& name, const Clock& clock,
                                             const X11Options& options) {
    ::Display* dpy = XOpenDisplay(name.empty() ? nullptr : name.c_str());
    if (!dpy)
        throw std::runtime_error(std::string("cannot open display ") +
                                 XDisplayName(name.empty() ? nullptr : name.c_str()));
    return std::unique_ptr<X11Display>(new X11Display(dpy, clock, options));
}

X11Display::X11Display(::Display* dpy, const Clock& clock, const X11Options& options)
    : dpy_(dpy), clock_(clock), options_(options), screen_(DefaultScreen(dpy)),
      root_(RootWindow(dpy, screen_)) {
    x11::InstallErrorHandler();
    atoms_ = std::make_unique<x11::Atoms>(dpy_);
    uploader_ = std::make_unique<x11::PixelUploader>(dpy_, options.shared_memory);
    XGCValues values{};
    values.graphics_exposures = False;
    gc_ = XCreateGC(dpy_, root_, GCGraphicsExposures, &values);
    int event_base = 0, error_base = 0;
    if (XShapeQueryExtension(dpy_, &event_base, &error_base)) {
        has_shape_ = true;
        int major = 0, minor = 0;
        XShapeQueryVersion(dpy_, &major, &minor);
        has_input_shape_ = major > 1 || (major == 1 && minor >= 1);
    }
    // Monitors and the primary output came with RandR 1.3.
    int randr_major = 0, randr_minor = 0;
    has_randr_ = XRRQueryExtension(dpy_, &event_base, &error_base) &&
                 XRRQueryVersion(dpy_, &randr_major, &randr_minor) &&
                 (randr_major > 1 || (randr_major == 1 && randr_minor >= 3));
    has_monitors_ = has_randr_ && (randr_major > 1 || randr_minor >= 5);
    if (has_randr_) {
        // Told when the screen or its monitors change, so the list is asked for only then.
        randr_event_base_ = event_base;
        XRRSelectInput(dpy_, root_, RRScreenChangeNotifyMask);
    }
    // A held key repeats as presses alone, without a release before each.
    XkbSetDetectableAutoRepeat(dpy_, True, nullptr);
}

X11Display::~X11Display() {
    for (auto& [id, win] : windows_) {
        if (win.pixmap) XFreePixmap(dpy_, win.pixmap);
        XDestroyWindow(dpy_, win.xid);
    }
    for (Cursor c : {hand_cursor_, drag_cursor_})
        if (c) XFreeCursor(dpy_, c);
    XFreeGC(dpy_, gc_);
    uploader_.reset();
    XCloseDisplay(dpy_);
}

int X11Display::ConnectionFd() const {
    return ConnectionNumber(dpy_);
}

bool X11Display::UsesSharedMemory() const {
    return uploader_->SharedMemory();
}

::Window X11Display::NativeWindow(WindowId w) const {
    const Win* win = Find(w);
    return win ? win->xid : 0;
}

X11Display::Win* X11Display::Find(WindowId w) {
    auto it = windows_.find(w);
    return it == windows_.end() ? nullptr : &it->second;
}

const X11Display::Win* X11Display::Find(WindowId w) const {
    auto it = windows_.find(w);
    return it == windows_.end() ? nullptr : &it->second;
}

X11Display::Win* X11Display::FindX(::Window xid) {
    auto it = by_xid_.find(xid);
    return it == by_xid_.end() ? nullptr : Find(it->second);
}

[[gnu::hot]] void X11Display::FlushBeforeSleep() {
    // XFlush also tries a read, which fails when nothing came: in an idle loop a wasted
    // system call every turn. Without new requests there is nothing to send.
    if (NextRequest(dpy_) == flushed_before_) return;
    XFlush(dpy_);
    flushed_before_ = NextRequest(dpy_);
}

void X11Display::Flush() const {
    // Requests made outside the event loop's reading must not wait in Xlib's buffer
    // while the loop sleeps.
    XFlush(dpy_);
}

WindowId X11Display::CreateWindow(const WindowParams& params) {
    Win win;
    win.id = next_id_++;
    win.bounds = ClampSize(params.bounds);
    win.topmost = params.topmost;
    win.skip_taskbar = params.skip_taskbar;
    win.wants_double_clicks = params.wants_double_clicks;

    XSetWindowAttributes attrs{};
    attrs.background_pixmap = None; // exposed parts are answered from our pixmap
    attrs.border_pixel = 0;
    attrs.bit_gravity = NorthWestGravity;
    attrs.event_mask = kEventMask;
    // A popup menu is ours to place and stack: the window manager leaves it alone.
    attrs.override_redirect = params.popup ? True : False;
    win.xid = XCreateWindow(
        dpy_, root_, win.bounds.left, win.bounds.top, Dim(win.bounds.Width()),
        Dim(win.bounds.Height()), 0, CopyFromParent, InputOutput, CopyFromParent,
        CWBackPixmap | CWBorderPixel | CWBitGravity | CWEventMask | CWOverrideRedirect, &attrs);

    char res_name[] = "mirelo";
    char res_class[] = "Mirelo";
    XClassHint class_hint{res_name, res_class};
    XWMHints wm_hints{};
    wm_hints.flags = InputHint | StateHint;
    wm_hints.input = True;
    wm_hints.initial_state = NormalState;
    XSetWMProperties(dpy_, win.xid, nullptr, nullptr, nullptr, 0, nullptr, &wm_hints, &class_hint);
    Atom protocols[] = {(*atoms_)[x11::kWmDeleteWindow]};
    XSetWMProtocols(dpy_, win.xid, protocols, 1);
    const long pid = static_cast<long>(getpid());
    XChangeProperty(dpy_, win.xid, (*atoms_)[x11::kNetWmPid], XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0) {
        XTextProperty machine{reinterpret_cast<unsigned char*>(host), XA_STRING, 8,
                              std::strlen(host)};
        XSetWMClientMachine(dpy_, win.xid, &machine);
    }
    if (params.undecorated) {
        // Motif hints: flags = decorations given, decorations = none.
        const long motif[5] = {2, 0, 0, 0, 0};
        XChangeProperty(dpy_, win.xid, (*atoms_)[x11::kMotifWmHints], (*atoms_)[x11::kMotifWmHints],
                        32, PropModeReplace, reinterpret_cast<const unsigned char*>(motif), 5);
    }
    WriteNormalHints(win);
    by_xid_[win.xid] = win.id;
    const WindowId id = win.id;
    windows_.emplace(id, std::move(win));
    SetTitle(id, params.title);
    ResizePixmap(windows_.at(id));
    Flush();
    return id;
}

void X11Display::DestroyWindow(WindowId w) {
    Win* win = Find(w);
    if (!win) return;
    if ((move_ && move_->window == w) || capture_ == w) {
        move_.reset();
        capture_ = kNoWindow;
        XUngrabPointer(dpy_, CurrentTime);
    }
    if (last_press_ && last_press_->window == w) last_press_.reset();
    if (win->pixmap) XFreePixmap(dpy_, win->pixmap);
    XDestroyWindow(dpy_, win->xid);
    by_xid_.erase(win->xid);
    windows_.erase(w);
    std::erase_if(events_, [w](const DisplayEvent& e) { return e.window == w; });
    Flush();
}

void X11Display::WriteNormalHints(const Win& win) {
    XSizeHints hints{};
    // The position is the user's own (a saved placement), and it is where the client area
    // goes, whatever frame the window manager adds.
    hints.flags = USPosition | PPosition | USSize | PSize | PWinGravity;
    hints.x = win.bounds.left;
    hints.y = win.bounds.top;
    hints.width = win.bounds.Width();
    hints.height = win.bounds.Height();
    hints.win_gravity = StaticGravity;
    XSetWMNormalHints(dpy_, win.xid, &hints);
}

void X11Display::SetBounds(WindowId w, const Rect& bounds) {
    Win* win = Find(w);
    if (!win) return;
    win->bounds = ClampSize(bounds);
    WriteNormalHints(*win);
    XMoveResizeWindow(dpy_, win->xid, win->bounds.left, win->bounds.top, Dim(win->bounds.Width()),
                      Dim(win->bounds.Height()));
    ResizePixmap(*win);
    Flush();
}

Rect X11Display::GetBounds(WindowId w) const {
    const Win* win = Find(w);
    return win ? win->bounds : Rect{};
}

void X11Display::WriteNetWmState(const Win& win) {
    std::vector<Atom> states;
    if (win.topmost) states.push_back((*atoms_)[x11::kNetWmStateAbove]);
    if (win.skip_taskbar) states.push_back((*atoms_)[x11::kNetWmStateSkipTaskbar]);
    XChangeProperty(dpy_, win.xid, (*atoms_)[x11::kNetWmState], XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(states.data()),
                    static_cast<int>(states.size()));
}

void X11Display::SendToRoot(::Window about, Atom type, long l0, long l1, long l2, long l3) {
    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = about;
    ev.xclient.message_type = type;
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = l0;
    ev.xclient.data.l[1] = l1;
    ev.xclient.data.l[2] = l2;
    ev.xclient.data.l[3] = l3;
    XSendEvent(dpy_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &ev);
}

void X11Display::ChangeNetWmState(const Win& win, bool add, Atom state) {
    if (!win.visible) return; // written as a whole before the next map
    // Source indication 1: a normal application.
    SendToRoot(win.xid, (*atoms_)[x11::kNetWmState], add ? 1 : 0, static_cast<long>(state), 0, 1);
}

void X11Display::Map(Win& win) {
    // Window managers drop _NET_WM_STATE when a window is withdrawn: state it again.
    WriteNetWmState(win);
    WriteNormalHints(win);
    XWMHints hints{};
    hints.flags = InputHint | StateHint;
    hints.input = True;
    hints.initial_state = win.iconic ? IconicState : NormalState;
    XSetWMHints(dpy_, win.xid, &hints);
    XMoveWindow(dpy_, win.xid, win.bounds.left, win.bounds.top);
    Expect(win, win.iconic);
    XMapRaised(dpy_, win.xid);
    win.mapped = true;
}

void X11Display::Withdraw(Win& win) {
    if (move_ && move_->window == win.id) EndMove();
    if (capture_ == win.id) ReleaseCapture();
    XWithdrawWindow(dpy_, win.xid, screen_);
    win.mapped = false;
    if (win.focused) {
        win.focused = false;
        Post(EventKind::FocusLost, win);
    }
}

void X11Display::Show(WindowId w, bool visible) {
    Win* win = Find(w);
    if (!win || win->visible == visible) return;
    win->visible = visible;
    if (visible) {
        // An iconic window is mapped only where a window manager keeps it off the screen.
        if (!win->iconic || WindowManagerRunning()) Map(*win);
    } else {
        Withdraw(*win);
    }
    Flush();
}

bool X11Display::IsVisible(WindowId w) const {
    const Win* win = Find(w);
    return win && win->visible;
}

void X11Display::SetTopmost(WindowId w, bool topmost) {
    Win* win = Find(w);
    if (!win || win->topmost == topmost) return;
    win->topmost = topmost;
    ChangeNetWmState(*win, topmost, (*atoms_)[x11::kNetWmStateAbove]);
    Flush();
}

void X11Display::SetSkipTaskbar(WindowId w, bool skip) {
    Win* win = Find(w);
    if (!win || win->skip_taskbar == skip) return;
    win->skip_taskbar = skip;
    ChangeNetWmState(*win, skip, (*atoms_)[x11::kNetWmStateSkipTaskbar]);
    Flush();
}

void X11Display::SetShape(WindowId w, const std::optional<std::vector<Rect>>& shape) {
    Win* win = Find(w);
    if (!win) return;
    win->shape = shape;
    if (!has_shape_) return;
    const int kinds[] = {ShapeBounding, ShapeInput};
    for (int kind : kinds) {
        if (kind == ShapeInput && !has_input_shape_) continue;
        if (!shape) {
            XShapeCombineMask(dpy_, win->xid, kind, 0, 0, None, ShapeSet);
            continue;
        }
        std::vector<XRectangle> rects;
        for (const Rect& r : *shape) {
            if (r.Empty()) continue;
            const Rect c = r.Intersect({SHRT_MIN, SHRT_MIN, SHRT_MAX, SHRT_MAX});
            rects.push_back({Coord(c.left), Coord(c.top), static_cast<unsigned short>(c.Width()),
                             static_cast<unsigned short>(c.Height())});
        }
        XShapeCombineRectangles(dpy_, win->xid, kind, 0, 0, rects.data(),
                                static_cast<int>(rects.size()), ShapeSet, Unsorted);
    }
    Flush();
}

void X11Display::SetTitle(WindowId w, const std::string& title) {
    Win* win = Find(w);
    if (!win) return;
    XChangeProperty(dpy_, win->xid, (*atoms_)[x11::kNetWmName], (*atoms_)[x11::kUtf8String], 8,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(title.data()),
                    static_cast<int>(title.size()));
    // WM_NAME for older readers: Latin-1 where the title allows, compound text otherwise.
    char* list[] = {const_cast<char*>(title.c_str())};
    XTextProperty text{};
    if (Xutf8TextListToTextProperty(dpy_, list, 1, XStdICCTextStyle, &text) >= Success) {
        XSetWMName(dpy_, win->xid, &text);
        XFree(text.value);
    } else {
        XStoreName(dpy_, win->xid, title.c_str());
    }
    Flush();
}

void X11Display::SetIcon(WindowId w, const IconPixels& icon) {
    SetIcons(w, {icon});
}

void X11Display::SetIcons(WindowId w, const std::vector<IconPixels>& icons) {
    for (const IconPixels& icon : icons)
        CheckIcon(icon);
    Win* win = Find(w);
    if (!win) return;
    const Atom property = (*atoms_)[x11::kNetWmIcon];
    // CARDINAL/32: per image width, height, then the pixels, each item a long as Xlib wants
    // them.
    std::vector<unsigned long> items;
    for (const IconPixels& icon : icons) {
        if (icon.argb.empty()) continue;
        items.push_back(static_cast<unsigned long>(icon.width));
        items.push_back(static_cast<unsigned long>(icon.height));
        items.insert(items.end(), icon.argb.begin(), icon.argb.end());
    }
    if (items.empty()) {
        XDeleteProperty(dpy_, win->xid, property);
        Flush();
        return;
    }
    XChangeProperty(dpy_, win->xid, property, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(items.data()),
                    static_cast<int>(items.size()));
    Flush();
}

void X11Display::SetIconic(Win& win, bool iconic) {
    if (win.iconic == iconic) return;
    win.iconic = iconic;
    Post(iconic ? EventKind::Iconified : EventKind::Restored, win);
}

void X11Display::Expect(Win& win, bool iconic) {
    win.expect_iconic = iconic;
    win.expect_until = clock_.Monotonic() + std::chrono::seconds(2);
}

void X11Display::Iconify(WindowId w) {
    Win* win = Find(w);
    if (!win || win->iconic) return;
    if (move_ && move_->window == w) EndMove();
    if (win->visible) {
        if (WindowManagerRunning()) {
            Expect(*win, true);
            XIconifyWindow(dpy_, win->xid, screen_);
        } else {
            // Nobody would act on an iconify request: the window is withdrawn instead, so
            // that it leaves the screen as the program believes it has.
            Withdraw(*win);
        }
    }
    SetIconic(*win, true);
    Flush();
}

void X11Display::Restore(WindowId w) {
    Win* win = Find(w);
    if (!win || !win->iconic) return;
    SetIconic(*win, false);
    if (win->visible) {
        if (win->mapped && WindowManagerRunning()) {
            Expect(*win, false);
            // Through the window manager, so that it sees this after an iconify still in
            // its queue; a map request would be lost if the window were not unmapped yet.
            SendToRoot(win->xid, (*atoms_)[x11::kNetActiveWindow], 2, CurrentTime, 0);
        } else {
            // Withdrawn by us (a manager may have started since): mapped again.
            Map(*win);
        }
    }
    Flush();
}

bool X11Display::IsIconic(WindowId w) const {
    const Win* win = Find(w);
    return win && win->iconic;
}

} // namespace os
