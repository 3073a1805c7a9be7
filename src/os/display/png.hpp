// PNG files of pixel buffers: screenshots written by the simulated display and read back by
// tests that compare them. Encoding and decoding are libpng's; this checks what it is given.
#pragma once

#include "os/display/display.hpp"

#include <cstddef>
#include <span>
#include <string>
#include <vector>

namespace os {

// The largest image DecodePng accepts, so that a hostile header cannot ask for gigabytes.
constexpr int kMaxPngSide = 16384;
constexpr std::size_t kMaxPngPixels = std::size_t{1} << 24;

// 8-bit RGB PNG of the buffer. Throws std::invalid_argument for an empty or inconsistent
// buffer and std::runtime_error when the file cannot be written.
std::vector<std::byte> EncodePng(const PixelBuffer& image);
void WritePng(const std::string& path, const PixelBuffer& image);

// Any PNG, as opaque 0x00RRGGBB pixels (transparency is composited onto black). Throws
// std::runtime_error with the reason when the bytes are not a PNG it can decode.
PixelBuffer DecodePng(std::span<const std::byte> bytes);
PixelBuffer ReadPng(const std::string& path);

// 8-bit RGBA PNG of an icon's straight-alpha pixels, as icon themes keep them. Throws
// std::invalid_argument for an empty icon or one that is not Consistent().
std::vector<std::byte> EncodeIconPng(const IconPixels& icon);
// Any PNG as straight-alpha pixels, at most IconPixels::kMaxDimension a side. Throws
// std::runtime_error with the reason when the bytes are not such a PNG.
IconPixels DecodeIconPng(std::span<const std::byte> bytes);
// What DecodeIconPng checks of a PNG's header, without decoding its pixels.
void CheckIconPng(std::span<const std::byte> bytes);

} // namespace os
