// The platform the framework runs on, which the runtime sets for its lifetime, and what the
// window calls read of it: the screen's size, the pointer and the key state.
#pragma once

#include "framework/graphics/geometry.hpp"
#include "os/platform.hpp"

#include <cstdint>
#include <optional>

namespace fw {

// True while a runtime exists.
bool HasDisplay();
os::Display& GetDisplay();
// Throws EInvalidOperation while no runtime exists.
os::Platform& GetPlatform();

inline constexpr int SM_CXSCREEN = 0;
inline constexpr int SM_CYSCREEN = 1;
int GetSystemMetrics(int index);
bool GetCursorPos(TPoint* point);
// Negative while the key is down (Shift 16, Ctrl 17, Alt 18, and mouse buttons 1, 2, 4).
std::int16_t GetKeyState(int virtual_key);
inline constexpr int VK_LBUTTON = 1;
inline constexpr int VK_RBUTTON = 2;
inline constexpr int VK_MBUTTON = 4;
inline constexpr int VK_RETURN = 13;
inline constexpr int VK_SHIFT = 16;
inline constexpr int VK_CONTROL = 17;
inline constexpr int VK_MENU = 18;
inline constexpr int VK_ESCAPE = 27;
inline constexpr int VK_SPACE = 32;

namespace detail {
// For the runtime: its platform, or nullptr as it ends.
void SetPlatform(os::Platform* platform);
// The keys and buttons held when the input being handled happened: what GetKeyState
// answers while it is handled, as the platform keeps key state in step with its queue.
std::optional<std::uint32_t>& InputModifiers();
} // namespace detail

} // namespace fw
