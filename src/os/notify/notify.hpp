// The notification area (system tray): icons added, changed and removed by the window that
// owns them and an id, each with a picture and a short tip. Mouse activity over an icon comes
// back as a posted message to the owning window: msg = the icon's callback message,
// wparam = the icon's id, lparam = the mouse message (WM_MOUSEMOVE, WM_LBUTTONDOWN, ...).
#pragma once

#include "os/display/display.hpp"

#include <cstdint>
#include <string>

namespace os {

// The most characters of a tip, as the notification record holds them.
inline constexpr std::size_t kMaxNotifyTip = 63;

struct NotifyIcon {
    std::uint32_t window = 0;           // the owner's window handle (framework handle)
    std::uint32_t id = 0;               // tells apart the icons of one window
    std::uint32_t callback_message = 0; // posted to `window` on mouse activity
    PixelBuffer picture;                // 0xAARRGGBB, alpha 0 is transparent
    std::string tip;                    // at most kMaxNotifyTip characters are shown
};

class NotifyArea {
public:
    virtual ~NotifyArea() = default;
    // False when there is no notification area to take the icon or it refuses it.
    virtual bool Add(const NotifyIcon& icon) = 0;
    // Changes the picture and tip of an icon added before; false when it is not shown.
    virtual bool Modify(const NotifyIcon& icon) = 0;
    virtual bool Delete(std::uint32_t window, std::uint32_t id) = 0;
};

} // namespace os
