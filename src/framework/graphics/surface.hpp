// What a canvas draws on and reads from: a 32-bit pixel buffer (a window's pixels) or the
// image of a bitmap, true-colour or paletted. On a paletted image a colour is drawn as
// its nearest palette entry, and copies between equal palettes move indices unchanged.
#pragma once

#include "framework/graphics/bmp.hpp"
#include "framework/graphics/colors.hpp"
#include "framework/graphics/geometry.hpp"
#include "os/display/display.hpp"

#include <cstdint>
#include <span>

namespace fw::detail {

// A colour resolved for one surface: its pixel and, on a paletted surface, its index.
struct Ink {
    std::uint32_t rgb = 0;
    int index = -1;
};

class Surface {
public:
    Surface() = default;
    explicit Surface(os::PixelBuffer& buffer) : buffer_(&buffer) {}
    explicit Surface(DibImage& image) : image_(&image) {}
    // For reading only: nothing is ever written through it.
    static Surface ForReading(const DibImage& image) {
        return Surface(const_cast<DibImage&>(image));
    }

    bool Valid() const { return buffer_ || image_; }
    // In logical pixels: a window's buffer drawn at a device scale holds `Scale()` by
    // `Scale()` device pixels for each, and a logical pixel is drawn as that block.
    int Width() const;
    int Height() const;
    int Scale() const { return buffer_ ? buffer_->scale : 1; }
    TRect Bounds() const { return {0, 0, Width(), Height()}; }
    bool Paletted() const { return image_ && image_->IsPaletted(); }
    std::span<const std::uint32_t> Palette() const;
    bool SamePalette(const Surface& other) const;
    bool SameTarget(const Surface& other) const {
        return buffer_ == other.buffer_ && image_ == other.image_;
    }
    // A copy of the target kept in `store`, and a surface over the copy: what a copy within
    // one target reads from, so that overlapping rectangles come out right.
    struct Snapshot {
        DibImage image;
        os::PixelBuffer buffer;
    };
    Surface CopyInto(Snapshot& store) const;

    // The colour value as this surface paints it: a palette index names an entry of its
    // palette, any other colour is matched to the nearest entry of a paletted image.
    Ink Resolve(TColor color) const;
    Ink Match(std::uint32_t rgb) const;

    // 0x00RRGGBB of the pixel; (x, y) must lie inside.
    std::uint32_t Get(int x, int y) const;
    int GetIndex(int x, int y) const;
    void Put(int x, int y, const Ink& ink);
    void PutIndex(int x, int y, int index);
    // Coverage 0..255 of `rgb` over the pixel already there.
    void Blend(int x, int y, std::uint32_t rgb, std::uint8_t coverage);
    // One device pixel: what text rasterised at the device's scale paints.
    void PutDevice(int dx, int dy, const Ink& ink);
    void BlendDevice(int dx, int dy, std::uint32_t rgb, std::uint8_t coverage);

private:
    std::size_t Offset(int x, int y) const;
    std::size_t DeviceOffset(int dx, int dy) const;
    os::PixelBuffer* buffer_ = nullptr;
    DibImage* image_ = nullptr;
};

std::uint32_t BlendPixel(std::uint32_t under, std::uint32_t over, std::uint8_t coverage);

} // namespace fw::detail
