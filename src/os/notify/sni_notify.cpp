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

struct SniNotifyArea::Callbacks {
    static int OnProperty(sd_bus* bus, const char* path, const char* interface,
                          const char* property, sd_bus_message* reply, void* self,
                          sd_bus_error* error);
    static int OnClick(sd_bus_message* m, void* self, sd_bus_error* error);
    static int OnScroll(sd_bus_message* m, void* self, sd_bus_error* error);
    static int OnWatcherOwner(sd_bus_message* m, void* self, sd_bus_error* error);
    static int OnFirstOwner(sd_bus_message* m, void* self, sd_bus_error* error);
    static int OnPing(sd_bus_message* m, void* self, sd_bus_error* error);
    static int OnName(sd_bus_message* m, void* item, sd_bus_error* error);
    static int OnRegistered(sd_bus_message* m, void* item, sd_bus_error* error);
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

SniNotifyArea::SniNotifyArea(SessionBus& bus, PostFn post) : session_(bus), post_(std::move(post)) {
    token_ = session_.Listen([this](sd_bus* b) {
        if (b)
            Attach(b);
        else
            Detach();
    });
    if (session_.Bus()) Attach(session_.Bus());
}

SniNotifyArea::~SniNotifyArea() {
    session_.StopListening(token_);
    // Names still ours are given up, so watchers drop the items.
    for (Item& item : items_)
        item.shown = false;
    if (bus_) {
        for (Item& item : items_)
            if (item.owned)
                sd_bus_release_name_async(bus_, nullptr, item.name.c_str(), nullptr, nullptr);
        session_.Used();
    }
    listener_ = nullptr;
    Detach();
}

void SniNotifyArea::Attach(sd_bus* bus) {
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
    if (bus_) return;
    bus_ = bus;
    session_.Used();
    const std::string rule = std::string("type='signal',sender='") + kBusName + "',interface='" +
                             kBusName + "',member='NameOwnerChanged',arg0='" + kWatcherName + "'";
    // The match goes to the daemon before the question, which it answers in order: no
    // change of owner falls between the two.
    if (sd_bus_add_object_vtable(bus_, &object_, kItemPath, kItemInterface, kVtable, this) < 0 ||
        sd_bus_add_match_async(bus_, &match_, rule.c_str(), Callbacks::OnWatcherOwner, nullptr,
                               this) < 0 ||
        sd_bus_call_method_async(bus_, &owner_query_, kBusName, kBusPath, kBusName, "GetNameOwner",
                                 Callbacks::OnFirstOwner, this, "s", kWatcherName) < 0)
        Detach();
}

void SniNotifyArea::Detach() {
    const bool was = WatcherPresent();
    for (Item& item : items_) {
        item.request = sd_bus_slot_unref(item.request);
        item.register_ = sd_bus_slot_unref(item.register_);
        item.owned = item.registered = false;
    }
    object_ = sd_bus_slot_unref(object_);
    match_ = sd_bus_slot_unref(match_);
    owner_query_ = sd_bus_slot_unref(owner_query_);
    ping_ = sd_bus_slot_unref(ping_);
    bus_ = nullptr;
    watcher_.clear();
    answered_.clear();
    refused_.clear();
    Changed(was);
}

bool SniNotifyArea::WatcherPresent() const {
    return bus_ && !watcher_.empty() && answered_ == watcher_ && refused_ != watcher_;
}

void SniNotifyArea::Changed(bool was_present) {
    if (was_present != WatcherPresent() && listener_) listener_();
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
    return item && item->shown ? item->name : std::string();
}

bool SniNotifyArea::Add(const NotifyIcon& icon) {
    if (!WatcherPresent() || !PictureFits(icon.picture)) return false;
    Item* item = Find(icon.window, icon.id);
    if (item && item->shown) return false;
    if (!item)
        item = &items_.emplace_back(Item{this, icon,
                                         "org.kde.StatusNotifierItem-" + std::to_string(getpid()) +
                                             "-" + std::to_string(items_.size() + 1)});
    item->data = icon;
    item->data.tip = icon.tip.substr(0, kMaxNotifyTip);
    item->shown = true;
    Advance(*item);
    return true;
}

bool SniNotifyArea::Modify(const NotifyIcon& icon) {
    Item* item = Find(icon.window, icon.id);
    if (!item || !item->shown || !PictureFits(icon.picture)) return false;
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
    return true;
}

bool SniNotifyArea::Delete(std::uint32_t window, std::uint32_t id) {
    Item* item = Find(window, id);
    if (!item || !item->shown) return false;
    item->shown = false;
    Advance(*item);
    return true;
}

void SniNotifyArea::Advance(Item& item) {
    session_.Used();
    // One thing at a time: a registration or a change of owner under way is answered first.
    if (!bus_ || item.request || item.register_) return;
    if (item.shown && !item.owned) {
        if (sd_bus_request_name_async(bus_, &item.request, item.name.c_str(), 0, Callbacks::OnName,
                                      &item) < 0)
            item.request = nullptr;
    } else if (item.shown && !item.registered && WatcherPresent()) {
        if (sd_bus_call_method_async(bus_, &item.register_, kWatcherName, "/StatusNotifierWatcher",
                                     kWatcherName, "RegisterStatusNotifierItem",
                                     Callbacks::OnRegistered, &item, "s", item.name.c_str()) < 0)
            item.register_ = nullptr;
    } else if (!item.shown && item.owned) {
        // Watchers forget an item whose name loses its owner.
        item.owned = item.registered = false;
        sd_bus_release_name_async(bus_, nullptr, item.name.c_str(), nullptr, nullptr);
    }
}

void SniNotifyArea::Emit(const char* signal) {
    session_.Used();
    if (bus_) sd_bus_emit_signal(bus_, kItemPath, kItemInterface, signal, nullptr);
}

void SniNotifyArea::SetWatcher(std::string owner) {
    session_.Used();
    const bool was = WatcherPresent();
    watcher_ = std::move(owner);
    for (Item& item : items_) {
        item.register_ = sd_bus_slot_unref(item.register_);
        item.registered = false;
    }
    ping_ = sd_bus_slot_unref(ping_);
    // A watcher that owns its name may still be stuck: it counts once it has answered.
    if (!watcher_.empty() && answered_ != watcher_ &&
        sd_bus_call_method_async(bus_, &ping_, watcher_.c_str(), "/", "org.freedesktop.DBus.Peer",
                                 "Ping", Callbacks::OnPing, this, "") < 0)
        ping_ = nullptr;
    Changed(was);
    for (Item& item : items_)
        Advance(item);
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
            if (item.shown && item.name == to) return &item;
    // Sent to our unique name: there is no telling which item was meant; the first will do.
    for (Item& item : items_)
        if (item.shown) return &item;
    return nullptr;
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

int SniNotifyArea::Callbacks::OnFirstOwner(sd_bus_message* m, void* self, sd_bus_error*) {
    auto* area = static_cast<SniNotifyArea*>(self);
    area->owner_query_ = sd_bus_slot_unref(area->owner_query_);
    const char* owner = nullptr;
    // No owner, or no answer in time: no watcher until its change of owner says otherwise.
    if (!sd_bus_message_is_method_error(m, nullptr) && sd_bus_message_read(m, "s", &owner) >= 0 &&
        owner && *owner)
        area->SetWatcher(owner);
    return 0;
}

int SniNotifyArea::Callbacks::OnPing(sd_bus_message* m, void* self, sd_bus_error*) {
    auto* area = static_cast<SniNotifyArea*>(self);
    area->ping_ = sd_bus_slot_unref(area->ping_);
    // Any answer from the watcher itself will do; sd-bus's own (a time-out) has no sender.
    const char* from = sd_bus_message_get_sender(m);
    if (!from || area->watcher_ != from) return 0;
    const bool was = area->WatcherPresent();
    area->answered_ = area->watcher_;
    area->Changed(was);
    for (Item& item : area->items_)
        area->Advance(item);
    return 0;
}

int SniNotifyArea::Callbacks::OnName(sd_bus_message* m, void* data, sd_bus_error*) {
    auto& item = *static_cast<Item*>(data);
    item.request = sd_bus_slot_unref(item.request);
    std::uint32_t result = 0;
    // 1: now the primary owner; 4: it was ours already.
    item.owned = !sd_bus_message_is_method_error(m, nullptr) &&
                 sd_bus_message_read(m, "u", &result) >= 0 && (result == 1 || result == 4);
    if (item.owned) item.area->Advance(item);
    return 0;
}

int SniNotifyArea::Callbacks::OnRegistered(sd_bus_message* m, void* data, sd_bus_error*) {
    auto& item = *static_cast<Item*>(data);
    SniNotifyArea* area = item.area;
    item.register_ = sd_bus_slot_unref(item.register_);
    if (!sd_bus_message_is_method_error(m, nullptr)) {
        item.registered = true;
        area->Advance(item); // deleted meanwhile: its name goes now
        return 0;
    }
    // Only the watcher we asked can refuse, or fail to answer in time (sd-bus makes that
    // reply up); "no such name" means it has just gone, which its change of owner tells.
    const bool timed_out =
        sd_bus_error_has_name(sd_bus_message_get_error(m), SD_BUS_ERROR_NO_REPLY);
    const char* from = sd_bus_message_get_sender(m);
    if ((timed_out || (from && area->watcher_ == from)) && !area->watcher_.empty()) {
        const bool was = area->WatcherPresent();
        area->refused_ = area->watcher_;
        area->Changed(was);
    }
    area->Advance(item);
    return 0;
}

} // namespace os
