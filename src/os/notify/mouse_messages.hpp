// The mouse messages that the notification area reports in lParam, the platform's numbers.
#pragma once

#include "os/display/display.hpp"

#include <cstdint>

namespace os {

enum class NotifyAction { Down, Up, DoubleClick };

inline constexpr std::intptr_t kNotifyMouseMove = 0x200; // WM_MOUSEMOVE

// WM_LBUTTONDOWN 0x201 ... WM_MBUTTONDBLCLK 0x209: three per button, in the order down, up,
// double click. 0 for no button.
constexpr std::intptr_t NotifyMouseMessage(MouseButton button, NotifyAction action) {
    std::intptr_t first = 0;
    switch (button) {
    case MouseButton::Left:
        first = 0x201;
        break;
    case MouseButton::Right:
        first = 0x204;
        break;
    case MouseButton::Middle:
        first = 0x207;
        break;
    case MouseButton::NoButton:
        return 0;
    }
    return first + static_cast<std::intptr_t>(action);
}

} // namespace os
