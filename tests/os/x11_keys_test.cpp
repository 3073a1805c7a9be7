// Which virtual key an X key press gives, from the keysym that the event's state selects and
// the key's other keysyms: the keypad with and without NumLock, shifted symbols, a layout
// with its digits on the second level, a layout of another script.
#include <gtest/gtest.h>

#include "os/display/x11_keys.hpp"

#include <X11/keysym.h>

#include <vector>

namespace {

using os::x11::VirtualKeyOf;

struct Press {
    KeySym chosen;
    std::vector<KeySym> others;
};

std::uint16_t Key(const Press& p) {
    return VirtualKeyOf(p.chosen, p.others);
}

} // namespace

TEST(X11Keys, TheSelectedLevelDecidesAndTheKeysOtherLevelsStandIn) {
    // Keypad 7: NumLock on selects KP_7 (numpad 7), off selects KP_Home (Home).
    EXPECT_EQ(Key({XK_KP_7, {XK_KP_Home}}), 103);
    EXPECT_EQ(Key({XK_KP_Home, {XK_KP_7}}), 36);
    EXPECT_EQ(Key({XK_KP_Decimal, {XK_KP_Delete}}), 110);
    EXPECT_EQ(Key({XK_KP_Delete, {XK_KP_Decimal}}), 46);
    EXPECT_EQ(Key({XK_KP_Begin, {XK_KP_5}}), 12);
    EXPECT_EQ(Key({XK_KP_Enter, {}}), 13);

    // US: Shift+7 selects the ampersand, which has no key code of its own.
    EXPECT_EQ(Key({XK_ampersand, {XK_7}}), '7');
    EXPECT_EQ(Key({XK_colon, {XK_semicolon}}), 186);
    EXPECT_EQ(Key({XK_M, {XK_m}}), 'M');

    // French: the digit row has symbols on its first level and the digits on its second.
    EXPECT_EQ(Key({XK_ampersand, {XK_1}}), '1');
    EXPECT_EQ(Key({XK_eacute, {XK_2, XK_asciitilde}}), '2');
    EXPECT_EQ(Key({XK_3, {XK_quotedbl, XK_numbersign}}), '3');
    EXPECT_EQ(Key({XK_a, {XK_A}}), 'A');

    // Russian as the second layout: its letters fall back to the first layout's.
    EXPECT_EQ(Key({XK_Cyrillic_ef, {XK_Cyrillic_EF, XK_a, XK_A}}), 'A');

    // Nothing on any level has a code.
    EXPECT_EQ(Key({XK_dead_circumflex, {XK_dead_diaeresis}}), 0);
    EXPECT_EQ(Key({NoSymbol, {}}), 0);
}
