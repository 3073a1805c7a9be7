// The notification area of desktops that host StatusNotifierItems over D-Bus (KDE Plasma,
// GNOME with the AppIndicator extension): each icon is an item on the session bus, under a
// bus name of its own, that the StatusNotifierWatcher is told about. The host draws the
// picture and the tip; its Activate, SecondaryActivate and ContextMenu calls come back to the
// owner as left, middle and right clicks.
//
// sd-bus does the D-Bus work, on the program's one session bus connection. Nothing here
// waits: every call is sent asynchronously and answered inside the event wait. Each icon
// keeps one bus name for the life of the program; it is owned while the icon is shown and
// given up when it is deleted, so the watcher forgets the item, and the watcher hears of a
// name only once it is ours and the icon still wants it.
#pragma once

#include "os/bus/session_bus.hpp"
#include "os/notify/notify.hpp"
#include "os/post.hpp"

#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

struct sd_bus;
struct sd_bus_slot;
struct sd_bus_message;

namespace os {

// A picture as IconPixmap carries it: ARGB32 pixels in network byte order, rows top-down.
std::vector<std::uint8_t> SniPixmapBytes(const PixelBuffer& picture);
// The sizes IconPixmap offers, so that a host on a high-density screen need not blur the
// picture: the picture itself, then enlarged two and four times (nearest neighbour) while
// no side passes 64 pixels. A 16 x 16 picture gives 16, 32 and 64 px images.
std::vector<PixelBuffer> SniPixmapSizes(const PixelBuffer& picture);

class SniNotifyArea final : public NotifyArea {
public:
    static constexpr const char* kWatcherName = "org.kde.StatusNotifierWatcher";
    static constexpr const char* kItemPath = "/StatusNotifierItem";
    // The largest picture handed to the bus, in either direction.
    static constexpr int kMaxPicture = 256;

    // Follows `bus`: looks for a watcher each time the connection is ready, and lets the
    // items go when it is lost.
    SniNotifyArea(SessionBus& bus, PostFn post);
    ~SniNotifyArea() override;
    SniNotifyArea(const SniNotifyArea&) = delete;
    SniNotifyArea& operator=(const SniNotifyArea&) = delete;

    // False without a watcher, for an icon already here, or for a picture that is empty,
    // broken or larger than kMaxPicture.
    bool Add(const NotifyIcon& icon) override;
    bool Modify(const NotifyIcon& icon) override;
    bool Delete(std::uint32_t window, std::uint32_t id) override;

    // On a connection that is ready.
    bool Attached() const { return bus_ != nullptr; }
    // A watcher owns its name, has answered us, and has not refused our items or let a
    // registration time out.
    bool WatcherPresent() const;
    // Runs whenever WatcherPresent() changes.
    void SetWatcherListener(std::function<void()> listener) { listener_ = std::move(listener); }
    // The bus name an icon is shown under; empty when it is not here.
    std::string BusName(std::uint32_t window, std::uint32_t id) const;

private:
    struct Item {
        SniNotifyArea* area;
        NotifyIcon data;
        std::string name;                 // org.kde.StatusNotifierItem-PID-N, the icon's for good
        bool shown = false;               // between Add and Delete
        bool owned = false;               // the name is ours on this connection
        bool registered = false;          // the watcher has taken it
        sd_bus_slot* request = nullptr;   // the name asked for, or given up
        sd_bus_slot* register_ = nullptr; // the registration under way
    };

    void Attach(sd_bus* bus);
    void Detach();
    // Moves an item one step towards what it should be: name owned and registered while
    // shown, name given up once nothing about it is under way any more.
    void Advance(Item& item);
    Item* Find(std::uint32_t window, std::uint32_t id);
    const Item* Find(std::uint32_t window, std::uint32_t id) const;
    // The item a call from the host is about, found by the name it was sent to.
    Item* Addressed(sd_bus_message* m);
    void Emit(const char* signal);
    void SetWatcher(std::string owner);
    void Changed(bool was_present);
    void Post(const Item& item, std::intptr_t first, std::intptr_t second);

    // sd-bus's callbacks (in the source file, which alone sees its types).
    struct Callbacks;
    friend struct Callbacks;

    SessionBus& session_;
    int token_ = 0;
    sd_bus* bus_ = nullptr;
    PostFn post_;
    sd_bus_slot* object_ = nullptr;
    sd_bus_slot* match_ = nullptr;
    sd_bus_slot* owner_query_ = nullptr;
    sd_bus_slot* ping_ = nullptr;
    std::string watcher_;  // the watcher's unique name, empty while there is none
    std::string answered_; // the watcher that answered our ping
    std::string refused_;  // the watcher that refused a registration or let it time out
    std::function<void()> listener_;
    std::list<Item> items_; // never erased: each keeps its name
};

} // namespace os
