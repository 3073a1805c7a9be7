// Fonts: a name and a height matched through fontconfig, rasterised by FreeType into
// coverage values that the canvas blends. Faces are shared and cached per name, size
// and style.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace fw {

// The character height of a font whose height is 0.
inline constexpr int kDefaultFontPixels = 13;

struct FontKey {
    std::string name;
    // The platform's convention: negative is the character (em) height in pixels,
    // positive the cell height including internal leading, 0 a default size.
    int height = -11;
    bool bold = false;
    bool italic = false;
    auto operator<=>(const FontKey&) const = default;
};

class FontFace {
public:
    // The face for `key`, or the fontconfig default family when the name is unknown.
    // Throws fw::Exception when no font at all can be loaded.
    static std::shared_ptr<FontFace> Get(const FontKey& key);
    ~FontFace();
    FontFace(const FontFace&) = delete;
    FontFace& operator=(const FontFace&) = delete;

    int Ascent() const { return ascent_; }
    int Descent() const { return descent_; }
    int LineHeight() const { return ascent_ + descent_; }
    // Advance width of a UTF-8 string in pixels, kerning included.
    int TextWidth(std::string_view utf8) const;
    // Calls `plot(x, y, coverage)` for every pixel the string covers with its baseline at
    // `baseline_y` and its pen starting at `x`; coverage 1..255.
    void Draw(std::string_view utf8, int x, int baseline_y,
              const std::function<void(int, int, std::uint8_t)>& plot) const;
    const std::string& FilePath() const { return path_; }

private:
    struct Impl;
    FontFace(std::unique_ptr<Impl> impl, std::string path);
    std::unique_ptr<Impl> impl_;
    std::string path_;
    int ascent_ = 0;
    int descent_ = 0;
};

// Decodes the next code point of a UTF-8 string at `pos`, advancing it; malformed bytes
// give U+FFFD and advance by one.
char32_t NextCodePoint(std::string_view s, std::size_t& pos);

} // namespace fw
