// Arbitrary bytes for the icon file reader. Whatever it accepts must write and read back to
// the same images and masks, and writing that again must give the same bytes.
#include "framework/graphics/ico.hpp"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fw::IconFile icon;
    try {
        icon = fw::ReadIcon(std::as_bytes(std::span(data, size)));
    } catch (const fw::EInvalidIcon&) {
        return 0;
    }
    // Hundreds of entries may share one image; the first few are enough to check the writer,
    // and keep a run short.
    if (icon.images.size() > 8) icon.images.resize(8);
    std::vector<std::byte> file = fw::WriteIcon(icon);
    fw::IconFile back = fw::ReadIcon(file);
    if (!(back == icon)) __builtin_trap();
    if (fw::WriteIcon(back) != file) __builtin_trap();
    return 0;
}
