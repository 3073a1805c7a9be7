// Mirelo's skin and button faces, drawn in true colour: the device body with the wells the
// buttons sit in, and four faces per button (up, disabled, down, latched) whose corners
// carry a key colour that is transparent when the face is drawn over the skin.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace art {

inline constexpr int kSkinWidth = 167;
inline constexpr int kSkinHeight = 170;
inline constexpr std::uint32_t kBackground = 0x5E5E5E; // cut away by the window's region
inline constexpr std::uint32_t kKeyColor = 0xFF00FF;   // transparent in the glyph cells

enum class ButtonKind { Play, Rec, Off, Min, Stop };
enum class FaceState { Up, Disabled, Down, Latched }; // the cell order of a strip

struct ButtonPlace {
    ButtonKind kind;
    const char* name; // the component's name
    const char* file; // the strip's file name
    int left, top, width, height;
};

// In the order the window creates them.
inline constexpr std::array<ButtonPlace, 5> kButtons{{
    {ButtonKind::Play, "PlayButton", "play.bmp", 8, 59, 105, 52},
    {ButtonKind::Rec, "RecButton", "rec.bmp", 8, 112, 103, 50},
    {ButtonKind::Off, "OffButton", "off.bmp", 100, 25, 57, 58},
    {ButtonKind::Min, "MinButton", "min.bmp", 52, 10, 43, 43},
    {ButtonKind::Stop, "StopButton", "stop.bmp", 112, 116, 50, 50},
}};

// The light bar of the minimise button, where the progress trace is drawn (cell columns and
// rows, right and bottom exclusive).
inline constexpr int kBarLeft = 11, kBarTop = 26, kBarRight = 34, kBarBottom = 32;

struct TrueColorImage {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels; // 0x00RRGGBB, top row first
    std::uint32_t At(int x, int y) const { return pixels[static_cast<std::size_t>(y * width + x)]; }
};

struct Artwork {
    TrueColorImage skin;                  // the body with every button's up face
    std::array<TrueColorImage, 5> strips; // per button, four cells side by side
};

// Draws everything. Throws when the label font is not the one the artwork is made with.
Artwork DrawArtwork();

// The application icon (32 x 32, or the same drawing at any size for the icon theme) and the
// tray icon (16 x 16) in true colour with coverage 0..255 per pixel.
struct IconArt {
    int size = 0;
    std::vector<std::uint32_t> pixels;
    std::vector<std::uint8_t> alpha;
};
IconArt DrawAppIcon(int size = 32);
IconArt DrawTrayIcon();

} // namespace art
