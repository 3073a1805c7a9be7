// Arbitrary bytes for the BMP and header-less bitmap readers. Whatever they accept must write
// and read back to the same image, and writing that again must give the same bytes.
#include "framework/graphics/bmp.hpp"

#include <cstddef>
#include <cstdint>
#include <span>

namespace {

void CheckRoundTrip(const fw::DibImage& image) {
    std::vector<std::byte> file = fw::WriteBmp(image);
    fw::DibImage back = fw::ReadBmp(file);
    if (!(back == image)) __builtin_trap();
    if (fw::WriteBmp(back) != file) __builtin_trap();
    std::vector<std::byte> dib = fw::WriteDib(image);
    if (!(fw::ReadDib(dib) == image)) __builtin_trap();
    // Every pixel's colour must come from the palette that was read.
    (void)image.ColorAt(0, 0);
    (void)image.ColorAt(image.width - 1, image.height - 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto bytes = std::as_bytes(std::span(data, size));
    try {
        CheckRoundTrip(fw::ReadBmp(bytes));
    } catch (const fw::EInvalidBitmap&) {
    }
    try {
        CheckRoundTrip(fw::ReadDib(bytes));
    } catch (const fw::EInvalidBitmap&) {
    }
    return 0;
}
