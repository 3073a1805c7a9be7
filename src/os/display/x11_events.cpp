// The X11 display's input and notifications: a handler per X event type, pointer capture,
// the move loop and double-click synthesis.
#include "os/display/x11_display.hpp"

#include "os/display/keyboard.hpp"
#include "os/display/x11_atoms.hpp"
#include "os/display/x11_keys.hpp"
#include "os/display/x11_property.hpp"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace os {

namespace {

constexpr unsigned kGrabMask = ButtonPressMask | ButtonReleaseMask | PointerMotionMask;

std::uint32_t FromState(unsigned state) {
    std::uint32_t m = 0;
    if (state & ShiftMask) m |= Modifiers::kShift;
    if (state & ControlMask) m |= Modifiers::kCtrl;
    if (state & Mod1Mask) m |= Modifiers::kAlt;
    if (state & Button1Mask) m |= Modifiers::kLeftButton;
    if (state & Button2Mask) m |= Modifiers::kMiddleButton;
    if (state & Button3Mask) m |= Modifiers::kRightButton;
    return m;
}

Rect Union(const Rect& a, const Rect& b) {
    if (a.Empty()) return b;
    if (b.Empty()) return a;
    return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
            std::max(a.bottom, b.bottom)};
}

void SetPointer(DisplayEvent& out, int x, int y, int root_x, int root_y, std::uint32_t modifiers) {
    out.x = x;
    out.y = y;
    out.screen_x = root_x;
    out.screen_y = root_y;
    out.modifiers = modifiers;
}

} // namespace

[[gnu::hot]] bool X11Display::TakeReceived(DisplayEvent& event) {
    // Xlib's own count of what it has read and not handed out: only this thread uses the
    // connection, so it is read without Xlib's lock, which XEventsQueued takes on every call
    // of every turn of the loop.
    while (events_.empty() && QLength(dpy_) > 0) {
        XEvent ev;
        XNextEvent(dpy_, &ev);
        if (randr_event_base_ >= 0 && ev.type == randr_event_base_ + RRScreenChangeNotify) {
            XRRUpdateConfiguration(&ev);
            monitors_.reset();
        }
        if (Filtered(ev)) continue;
        Dispatch(ev);
    }
    if (events_.empty()) return false;
    event = events_.front();
    events_.pop_front();
    return true;
}

void X11Display::ReadConnection() {
    XEventsQueued(dpy_, QueuedAfterFlush);
}

void X11Display::AddEventFilter(const void* owner, EventFilter filter) {
    filters_.emplace_back(owner, std::move(filter));
}

void X11Display::RemoveEventFilter(const void* owner) {
    std::erase_if(filters_, [owner](const auto& f) { return f.first == owner; });
}

bool X11Display::Filtered(XEvent& ev) {
    // By index: a filter may add or remove filters.
    for (std::size_t i = 0; i < filters_.size(); ++i) {
        const EventFilter filter = filters_[i].second;
        if (filter(ev)) return true;
    }
    return false;
}

DisplayEvent* X11Display::Post(EventKind kind, const Win& win) {
    DisplayEvent e;
    e.kind = kind;
    e.window = win.id;
    e.screen_x = last_root_.x;
    e.screen_y = last_root_.y;
    e.x = last_root_.x - win.bounds.left;
    e.y = last_root_.y - win.bounds.top;
    e.modifiers = buttons_;
    e.time = clock_.Monotonic();
    if (kind == EventKind::Exposed) e.area = {0, 0, win.bounds.Width(), win.bounds.Height()};
    if (kind == EventKind::MoveEnded) e.area = win.bounds;
    events_.push_back(e);
    return &events_.back();
}

void X11Display::Dispatch(XEvent& ev) {
    if (ev.type == MappingNotify) {
        XRefreshKeyboardMapping(&ev.xmapping);
        return;
    }
    Win* win = FindX(ev.xany.window);
    if (!win) return; // a window of someone else, or one of ours already destroyed
    switch (ev.type) {
    case ButtonPress:
        OnButtonPress(*win, ev.xbutton);
        break;
    case ButtonRelease:
        OnButtonRelease(*win, ev.xbutton);
        break;
    case MotionNotify:
        OnMotion(*win, ev.xmotion);
        break;
    case KeyPress:
    case KeyRelease:
        OnKey(*win, ev.xkey);
        break;
    case LeaveNotify:
        OnLeave(*win, ev.xcrossing);
        break;
    case FocusIn:
    case FocusOut:
        OnFocus(*win, ev.xfocus);
        break;
    case Expose:
        OnExpose(*win, ev.xexpose);
        break;
    case ConfigureNotify:
        OnConfigure(*win, ev.xconfigure);
        break;
    case ReparentNotify:
        win->reparented = ev.xreparent.parent != root_;
        break;
    case MapNotify:
    case UnmapNotify:
        OnMapChange(*win, ev.type == UnmapNotify);
        break;
    case PropertyNotify:
        OnProperty(*win, ev.xproperty);
        break;
    case ClientMessage:
        OnClientMessage(*win, ev.xclient);
        break;
    default:
        break;
    }
}

