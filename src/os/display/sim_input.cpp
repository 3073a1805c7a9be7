// The simulated display's input: pointer motion, buttons and keys injected by a test, routed
// as a desktop routes them (window under the point, capture, the grab of a held button, the
// move loop), with double clicks synthesised from time and distance.
#include "os/display/sim_display.hpp"

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace os {

namespace {} // namespace

WindowId SimDisplay::PointerTarget() const {
    if (WindowId held = PointerGrabWindow()) return held;
    return WindowAt(pointer_);
}

void SimDisplay::UpdateHover() {
    if (capture_ || grab_ || move_) return;
    const WindowId under = WindowAt(pointer_);
    if (under == hover_) return;
    if (hover_) Post(EventKind::PointerLeave, hover_);
    hover_ = under;
}

void SimDisplay::MovePointer(int x, int y) {
    const Point to{std::clamp(x, 0, screen_.width - 1), std::clamp(y, 0, screen_.height - 1)};
    if (to == pointer_) return;
    pointer_ = to;
    if (move_) {
        // The move loop has the pointer: the window follows, and nobody sees the motion.
        if (SimWindow* win = Find(move_->window))
            win->bounds = move_->start_bounds.Offset(to.x - move_->start_pointer.x,
                                                     to.y - move_->start_pointer.y);
        return;
    }
    UpdateHover();
    if (WindowId target = PointerTarget()) Post(EventKind::PointerMove, target);
}

void SimDisplay::Press(MouseButton button) {
    const std::uint32_t bit = ButtonModifier(button);
    if (!bit) throw std::invalid_argument("display: press of no button");
    if (buttons_ & bit) return;
    buttons_ |= bit;
    if (move_) return;

    const bool fresh = !PointerGrabWindow();
    const WindowId target = PointerTarget();
    if (!target) {
        // A press on the desktop takes the focus away from our windows.
        last_press_.reset();
        SetFocus(kNoWindow);
        return;
    }
    if (fresh) {
        grab_ = target;
        if (active_ != target) {
            RaiseToTop(target);
            SetFocus(target);
        }
    }

    const SimWindow& win = windows_.at(target);
    const TimePoint now = clock_.Monotonic();
    const bool double_click = win.wants_double_clicks && last_press_ &&
                              last_press_->window == target && last_press_->button == button &&
                              now - last_press_->time <= kDoubleClickTime &&
                              std::abs(pointer_.x - last_press_->at.x) <= kDoubleClickDistance &&
                              std::abs(pointer_.y - last_press_->at.y) <= kDoubleClickDistance;
    // The press that completes a double click does not start the next one.
    if (double_click)
        last_press_.reset();
    else
        last_press_ = LastPress{target, button, pointer_, now};

    if (DisplayEvent* e = Post(EventKind::ButtonDown, target)) {
        e->button = button;
        e->double_click = double_click;
    }
}

void SimDisplay::Release(MouseButton button) {
    const std::uint32_t bit = ButtonModifier(button);
    if (!bit) throw std::invalid_argument("display: release of no button");
    if (!(buttons_ & bit)) return;
    buttons_ &= ~bit;
    if (move_) {
        // The move loop swallows the release that ends it.
        EndMove();
        return;
    }
    if (WindowId target = PointerTarget()) {
        if (DisplayEvent* e = Post(EventKind::ButtonUp, target)) e->button = button;
    }
    if (!(buttons_ & Modifiers::kButtons)) grab_ = kNoWindow;
    UpdateHover();
}

void SimDisplay::Click(int x, int y, MouseButton button) {
    MovePointer(x, y);
    Press(button);
    Release(button);
}

void SimDisplay::KeyDown(std::uint16_t vk, std::optional<std::uint32_t> modifiers) {
    keys_ = (modifiers.value_or(keys_) & Modifiers::kKeys) | KeyModifier(vk);
    if (DisplayEvent* e = Post(EventKind::KeyDown, active_)) e->key = vk;
}

void SimDisplay::KeyUp(std::uint16_t vk, std::optional<std::uint32_t> modifiers) {
    keys_ = modifiers.value_or(keys_) & Modifiers::kKeys & ~KeyModifier(vk);
    if (DisplayEvent* e = Post(EventKind::KeyUp, active_)) e->key = vk;
}

void SimDisplay::TypeKey(unsigned keycode) {
    const auto key = keyboard_.find(keycode);
    if (key == keyboard_.end() || key->second.empty()) return;
    // A group past the key's own wraps round, as XKB does by default.
    const std::size_t group = group_ % key->second.size();
    const std::vector<std::uint32_t>& levels = key->second[group];
    const std::uint32_t chosen = levels.empty() ? 0 : levels[0];
    const std::uint16_t vk = VirtualKeyOfKey(chosen, group, key->second);
    if (!vk) return;
    KeyDown(vk);
    KeyUp(vk);
}

void SimDisplay::RequestClose(WindowId w) {
    Post(EventKind::CloseRequest, w);
}

void SimDisplay::SetCapture(WindowId w) {
    if (Find(w)) capture_ = w;
}

void SimDisplay::ReleaseCapture() {
    capture_ = kNoWindow;
    grab_ = kNoWindow;
    UpdateHover();
}

void SimDisplay::StartMove(WindowId w) {
    const SimWindow* win = Find(w);
    if (!win) return;
    capture_ = kNoWindow;
    grab_ = kNoWindow;
    if (!(buttons_ & Modifiers::kButtons)) {
        Post(EventKind::MoveEnded, w);
        return;
    }
    move_ = Move{w, pointer_, win->bounds};
}

void SimDisplay::EndMove() {
    const WindowId w = move_->window;
    move_.reset();
    Post(EventKind::MoveEnded, w);
    UpdateHover();
}

} // namespace os
