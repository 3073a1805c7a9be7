// The notification area of desktops that host StatusNotifierItems over D-Bus (KDE Plasma,
// GNOME with the AppIndicator extension): each icon is an item on the session bus, under a
// bus name of its own, that the StatusNotifierWatcher is told about. The host draws the
// picture and the tip; its Activate, SecondaryActivate and ContextMenu calls come back to the
// owner as left, middle and right clicks.
//
// sd-bus does the D-Bus work. Nothing here blocks once connected: every call is sent
// asynchronously and the answers are read by Process() when the connection is readable.
#pragma once

#include "os/notify/notify.hpp"
#include "os/wave/wave.hpp"

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

    // Connects to the session bus ($DBUS_SESSION_BUS_ADDRESS, else $XDG_RUNTIME_DIR/bus) and
    // looks for a watcher. Null when there is no bus to be had; `error` then says why.
    static std::unique_ptr<SniNotifyArea> Connect(PostFn post, std::string* error = nullptr);
    ~SniNotifyArea() override;
    SniNotifyArea(const SniNotifyArea&) = delete;
    SniNotifyArea& operator=(const SniNotifyArea&) = delete;

    // False without a watcher, for an icon already here, or for a picture that is empty,
    // broken or larger than kMaxPicture.
    bool Add(const NotifyIcon& icon) override;
    bool Modify(const NotifyIcon& icon) override;
    bool Delete(std::uint32_t window, std::uint32_t id) override;

    // Readable when the bus has sent something: a source for the event wait.
    int Fd() const;
    // Handles what the bus has sent, without blocking. False once the connection is lost;
    // the area is of no further use then.
    bool Process();
    // A watcher owns its name and has not refused our items.
    bool WatcherPresent() const;
    // Runs (inside Process) whenever WatcherPresent() changes.
    void SetWatcherListener(std::function<void()> listener) { listener_ = std::move(listener); }
    // The bus name an icon is shown under; empty when it is not here.
    std::string BusName(std::uint32_t window, std::uint32_t id) const;

private:
    struct Item {
        NotifyIcon data;
        std::string name; // org.kde.StatusNotifierItem-PID-N
    };

    SniNotifyArea(sd_bus* bus, PostFn post);
    bool Start(std::string* error);
    Item* Find(std::uint32_t window, std::uint32_t id);
    const Item* Find(std::uint32_t window, std::uint32_t id) const;
    // The item a call from the host is about, found by the name it was sent to.
    Item* Addressed(sd_bus_message* m);
    void Register(const Item& item);
    void Emit(const char* signal);
    void Flush();
    void SetWatcher(std::string owner);
    void Post(const Item& item, std::intptr_t first, std::intptr_t second);

    // sd-bus's callbacks (in the source file, which alone sees its types).
    struct Callbacks;
    friend struct Callbacks;
    struct Lookup;

    sd_bus* bus_;
    PostFn post_;
    sd_bus_slot* object_ = nullptr;
    sd_bus_slot* match_ = nullptr;
    std::string watcher_; // the watcher's unique name, empty while there is none
    std::string refused_; // the watcher that answered a registration with an error
    std::function<void()> listener_;
    std::list<Item> items_;
    unsigned next_item_ = 1;
};

} // namespace os
