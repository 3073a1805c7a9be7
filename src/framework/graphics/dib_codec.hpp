// The parts of a device-independent bitmap shared by the BMP and icon codecs: the info
// header, the palette and the rows of pixels with their 4-byte padding.
#pragma once

#include "framework/graphics/bmp.hpp"
#include "framework/graphics/byte_reader.hpp"

#include <optional>

namespace fw::dib {

inline constexpr std::uint32_t kInfoHeaderSize = 40;
inline constexpr std::uint32_t BI_RGB = 0;
inline constexpr std::uint32_t BI_BITFIELDS = 3;

struct InfoHeader {
    std::uint32_t header_size = 0;
    std::int32_t width = 0;
    std::int32_t height = 0; // rows of the image, always positive (halved for icons)
    bool top_down = false;
    std::uint16_t bits_per_pixel = 0;
    std::uint32_t compression = BI_RGB;
    std::uint32_t palette_entries = 0; // entries stored after the header (and masks)
    std::int32_t x_pels_per_meter = 0;
    std::int32_t y_pels_per_meter = 0;
};

// Reads the info header at the reader's position and any colour masks after it; leaves the
// reader at the palette. An icon's header holds twice the image height (colour rows, then
// mask rows), is never top-down and never compressed.
InfoHeader ReadInfoHeader(ByteReader& in, bool icon);
// Reads the palette and the colour rows into a new image. The rows follow the palette, or
// start at `rows_at` when a file header says where they are.
DibImage ReadImage(ByteReader& in, const InfoHeader& header,
                   std::optional<std::size_t> rows_at = std::nullopt);

// The bytes ReadImage allocates for this header: the palette, and an index or a pixel for
// every pixel.
std::uint64_t DecodedBytes(const InfoHeader& header);

// Bytes per row of `width` pixels of `bits` each, padded to four bytes.
std::uint64_t RowStride(std::int64_t width, unsigned bits);
std::uint64_t PixelBytes(const DibImage& image);

// Throws through `errors` unless the image can be written.
void Validate(const DibImage& image, const ErrorContext& errors);
// The 40-byte header with `height_field` rows (doubled for icons) and `image_size` bytes.
void WriteInfoHeader(ByteWriter& out, const DibImage& image, std::int32_t height_field,
                     std::uint32_t image_size);
void WritePalette(ByteWriter& out, const DibImage& image);
// Colour rows, bottom row first.
void WritePixels(ByteWriter& out, const DibImage& image);

} // namespace fw::dib
