// Icon files: a directory of images, each a device-independent bitmap with twice its height
// in the header, its colour rows (1, 4, 8, 24 or 32 bits per pixel) and a 1-bit mask in
// which a set bit marks a transparent pixel. PNG-compressed images are refused.
#pragma once

#include "framework/graphics/bmp.hpp"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace fw {

inline constexpr std::int32_t kMaxIconDimension = 256;

struct IconImage {
    DibImage color;
    // One entry per pixel, top row first: 1 = transparent (the screen shows through), 0 = the
    // colour is drawn.
    std::vector<std::uint8_t> mask;
    bool operator==(const IconImage&) const = default;
};

struct IconFile {
    std::vector<IconImage> images;
    bool operator==(const IconFile&) const = default;
};

// Throws EInvalidIcon naming the image and the field that is wrong.
IconFile ReadIcon(std::span<const std::byte> file);
// Throws EInvalidIcon when there is no image or an image is inconsistent.
std::vector<std::byte> WriteIcon(const IconFile& icon);

} // namespace fw
