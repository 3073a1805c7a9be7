// The system tray protocol: docking, drawing, tips and mouse reports of our tray icons.
#include "os/notify/xembed_notify.hpp"

#include "os/display/scaled_display.hpp"
#include "os/display/x11_display.hpp"
#include "os/display/x11_keys.hpp"
#include "os/display/x11_upload.hpp"
#include "os/notify/mouse_messages.hpp"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <poll.h>
#include <string>
#include <vector>

namespace os {

namespace {

constexpr long kIconEvents = ExposureMask | StructureNotifyMask | ButtonPressMask |
                             ButtonReleaseMask | PointerMotionMask | EnterWindowMask |
                             LeaveWindowMask;
constexpr long kSystemTrayRequestDock = 0;
constexpr unsigned long kTipBackground = 0xFFFFE1; // pale yellow, as tips usually are
constexpr int kTipPadding = 3;

struct EmbedWatch {
    ::Window icon;
    Atom xembed;
};

Bool IsEmbedding(::Display*, XEvent* ev, XPointer arg) {
    const auto* watch = reinterpret_cast<const EmbedWatch*>(arg);
    if (ev->xany.window != watch->icon) return False;
    constexpr long kEmbeddedNotify = 0;
    return ev->type == ReparentNotify ||
           (ev->type == ClientMessage && ev->xclient.message_type == watch->xembed &&
            ev->xclient.format == 32 && ev->xclient.data.l[1] == kEmbeddedNotify);
}

bool MotionQueued(::Display* dpy, ::Window w) {
    if (XEventsQueued(dpy, QueuedAlready) == 0) return false;
    XEvent next;
    XPeekEvent(dpy, &next);
    return next.type == MotionNotify && next.xmotion.window == w;
}

} // namespace

XEmbedNotifyArea::XEmbedNotifyArea(X11Display& display, PostFn post)
    : display_(display), dpy_(display.Connection()), screen_(DefaultScreen(dpy_)),
      root_(RootWindow(dpy_, screen_)), post_(std::move(post)) {
    std::string selection = "_NET_SYSTEM_TRAY_S" + std::to_string(screen_);
    char* names[kAtomCount] = {selection.data(), const_cast<char*>("_NET_SYSTEM_TRAY_OPCODE"),
                               const_cast<char*>("MANAGER"), const_cast<char*>("_XEMBED_INFO"),
                               const_cast<char*>("_XEMBED")};
    XInternAtoms(dpy_, names, kAtomCount, False, atoms_.data());
    uploader_ = std::make_unique<x11::PixelUploader>(dpy_, false);
    XGCValues values{};
    values.graphics_exposures = False;
    gc_ = XCreateGC(dpy_, root_, GCGraphicsExposures, &values);
    // A new tray host announces itself to the root window's structure listeners.
    XWindowAttributes attrs{};
    XGetWindowAttributes(dpy_, root_, &attrs);
    XSelectInput(dpy_, root_, attrs.your_event_mask | StructureNotifyMask);
    display_.AddEventFilter(this, [this](XEvent& ev) { return Filter(ev); });
    XFlush(dpy_);
}

XEmbedNotifyArea::~XEmbedNotifyArea() {
    display_.RemoveEventFilter(this);
    for (Icon& icon : icons_) {
        Undock(icon);
        FreePicture(icon);
    }
    if (font_) XFreeFont(dpy_, font_);
    XFreeGC(dpy_, gc_);
    XFlush(dpy_);
}

XEmbedNotifyArea::Icon* XEmbedNotifyArea::Find(std::uint32_t window, std::uint32_t id) {
    for (Icon& icon : icons_)
        if (icon.data.window == window && icon.data.id == id) return &icon;
    return nullptr;
}

const XEmbedNotifyArea::Icon* XEmbedNotifyArea::Find(std::uint32_t window, std::uint32_t id) const {
    return const_cast<XEmbedNotifyArea*>(this)->Find(window, id);
}

XEmbedNotifyArea::Icon* XEmbedNotifyArea::FindX(::Window xid) {
    if (!xid) return nullptr;
    for (Icon& icon : icons_)
        if (icon.xid == xid || icon.tip == xid) return &icon;
    return nullptr;
}

::Window XEmbedNotifyArea::IconWindow(std::uint32_t window, std::uint32_t id) const {
    const Icon* icon = Find(window, id);
    return icon ? icon->xid : 0;
}

::Window XEmbedNotifyArea::TipWindow(std::uint32_t window, std::uint32_t id) const {
    const Icon* icon = Find(window, id);
    return icon ? icon->tip : 0;
}

::Window XEmbedNotifyArea::Owner() const {
    return XGetSelectionOwner(dpy_, atoms_[kSelection]);
}

bool XEmbedNotifyArea::Add(const NotifyIcon& data) {
    if (!data.picture.Consistent() || Find(data.window, data.id)) return false;
    Icon& icon = icons_.emplace_back();
    icon.data = data;
    icon.data.tip = data.tip.substr(0, kMaxNotifyTip);
    MakePicture(icon);
    if (!Dock(icon) || !AwaitEmbedding(icon)) {
        Undock(icon);
        FreePicture(icon);
        icons_.pop_back();
        return false;
    }
    return true;
}

bool XEmbedNotifyArea::Modify(const NotifyIcon& data) {
    Icon* icon = Find(data.window, data.id);
    if (!icon || !data.picture.Consistent()) return false;
    icon->data.callback_message = data.callback_message;
    icon->data.tip = data.tip.substr(0, kMaxNotifyTip);
    if (!(icon->data.picture == data.picture)) {
        icon->data.picture = data.picture;
        FreePicture(*icon);
        MakePicture(*icon);
        if (icon->xid) WriteSizeHints(*icon);
    }
    if (icon->xid) Draw(*icon);
    if (icon->tip) {
        HideTip(*icon);
        ShowTip(*icon);
    }
    XFlush(dpy_);
    return true;
}

bool XEmbedNotifyArea::Delete(std::uint32_t window, std::uint32_t id) {
    for (auto it = icons_.begin(); it != icons_.end(); ++it) {
        if (it->data.window != window || it->data.id != id) continue;
        Undock(*it);
        FreePicture(*it);
        icons_.erase(it);
        XFlush(dpy_);
        return true;
    }
    return false;
}

bool XEmbedNotifyArea::Dock(Icon& icon) {
    const ::Window owner = Owner();
    if (!owner) return false;
    icon.width = std::max(kMinSize, icon.data.picture.width);
    icon.height = std::max(kMinSize, icon.data.picture.height);
    XSetWindowAttributes attrs{};
    // The host's own background shows around the picture and through its clear pixels.
    attrs.background_pixmap = ParentRelative;
    attrs.event_mask = kIconEvents;
    icon.xid = XCreateWindow(dpy_, root_, 0, 0, static_cast<unsigned>(icon.width),
                             static_cast<unsigned>(icon.height), 0, CopyFromParent, InputOutput,
                             CopyFromParent, CWBackPixmap | CWEventMask, &attrs);
    icon.host = owner;
    char res_name[] = "mirelo";
    char res_class[] = "Mirelo";
    XClassHint class_hint{res_name, res_class};
    XSetClassHint(dpy_, icon.xid, &class_hint);
    WriteSizeHints(icon);
    // XEmbed version 0, and the host maps the window once it is embedded.
    const long info[2] = {0, 1};
    XChangeProperty(dpy_, icon.xid, atoms_[kXEmbedInfo], atoms_[kXEmbedInfo], 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(info), 2);
    if (hosts_.insert(owner).second) XSelectInput(dpy_, owner, StructureNotifyMask);

    XEvent ev{};
    ev.xclient.type = ClientMessage;
    ev.xclient.window = owner;
    ev.xclient.message_type = atoms_[kOpcode];
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = CurrentTime;
    ev.xclient.data.l[1] = kSystemTrayRequestDock;
    ev.xclient.data.l[2] = static_cast<long>(icon.xid);
    XSendEvent(dpy_, owner, False, NoEventMask, &ev);
    XFlush(dpy_);
    return true;
}

bool XEmbedNotifyArea::AwaitEmbedding(const Icon& icon) {
    EmbedWatch watch{icon.xid, atoms_[kXEmbed]};
    const auto give_up =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kEmbedTimeoutMs);
    for (;;) {
        XEvent ev;
        // Reads what the server has sent; every other event stays queued for the display.
        if (XCheckIfEvent(dpy_, &ev, IsEmbedding, reinterpret_cast<XPointer>(&watch))) {
            if (ev.type == ClientMessage || ev.xreparent.parent != root_) return true;
            continue;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            give_up - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd ready{ConnectionNumber(dpy_), POLLIN, 0};
        poll(&ready, 1, static_cast<int>(left.count()) + 1);
    }
}

void XEmbedNotifyArea::Undock(Icon& icon) {
    HideTip(icon);
    if (icon.xid) XDestroyWindow(dpy_, icon.xid);
    icon.xid = 0;
    icon.host = 0;
    icon.last_press.reset();
}

void XEmbedNotifyArea::WriteSizeHints(const Icon& icon) {
    // Hosts size the icon from these; without a minimum some make it one pixel wide.
    XSizeHints hints{};
    hints.flags = PMinSize | PBaseSize;
    hints.min_width = hints.base_width = std::max(kMinSize, icon.data.picture.width);
    hints.min_height = hints.base_height = std::max(kMinSize, icon.data.picture.height);
    XSetWMNormalHints(dpy_, icon.xid, &hints);
}

int XEmbedNotifyArea::FitFactor(const Icon& icon) {
    const PixelBuffer& p = icon.data.picture;
    if (p.width <= 0 || p.height <= 0) return 1;
    return std::max(1, std::min(icon.width / p.width, icon.height / p.height));
}

void XEmbedNotifyArea::MakePicture(Icon& icon) {
    const PixelBuffer& picture = icon.data.picture;
    if (picture.width <= 0 || picture.height <= 0) return;
    icon.factor = FitFactor(icon);
    const PixelBuffer p = Enlarged(picture, icon.factor);
    const auto w = static_cast<unsigned>(p.width), h = static_cast<unsigned>(p.height);
    icon.image =
        XCreatePixmap(dpy_, root_, w, h, static_cast<unsigned>(DefaultDepth(dpy_, screen_)));
    uploader_->Put(icon.image, gc_, p, {0, 0, p.width, p.height});
    // Pixels at least half opaque are drawn, the rest let the background through.
    const std::size_t stride = (w + 7) / 8;
    std::vector<char> bits(stride * h, 0);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            if ((p.At(x, y) >> 24) >= 0x80)
                bits[static_cast<std::size_t>(y) * stride + static_cast<std::size_t>(x) / 8] |=
                    static_cast<char>(1 << (x % 8));
    icon.mask = XCreateBitmapFromData(dpy_, root_, bits.data(), w, h);
}

void XEmbedNotifyArea::FreePicture(Icon& icon) {
    if (icon.image) XFreePixmap(dpy_, icon.image);
    if (icon.mask) XFreePixmap(dpy_, icon.mask);
    icon.image = icon.mask = 0;
}

void XEmbedNotifyArea::Draw(const Icon& icon) {
    XClearWindow(dpy_, icon.xid);
    if (!icon.image) return;
    const int w = icon.data.picture.width * icon.factor;
    const int h = icon.data.picture.height * icon.factor;
    const int x = (icon.width - w) / 2;
    const int y = (icon.height - h) / 2;
    XSetClipMask(dpy_, gc_, icon.mask);
    XSetClipOrigin(dpy_, gc_, x, y);
    XCopyArea(dpy_, icon.image, icon.xid, gc_, 0, 0, static_cast<unsigned>(w),
              static_cast<unsigned>(h), x, y);
    XSetClipMask(dpy_, gc_, None);
}

void XEmbedNotifyArea::ShowTip(Icon& icon) {
    if (icon.tip || !icon.xid || icon.data.tip.empty()) return;
    if (!font_tried_) {
        font_tried_ = true;
        font_ = XLoadQueryFont(dpy_, "fixed");
    }
    if (!font_) return;
    const std::string& text = icon.data.tip;
    const int w = XTextWidth(font_, text.data(), static_cast<int>(text.size())) + 2 * kTipPadding;
    const int h = font_->ascent + font_->descent + 2 * kTipPadding;
    // Below the icon when there is room, else above it (trays sit at either edge).
    int x = 0, y = 0;
    ::Window child = 0;
    XTranslateCoordinates(dpy_, icon.xid, root_, 0, 0, &x, &y, &child);
    const int screen_w = DisplayWidth(dpy_, screen_), screen_h = DisplayHeight(dpy_, screen_);
    x = std::clamp(x + icon.width / 2 - w / 2, 0, std::max(0, screen_w - w - 2));
    y = y + icon.height + 2 + h + 2 <= screen_h ? y + icon.height + 2 : std::max(0, y - h - 4);

    XSetWindowAttributes attrs{};
    attrs.override_redirect = True;
    attrs.background_pixel = kTipBackground;
    attrs.border_pixel = BlackPixel(dpy_, screen_);
    attrs.event_mask = ExposureMask;
    icon.tip =
        XCreateWindow(dpy_, root_, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h), 1,
                      CopyFromParent, InputOutput, CopyFromParent,
                      CWOverrideRedirect | CWBackPixel | CWBorderPixel | CWEventMask, &attrs);
    XMapRaised(dpy_, icon.tip);
    XFlush(dpy_);
}

