// Points and rectangles in pixels, as the platform lays them out: right and bottom are
// exclusive, so a rectangle (0, 0, 2, 1) covers the two pixels (0, 0) and (1, 0).
#pragma once

#include <cstdint>

namespace fw {

struct TPoint {
    std::int32_t X = 0;
    std::int32_t Y = 0;
    bool operator==(const TPoint&) const = default;
};

struct TRect {
    std::int32_t Left = 0;
    std::int32_t Top = 0;
    std::int32_t Right = 0;
    std::int32_t Bottom = 0;

    bool operator==(const TRect&) const = default;
    std::int32_t Width() const { return Right - Left; }
    std::int32_t Height() const { return Bottom - Top; }
    // Empty also when inverted: such a rectangle covers no pixel.
    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    bool Contains(std::int32_t x, std::int32_t y) const {
        return x >= Left && x < Right && y >= Top && y < Bottom;
    }
    bool Contains(TPoint p) const { return Contains(p.X, p.Y); }
};

} // namespace fw
