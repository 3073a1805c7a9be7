// The small value types shared by every display back end.
#include "os/display/display.hpp"

#include <algorithm>
#include <stdexcept>

namespace os {

Rect Rect::Intersect(const Rect& o) const {
    Rect r{std::max(left, o.left), std::max(top, o.top), std::min(right, o.right),
           std::min(bottom, o.bottom)};
    if (r.Empty()) return {};
    return r;
}

PixelBuffer::PixelBuffer(int w, int h, std::uint32_t fill) : width(w), height(h) {
    if (w < 0 || h < 0)
        throw std::invalid_argument("pixel buffer: negative size " + std::to_string(w) + "x" +
                                    std::to_string(h));
    pixels.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), fill);
}

bool PixelBuffer::Consistent() const {
    return width >= 0 && height >= 0 && scale >= 1 &&
           pixels.size() == static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

bool IconPixels::Consistent() const {
    return width >= 0 && height >= 0 && width <= kMaxDimension && height <= kMaxDimension &&
           argb.size() == static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
}

void Display::SetIcons(WindowId w, const std::vector<IconPixels>& icons) {
    SetIcon(w, icons.empty() ? IconPixels{} : icons.front());
}

void CheckIcon(const IconPixels& icon) {
    if (!icon.Consistent())
        throw std::invalid_argument("display: icon " + std::to_string(icon.width) + "x" +
                                    std::to_string(icon.height) + " holds " +
                                    std::to_string(icon.argb.size()) + " pixels");
}

std::uint32_t ButtonModifier(MouseButton b) {
    switch (b) {
    case MouseButton::Left:
        return Modifiers::kLeftButton;
    case MouseButton::Middle:
        return Modifiers::kMiddleButton;
    case MouseButton::Right:
        return Modifiers::kRightButton;
    case MouseButton::NoButton:
        break;
    }
    return 0;
}

std::uint32_t KeyModifier(std::uint16_t vk) {
    switch (vk) {
    case VirtualKey::kShift:
        return Modifiers::kShift;
    case VirtualKey::kControl:
        return Modifiers::kCtrl;
    case VirtualKey::kMenu:
        return Modifiers::kAlt;
    default:
        return 0;
    }
}

[[gnu::hot]] bool Display::NextEvent(DisplayEvent& event) {
    if (TakeReceived(event)) return true;
    if (gated_ && !readable_) return false;
    readable_ = false;
    ReadConnection();
    return TakeReceived(event);
}

} // namespace os
