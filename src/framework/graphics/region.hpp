// Regions: sets of pixels kept as the platform keeps them, a list of rectangles in banded
// order (sorted by top, then left; the rectangles of one band share top and bottom; bands
// do not overlap; touching spans are merged and equal neighbouring bands joined). They are
// read from and written to the platform's region data block:
//   header (32 bytes): size 32, type 1 (rectangles), count K, size hint, bounds
//   K rectangles of 16 bytes; every integer little-endian, right and bottom exclusive.
#pragma once

#include "framework/graphics/geometry.hpp"
#include "framework/graphics/graphics_error.hpp"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace fw {

enum RegionCombine { RGN_AND = 1, RGN_OR = 2, RGN_XOR = 3, RGN_DIFF = 4, RGN_COPY = 5 };

inline constexpr std::uint32_t kRegionHeaderSize = 32;
inline constexpr std::uint32_t kRegionRectSize = 16;
// Coordinates the platform's regions can hold; read data beyond this is refused.
inline constexpr std::int32_t kRegionCoordinateLimit = 1 << 27;

class Region {
public:
    Region() = default;
    explicit Region(const TRect& rect);
    // The union of any rectangles, in any order; empty ones add nothing.
    static Region FromRects(std::span<const TRect> rects);
    // Reads a region data block. Throws EInvalidRegion naming the first thing wrong. The size
    // hint is not examined; rectangles need not be banded, they are normalised.
    static Region FromData(std::span<const std::byte> data);

    // The region data block, with the size hint the platform reports: the rectangles' bytes.
    std::vector<std::byte> Data() const { return Data(RectsSize()); }
    std::vector<std::byte> Data(std::uint32_t size_hint) const;
    std::size_t DataSize() const { return kRegionHeaderSize + RectsSize(); }

    const std::vector<TRect>& Rects() const { return rects_; }
    bool IsEmpty() const { return rects_.empty(); }
    // The smallest rectangle holding the region; (0, 0, 0, 0) when empty.
    TRect Bounds() const;
    bool Contains(std::int32_t x, std::int32_t y) const;
    bool Contains(TPoint p) const { return Contains(p.X, p.Y); }
    // Throws EInvalidRegion when a coordinate would leave the range regions can hold.
    void Offset(std::int32_t dx, std::int32_t dy);

    static Region Combine(const Region& a, const Region& b, RegionCombine mode);
    Region operator|(const Region& other) const { return Combine(*this, other, RGN_OR); }
    Region operator&(const Region& other) const { return Combine(*this, other, RGN_AND); }
    Region operator-(const Region& other) const { return Combine(*this, other, RGN_DIFF); }
    Region operator^(const Region& other) const { return Combine(*this, other, RGN_XOR); }

    // Banded regions of the same pixels have the same rectangles, so this is set equality.
    bool operator==(const Region&) const = default;

private:
    std::uint32_t RectsSize() const {
        return static_cast<std::uint32_t>(rects_.size() * kRegionRectSize);
    }
    std::vector<TRect> rects_;
};

} // namespace fw
