// The keysym to virtual-key table, and the choice among a key's keysyms.
#include "os/display/x11_keys.hpp"

#include "os/display/display.hpp"

#include <X11/keysym.h>

namespace os::x11 {

std::uint16_t VirtualKeyOfSym(KeySym k) {
    if (k >= XK_a && k <= XK_z) return static_cast<std::uint16_t>('A' + (k - XK_a));
    if (k >= XK_A && k <= XK_Z) return static_cast<std::uint16_t>(k);
    if (k >= XK_0 && k <= XK_9) return static_cast<std::uint16_t>(k);
    if (k >= XK_F1 && k <= XK_F24) return static_cast<std::uint16_t>(112 + (k - XK_F1));
    if (k >= XK_KP_0 && k <= XK_KP_9) return static_cast<std::uint16_t>(96 + (k - XK_KP_0));
    switch (k) {
    case XK_BackSpace:
        return 8;
    case XK_Tab:
    case XK_ISO_Left_Tab:
        return 9;
    case XK_Return:
    case XK_KP_Enter:
        return VirtualKey::kReturn;
    case XK_Shift_L:
    case XK_Shift_R:
        return VirtualKey::kShift;
    case XK_Control_L:
    case XK_Control_R:
        return VirtualKey::kControl;
    case XK_Alt_L:
    case XK_Alt_R:
    case XK_Meta_L:
    case XK_Meta_R:
        return VirtualKey::kMenu;
    case XK_Pause:
        return 19;
    case XK_Caps_Lock:
        return 20;
    case XK_Escape:
        return VirtualKey::kEscape;
    case XK_space:
        return VirtualKey::kSpace;
    case XK_Prior:
        return 33;
    case XK_Next:
        return 34;
    case XK_End:
        return 35;
    case XK_Home:
        return 36;
    case XK_Left:
        return 37;
    case XK_Up:
        return 38;
    case XK_Right:
        return 39;
    case XK_Down:
        return 40;
    case XK_Insert:
        return 45;
    case XK_Delete:
        return 46;
    case XK_KP_Begin:
        return 12;
    case XK_KP_Prior:
        return 33;
    case XK_KP_Next:
        return 34;
    case XK_KP_End:
        return 35;
    case XK_KP_Home:
        return 36;
    case XK_KP_Left:
        return 37;
    case XK_KP_Up:
        return 38;
    case XK_KP_Right:
        return 39;
    case XK_KP_Down:
        return 40;
    case XK_KP_Insert:
        return 45;
    case XK_KP_Delete:
        return 46;
    case XK_KP_Space:
        return VirtualKey::kSpace;
    case XK_KP_Tab:
        return 9;
    case XK_KP_Separator:
        return 108;
    case XK_KP_Multiply:
        return 106;
    case XK_KP_Add:
        return 107;
    case XK_KP_Subtract:
        return 109;
    case XK_KP_Decimal:
        return 110;
    case XK_KP_Divide:
        return 111;
    case XK_Num_Lock:
        return 144;
    case XK_Scroll_Lock:
        return 145;
    case XK_semicolon:
        return 186;
    case XK_equal:
    case XK_plus:
        return 187;
    case XK_comma:
        return 188;
    case XK_minus:
        return 189;
    case XK_period:
        return 190;
    case XK_slash:
        return 191;
    case XK_grave:
        return 192;
    case XK_bracketleft:
        return 219;
    case XK_backslash:
        return 220;
    case XK_bracketright:
        return 221;
    case XK_apostrophe:
        return 222;
    default:
        return 0;
    }
}

std::uint16_t VirtualKeyOf(KeySym chosen, std::span<const KeySym> others) {
    if (const std::uint16_t vk = VirtualKeyOfSym(chosen)) return vk;
    for (const KeySym k : others)
        if (const std::uint16_t vk = VirtualKeyOfSym(k)) return vk;
    return 0;
}

MouseButton MouseButtonOf(unsigned button) {
    switch (button) {
    case Button1:
        return MouseButton::Left;
    case Button2:
        return MouseButton::Middle;
    case Button3:
        return MouseButton::Right;
    default:
        return MouseButton::NoButton;
    }
}

} // namespace os::x11
