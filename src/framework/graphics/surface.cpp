// Pixel access on window buffers and bitmap images.
#include "framework/graphics/surface.hpp"

#include <algorithm>

namespace fw::detail {

int Surface::Width() const {
    return buffer_ ? buffer_->width / buffer_->scale : image_ ? image_->width : 0;
}

int Surface::Height() const {
    return buffer_ ? buffer_->height / buffer_->scale : image_ ? image_->height : 0;
}

std::span<const std::uint32_t> Surface::Palette() const {
    if (Paletted()) return image_->palette;
    return {};
}

bool Surface::SamePalette(const Surface& other) const {
    if (!Paletted() || !other.Paletted()) return false;
    return std::ranges::equal(Palette(), other.Palette());
}

Surface Surface::CopyInto(Snapshot& store) const {
    if (buffer_) {
        store.buffer = *buffer_;
        return Surface(store.buffer);
    }
    if (image_) {
        store.image = *image_;
        return Surface(store.image);
    }
    return {};
}

Ink Surface::Resolve(TColor color) const {
    const COLORREF c = ColorToRGB(color);
    if ((c >> 24) == 0x01 && Paletted()) {
        const std::size_t index = c & 0xFFFF;
        const auto palette = Palette();
        if (index < palette.size()) return {palette[index] & 0xFFFFFF, static_cast<int>(index)};
        return Match(0);
    }
    return Match(ColorToPixel(color, Palette()));
}

Ink Surface::Match(std::uint32_t rgb) const {
    rgb &= 0xFFFFFF;
    if (!Paletted()) return {rgb, -1};
    const int index = NearestPaletteIndex(Palette(), rgb);
    return {Palette()[static_cast<std::size_t>(index)] & 0xFFFFFF, index};
}

std::size_t Surface::Offset(int x, int y) const {
    return static_cast<std::size_t>(y) * static_cast<std::size_t>(image_->width) +
           static_cast<std::size_t>(x);
}

std::size_t Surface::DeviceOffset(int dx, int dy) const {
    return static_cast<std::size_t>(dy) * static_cast<std::size_t>(buffer_->width) +
           static_cast<std::size_t>(dx);
}

std::uint32_t Surface::Get(int x, int y) const {
    if (buffer_) return buffer_->pixels[DeviceOffset(x * Scale(), y * Scale())] & 0xFFFFFF;
    if (image_->IsPaletted()) return image_->palette[image_->indices[Offset(x, y)]] & 0xFFFFFF;
    return image_->pixels[Offset(x, y)] & 0xFFFFFF;
}

int Surface::GetIndex(int x, int y) const {
    return Paletted() ? image_->indices[Offset(x, y)] : -1;
}

void Surface::Put(int x, int y, const Ink& ink) {
    if (buffer_) {
        const int s = Scale();
        if (s == 1) {
            buffer_->pixels[DeviceOffset(x, y)] = ink.rgb;
            return;
        }
        for (int dy = y * s; dy < (y + 1) * s; ++dy)
            std::fill_n(buffer_->pixels.begin() +
                            static_cast<std::ptrdiff_t>(DeviceOffset(x * s, dy)),
                        s, ink.rgb);
    } else if (image_->IsPaletted())
        image_->indices[Offset(x, y)] = static_cast<std::uint8_t>(ink.index);
    else
        image_->pixels[Offset(x, y)] = ink.rgb;
}

void Surface::PutIndex(int x, int y, int index) {
    image_->indices[Offset(x, y)] = static_cast<std::uint8_t>(index);
}

void Surface::Blend(int x, int y, std::uint32_t rgb, std::uint8_t coverage) {
    if (coverage == 0) return;
    if (!buffer_) return Put(x, y, Match(BlendPixel(Get(x, y), rgb, coverage)));
    const int s = Scale();
    for (int dy = y * s; dy < (y + 1) * s; ++dy)
        for (int dx = x * s; dx < (x + 1) * s; ++dx)
            BlendDevice(dx, dy, rgb, coverage);
}

void Surface::PutDevice(int dx, int dy, const Ink& ink) {
    if (!buffer_) return Put(dx, dy, ink);
    buffer_->pixels[DeviceOffset(dx, dy)] = ink.rgb;
}

void Surface::BlendDevice(int dx, int dy, std::uint32_t rgb, std::uint8_t coverage) {
    if (coverage == 0) return;
    if (!buffer_) return Blend(dx, dy, rgb, coverage);
    std::uint32_t& pixel = buffer_->pixels[DeviceOffset(dx, dy)];
    pixel = BlendPixel(pixel & 0xFFFFFF, rgb, coverage);
}

std::uint32_t BlendPixel(std::uint32_t under, std::uint32_t over, std::uint8_t coverage) {
    std::uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const std::uint32_t a = (over >> shift) & 0xFF;
        const std::uint32_t b = (under >> shift) & 0xFF;
        const std::uint32_t v = (a * coverage + b * (255u - coverage) + 127u) / 255u;
        out |= v << shift;
    }
    return out;
}

} // namespace fw::detail
