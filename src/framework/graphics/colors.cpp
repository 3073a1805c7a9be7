// System colour lookup and the mapping of colour values to pixels.
#include "framework/graphics/colors.hpp"

#include <array>

namespace fw {

namespace {

// The classic desktop scheme: grey 3D faces, navy captions and selection, pale yellow tips.
constexpr std::array<COLORREF, 31> kSystemColors = {
    RGB(192, 192, 192), // scroll bar
    RGB(0, 128, 128),   // desktop
    RGB(0, 0, 128),     // active caption
    RGB(128, 128, 128), // inactive caption
    RGB(192, 192, 192), // menu
    RGB(255, 255, 255), // window
    RGB(0, 0, 0),       // window frame
    RGB(0, 0, 0),       // menu text
    RGB(0, 0, 0),       // window text
    RGB(255, 255, 255), // caption text
    RGB(192, 192, 192), // active border
    RGB(192, 192, 192), // inactive border
    RGB(128, 128, 128), // application workspace
    RGB(0, 0, 128),     // highlight
    RGB(255, 255, 255), // highlight text
    RGB(192, 192, 192), // button face
    RGB(128, 128, 128), // button shadow
    RGB(128, 128, 128), // grey text
    RGB(0, 0, 0),       // button text
    RGB(192, 192, 192), // inactive caption text
    RGB(255, 255, 255), // button highlight
    RGB(0, 0, 0),       // 3D dark shadow
    RGB(223, 223, 223), // 3D light
    RGB(0, 0, 0),       // tooltip text
    RGB(255, 255, 225), // tooltip background
    RGB(180, 180, 180), // (unused index 25)
    RGB(0, 0, 255),     // hot-tracked item
    RGB(16, 132, 208),  // active caption gradient
    RGB(181, 181, 181), // inactive caption gradient
    RGB(0, 0, 128),     // menu highlight
    RGB(192, 192, 192), // menu bar
};

} // namespace

COLORREF GetSysColor(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= kSystemColors.size()) return 0;
    return kSystemColors[static_cast<std::size_t>(index)];
}

COLORREF ColorToRGB(TColor color) {
    // Only the low byte names the system colour, as the platform masks it.
    if (color < 0) return GetSysColor(static_cast<int>(static_cast<std::uint32_t>(color) & 0xFF));
    return static_cast<COLORREF>(color);
}

std::uint32_t ColorToPixel(TColor color, std::span<const std::uint32_t> palette) {
    COLORREF c = ColorToRGB(color);
    if ((c >> 24) == 0x01) {
        std::size_t index = c & 0xFFFF;
        return index < palette.size() ? palette[index] & 0xFFFFFF : 0;
    }
    return ColorRefToPixel(c);
}

int NearestPaletteIndex(std::span<const std::uint32_t> palette, std::uint32_t pixel) {
    int best = -1;
    std::uint32_t best_distance = 0;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        std::uint32_t distance = 0;
        for (int shift = 0; shift <= 16; shift += 8) {
            int d = static_cast<int>((palette[i] >> shift) & 0xFF) -
                    static_cast<int>((pixel >> shift) & 0xFF);
            distance += static_cast<std::uint32_t>(d * d);
        }
        if (best < 0 || distance < best_distance) {
            best = static_cast<int>(i);
            best_distance = distance;
            if (distance == 0) break;
        }
    }
    return best;
}

} // namespace fw
