// Keys by their place: a keyboard's symbols per key code, group (layout) and shift level, in
// X's keysym numbering, which the simulated keyboard speaks too, and the one rule that turns
// a press into a virtual-key code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace os {

// The symbols of one key: by group, then by level; 0 where a level has none.
using KeyGroups = std::vector<std::vector<std::uint32_t>>;

// The virtual-key code of a press of `key` while `group` is selected; `chosen` is the symbol
// at the level that the state selects. The chosen symbol decides when it has a code; then
// the rest of the selected group and the first group stand in (Shift+7 gives '7', a French
// digit row gives its digits). When none of those has a code (a letter of another script
// whose layout list starts with another script, "ru,us"), the first Latin letter or digit
// of any group gives it, so the letter keys work by their place under any layout.
// 0 when nothing has a code.
std::uint16_t VirtualKeyOfKey(std::uint32_t chosen, std::size_t group, const KeyGroups& key);

} // namespace os
