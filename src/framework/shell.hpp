// The shell's calls: the notification area (Shell_NotifyIcon with the first, 88-byte form
// of its record) and the program's icon resources (LoadIcon).
#pragma once

#include "framework/graphics/icon.hpp"
#include "framework/messages.hpp"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace os {
struct NotifyIcon;
}

namespace fw {

// The framework's icons are their own handles.
using HICON = const TIcon*;

inline constexpr UINT NIM_ADD = 0;
inline constexpr UINT NIM_MODIFY = 1;
inline constexpr UINT NIM_DELETE = 2;
inline constexpr UINT NIF_MESSAGE = 1;
inline constexpr UINT NIF_ICON = 2;
inline constexpr UINT NIF_TIP = 4;

// The record of the notification area's first form. The icon is known by (hWnd, uID).
struct NOTIFYICONDATA {
    std::uint32_t cbSize = 0; // 88
    HWND hWnd = 0;
    UINT uID = 0;
    UINT uFlags = 0;
    UINT uCallbackMessage = 0;
    HICON hIcon = nullptr;
    char szTip[64] = {}; // zero-terminated
};
inline constexpr std::uint32_t kNotifyIconDataSize = 88;

// Adds, changes or deletes an icon of the notification area; false when the area refused
// or there is none (no platform, no tray host, an icon without image). Mouse activity over
// the icon comes back as uCallbackMessage posted to hWnd, lParam the mouse message.
bool Shell_NotifyIcon(UINT message, const NOTIFYICONDATA& data);

// What the notification area is handed for a record: the icon's image nearest to 16 x 16
// as 0xAARRGGBB, and the tip up to its zero byte.
os::NotifyIcon NotifyIconOf(const NOTIFYICONDATA& data);

// Icon resources: icon files compiled into the program under a name.
using HINSTANCE = std::uintptr_t;
inline constexpr HINSTANCE HInstance = 0;
void RegisterIconResource(std::string_view name, std::span<const std::byte> ico_file);
// Loads the resource into the icon; EResNotFound when there is none of that name.
void LoadIcon(HINSTANCE module, std::string_view name, TIcon& icon);

class EResNotFound : public Exception {
public:
    using Exception::Exception;
};

} // namespace fw
