// StatusNotifierItems over sd-bus: one object path for every item of the process, each item
// told apart by the bus name a call was sent to.
#include "os/notify/sni_notify.hpp"

#include "os/display/scaled_display.hpp"
#include "os/notify/mouse_messages.hpp"

#include <systemd/sd-bus.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace os {

namespace {

constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";
constexpr const char* kBusName = "org.freedesktop.DBus";
constexpr const char* kBusPath = "/org/freedesktop/DBus";
// Long enough for a busy daemon, short enough not to hang start-up on a stuck one.
constexpr std::uint64_t kCallTimeoutUs = 2'000'000;

std::string Errno(int r) {
    return std::strerror(-r);
}

bool PictureFits(const PixelBuffer& p) {
    return p.Consistent() && p.width > 0 && p.height > 0 && p.width <= SniNotifyArea::kMaxPicture &&
           p.height <= SniNotifyArea::kMaxPicture;
}

int AppendPixmaps(sd_bus_message* m, const PixelBuffer* picture) {
    int r = sd_bus_message_open_container(m, 'a', "(iiay)");
    if (r < 0) return r;
    if (picture) {
        for (const PixelBuffer& image : SniPixmapSizes(*picture)) {
            const std::vector<std::uint8_t> bytes = SniPixmapBytes(image);
            if ((r = sd_bus_message_open_container(m, 'r', "iiay")) < 0 ||
                (r = sd_bus_message_append(m, "ii", image.width, image.height)) < 0 ||
                (r = sd_bus_message_append_array(m, 'y', bytes.data(), bytes.size())) < 0 ||
                (r = sd_bus_message_close_container(m)) < 0)
                return r;
        }
    }
    return sd_bus_message_close_container(m);
}

// Properties are read-only and announce no changes of their own: hosts listen for NewIcon
// and its kin instead.
constexpr std::uint64_t kProperty = 0;

} // namespace

struct SniNotifyArea::Lookup {
    SniNotifyArea* area;
    bool done = false;
    bool answered = false;
};

struct SniNotifyArea::Callbacks {
    static int OnFirstOwner(sd_bus_message* m, void* lookup, sd_bus_error* error);
    static int OnProperty(sd_bus* bus, const char* path, const char* interface,
                          const char* property, sd_bus_message* reply, void* self,
                          sd_bus_error* error);
    static int OnClick(sd_bus_message* m, void* self, sd_bus_error* error);
    static int OnScroll(sd_bus_message* m, void* self, sd_bus_error* error);
    static int OnWatcherOwner(sd_bus_message* m, void* self, sd_bus_error* error);
    static int OnRegistered(sd_bus_message* m, void* self, sd_bus_error* error);
};

std::vector<PixelBuffer> SniPixmapSizes(const PixelBuffer& picture) {
    std::vector<PixelBuffer> sizes{picture};
    for (int factor : {2, 4})
        if (std::max(picture.width, picture.height) * factor <= 64)
            sizes.push_back(Enlarged(picture, factor));
    return sizes;
}

std::vector<std::uint8_t> SniPixmapBytes(const PixelBuffer& picture) {
    std::vector<std::uint8_t> out;
    out.reserve(picture.pixels.size() * 4);
    for (std::uint32_t p : picture.pixels) {
        out.push_back(static_cast<std::uint8_t>(p >> 24));
        out.push_back(static_cast<std::uint8_t>(p >> 16));
        out.push_back(static_cast<std::uint8_t>(p >> 8));
        out.push_back(static_cast<std::uint8_t>(p));
    }
    return out;
}

std::unique_ptr<SniNotifyArea> SniNotifyArea::Connect(PostFn post, std::string* error) {
    sd_bus* bus = nullptr;
    const int r = sd_bus_open_user(&bus);
    if (r < 0) {
        if (error) *error = "no session bus: " + Errno(r);
        return nullptr;
    }
    std::unique_ptr<SniNotifyArea> area(new SniNotifyArea(bus, std::move(post)));
    if (!area->Start(error)) return nullptr;
    return area;
}

SniNotifyArea::SniNotifyArea(sd_bus* bus, PostFn post) : bus_(bus), post_(std::move(post)) {}

SniNotifyArea::~SniNotifyArea() {
    sd_bus_slot_unref(object_);
    sd_bus_slot_unref(match_);
    // Closing the connection gives up every item's name; hosts drop the items.
    sd_bus_flush_close_unref(bus_);
}

