// Reduces true-colour artwork to a palette of its own: a median cut over the image's
// colours with fixed tie-breaks, a few rounds of refinement, and reserved colours that
// only the pixels of exactly that colour take.
#pragma once

#include "framework/graphics/bmp.hpp"

#include <cstdint>
#include <vector>

namespace art {

// `pixels` are 0x00RRGGBB, top row first. The palette has `size` entries (unused ones
// black); the reserved colours come first, and a pixel maps to a reserved entry only when
// it is exactly that colour, so they never appear anywhere else. `bits` is 4 or 8.
fw::DibImage Quantize(int width, int height, const std::vector<std::uint32_t>& pixels,
                      const std::vector<std::uint32_t>& reserved, unsigned bits);

// The palette chosen for a set of colours with their pixel counts, `count` entries at most.
std::vector<std::uint32_t>
MedianCut(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& hist, std::size_t count);

} // namespace art
