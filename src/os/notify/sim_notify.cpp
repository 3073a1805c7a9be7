// The notification area in memory.
#include "os/notify/sim_notify.hpp"

#include <algorithm>

namespace os {

SimNotifyArea::SimNotifyArea(PostFn post, SimDisplay* screen)
    : post_(std::move(post)), screen_(screen) {}

std::vector<NotifyIcon>::iterator SimNotifyArea::Lookup(std::uint32_t window, std::uint32_t id) {
    return std::find_if(icons_.begin(), icons_.end(),
                        [&](const NotifyIcon& i) { return i.window == window && i.id == id; });
}

const NotifyIcon* SimNotifyArea::Find(std::uint32_t window, std::uint32_t id) const {
    auto it = const_cast<SimNotifyArea*>(this)->Lookup(window, id);
    return it == icons_.end() ? nullptr : &*it;
}

bool SimNotifyArea::Add(const NotifyIcon& icon) {
    ++adds;
    if (!host_running_ || refuse_ || !icon.picture.Consistent()) return false;
    if (Lookup(icon.window, icon.id) != icons_.end()) return false;
    icons_.push_back(icon);
    icons_.back().tip = icon.tip.substr(0, kMaxNotifyTip);
    return true;
}

bool SimNotifyArea::Modify(const NotifyIcon& icon) {
    ++modifies;
    auto it = Lookup(icon.window, icon.id);
    if (it == icons_.end() || !icon.picture.Consistent()) return false;
    it->callback_message = icon.callback_message;
    it->picture = icon.picture;
    it->tip = icon.tip.substr(0, kMaxNotifyTip);
    return true;
}

bool SimNotifyArea::Delete(std::uint32_t window, std::uint32_t id) {
    ++deletes;
    auto it = Lookup(window, id);
    if (it == icons_.end()) return false;
    icons_.erase(it);
    return true;
}

std::vector<NotifyIcon> SimNotifyArea::Shown() const {
    return host_running_ ? icons_ : std::vector<NotifyIcon>{};
}

std::optional<Rect> SimNotifyArea::Bounds(std::uint32_t window, std::uint32_t id) const {
    const NotifyIcon* icon = Find(window, id);
    if (!host_running_ || !icon) return std::nullopt;
    const auto slot = static_cast<int>(icon - icons_.data());
    const Size screen = screen_ ? screen_->ScreenSize() : Size{1024, 768};
    const int right = screen.width - slot * kCell;
    return Rect{right - kCell, screen.height - kCell, right, screen.height};
}

bool SimNotifyArea::Report(std::uint32_t window, std::uint32_t id,
                           std::initializer_list<std::intptr_t> msgs) {
    const std::optional<Rect> at = Bounds(window, id);
    if (!at) return false;
    if (screen_) screen_->MovePointer(at->left + kCell / 2, at->top + kCell / 2);
    const std::uint32_t message = Find(window, id)->callback_message;
    for (std::intptr_t m : msgs)
        if (post_) post_(window, message, id, m);
    return true;
}

bool SimNotifyArea::Click(std::uint32_t window, std::uint32_t id, MouseButton button) {
    if (button == MouseButton::NoButton) return false;
    return Report(window, id,
                  {NotifyMouseMessage(button, NotifyAction::Down),
                   NotifyMouseMessage(button, NotifyAction::Up)});
}

bool SimNotifyArea::DoubleClick(std::uint32_t window, std::uint32_t id, MouseButton button) {
    if (button == MouseButton::NoButton) return false;
    const std::intptr_t up = NotifyMouseMessage(button, NotifyAction::Up);
    return Report(window, id,
                  {NotifyMouseMessage(button, NotifyAction::Down), up,
                   NotifyMouseMessage(button, NotifyAction::DoubleClick), up});
}

bool SimNotifyArea::Move(std::uint32_t window, std::uint32_t id) {
    return Report(window, id, {kNotifyMouseMove});
}

} // namespace os