bool SniNotifyArea::Start(std::string* error) {
    static const sd_bus_vtable kVtable[] = {
        SD_BUS_VTABLE_START(0),
        SD_BUS_PROPERTY("Category", "s", Callbacks::OnProperty, 0, kProperty),
        SD_BUS_PROPERTY("Id", "s", Callbacks::OnProperty, 0, kProperty),
        SD_BUS_PROPERTY("Title", "s", Callbacks::OnProperty, 0, kProperty),
        SD_BUS_PROPERTY("Status", "s", Callbacks::OnProperty, 0, kProperty),
        SD_BUS_PROPERTY("WindowId", "i", Callbacks::OnProperty, 0, kProperty),
        SD_BUS_PROPERTY("IconName", "s", Callbacks::OnProperty, 0, kProperty),
        SD_BUS_PROPERTY("IconPixmap", "a(iiay)", Callbacks::OnProperty, 0, kProperty),
        SD_BUS_PROPERTY("ToolTip", "(sa(iiay)ss)", Callbacks::OnProperty, 0, kProperty),
        SD_BUS_PROPERTY("ItemIsMenu", "b", Callbacks::OnProperty, 0, kProperty),
        SD_BUS_METHOD("Activate", "ii", "", Callbacks::OnClick, 0),
        SD_BUS_METHOD("SecondaryActivate", "ii", "", Callbacks::OnClick, 0),
        SD_BUS_METHOD("ContextMenu", "ii", "", Callbacks::OnClick, 0),
        SD_BUS_METHOD("Scroll", "is", "", Callbacks::OnScroll, 0),
        SD_BUS_SIGNAL("NewTitle", "", 0),
        SD_BUS_SIGNAL("NewIcon", "", 0),
        SD_BUS_SIGNAL("NewToolTip", "", 0),
        SD_BUS_SIGNAL("NewStatus", "s", 0),
        SD_BUS_VTABLE_END,
    };
    sd_bus_set_method_call_timeout(bus_, kCallTimeoutUs);
    int r = sd_bus_add_object_vtable(bus_, &object_, kItemPath, kItemInterface, kVtable, this);
    const std::string rule = std::string("type='signal',sender='") + kBusName + "',interface='" +
                             kBusName + "',member='NameOwnerChanged',arg0='" + kWatcherName + "'";
    // The first call to the daemon: it also waits for the connection to be set up.
    if (r >= 0) r = sd_bus_add_match(bus_, &match_, rule.c_str(), Callbacks::OnWatcherOwner, this);
    if (r < 0) {
        if (error) *error = "session bus: " + Errno(r);
        return false;
    }
    // Asked after the match is in place, and answered through the same queue as its
    // signals, so that what they say applies in the order it was sent.
    Lookup lookup{this};
    sd_bus_slot* call = nullptr;
    r = sd_bus_call_method_async(bus_, &call, kBusName, kBusPath, kBusName, "GetNameOwner",
                                 Callbacks::OnFirstOwner, &lookup, "s", kWatcherName);
    // The call's own timeout ends the wait with an error reply.
    while (r >= 0 && !lookup.done) {
        r = sd_bus_process(bus_, nullptr);
        if (r == 0) r = sd_bus_wait(bus_, kCallTimeoutUs);
    }
    sd_bus_slot_unref(call);
    if (r < 0 || !lookup.answered) {
        if (error) *error = "session bus: " + (r < 0 ? Errno(r) : std::string("no answer"));
        return false;
    }
    return true;
}

int SniNotifyArea::Fd() const {
    return sd_bus_get_fd(bus_);
}

bool SniNotifyArea::Process() {
    int r;
    do
        r = sd_bus_process(bus_, nullptr);
    while (r > 0);
    Flush();
    return r >= 0 && sd_bus_is_open(bus_) > 0;
}

void SniNotifyArea::Flush() {
    // Our messages are small and the daemon reads them at once; this rarely waits at all.
    if (sd_bus_is_open(bus_) > 0) sd_bus_flush(bus_);
}

bool SniNotifyArea::WatcherPresent() const {
    return !watcher_.empty() && watcher_ != refused_;
}

SniNotifyArea::Item* SniNotifyArea::Find(std::uint32_t window, std::uint32_t id) {
    for (Item& item : items_)
        if (item.data.window == window && item.data.id == id) return &item;
    return nullptr;
}

