// PNG encoding and decoding through libpng's simplified interface, which reports errors as
// return values, so no longjmp crosses C++ frames here.
#include "os/display/png.hpp"

#include "os/input_budget.hpp"

#include <png.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace os {

namespace {

std::string Dimensions(long long w, long long h) {
    return std::to_string(w) + "x" + std::to_string(h);
}

// The largest image, at four bytes a pixel, fits the memory any input may make a reader hold.
static_assert(kMaxPngPixels * sizeof(std::uint32_t) <= kMinInputBudget);

// Frees libpng's decoder state on every way out.
struct ImageGuard {
    png_image* image;
    ~ImageGuard() { png_image_free(image); }
};

} // namespace

std::vector<std::byte> EncodePng(const PixelBuffer& image) {
    if (!image.Consistent())
        throw std::invalid_argument("PNG: pixel buffer " + Dimensions(image.width, image.height) +
                                    " holds " + std::to_string(image.pixels.size()) + " pixels");
    if (image.width == 0 || image.height == 0)
        throw std::invalid_argument("PNG: cannot encode an empty image " +
                                    Dimensions(image.width, image.height));

    std::vector<png_byte> rgb(image.pixels.size() * 3);
    for (std::size_t i = 0; i < image.pixels.size(); ++i) {
        const std::uint32_t p = image.pixels[i];
        rgb[i * 3] = static_cast<png_byte>(p >> 16);
        rgb[i * 3 + 1] = static_cast<png_byte>(p >> 8);
        rgb[i * 3 + 2] = static_cast<png_byte>(p);
    }

    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&png, nullptr, &size, 0, rgb.data(), 0, nullptr))
        throw std::runtime_error(std::string("PNG: cannot encode: ") + png.message);
    std::vector<std::byte> out(size);
    if (!png_image_write_to_memory(&png, out.data(), &size, 0, rgb.data(), 0, nullptr))
        throw std::runtime_error(std::string("PNG: cannot encode: ") + png.message);
    out.resize(size);
    return out;
}

void WritePng(const std::string& path, const PixelBuffer& image) {
    const std::vector<std::byte> bytes = EncodePng(image);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (!file)
        throw std::runtime_error("PNG: cannot create '" + path + "': " + std::strerror(errno));
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    file.close();
    if (!file) throw std::runtime_error("PNG: cannot write '" + path + "'");
}

PixelBuffer DecodePng(std::span<const std::byte> bytes) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    ImageGuard guard{&png};
    if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size()))
        throw std::runtime_error(std::string("PNG: not readable: ") + png.message);
    const long long w = png.width, h = png.height;
    if (w < 1 || h < 1 || w > kMaxPngSide || h > kMaxPngSide ||
        static_cast<std::size_t>(w * h) > kMaxPngPixels)
        throw std::runtime_error("PNG: image " + Dimensions(w, h) + " exceeds the limit of " +
                                 std::to_string(kMaxPngSide) + " pixels a side and " +
                                 std::to_string(kMaxPngPixels) + " in all");

    // The three bytes of each pixel are decoded into the front of the pixels themselves and
    // widened from the last one back, so the image is the only large block held: a small
    // file that inflates to the largest image accepted holds its 64 MiB and no more.
    PixelBuffer image(static_cast<int>(w), static_cast<int>(h));
    png.format = PNG_FORMAT_RGB;
    static_assert(sizeof image.pixels[0] > 3);
    auto* rgb = reinterpret_cast<png_byte*>(image.pixels.data());
    const png_color black{0, 0, 0};
    if (!png_image_finish_read(&png, &black, rgb, 0, nullptr))
        throw std::runtime_error(std::string("PNG: cannot decode: ") + png.message);
    for (std::size_t i = image.pixels.size(); i-- > 0;) {
        const std::uint32_t r = rgb[i * 3], g = rgb[i * 3 + 1], b = rgb[i * 3 + 2];
        image.pixels[i] = r << 16 | g << 8 | b;
    }
    return image;
}

PixelBuffer ReadPng(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("PNG: cannot open '" + path + "': " + std::strerror(errno));
    std::vector<char> data((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    if (file.bad()) throw std::runtime_error("PNG: cannot read '" + path + "'");
    try {
        return DecodePng(std::as_bytes(std::span(data)));
    } catch (const std::runtime_error& e) {
        throw std::runtime_error(std::string(e.what()) + " in '" + path + "'");
    }
}

std::vector<std::byte> EncodeIconPng(const IconPixels& icon) {
    CheckIcon(icon);
    if (icon.width == 0 || icon.height == 0)
        throw std::invalid_argument("PNG: cannot encode an empty icon");
    std::vector<png_byte> rgba(icon.argb.size() * 4);
    for (std::size_t i = 0; i < icon.argb.size(); ++i) {
        const std::uint32_t p = icon.argb[i];
        rgba[i * 4] = static_cast<png_byte>(p >> 16);
        rgba[i * 4 + 1] = static_cast<png_byte>(p >> 8);
        rgba[i * 4 + 2] = static_cast<png_byte>(p);
        rgba[i * 4 + 3] = static_cast<png_byte>(p >> 24);
    }
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(icon.width);
    png.height = static_cast<png_uint_32>(icon.height);
    png.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&png, nullptr, &size, 0, rgba.data(), 0, nullptr))
        throw std::runtime_error(std::string("PNG: cannot encode: ") + png.message);
    std::vector<std::byte> out(size);
    if (!png_image_write_to_memory(&png, out.data(), &size, 0, rgba.data(), 0, nullptr))
        throw std::runtime_error(std::string("PNG: cannot encode: ") + png.message);
    out.resize(size);
    return out;
}

namespace {

// Reads an icon's header into png, which the caller releases.
void BeginIcon(png_image& png, std::span<const std::byte> bytes) {
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&png, bytes.data(), bytes.size()))
        throw std::runtime_error(std::string("PNG: not readable: ") + png.message);
    if (png.width < 1 || png.height < 1 || png.width > IconPixels::kMaxDimension ||
        png.height > IconPixels::kMaxDimension)
        throw std::runtime_error("PNG: icon " + Dimensions(png.width, png.height) +
                                 " exceeds the limit of " +
                                 std::to_string(IconPixels::kMaxDimension) + " pixels a side");
}

} // namespace

void CheckIconPng(std::span<const std::byte> bytes) {
    png_image png{};
    ImageGuard guard{&png};
    BeginIcon(png, bytes);
}

IconPixels DecodeIconPng(std::span<const std::byte> bytes) {
    png_image png{};
    ImageGuard guard{&png};
    BeginIcon(png, bytes);
    png.format = PNG_FORMAT_RGBA;
    std::vector<png_byte> rgba(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, rgba.data(), 0, nullptr))
        throw std::runtime_error(std::string("PNG: cannot decode: ") + png.message);
    IconPixels icon;
    icon.width = static_cast<int>(png.width);
    icon.height = static_cast<int>(png.height);
    icon.argb.resize(rgba.size() / 4);
    for (std::size_t i = 0; i < icon.argb.size(); ++i)
        icon.argb[i] = std::uint32_t{rgba[i * 4 + 3]} << 24 | std::uint32_t{rgba[i * 4]} << 16 |
                       std::uint32_t{rgba[i * 4 + 1]} << 8 | rgba[i * 4 + 2];
    return icon;
}

} // namespace os