void XEmbedNotifyArea::DrawTip(const Icon& icon) {
    XSetForeground(dpy_, gc_, BlackPixel(dpy_, screen_));
    XSetFont(dpy_, gc_, font_->fid);
    XDrawString(dpy_, icon.tip, gc_, kTipPadding, kTipPadding + font_->ascent, icon.data.tip.data(),
                static_cast<int>(icon.data.tip.size()));
}

void XEmbedNotifyArea::HideTip(Icon& icon) {
    if (!icon.tip) return;
    XDestroyWindow(dpy_, icon.tip);
    icon.tip = 0;
}

void XEmbedNotifyArea::Post(const Icon& icon, std::intptr_t mouse_message) {
    if (post_) post_(icon.data.window, icon.data.callback_message, icon.data.id, mouse_message);
}

bool XEmbedNotifyArea::Filter(XEvent& ev) {
    if (ev.type == ClientMessage && ev.xany.window == root_ &&
        ev.xclient.message_type == atoms_[kManager] && ev.xclient.format == 32 &&
        static_cast<Atom>(ev.xclient.data.l[1]) == atoms_[kSelection]) {
        OnManager(static_cast<::Window>(ev.xclient.data.l[2]));
        return true;
    }
    if (ev.type == DestroyNotify && hosts_.count(ev.xdestroywindow.window)) {
        OnHostGone(ev.xdestroywindow.window);
        return true;
    }
    Icon* icon = FindX(ev.xany.window);
    if (!icon) return false;
    OnIconEvent(*icon, ev);
    return true;
}

