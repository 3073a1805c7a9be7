// Keys and pointer buttons of X as the platform's virtual-key codes and mouse buttons.
#pragma once

#include "os/display/display.hpp"

#include <X11/Xlib.h>

#include <cstdint>
#include <span>

namespace os::x11 {

// The virtual-key code of one keysym; letters of either case give their upper-case code.
// 0 for keysyms without one.
std::uint16_t VirtualKeyOfSym(KeySym k);

// The virtual-key code of a key. `chosen` is the keysym at the level and group that the
// event's state selects, so the keypad gives digits with NumLock and its moves without.
// When that has no code (a shifted symbol, a letter of another script), the key's other
// keysyms are tried in order: `others` holds the rest of the selected group, then the
// first group. So Shift+7 still gives '7', and a digit row that puts the digits on its
// second level (French) gives them too. 0 when none has a code.
std::uint16_t VirtualKeyOf(KeySym chosen, std::span<const KeySym> others);

// The mouse button of an X pointer button; the wheel and side buttons have none.
MouseButton MouseButtonOf(unsigned button);

} // namespace os::x11
