// The choice among a key's symbols: the selected level, its group, the first group, then the
// Latin letters and digits of every group.
#include "os/display/keyboard.hpp"

#include "os/display/x11_keys.hpp"

#include <X11/keysym.h>

namespace os {

namespace {

bool LatinLetterOrDigit(std::uint32_t k) {
    return (k >= XK_a && k <= XK_z) || (k >= XK_A && k <= XK_Z) || (k >= XK_0 && k <= XK_9);
}

} // namespace

std::uint16_t VirtualKeyOfKey(std::uint32_t chosen, std::size_t group, const KeyGroups& key) {
    std::vector<KeySym> others;
    const auto add = [&](std::size_t g) {
        if (g >= key.size()) return;
        for (const std::uint32_t k : key[g])
            if (k != NoSymbol && k != chosen) others.push_back(k);
    };
    add(group);
    if (group != 0) add(0);
    if (const std::uint16_t vk = x11::VirtualKeyOf(chosen, others)) return vk;
    for (const auto& levels : key)
        for (const std::uint32_t k : levels)
            if (LatinLetterOrDigit(k)) return x11::VirtualKeyOfSym(k);
    return 0;
}

} // namespace os
