// Arbitrary bytes for the PNG decoder used by screenshot comparisons: whatever decodes must
// encode and decode back to the same pixels.
#include "os/display/png.hpp"

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    os::PixelBuffer image;
    try {
        image = os::DecodePng(std::as_bytes(std::span(data, size)));
    } catch (const std::runtime_error&) {
        return 0;
    }
    const auto encoded = os::EncodePng(image);
    if (!(os::DecodePng(encoded) == image)) __builtin_trap();
    return 0;
}