void XEmbedNotifyArea::OnIconEvent(Icon& icon, XEvent& ev) {
    if (ev.xany.window == icon.tip) {
        if (ev.type == Expose && ev.xexpose.count == 0) DrawTip(icon);
        return;
    }
    switch (ev.type) {
    case Expose:
        if (ev.xexpose.count == 0) Draw(icon);
        break;
    case ConfigureNotify:
        if (ev.xconfigure.width != icon.width || ev.xconfigure.height != icon.height) {
            icon.width = ev.xconfigure.width;
            icon.height = ev.xconfigure.height;
            // The host's size may now hold the picture a different whole number of times.
            if (icon.image && FitFactor(icon) != icon.factor) {
                FreePicture(icon);
                MakePicture(icon);
            }
            Draw(icon);
        }
        break;
    case ReparentNotify:
        // Back on the root: the host that held it has gone; wait for the next one.
        if (ev.xreparent.parent == root_) Undock(icon);
        break;
    case DestroyNotify:
        if (ev.xdestroywindow.window == icon.xid) {
            HideTip(icon);
            icon.xid = 0;
            icon.host = 0;
        }
        break;
    case ButtonPress:
    case ButtonRelease:
        OnButton(icon, ev.xbutton);
        break;
    case MotionNotify:
        // Of a run of motions only the newest matters.
        if (!MotionQueued(dpy_, icon.xid)) Post(icon, kNotifyMouseMove);
        break;
    case EnterNotify:
        if (ev.xcrossing.mode == NotifyNormal) ShowTip(icon);
        break;
    case LeaveNotify:
        HideTip(icon);
        break;
    default:
        break;
    }
    XFlush(dpy_);
}

