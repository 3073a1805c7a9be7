// Device-independent bitmaps in memory and their BMP file form. The reader takes 1, 4, 8,
// 24 and 32 bits per pixel (uncompressed; 32 bits also with the standard bit-field masks),
// bottom-up or top-down, with the 40-byte info header or the larger V4/V5 ones. The writer
// writes every one of those depths bottom-up with a 40-byte header, so that writing what was
// read and reading it back gives the same image, and writing that again the same bytes.
#pragma once

#include "framework/graphics/graphics_error.hpp"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace fw {

inline constexpr std::int32_t kMaxImageDimension = 16384;
inline constexpr std::uint64_t kMaxImagePixels = std::uint64_t{1} << 26;

struct DibImage {
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::uint16_t bits_per_pixel = 24; // 1, 4, 8, 24 or 32
    // Paletted images (1, 4, 8 bits): 1 to 2^bits entries, 0x00RRGGBB, and one index per
    // pixel, top row first.
    std::vector<std::uint32_t> palette;
    std::vector<std::uint8_t> indices;
    // True-colour images (24, 32 bits): one pixel each, top row first, 0x00RRGGBB; a 32-bit
    // image keeps its fourth byte (alpha in icons) in the high byte.
    std::vector<std::uint32_t> pixels;
    // Resolution as stored; 0 when unknown.
    std::int32_t x_pels_per_meter = 0;
    std::int32_t y_pels_per_meter = 0;

    // A blank image: indices 0 with the given palette, or black pixels.
    static DibImage Paletted(std::int32_t width, std::int32_t height, std::uint16_t bits,
                             std::vector<std::uint32_t> palette);
    static DibImage TrueColor(std::int32_t width, std::int32_t height, std::uint16_t bits);

    bool IsPaletted() const { return bits_per_pixel <= 8; }
    // The 0x00RRGGBB colour shown at (x, y), which must lie inside the image.
    std::uint32_t ColorAt(std::int32_t x, std::int32_t y) const;

    bool operator==(const DibImage&) const = default;
};

// A BMP file. Throws EInvalidBitmap naming the first field that is wrong.
DibImage ReadBmp(std::span<const std::byte> file);
// Throws EInvalidBitmap when the image is inconsistent (sizes, palette, indices).
std::vector<std::byte> WriteBmp(const DibImage& image);

// The same without the 14-byte file header: info header, palette, pixels right after.
DibImage ReadDib(std::span<const std::byte> data);
std::vector<std::byte> WriteDib(const DibImage& image);

} // namespace fw
