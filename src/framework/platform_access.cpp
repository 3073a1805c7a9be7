// The runtime's platform, the screen metrics, the pointer and the key state.
#include "framework/platform_access.hpp"

#include "framework/exceptions.hpp"

namespace fw {

namespace {
os::Platform* g_platform = nullptr;
} // namespace

void detail::SetPlatform(os::Platform* platform) {
    g_platform = platform;
}

std::optional<std::uint32_t>& detail::InputModifiers() {
    static std::optional<std::uint32_t> modifiers;
    return modifiers;
}

bool HasDisplay() {
    return g_platform != nullptr;
}
os::Display& GetDisplay() {
    return GetPlatform().GetDisplay();
}
os::Platform& GetPlatform() {
    if (!g_platform) throw EInvalidOperation("no platform: create a Runtime first");
    return *g_platform;
}

int GetSystemMetrics(int index) {
    const os::Size s = GetDisplay().ScreenSize();
    if (index == SM_CXSCREEN) return s.width;
    if (index == SM_CYSCREEN) return s.height;
    return 0;
}

bool GetCursorPos(TPoint* point) {
    if (!point || !HasDisplay()) return false;
    const os::Point p = GetDisplay().PointerPosition();
    *point = {p.x, p.y};
    return true;
}

std::int16_t GetKeyState(int virtual_key) {
    if (!HasDisplay()) return 0;
    const std::uint32_t m =
        detail::InputModifiers() ? *detail::InputModifiers() : GetDisplay().ModifierState();
    std::uint32_t bit = 0;
    switch (virtual_key) {
    case VK_SHIFT:
        bit = os::Modifiers::kShift;
        break;
    case VK_CONTROL:
        bit = os::Modifiers::kCtrl;
        break;
    case VK_MENU:
        bit = os::Modifiers::kAlt;
        break;
    case VK_LBUTTON:
        bit = os::Modifiers::kLeftButton;
        break;
    case VK_RBUTTON:
        bit = os::Modifiers::kRightButton;
        break;
    case VK_MBUTTON:
        bit = os::Modifiers::kMiddleButton;
        break;
    }
    return (m & bit) ? static_cast<std::int16_t>(-128) : 0;
}

} // namespace fw