void XEmbedNotifyArea::OnButton(Icon& icon, const XButtonEvent& e) {
    const MouseButton button = x11::MouseButtonOf(e.button);
    if (button == MouseButton::NoButton) return;
    if (e.type == ButtonRelease) {
        Post(icon, NotifyMouseMessage(button, NotifyAction::Up));
        return;
    }
    HideTip(icon);
    const auto& last = icon.last_press;
    const bool double_click = last && last->button == e.button &&
                              e.time - last->time <= kDoubleClickMs &&
                              std::abs(e.x_root - last->x) <= kDoubleClickDistance &&
                              std::abs(e.y_root - last->y) <= kDoubleClickDistance;
    // The press that completes a double click does not start the next one.
    if (double_click)
        icon.last_press.reset();
    else
        icon.last_press = Icon::Press{e.button, e.time, e.x_root, e.y_root};
    Post(icon,
         NotifyMouseMessage(button, double_click ? NotifyAction::DoubleClick : NotifyAction::Down));
}

void XEmbedNotifyArea::OnManager(::Window owner) {
    for (Icon& icon : icons_) {
        if (icon.xid && icon.host == owner) continue; // docked there already
        Undock(icon);
        Dock(icon);
    }
    XFlush(dpy_);
}

void XEmbedNotifyArea::OnHostGone(::Window host) {
    hosts_.erase(host);
    for (Icon& icon : icons_)
        if (icon.host == host) Undock(icon);
    XFlush(dpy_);
}

} // namespace os