const SniNotifyArea::Item* SniNotifyArea::Find(std::uint32_t window, std::uint32_t id) const {
    return const_cast<SniNotifyArea*>(this)->Find(window, id);
}

std::string SniNotifyArea::BusName(std::uint32_t window, std::uint32_t id) const {
    const Item* item = Find(window, id);
    return item ? item->name : std::string();
}

bool SniNotifyArea::Add(const NotifyIcon& icon) {
    if (!WatcherPresent() || !PictureFits(icon.picture) || Find(icon.window, icon.id)) return false;
    Item item{icon, "org.kde.StatusNotifierItem-" + std::to_string(getpid()) + "-" +
                        std::to_string(next_item_++)};
    item.data.tip = icon.tip.substr(0, kMaxNotifyTip);
    // The daemon handles our messages in order: the name is ours before the watcher hears
    // of it.
    if (sd_bus_request_name_async(bus_, nullptr, item.name.c_str(), 0, nullptr, nullptr) < 0)
        return false;
    Register(items_.emplace_back(std::move(item)));
    Flush();
    return true;
}

bool SniNotifyArea::Modify(const NotifyIcon& icon) {
    Item* item = Find(icon.window, icon.id);
    if (!item || !PictureFits(icon.picture)) return false;
    const std::string tip = icon.tip.substr(0, kMaxNotifyTip);
    const bool new_picture = !(item->data.picture == icon.picture);
    const bool new_tip = item->data.tip != tip;
    item->data = icon;
    item->data.tip = tip;
    if (new_picture) Emit("NewIcon");
    if (new_tip) {
        Emit("NewTitle");
        Emit("NewToolTip");
    }
    Flush();
    return true;
}

bool SniNotifyArea::Delete(std::uint32_t window, std::uint32_t id) {
    for (auto it = items_.begin(); it != items_.end(); ++it) {
        if (it->data.window != window || it->data.id != id) continue;
        // Watchers forget an item whose name loses its owner.
        sd_bus_release_name_async(bus_, nullptr, it->name.c_str(), nullptr, nullptr);
        items_.erase(it);
        Flush();
        return true;
    }
    return false;
}

void SniNotifyArea::Register(const Item& item) {
    sd_bus_call_method_async(bus_, nullptr, kWatcherName, "/StatusNotifierWatcher", kWatcherName,
                             "RegisterStatusNotifierItem", Callbacks::OnRegistered, this, "s",
                             item.name.c_str());
}

void SniNotifyArea::Emit(const char* signal) {
    sd_bus_emit_signal(bus_, kItemPath, kItemInterface, signal, nullptr);
}

void SniNotifyArea::SetWatcher(std::string owner) {
    const bool was = WatcherPresent();
    watcher_ = std::move(owner);
    if (!watcher_.empty())
        for (const Item& item : items_)
            Register(item);
    if (was != WatcherPresent() && listener_) listener_();
}

void SniNotifyArea::Post(const Item& item, std::intptr_t first, std::intptr_t second) {
    if (!post_) return;
    post_(item.data.window, item.data.callback_message, item.data.id, first);
    post_(item.data.window, item.data.callback_message, item.data.id, second);
}

SniNotifyArea::Item* SniNotifyArea::Addressed(sd_bus_message* m) {
    const char* to = m ? sd_bus_message_get_destination(m) : nullptr;
    if (to)
        for (Item& item : items_)
            if (item.name == to) return &item;
    // Sent to our unique name: there is no telling which item was meant; the first will do.
    return items_.empty() ? nullptr : &items_.front();
}

