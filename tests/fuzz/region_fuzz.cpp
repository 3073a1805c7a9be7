// Arbitrary bytes for the region data reader. An accepted region must be banded, write and
// read back unchanged, and combine with a shifted copy of itself as the sets of its points do.
#include "framework/graphics/region.hpp"

#include <cstddef>
#include <cstdint>
#include <span>

namespace {

void CheckBanded(const fw::Region& region) {
    const auto& rects = region.Rects();
    for (std::size_t i = 0; i < rects.size(); ++i) {
        if (rects[i].IsEmpty()) __builtin_trap();
        if (i == 0) continue;
        const fw::TRect& p = rects[i - 1];
        const fw::TRect& r = rects[i];
        if (r.Top == p.Top ? r.Bottom != p.Bottom || r.Left <= p.Right : r.Top < p.Bottom)
            __builtin_trap();
    }
}

bool Expected(fw::RegionCombine mode, bool a, bool b) {
    switch (mode) {
    case fw::RGN_AND:
        return a && b;
    case fw::RGN_OR:
        return a || b;
    case fw::RGN_XOR:
        return a != b;
    case fw::RGN_DIFF:
        return a && !b;
    case fw::RGN_COPY:
        return a;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fw::Region a;
    try {
        a = fw::Region::FromData(std::as_bytes(std::span(data, size)));
    } catch (const fw::EInvalidRegion&) {
        return 0;
    }
    CheckBanded(a);
    std::vector<std::byte> written = a.Data();
    fw::Region back = fw::Region::FromData(written);
    if (!(back == a) || back.Data() != written) __builtin_trap();

    fw::Region b = a;
    try {
        b.Offset(3, 1);
    } catch (const fw::EInvalidRegion&) {
        return 0; // the region touches the edge of the coordinate range
    }
    for (fw::RegionCombine mode :
         {fw::RGN_AND, fw::RGN_OR, fw::RGN_XOR, fw::RGN_DIFF, fw::RGN_COPY}) {
        fw::Region c = fw::Region::Combine(a, b, mode);
        CheckBanded(c);
        // Corners of every rectangle and their neighbours are where mistakes show.
        for (const fw::Region* source : {&a, &b})
            for (const fw::TRect& r : source->Rects())
                for (std::int32_t x : {r.Left - 1, r.Left, r.Right - 1, r.Right})
                    for (std::int32_t y : {r.Top - 1, r.Top, r.Bottom - 1, r.Bottom})
                        if (c.Contains(x, y) != Expected(mode, a.Contains(x, y), b.Contains(x, y)))
                            __builtin_trap();
    }
    return 0;
}
