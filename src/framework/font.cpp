// FreeType and fontconfig behind FontFace.
#include "framework/font.hpp"

#include "framework/exceptions.hpp"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <map>
#include <mutex>

namespace fw {

namespace {

struct Library {
    FT_Library ft = nullptr;
    Library() {
        if (FT_Init_FreeType(&ft) != 0) ft = nullptr;
        FcInit();
    }
    ~Library() {
        if (ft) FT_Done_FreeType(ft);
    }
};

Library& Lib() {
    static Library lib;
    return lib;
}

std::mutex g_cache_mutex;

// The font file fontconfig chooses for a family and style.
std::string MatchFile(const FontKey& key) {
    FcPattern* pat = FcPatternCreate();
    if (!key.name.empty())
        FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(key.name.c_str()));
    FcPatternAddInteger(pat, FC_WEIGHT, key.bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pat, FC_SLANT, key.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pat, FcMatchPattern);
    FcDefaultSubstitute(pat);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pat, &result);
    std::string path;
    if (match) {
        FcChar8* file = nullptr;
        if (FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file)
            path = reinterpret_cast<const char*>(file);
        FcPatternDestroy(match);
    }
    FcPatternDestroy(pat);
    return path;
}

} // namespace

struct FontFace::Impl {
    FT_Face face = nullptr;
    ~Impl() {
        if (face) FT_Done_Face(face);
    }
};

char32_t NextCodePoint(std::string_view s, std::size_t& pos) {
    const auto b0 = static_cast<unsigned char>(s[pos]);
    int extra = b0 < 0x80 ? 0 : (b0 >> 5) == 6 ? 1 : (b0 >> 4) == 14 ? 2 : (b0 >> 3) == 30 ? 3 : -1;
    if (extra < 0 || pos + static_cast<std::size_t>(extra) >= s.size() + (extra == 0 ? 1 : 0)) {
        ++pos;
        return extra == 0 ? b0 : 0xFFFD;
    }
    char32_t cp = extra == 0 ? b0 : (b0 & (0x3F >> extra));
    for (int i = 1; i <= extra; ++i) {
        const auto b = static_cast<unsigned char>(s[pos + static_cast<std::size_t>(i)]);
        if ((b & 0xC0) != 0x80) {
            ++pos;
            return 0xFFFD;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    pos += static_cast<std::size_t>(extra) + 1;
    return cp;
}

std::shared_ptr<FontFace> FontFace::Get(const FontKey& key) {
    std::lock_guard lock(g_cache_mutex);
    static std::map<FontKey, std::weak_ptr<FontFace>> cache;
    if (auto it = cache.find(key); it != cache.end())
        if (auto face = it->second.lock()) return face;
    Library& lib = Lib();
    if (!lib.ft) throw Exception("cannot initialise FreeType");
    std::string path = MatchFile(key);
    auto impl = std::make_unique<Impl>();
    if (path.empty() || FT_New_Face(lib.ft, path.c_str(), 0, &impl->face) != 0) {
        path = MatchFile(FontKey{"", key.height, key.bold, key.italic});
        if (path.empty() || FT_New_Face(lib.ft, path.c_str(), 0, &impl->face) != 0)
            throw Exception("no usable font for '" + key.name + "'");
    }
    FT_Face f = impl->face;
    int pixels = key.height == 0 ? kDefaultFontPixels : key.height < 0 ? -key.height : key.height;
    if (key.height > 0 && f->units_per_EM > 0) {
        // A cell height includes the internal leading: scale the em down to fit it.
        const double cell = static_cast<double>(f->ascender - f->descender) / f->units_per_EM;
        if (cell > 0) pixels = std::max(1, static_cast<int>(key.height / cell + 0.5));
    }
    FT_Set_Pixel_Sizes(f, 0, static_cast<FT_UInt>(pixels));
    std::shared_ptr<FontFace> face(new FontFace(std::move(impl), path));
    cache[key] = face;
    return face;
}

FontFace::FontFace(std::unique_ptr<Impl> impl, std::string path)
    : impl_(std::move(impl)), path_(std::move(path)) {
    const FT_Size_Metrics& m = impl_->face->size->metrics;
    ascent_ = static_cast<int>((m.ascender + 63) >> 6);
    descent_ = static_cast<int>((-m.descender + 63) >> 6);
}

FontFace::~FontFace() = default;

int FontFace::TextWidth(std::string_view utf8) const {
    std::lock_guard lock(g_cache_mutex);
    FT_Face f = impl_->face;
    long pen = 0;
    FT_UInt prev = 0;
    for (std::size_t pos = 0; pos < utf8.size();) {
        const FT_UInt glyph = FT_Get_Char_Index(f, NextCodePoint(utf8, pos));
        if (prev && glyph && FT_HAS_KERNING(f)) {
            FT_Vector k;
            if (FT_Get_Kerning(f, prev, glyph, FT_KERNING_DEFAULT, &k) == 0) pen += k.x;
        }
        if (FT_Load_Glyph(f, glyph, FT_LOAD_DEFAULT) == 0) pen += f->glyph->advance.x;
        prev = glyph;
    }
    return static_cast<int>((pen + 32) >> 6);
}

void FontFace::Draw(std::string_view utf8, int x, int baseline_y,
                    const std::function<void(int, int, std::uint8_t)>& plot) const {
    std::lock_guard lock(g_cache_mutex);
    FT_Face f = impl_->face;
    long pen = static_cast<long>(x) << 6;
    FT_UInt prev = 0;
    for (std::size_t pos = 0; pos < utf8.size();) {
        const FT_UInt glyph = FT_Get_Char_Index(f, NextCodePoint(utf8, pos));
        if (prev && glyph && FT_HAS_KERNING(f)) {
            FT_Vector k;
            if (FT_Get_Kerning(f, prev, glyph, FT_KERNING_DEFAULT, &k) == 0) pen += k.x;
        }
        prev = glyph;
        if (FT_Load_Glyph(f, glyph, FT_LOAD_RENDER) != 0) continue;
        const FT_GlyphSlot g = f->glyph;
        const FT_Bitmap& bm = g->bitmap;
        const int left = static_cast<int>((pen + 32) >> 6) + g->bitmap_left;
        const int top = baseline_y - g->bitmap_top;
        for (unsigned row = 0; row < bm.rows; ++row)
            for (unsigned col = 0; col < bm.width; ++col) {
                std::uint8_t c;
                if (bm.pixel_mode == FT_PIXEL_MODE_MONO)
                    c = (bm.buffer[row * static_cast<unsigned>(bm.pitch) + col / 8] >>
                         (7 - col % 8)) &
                                1
                            ? 255
                            : 0;
                else
                    c = bm.buffer[row * static_cast<unsigned>(bm.pitch) + col];
                if (c) plot(left + static_cast<int>(col), top + static_cast<int>(row), c);
            }
        pen += g->advance.x;
    }
}

} // namespace fw
