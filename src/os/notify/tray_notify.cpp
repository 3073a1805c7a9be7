// Chooses between the StatusNotifierItem and XEmbed back ends icon by icon, and moves the
// icons when the session bus or its watcher changes.
#include "os/notify/tray_notify.hpp"

#include "os/bus/session_bus.hpp"
#include "os/notify/sni_notify.hpp"
#include "os/notify/xembed_notify.hpp"

namespace os {

TrayNotifyArea::TrayNotifyArea(X11Display& display, SessionBus& bus, PostFn post)
    : bus_(bus), xembed_(std::make_unique<XEmbedNotifyArea>(display, post)),
      sni_(std::make_unique<SniNotifyArea>(bus, post)) {
    sni_->SetWatcherListener([this] { MoveAll(); });
}

TrayNotifyArea::~TrayNotifyArea() = default;

SniNotifyArea* TrayNotifyArea::Sni() {
    return sni_->Attached() ? sni_.get() : nullptr;
}

void TrayNotifyArea::MoveAll() {
    for (Icon& icon : icons_)
        Place(icon);
}

void TrayNotifyArea::Place(Icon& icon) {
    const bool modern = sni_->WatcherPresent();
    const NotifyIcon& d = icon.data;
    if (icon.host == Host::StatusNotifier && !modern) {
        sni_->Delete(d.window, d.id);
        icon.host = Host::Nowhere;
    }
    if (modern && icon.host != Host::StatusNotifier && sni_->Add(d)) {
        if (icon.host == Host::XEmbed) xembed_->Delete(d.window, d.id);
        icon.host = Host::StatusNotifier;
    }
    if (icon.host == Host::Nowhere && xembed_->Add(d)) icon.host = Host::XEmbed;
}

TrayNotifyArea::Icon* TrayNotifyArea::Find(std::uint32_t window, std::uint32_t id) {
    for (Icon& icon : icons_)
        if (icon.data.window == window && icon.data.id == id) return &icon;
    return nullptr;
}

TrayNotifyArea::Host TrayNotifyArea::Where(std::uint32_t window, std::uint32_t id) const {
    for (const Icon& icon : icons_)
        if (icon.data.window == window && icon.data.id == id) return icon.host;
    return Host::Nowhere;
}

bool TrayNotifyArea::Add(const NotifyIcon& data) {
    if (Find(data.window, data.id)) return false;
    // Answered later: this Add goes to the tray host unless a watcher is known already.
    bus_.Connect();
    Icon icon{data, Host::Nowhere};
    Place(icon);
    if (icon.host == Host::Nowhere) return false;
    icons_.push_back(std::move(icon));
    return true;
}

bool TrayNotifyArea::Modify(const NotifyIcon& data) {
    Icon* icon = Find(data.window, data.id);
    if (!icon || !data.picture.Consistent()) return false;
    icon->data = data;
    switch (icon->host) {
    case Host::StatusNotifier:
        return sni_->Modify(data);
    case Host::XEmbed:
        return xembed_->Modify(data);
    case Host::Nowhere:
        // Both hosts were gone when it last moved: perhaps one is back.
        Place(*icon);
        break;
    }
    return true;
}

bool TrayNotifyArea::Delete(std::uint32_t window, std::uint32_t id) {
    for (auto it = icons_.begin(); it != icons_.end(); ++it) {
        if (it->data.window != window || it->data.id != id) continue;
        if (it->host == Host::StatusNotifier) sni_->Delete(window, id);
        if (it->host == Host::XEmbed) xembed_->Delete(window, id);
        icons_.erase(it);
        return true;
    }
    return false;
}

} // namespace os
