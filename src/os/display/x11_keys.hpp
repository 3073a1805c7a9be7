// Keys of the X keyboard as the platform's virtual-key codes.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>

namespace os::x11 {

// The virtual-key code of a key, from the keysym of its unshifted level, so that a letter
// gives its upper-case code whatever the case or modifiers. 0 for keys without one.
std::uint16_t VirtualKeyOf(KeySym unshifted);

} // namespace os::x11
