// BMP files: the 14-byte file header in front of a device-independent bitmap.
#include "framework/graphics/bmp.hpp"

#include "framework/graphics/dib_codec.hpp"

#include <string>

namespace fw {

namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint16_t kSignature = 0x4D42; // "BM"

ErrorContext BitmapErrors(const char* prefix) {
    return ErrorContext(ErrorContext::Kind::Bitmap, prefix);
}

} // namespace

DibImage DibImage::Paletted(std::int32_t width, std::int32_t height, std::uint16_t bits,
                            std::vector<std::uint32_t> palette) {
    DibImage image;
    image.width = width;
    image.height = height;
    image.bits_per_pixel = bits;
    image.palette = std::move(palette);
    image.indices.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    return image;
}

DibImage DibImage::TrueColor(std::int32_t width, std::int32_t height, std::uint16_t bits) {
    DibImage image;
    image.width = width;
    image.height = height;
    image.bits_per_pixel = bits;
    image.pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    return image;
}

std::uint32_t DibImage::ColorAt(std::int32_t x, std::int32_t y) const {
    std::size_t i =
        static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x);
    if (!IsPaletted()) return pixels[i] & 0xFFFFFF;
    std::uint8_t index = indices[i];
    return index < palette.size() ? palette[index] & 0xFFFFFF : 0;
}

DibImage ReadBmp(std::span<const std::byte> file) {
    ByteReader in(file, BitmapErrors("BMP: "));
    if (file.size() < kFileHeaderSize)
        in.Fail(std::to_string(file.size()) + " bytes, too short for the 14-byte file header");
    std::uint16_t signature = in.U16("signature");
    if (signature != kSignature) in.Fail("signature " + Hex(signature) + ", expected 'BM'");
    std::uint32_t file_size = in.U32("file size");
    // Some writers leave the size 0; a larger one means the file was cut short.
    if (file_size > file.size())
        in.Fail("file size field " + std::to_string(file_size) + " exceeds the " +
                std::to_string(file.size()) + " bytes given");
    in.Skip(4, "reserved fields");
    std::uint32_t pixel_offset = in.U32("pixel data offset");

    dib::InfoHeader header = dib::ReadInfoHeader(in, false);
    std::size_t headers_end = in.Position() + std::size_t{header.palette_entries} * 4;
    if (pixel_offset > file.size())
        in.Fail("pixel data offset " + std::to_string(pixel_offset) + " beyond file size " +
                std::to_string(file.size()));
    if (pixel_offset < headers_end)
        in.Fail("pixel data offset " + std::to_string(pixel_offset) +
                " inside the headers and palette, which end at " + std::to_string(headers_end));
    std::size_t rows_bytes =
        static_cast<std::size_t>(dib::RowStride(header.width, header.bits_per_pixel) *
                                 static_cast<std::uint64_t>(header.height));
    if (rows_bytes > file.size() - pixel_offset)
        in.Fail("pixel data needs " + std::to_string(rows_bytes) + " bytes at offset " +
                std::to_string(pixel_offset) + ", file has " + std::to_string(file.size()));
    return dib::ReadImage(in, header, pixel_offset);
}

std::vector<std::byte> WriteBmp(const DibImage& image) {
    dib::Validate(image, BitmapErrors("BMP writer: "));
    const auto pixel_bytes = static_cast<std::uint32_t>(dib::PixelBytes(image));
    const auto offset = static_cast<std::uint32_t>(kFileHeaderSize + dib::kInfoHeaderSize +
                                                   4 * image.palette.size());
    ByteWriter out;
    out.Reserve(offset + pixel_bytes);
    out.U16(kSignature);
    out.U32(offset + pixel_bytes);
    out.U32(0);
    out.U32(offset);
    dib::WriteInfoHeader(out, image, image.height, pixel_bytes);
    dib::WritePalette(out, image);
    dib::WritePixels(out, image);
    return out.Take();
}

DibImage ReadDib(std::span<const std::byte> data) {
    ByteReader in(data, BitmapErrors("DIB: "));
    dib::InfoHeader header = dib::ReadInfoHeader(in, false);
    return dib::ReadImage(in, header);
}

std::vector<std::byte> WriteDib(const DibImage& image) {
    dib::Validate(image, BitmapErrors("DIB writer: "));
    const auto pixel_bytes = static_cast<std::uint32_t>(dib::PixelBytes(image));
    ByteWriter out;
    out.Reserve(dib::kInfoHeaderSize + 4 * image.palette.size() + pixel_bytes);
    dib::WriteInfoHeader(out, image, image.height, pixel_bytes);
    dib::WritePalette(out, image);
    dib::WritePixels(out, image);
    return out.Take();
}

} // namespace fw