void X11Display::OnButtonPress(Win& win, const XButtonEvent& e) {
    last_root_ = {e.x_root, e.y_root};
    const MouseButton button = x11::MouseButtonOf(e.button);
    if (button == MouseButton::NoButton) return;
    const std::uint32_t modifiers = FromState(e.state) | ButtonModifier(button);
    buttons_ = modifiers & Modifiers::kButtons;
    if (move_) return; // the move loop swallows presses

    // A click activates the window, as on a desktop where the window manager has no mouse
    // bindings of its own.
    if (!win.focused && !capture_) Activate(win.id);

    const auto since = static_cast<std::uint32_t>(e.time - (last_press_ ? last_press_->time : 0));
    const auto limit =
        std::chrono::duration_cast<std::chrono::milliseconds>(options_.double_click_time).count();
    const bool double_click =
        win.wants_double_clicks && last_press_ && last_press_->window == win.id &&
        last_press_->button == button && since <= limit &&
        std::abs(e.x_root - last_press_->at.x) <= options_.double_click_distance &&
        std::abs(e.y_root - last_press_->at.y) <= options_.double_click_distance;
    // The press that completes a double click does not start the next one.
    if (double_click)
        last_press_.reset();
    else
        last_press_ = LastPress{win.id, button, last_root_, e.time};

    DisplayEvent* out = Post(EventKind::ButtonDown, win);
    SetPointer(*out, e.x, e.y, e.x_root, e.y_root, modifiers);
    out->button = button;
    out->double_click = double_click;
}

void X11Display::OnButtonRelease(Win& win, const XButtonEvent& e) {
    last_root_ = {e.x_root, e.y_root};
    const MouseButton button = x11::MouseButtonOf(e.button);
    if (button == MouseButton::NoButton) return;
    const std::uint32_t modifiers = FromState(e.state) & ~ButtonModifier(button);
    buttons_ = modifiers & Modifiers::kButtons;
    if (move_) {
        // The release that ends the move is not reported.
        EndMove();
        return;
    }
    DisplayEvent* out = Post(EventKind::ButtonUp, win);
    SetPointer(*out, e.x, e.y, e.x_root, e.y_root, modifiers);
    out->button = button;
}

void X11Display::OnMotion(Win& win, const XMotionEvent& e) {
    // Of a run of motions only the newest matters.
    if (XEventsQueued(dpy_, QueuedAlready) > 0) {
        XEvent next;
        XPeekEvent(dpy_, &next);
        if (next.type == MotionNotify && next.xmotion.window == e.window) return;
    }
    last_root_ = {e.x_root, e.y_root};
    buttons_ = FromState(e.state) & Modifiers::kButtons;
    if (move_) {
        Win* moving = Find(move_->window);
        if (!moving) return;
        const Rect to = move_->start_bounds.Offset(e.x_root - move_->start_pointer.x,
                                                   e.y_root - move_->start_pointer.y);
        if (to != moving->bounds) {
            moving->bounds = to;
            XMoveWindow(dpy_, moving->xid, to.left, to.top);
        }
        return;
    }
    DisplayEvent* out = Post(EventKind::PointerMove, win);
    SetPointer(*out, e.x, e.y, e.x_root, e.y_root, FromState(e.state));
}

void X11Display::OnKey(Win& win, const XKeyEvent& e) {
    KeySym chosen = NoSymbol;
    unsigned consumed = 0;
    XkbLookupKeySym(dpy_, static_cast<KeyCode>(e.keycode), e.state, &consumed, &chosen);
    // All of the key's keysyms, so that a letter can be found by its place in any group.
    KeyGroups key;
    for (int group = 0; group < XkbNumKbdGroups; ++group) {
        std::vector<std::uint32_t> levels;
        for (int level = 0; level < 4; ++level)
            levels.push_back(static_cast<std::uint32_t>(
                XkbKeycodeToKeysym(dpy_, static_cast<KeyCode>(e.keycode), group, level)));
        if (levels == std::vector<std::uint32_t>(4, NoSymbol)) break;
        key.push_back(std::move(levels));
    }
    const auto group = static_cast<std::size_t>(XkbGroupForCoreState(e.state));
    const std::uint16_t vk = VirtualKeyOfKey(static_cast<std::uint32_t>(chosen), group, key);
    if (!vk) return;
    const bool down = e.type == KeyPress;
    std::uint32_t modifiers = FromState(e.state);
    if (down)
        modifiers |= KeyModifier(vk);
    else
        modifiers &= ~KeyModifier(vk);
    DisplayEvent* out = Post(down ? EventKind::KeyDown : EventKind::KeyUp, win);
    SetPointer(*out, e.x, e.y, e.x_root, e.y_root, modifiers);
    out->key = vk;
}

void X11Display::OnLeave(Win& win, const XCrossingEvent& e) {
    if (e.mode != NotifyNormal || e.detail == NotifyInferior) return;
    // While a button or a grab holds the pointer, the window still owns it.
    if (capture_ || move_ || (FromState(e.state) & Modifiers::kButtons)) return;
    last_root_ = {e.x_root, e.y_root};
    DisplayEvent* out = Post(EventKind::PointerLeave, win);
    SetPointer(*out, e.x, e.y, e.x_root, e.y_root, FromState(e.state));
}