int SniNotifyArea::Callbacks::OnProperty(sd_bus* bus, const char*, const char*,
                                         const char* property, sd_bus_message* reply, void* self,
                                         sd_bus_error* error) {
    auto* area = static_cast<SniNotifyArea*>(self);
    const Item* item = area->Addressed(sd_bus_get_current_message(bus));
    if (!item) return sd_bus_error_set(error, SD_BUS_ERROR_UNKNOWN_OBJECT, "no such item");
    const std::string_view name = property;
    if (name == "Category") return sd_bus_message_append(reply, "s", "ApplicationStatus");
    if (name == "Id") return sd_bus_message_append(reply, "s", "mirelo");
    if (name == "Title") return sd_bus_message_append(reply, "s", item->data.tip.c_str());
    if (name == "Status") return sd_bus_message_append(reply, "s", "Active");
    if (name == "WindowId") return sd_bus_message_append(reply, "i", 0);
    if (name == "IconName") return sd_bus_message_append(reply, "s", "");
    if (name == "IconPixmap") return AppendPixmaps(reply, &item->data.picture);
    if (name == "ItemIsMenu") return sd_bus_message_append(reply, "b", 0);
    // ToolTip: icon name, icon pixmaps, title, description.
    int r;
    if ((r = sd_bus_message_open_container(reply, 'r', "sa(iiay)ss")) < 0 ||
        (r = sd_bus_message_append(reply, "s", "")) < 0 ||
        (r = AppendPixmaps(reply, nullptr)) < 0 ||
        (r = sd_bus_message_append(reply, "ss", item->data.tip.c_str(), "")) < 0)
        return r;
    return sd_bus_message_close_container(reply);
}

int SniNotifyArea::Callbacks::OnClick(sd_bus_message* m, void* self, sd_bus_error* error) {
    auto* area = static_cast<SniNotifyArea*>(self);
    const Item* item = area->Addressed(m);
    if (!item) return sd_bus_error_set(error, SD_BUS_ERROR_UNKNOWN_OBJECT, "no such item");
    // The host's x and y are not used: the owner reads the pointer itself, as for a click
    // on a docked icon.
    const char* called = sd_bus_message_get_member(m);
    const std::string_view member = called ? called : "";
    MouseButton button = MouseButton::Left;
    if (member == "SecondaryActivate") button = MouseButton::Middle;
    if (member == "ContextMenu") button = MouseButton::Right;
    area->Post(*item, NotifyMouseMessage(button, NotifyAction::Down),
               NotifyMouseMessage(button, NotifyAction::Up));
    return sd_bus_reply_method_return(m, nullptr);
}

int SniNotifyArea::Callbacks::OnScroll(sd_bus_message* m, void*, sd_bus_error*) {
    return sd_bus_reply_method_return(m, nullptr);
}

int SniNotifyArea::Callbacks::OnWatcherOwner(sd_bus_message* m, void* self, sd_bus_error*) {
    const char *name = nullptr, *old_owner = nullptr, *new_owner = nullptr;
    if (sd_bus_message_read(m, "sss", &name, &old_owner, &new_owner) < 0 || !new_owner) return 0;
    static_cast<SniNotifyArea*>(self)->SetWatcher(new_owner);
    return 0;
}

int SniNotifyArea::Callbacks::OnFirstOwner(sd_bus_message* m, void* data, sd_bus_error*) {
    auto* lookup = static_cast<Lookup*>(data);
    lookup->done = true;
    const char* owner = nullptr;
    if (!sd_bus_message_is_method_error(m, nullptr)) {
        lookup->answered = sd_bus_message_read(m, "s", &owner) >= 0 && owner;
        if (lookup->answered) lookup->area->watcher_ = owner;
    } else if (sd_bus_message_is_method_error(m, SD_BUS_ERROR_NAME_HAS_NO_OWNER)) {
        // No owner is an answer too; a bus that does not answer is no bus.
        lookup->answered = true;
        lookup->area->watcher_.clear();
    }
    return 0;
}

int SniNotifyArea::Callbacks::OnRegistered(sd_bus_message* m, void* self, sd_bus_error*) {
    auto* area = static_cast<SniNotifyArea*>(self);
    // Replies made up by sd-bus for a connection that is closing are no answer.
    if (!sd_bus_message_is_method_error(m, nullptr) || sd_bus_is_open(area->bus_) <= 0) return 0;
    // Only the watcher we asked can refuse, or fail to answer in time (sd-bus makes that
    // reply up); "no such name" means it has just gone, which its change of owner tells.
    const bool timed_out =
        sd_bus_error_has_name(sd_bus_message_get_error(m), SD_BUS_ERROR_NO_REPLY);
    const char* from = sd_bus_message_get_sender(m);
    if (!timed_out && (!from || area->watcher_ != from)) return 0;
    if (area->watcher_.empty()) return 0;
    const bool was = area->WatcherPresent();
    area->refused_ = area->watcher_;
    if (was && area->listener_) area->listener_();
    return 0;
}

} // namespace os
