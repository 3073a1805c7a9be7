// Synthetic artwork for the skin tests: glyph strips whose cells differ by colour and by
// where their transparent key colour lies, skins, and Mask2 records made from regions.
#pragma once

#include "framework/classes.hpp"
#include "framework/graphics/bitmap.hpp"
#include "framework/graphics/region.hpp"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace skintest {

// A pixel as the screen, the canvas targets and the bitmaps hold it: 0x00RRGGBB.
constexpr std::uint32_t Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
    return r << 16 | g << 8 | b;
}
inline fw::TColor ColorOf(std::uint32_t pixel) {
    return static_cast<fw::TColor>(fw::RGB(static_cast<std::uint8_t>(pixel >> 16),
                                           static_cast<std::uint8_t>(pixel >> 8),
                                           static_cast<std::uint8_t>(pixel)));
}

// The faces of the test buttons, one colour per state, and the key colour that is
// transparent in every cell.
constexpr std::uint32_t kUp = Rgb(200, 30, 30);
constexpr std::uint32_t kDisabled = Rgb(30, 200, 30);
constexpr std::uint32_t kDown = Rgb(30, 30, 200);
constexpr std::uint32_t kLatched = Rgb(200, 200, 30);
constexpr std::uint32_t kKey = Rgb(255, 0, 255);
constexpr std::uint32_t kFaces[4] = {kUp, kDisabled, kDown, kLatched};

// A 24-bit bitmap painted by `colour(x, y)`.
inline std::unique_ptr<fw::TBitmap> Paint24(int w, int h,
                                            const std::function<std::uint32_t(int, int)>& colour) {
    fw::DibImage image = fw::DibImage::TrueColor(w, h, 24);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.pixels[static_cast<std::size_t>(y * w + x)] = colour(x, y);
    auto bmp = std::make_unique<fw::TBitmap>();
    bmp->SetImage(std::move(image));
    return bmp;
}

// An 8-bit bitmap with the given palette, painted by `index(x, y)`.
inline std::unique_ptr<fw::TBitmap> Paint8(int w, int h, std::vector<std::uint32_t> palette,
                                           const std::function<std::uint8_t(int, int)>& index) {
    fw::DibImage image = fw::DibImage::Paletted(w, h, 8, std::move(palette));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.indices[static_cast<std::size_t>(y * w + x)] = index(x, y);
    auto bmp = std::make_unique<fw::TBitmap>();
    bmp->SetImage(std::move(image));
    return bmp;
}

// A strip of `cells` w x h cells in the face colours. Every cell's left column is the key
// colour, so its bottom-left pixel makes the key transparent; the up cell is also
// transparent on its whole left half, so that what lies below it shows there.
inline std::unique_ptr<fw::TBitmap> FaceStrip(int w, int h, int cells = 4) {
    return Paint24(cells * w, h, [w](int x, int) {
        const int cell = x / w, cx = x % w;
        if (cx == 0 || (cell == 0 && cx < w / 2)) return kKey;
        return kFaces[cell];
    });
}

// The Mask2 record of a region: its data size, then its data block, with the size hint
// replaced when one is given.
inline std::vector<std::byte> MaskRecord(const fw::Region& region, std::int64_t hint = -1) {
    std::vector<std::byte> data = region.Data();
    if (hint >= 0)
        for (int i = 0; i < 4; ++i)
            data[12 + static_cast<std::size_t>(i)] = static_cast<std::byte>(hint >> (8 * i));
    fw::TMemoryStream s;
    s.WriteUInt32(static_cast<std::uint32_t>(data.size()));
    s.WriteBytes(data);
    return {s.Bytes().begin(), s.Bytes().end()};
}

// A binary property of a form description, as the writer lays it out.
inline std::string BinaryProperty(const std::string& name, const std::vector<std::byte>& bytes,
                                  int level) {
    static const char* hex = "0123456789ABCDEF";
    const std::string pad(static_cast<std::size_t>(level) * 2, ' ');
    std::string out = pad + name + " = {";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i % 32 == 0) out += "\n" + pad + "  ";
        const auto b = static_cast<unsigned>(bytes[i]);
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    return out + "}\n";
}

// The stored records of a bitmap: as a picture ("Picture.Data") and on its own
// ("Glyph.Data").
inline std::vector<std::byte> BitmapRecord(const fw::TBitmap& bmp) {
    fw::TMemoryStream s;
    bmp.WriteData(s);
    return {s.Bytes().begin(), s.Bytes().end()};
}
inline std::vector<std::byte> PictureRecord(const fw::TBitmap& bmp) {
    std::vector<std::byte> out{std::byte{7}};
    for (char c : std::string("TBitmap"))
        out.push_back(static_cast<std::byte>(c));
    const auto record = BitmapRecord(bmp);
    out.insert(out.end(), record.begin(), record.end());
    return out;
}

} // namespace skintest