void X11Display::OnFocus(Win& win, const XFocusChangeEvent& e) {
    // Keyboard grabs (a menu of the window manager) move the focus only for a moment.
    if (e.mode == NotifyGrab || e.mode == NotifyUngrab) return;
    if (e.detail == NotifyPointer || e.detail == NotifyPointerRoot ||
        e.detail == NotifyDetailNone || e.detail == NotifyInferior)
        return;
    const bool gained = e.type == FocusIn;
    if (win.focused == gained) return;
    win.focused = gained;
    Post(gained ? EventKind::FocusGained : EventKind::FocusLost, win);
}

void X11Display::OnExpose(Win& win, const XExposeEvent& e) {
    const Rect part{e.x, e.y, e.x + e.width, e.y + e.height};
    // Answered at once from the last image; the program may present a fresher one.
    PresentFromPixmap(win, part);
    win.exposed = Union(win.exposed, part);
    if (e.count > 0) return; // more of the same series follow
    DisplayEvent* out = Post(EventKind::Exposed, win);
    out->area = win.exposed;
    win.exposed = {};
}

void X11Display::OnConfigure(Win& win, const XConfigureEvent& e) {
    Rect b = win.bounds;
    // Inside a frame, real events give the place in the frame; the window manager's
    // synthetic ones give the place on the screen. During our own move the reports lag
    // behind what we asked for.
    const bool moving = move_ && move_->window == win.id;
    if ((e.send_event || !win.reparented) && !moving) {
        b.left = e.x;
        b.top = e.y;
    }
    b.right = b.left + e.width;
    b.bottom = b.top + e.height;
    win.bounds = b;
    ResizePixmap(win);
}

void X11Display::OnProperty(Win& win, const XPropertyEvent& e) {
    if (e.atom == (*atoms_)[x11::kWmState]) ReadWmState(win);
}

void X11Display::OnMapChange(Win& win, bool unmapped) {
    // Window managers unmap iconic windows: a map change is the answer to our request, and
    // WM_STATE from now on is news.
    if (win.expect_iconic && *win.expect_iconic == unmapped) win.expect_iconic.reset();
    ReadWmState(win);
}

void X11Display::ReadWmState(Win& win) {
    if (!win.visible) return; // withdrawn by us: neither iconic nor restored
    const Atom wm_state = (*atoms_)[x11::kWmState];
    const auto items = x11::ReadProperty32<long>(dpy_, win.xid, wm_state, wm_state, 2);
    const long state = items.empty() ? -1 : items[0];
    if (state != NormalState && state != IconicState) return;
    const bool iconic = state == IconicState;
    if (win.expect_iconic && clock_.Monotonic() > win.expect_until) win.expect_iconic.reset();
    if (win.expect_iconic) {
        if (*win.expect_iconic != iconic) return; // from before our request
        win.expect_iconic.reset();
    }
    SetIconic(win, iconic);
}

void X11Display::OnClientMessage(Win& win, const XClientMessageEvent& e) {
    if (e.message_type == (*atoms_)[x11::kWmProtocols] && e.format == 32 &&
        static_cast<Atom>(e.data.l[0]) == (*atoms_)[x11::kWmDeleteWindow])
        Post(EventKind::CloseRequest, win);
}

void X11Display::SetCapture(WindowId w) {
    const Win* win = Find(w);
    if (!win) return;
    capture_ = w;
    XGrabPointer(dpy_, win->xid, False, kGrabMask, GrabModeAsync, GrabModeAsync, None, None,
                 CurrentTime);
    Flush();
}

void X11Display::ReleaseCapture() {
    capture_ = kNoWindow;
    if (!move_) XUngrabPointer(dpy_, CurrentTime);
    Flush();
}

void X11Display::StartMove(WindowId w) {
    const Win* win = Find(w);
    if (!win) return;
    capture_ = kNoWindow;
    // The buttons as of the last event read, not as now: a release still queued ends the
    // move as soon as it is read.
    if (!(buttons_ & Modifiers::kButtons)) {
        XUngrabPointer(dpy_, CurrentTime);
        Post(EventKind::MoveEnded, *win);
        Flush();
        return;
    }
    XGrabPointer(dpy_, win->xid, False, kGrabMask, GrabModeAsync, GrabModeAsync, None, None,
                 CurrentTime);
    move_ = Move{w, last_root_, win->bounds};
    Flush();
}

void X11Display::EndMove() {
    const WindowId w = move_->window;
    move_.reset();
    XUngrabPointer(dpy_, CurrentTime);
    if (const Win* win = Find(w)) Post(EventKind::MoveEnded, *win);
    Flush();
}

std::uint32_t X11Display::ModifierState() const {
    ::Window root = 0, child = 0;
    int rx = 0, ry = 0, wx = 0, wy = 0;
    unsigned mask = 0;
    XQueryPointer(dpy_, root_, &root, &child, &rx, &ry, &wx, &wy, &mask);
    return FromState(mask);
}

} // namespace os
