// Reading and writing the info header, palette and pixel rows of a device-independent
// bitmap, for BMP files and for the images inside icon files.
#include "framework/graphics/dib_codec.hpp"

#include <string>

namespace fw::dib {

namespace {

using std::to_string;

bool ValidDepth(unsigned bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 24 || bits == 32;
}

void CheckMasks(const ErrorContext& errors, std::uint32_t red, std::uint32_t green,
                std::uint32_t blue) {
    // Only the layout of plain 32-bit pixels; any other packing would need shifting and
    // scaling that no bitmap of ours uses.
    if (red != 0x00FF0000 || green != 0x0000FF00 || blue != 0x000000FF)
        errors.Fail("bit-field masks red " + Hex(red) + ", green " + Hex(green) + ", blue " +
                    Hex(blue) + " are not supported (only 0xFF0000, 0xFF00, 0xFF)");
}

void CheckCompression(ByteReader& in, std::uint32_t compression, unsigned bits, bool icon) {
    if (compression == BI_RGB) return;
    if (icon)
        in.Fail("compression " + to_string(compression) +
                " in an icon bitmap, expected 0 (uncompressed)");
    switch (compression) {
    case BI_BITFIELDS:
        if (bits != 32)
            in.Fail("bit-field compression with " + to_string(bits) +
                    " bits per pixel is not supported (only 32)");
        return;
    case 1:
    case 2:
        in.Fail("run-length compression (" + to_string(compression) + ") is not supported");
    case 4:
        in.Fail("JPEG compression is not supported");
    case 5:
        in.Fail("PNG compression is not supported");
    default:
        in.Fail("compression " + to_string(compression) + " is unknown");
    }
}

} // namespace

std::uint64_t RowStride(std::int64_t width, unsigned bits) {
    return (static_cast<std::uint64_t>(width) * bits + 31) / 32 * 4;
}

std::uint64_t PixelBytes(const DibImage& image) {
    return RowStride(image.width, image.bits_per_pixel) * static_cast<std::uint64_t>(image.height);
}

std::uint64_t DecodedBytes(const InfoHeader& h) {
    const auto count = static_cast<std::uint64_t>(h.width) * static_cast<std::uint64_t>(h.height);
    if (h.bits_per_pixel <= 8)
        return std::uint64_t{h.palette_entries} * sizeof(std::uint32_t) +
               count * sizeof(std::uint8_t);
    return count * sizeof(std::uint32_t);
}

InfoHeader ReadInfoHeader(ByteReader& in, bool icon) {
    InfoHeader h;
    std::size_t start = in.Position();
    h.header_size = in.U32("info header size");
    if (h.header_size == 12) in.Fail("the OS/2 core header (12 bytes) is not supported");
    if (h.header_size != 40 && h.header_size != 52 && h.header_size != 56 && h.header_size != 108 &&
        h.header_size != 124)
        in.Fail("info header size " + to_string(h.header_size) +
                " is not one of 40, 52, 56, 108, 124");
    in.Require(h.header_size - 4, "info header");
    h.width = in.I32("width");
    std::int32_t height_field = in.I32("height");
    std::uint16_t planes = in.U16("planes");
    h.bits_per_pixel = in.U16("bits per pixel");
    h.compression = in.U32("compression");
    in.U32("image size"); // a hint, often 0; the size follows from width, height and depth
    h.x_pels_per_meter = in.I32("horizontal resolution");
    h.y_pels_per_meter = in.I32("vertical resolution");
    std::uint32_t colors_used = in.U32("colours used");
    in.U32("important colours"); // a display hint only

    if (h.width < 1 || h.width > kMaxImageDimension)
        in.Fail("width " + to_string(h.width) + " out of range 1.." +
                to_string(kMaxImageDimension));
    if (icon) {
        if (height_field <= 0 || height_field % 2 != 0 || height_field / 2 > kMaxImageDimension)
            in.Fail("height " + to_string(height_field) + " is not twice an image height of 1.." +
                    to_string(kMaxImageDimension));
        h.height = height_field / 2;
    } else {
        if (height_field == 0 || height_field < -kMaxImageDimension ||
            height_field > kMaxImageDimension)
            in.Fail("height " + to_string(height_field) + " out of range 1.." +
                    to_string(kMaxImageDimension) + " (negative for top-down)");
        h.top_down = height_field < 0;
        h.height = h.top_down ? -height_field : height_field;
    }
    std::uint64_t pixels =
        static_cast<std::uint64_t>(h.width) * static_cast<std::uint64_t>(h.height);
    if (pixels > kMaxImagePixels)
        in.Fail(to_string(h.width) + " x " + to_string(h.height) + " pixels exceed the limit of " +
                to_string(kMaxImagePixels));
    if (planes != 1) in.Fail("planes " + to_string(planes) + ", expected 1");
    if (h.bits_per_pixel == 16) in.Fail("16 bits per pixel are not supported");
    if (!ValidDepth(h.bits_per_pixel))
        in.Fail("bits per pixel " + to_string(h.bits_per_pixel) + " is not one of 1, 4, 8, 24, 32");
    CheckCompression(in, h.compression, h.bits_per_pixel, icon);

    if (h.compression == BI_BITFIELDS) {
        // Byte 40 on: inside the larger headers, right after the 40-byte one.
        in.Seek(start + 40, "colour masks");
        std::uint32_t red = in.U32("red mask");
        std::uint32_t green = in.U32("green mask");
        std::uint32_t blue = in.U32("blue mask");
        CheckMasks(in.Errors(), red, green, blue);
    }
    if (h.header_size != kInfoHeaderSize || h.compression != BI_BITFIELDS)
        in.Seek(start + h.header_size, "palette");

    if (h.bits_per_pixel <= 8) {
        std::uint32_t full = 1u << h.bits_per_pixel;
        if (colors_used > full)
            in.Fail(to_string(colors_used) + " palette entries for " + to_string(h.bits_per_pixel) +
                    " bits per pixel (at most " + to_string(full) + ")");
        h.palette_entries = colors_used == 0 ? full : colors_used;
    } else {
        h.palette_entries = colors_used; // an optional table for palettised displays
    }
    return h;
}

DibImage ReadImage(ByteReader& in, const InfoHeader& h, std::optional<std::size_t> rows_at) {
    DibImage image;
    image.width = h.width;
    image.height = h.height;
    image.bits_per_pixel = h.bits_per_pixel;
    image.x_pels_per_meter = h.x_pels_per_meter;
    image.y_pels_per_meter = h.y_pels_per_meter;

    in.Require(std::uint64_t{h.palette_entries} * 4, "palette");
    if (image.IsPaletted()) {
        image.palette.reserve(h.palette_entries);
        for (std::uint32_t i = 0; i < h.palette_entries; ++i) {
            auto entry = in.Bytes(4, "palette");
            image.palette.push_back(static_cast<std::uint32_t>(entry[2]) << 16 |
                                    static_cast<std::uint32_t>(entry[1]) << 8 |
                                    static_cast<std::uint32_t>(entry[0]));
        }
    } else {
        in.Skip(std::size_t{h.palette_entries} * 4, "colour table");
    }

    if (rows_at) in.Seek(*rows_at, "pixel data");
    const std::size_t stride = RowStride(h.width, h.bits_per_pixel);
    auto rows = in.Bytes(stride * static_cast<std::size_t>(h.height), "pixel data");
    const auto w = static_cast<std::size_t>(h.width);
    const auto count = w * static_cast<std::size_t>(h.height);
    const unsigned bits = h.bits_per_pixel;
    if (image.IsPaletted())
        image.indices.resize(count);
    else
        image.pixels.resize(count);

    for (std::size_t r = 0; r < static_cast<std::size_t>(h.height); ++r) {
        std::size_t y = h.top_down ? r : static_cast<std::size_t>(h.height) - 1 - r;
        const std::byte* row = rows.data() + r * stride;
        for (std::size_t x = 0; x < w; ++x) {
            auto byte = [&](std::size_t i) { return static_cast<std::uint32_t>(row[i]); };
            if (bits <= 8) {
                std::size_t bit = x * bits;
                unsigned shift = 8 - bits - static_cast<unsigned>(bit % 8);
                auto index = static_cast<std::uint8_t>(byte(bit / 8) >> shift & ((1u << bits) - 1));
                if (index >= image.palette.size())
                    in.Fail("pixel (" + to_string(x) + ", " + to_string(y) + ") has colour index " +
                            to_string(index) + ", but the palette has " +
                            to_string(image.palette.size()) + " entries");
                image.indices[y * w + x] = index;
            } else {
                std::size_t i = x * (bits / 8);
                std::uint32_t alpha = bits == 32 ? byte(i + 3) << 24 : 0;
                image.pixels[y * w + x] = alpha | byte(i + 2) << 16 | byte(i + 1) << 8 | byte(i);
            }
        }
    }
    return image;
}

void Validate(const DibImage& image, const ErrorContext& errors) {
    const unsigned bits = image.bits_per_pixel;
    if (!ValidDepth(bits))
        errors.Fail("bits per pixel " + to_string(bits) + " is not one of 1, 4, 8, 24, 32");
    if (image.width < 1 || image.width > kMaxImageDimension || image.height < 1 ||
        image.height > kMaxImageDimension)
        errors.Fail("size " + to_string(image.width) + " x " + to_string(image.height) +
                    " out of range 1.." + to_string(kMaxImageDimension));
    const auto count =
        static_cast<std::uint64_t>(image.width) * static_cast<std::uint64_t>(image.height);
    if (count > kMaxImagePixels)
        errors.Fail(to_string(count) + " pixels exceed the limit of " + to_string(kMaxImagePixels));
    if (image.IsPaletted()) {
        if (image.palette.empty() || image.palette.size() > (1u << bits))
            errors.Fail(to_string(image.palette.size()) + " palette entries for " +
                        to_string(bits) + " bits per pixel");
        if (image.indices.size() != count || !image.pixels.empty())
            errors.Fail(to_string(image.indices.size()) + " indices for " + to_string(count) +
                        " pixels of a paletted image");
        for (std::size_t i = 0; i < image.indices.size(); ++i)
            if (image.indices[i] >= image.palette.size())
                errors.Fail("index " + to_string(image.indices[i]) + " at pixel " + to_string(i) +
                            " beyond the palette of " + to_string(image.palette.size()));
    } else {
        if (image.pixels.size() != count || !image.indices.empty() || !image.palette.empty())
            errors.Fail(to_string(image.pixels.size()) + " pixels for a " + to_string(bits) +
                        "-bit image of " + to_string(count) + " (and no palette or indices)");
    }
}

void WriteInfoHeader(ByteWriter& out, const DibImage& image, std::int32_t height_field,
                     std::uint32_t image_size) {
    const std::size_t entries = image.palette.size();
    const bool full = entries == (std::size_t{1} << image.bits_per_pixel);
    out.U32(kInfoHeaderSize);
    out.I32(image.width);
    out.I32(height_field);
    out.U16(1);
    out.U16(image.bits_per_pixel);
    out.U32(BI_RGB);
    out.U32(image_size);
    out.I32(image.x_pels_per_meter);
    out.I32(image.y_pels_per_meter);
    out.U32(image.IsPaletted() && !full ? static_cast<std::uint32_t>(entries) : 0);
    out.U32(0);
}

void WritePalette(ByteWriter& out, const DibImage& image) {
    for (std::uint32_t c : image.palette) {
        out.U8(static_cast<std::uint8_t>(c));
        out.U8(static_cast<std::uint8_t>(c >> 8));
        out.U8(static_cast<std::uint8_t>(c >> 16));
        out.U8(0);
    }
}

void WritePixels(ByteWriter& out, const DibImage& image) {
    const unsigned bits = image.bits_per_pixel;
    const std::size_t stride = RowStride(image.width, bits);
    const auto w = static_cast<std::size_t>(image.width);
    std::vector<std::byte> row(stride);
    for (std::size_t r = 0; r < static_cast<std::size_t>(image.height); ++r) {
        std::size_t y = static_cast<std::size_t>(image.height) - 1 - r;
        std::fill(row.begin(), row.end(), std::byte{0});
        for (std::size_t x = 0; x < w; ++x) {
            if (bits <= 8) {
                std::size_t bit = x * bits;
                unsigned shift = 8 - bits - static_cast<unsigned>(bit % 8);
                row[bit / 8] |= static_cast<std::byte>(image.indices[y * w + x] << shift);
            } else {
                std::uint32_t p = image.pixels[y * w + x];
                std::size_t i = x * (bits / 8);
                row[i] = static_cast<std::byte>(p);
                row[i + 1] = static_cast<std::byte>(p >> 8);
                row[i + 2] = static_cast<std::byte>(p >> 16);
                if (bits == 32) row[i + 3] = static_cast<std::byte>(p >> 24);
            }
        }
        out.Bytes(row);
    }
}

} // namespace fw::dib
