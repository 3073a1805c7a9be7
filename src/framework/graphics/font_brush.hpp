// The drawing tools a canvas holds: TFont (the face and colour of text), TBrush (the colour
// that fills rectangles and text backgrounds) and TPen (lines). Each tells its listener
// through OnChange when a value really changes.
#pragma once

#include "framework/classes.hpp"
#include "framework/events.hpp"
#include "framework/font.hpp"
#include "framework/graphics/color_idents.hpp"
#include "framework/graphics/colors.hpp"

#include <string>

namespace fw {

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };
FW_ENUM_IDENTS(TFontStyle, "fsBold", "fsItalic", "fsUnderline", "fsStrikeOut")
using TFontStyles = TSet<TFontStyle>;

enum TFontPitch : std::uint8_t { fpDefault, fpVariable, fpFixed };
FW_ENUM_IDENTS(TFontPitch, "fpDefault", "fpVariable", "fpFixed")

enum TBrushStyle : std::uint8_t { bsSolid, bsClear };
FW_ENUM_IDENTS(TBrushStyle, "bsSolid", "bsClear")

enum TPenStyle : std::uint8_t { psSolid, psDash, psDot, psClear };
FW_ENUM_IDENTS(TPenStyle, "psSolid", "psDash", "psDot", "psClear")

// Logical pixels per inch: what turns a point size into a pixel height.
inline constexpr int kPixelsPerInch = 96;

class TFont : public TPersistent {
    FW_CLASS(TFont, TPersistent)
public:
    static void Describe(TClassBuilder<TFont>& c);
    void Assign(const TPersistent& source) override;

    TColor Color() const { return color_; }
    void SetColor(TColor value) { Set(color_, value); }
    // Negative: the character height in pixels; positive: the cell height.
    int Height() const { return height_; }
    void SetHeight(int value) { Set(height_, value); }
    // Points at kPixelsPerInch; setting it sets Height.
    int Size() const;
    void SetSize(int points);
    const std::string& Name() const { return name_; }
    void SetName(const std::string& value) { Set(name_, value); }
    TFontStyles Style() const { return style_; }
    void SetStyle(TFontStyles value) { Set(style_, value); }
    TFontCharset Charset() const { return charset_; }
    void SetCharset(TFontCharset value) { Set(charset_, value); }
    TFontPitch Pitch() const { return pitch_; }
    void SetPitch(TFontPitch value) { Set(pitch_, value); }

    // What the rasteriser needs to find the face.
    FontKey Key() const;
    bool SameAs(const TFont& other) const;

    TNotifyEvent OnChange;

private:
    template <class T> void Set(T& field, const T& value) {
        if (field == value) return;
        field = value;
        Changed();
    }
    void Changed();

    TColor color_ = clWindowText;
    int height_ = -11;
    std::string name_ = "MS Sans Serif";
    TFontStyles style_;
    TFontCharset charset_ = DEFAULT_CHARSET;
    TFontPitch pitch_ = fpDefault;
};

class TBrush : public TPersistent {
    FW_CLASS(TBrush, TPersistent)
public:
    static void Describe(TClassBuilder<TBrush>& c);
    void Assign(const TPersistent& source) override;

    TColor Color() const { return color_; }
    // Choosing a colour also makes a clear brush solid again.
    void SetColor(TColor value);
    TBrushStyle Style() const { return style_; }
    void SetStyle(TBrushStyle value);

    TNotifyEvent OnChange;

private:
    void Changed();
    TColor color_ = clWhite;
    TBrushStyle style_ = bsSolid;
};

class TPen : public TPersistent {
    FW_CLASS(TPen, TPersistent)
public:
    static void Describe(TClassBuilder<TPen>& c);
    void Assign(const TPersistent& source) override;

    TColor Color() const { return color_; }
    void SetColor(TColor value);
    TPenStyle Style() const { return style_; }
    void SetStyle(TPenStyle value);
    // Lines are always one pixel wide; the width is kept for the stored form.
    int Width() const { return width_; }
    void SetWidth(int value);

    TNotifyEvent OnChange;

private:
    void Changed();
    TColor color_ = clBlack;
    TPenStyle style_ = psSolid;
    int width_ = 1;
};

} // namespace fw
