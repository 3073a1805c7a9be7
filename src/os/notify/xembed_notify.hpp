// The notification area on X11: the freedesktop system tray protocol. Each icon is a small
// window of ours that the tray host (the owner of _NET_SYSTEM_TRAY_S<screen>) embeds with
// XEmbed; we draw its picture centred in whatever size the host gives it, show its tip in a
// window of our own while the pointer is over it, and report the mouse to the owner.
//
// An icon belongs to its owner from Add to Delete, whatever the host does: when the host
// goes away the icon's window is dropped, and when a new host announces itself (MANAGER on
// the root window) every icon is docked into it again.
#pragma once

#include "os/notify/notify.hpp"
#include "os/post.hpp"

#include <X11/Xlib.h>

#include <array>
#include <list>
#include <memory>
#include <optional>
#include <set>

namespace os {

class X11Display;
namespace x11 {
class PixelUploader;
}

class XEmbedNotifyArea final : public NotifyArea {
public:
    // Shares the display's connection and sees its events first (through an event filter
    // that it keeps for as long as it lives).
    XEmbedNotifyArea(X11Display& display, PostFn post);
    ~XEmbedNotifyArea() override;
    XEmbedNotifyArea(const XEmbedNotifyArea&) = delete;
    XEmbedNotifyArea& operator=(const XEmbedNotifyArea&) = delete;

    // False when no tray host runs or the icon is already there or its picture is broken,
    // and when the host has not embedded the icon within kEmbedTimeout: an icon counts as
    // added once it is on view.
    bool Add(const NotifyIcon& icon) override;
    bool Modify(const NotifyIcon& icon) override;
    bool Delete(std::uint32_t window, std::uint32_t id) override;

    // The X window that shows an icon now: 0 while it waits for a host, or for none.
    ::Window IconWindow(std::uint32_t window, std::uint32_t id) const;
    // The tip window while it is on view, else 0.
    ::Window TipWindow(std::uint32_t window, std::uint32_t id) const;

    // Double clicks: the second press of a button this soon after the first and this close
    // to it (in x and in y).
    static constexpr unsigned long kDoubleClickMs = 400;
    static constexpr int kDoubleClickDistance = 4;
    // The smallest size we ask the host for.
    static constexpr int kMinSize = 16;
    static constexpr int kEmbedTimeoutMs = 2000;

private:
    enum AtomId : int { kSelection, kOpcode, kManager, kXEmbedInfo, kXEmbed, kAtomCount };

    struct Icon {
        NotifyIcon data;
        ::Window xid = 0;  // the docked (or docking) window; 0 while waiting for a host
        ::Window host = 0; // the host it was handed to
        Pixmap image = 0;  // the picture, and the bitmap of its opaque pixels
        Pixmap mask = 0;
        int width = 0, height = 0; // the window's size as the host made it
        // How many times the picture is enlarged in `image`: as often as the host's size
        // holds it whole, so that a large panel shows it large and crisp.
        int factor = 1;
        ::Window tip = 0;
        struct Press {
            unsigned button;
            Time time;
            int x, y;
        };
        std::optional<Press> last_press;
    };

    Icon* Find(std::uint32_t window, std::uint32_t id);
    const Icon* Find(std::uint32_t window, std::uint32_t id) const;
    Icon* FindX(::Window xid);
    ::Window Owner() const;

    bool Dock(Icon& icon);
    // Waits, reading only the icon's own events, until the host has embedded it (its
    // XEMBED_EMBEDDED_NOTIFY, or the window taken into another) or kEmbedTimeoutMs pass.
    bool AwaitEmbedding(const Icon& icon);
    void Undock(Icon& icon);
    void WriteSizeHints(const Icon& icon);
    // The largest whole enlargement of the picture that the icon's window holds.
    static int FitFactor(const Icon& icon);
    void MakePicture(Icon& icon);
    void FreePicture(Icon& icon);
    void Draw(const Icon& icon);
    void ShowTip(Icon& icon);
    void HideTip(Icon& icon);
    void DrawTip(const Icon& icon);
    void Post(const Icon& icon, std::intptr_t mouse_message);

    // Event handlers: true when the event was ours.
    bool Filter(XEvent& ev);
    void OnIconEvent(Icon& icon, XEvent& ev);
    void OnButton(Icon& icon, const XButtonEvent& e);
    void OnManager(::Window owner);
    void OnHostGone(::Window host);

    X11Display& display_;
    ::Display* dpy_;
    int screen_;
    ::Window root_;
    PostFn post_;
    std::array<Atom, kAtomCount> atoms_{};
    GC gc_;
    XFontStruct* font_ = nullptr;
    bool font_tried_ = false;
    std::unique_ptr<x11::PixelUploader> uploader_;
    std::list<Icon> icons_;    // stable addresses: handlers hold references across calls
    std::set<::Window> hosts_; // hosts whose end we watch for
};

} // namespace os
