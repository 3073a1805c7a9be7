// The window's region from its skin: every pixel that is not the background colour, as
// banded rectangles, and the stored record of it (a 4-byte length, then the region data).
#pragma once

#include "framework/graphics/bmp.hpp"
#include "framework/graphics/region.hpp"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace art {

fw::Region RegionFromImage(const fw::DibImage& image, std::uint32_t background);
std::vector<std::byte> MaskRecord(const fw::Region& region);

} // namespace art
