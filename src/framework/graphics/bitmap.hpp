// TBitmap: a device-independent image that keeps its pixel format (1, 4 and 8 bits with a
// palette, 24 and 32 bits true colour), with a canvas that draws into it, a transparent
// colour for drawing it over other pixels, and its stored record (a 4-byte little-endian
// byte count, then a BMP file) as "Data".
#pragma once

#include "framework/graphics/bmp.hpp"
#include "framework/graphics/canvas.hpp"
#include "framework/graphics/colors.hpp"
#include "framework/graphics/graphic.hpp"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace fw {

enum TPixelFormat : std::uint8_t {
    pfDevice,
    pf1bit,
    pf4bit,
    pf8bit,
    pf15bit,
    pf16bit,
    pf24bit,
    pf32bit,
    pfCustom
};
FW_ENUM_IDENTS(TPixelFormat, "pfDevice", "pf1bit", "pf4bit", "pf8bit", "pf15bit", "pf16bit",
               "pf24bit", "pf32bit", "pfCustom")

enum TTransparentMode : std::uint8_t { tmAuto, tmFixed };
FW_ENUM_IDENTS(TTransparentMode, "tmAuto", "tmFixed")

class TBitmap : public TGraphic {
    FW_CLASS(TBitmap, TGraphic)
public:
    // An empty 24-bit bitmap.
    TBitmap();
    TBitmap(int width, int height, TPixelFormat format = pf24bit);
    ~TBitmap() override;

    // From another bitmap: pixels, format, palette and transparency settings.
    void Assign(const TPersistent& source) override;

    bool Empty() const override { return image_.width == 0 || image_.height == 0; }
    int Width() const override { return image_.width; }
    int Height() const override { return image_.height; }
    // Resizing keeps the pixels that stay inside; new pixels are index 0 or black.
    void SetWidth(int width) override { SetSize(width, image_.height); }
    void SetHeight(int height) override { SetSize(image_.width, height); }
    void SetSize(int width, int height);

    // Drawing on it changes the bitmap (and raises OnChange).
    TCanvas& Canvas();

    // Never pfDevice: a device bitmap here is 32 bits. Changing the depth converts the
    // pixels; a palette that fits the new depth is kept with its indices, otherwise the
    // depth's standard palette is used and each pixel takes its nearest entry.
    TPixelFormat PixelFormat() const;
    void SetPixelFormat(TPixelFormat format);
    // One bit per pixel with a black and white palette.
    bool Monochrome() const;
    void SetMonochrome(bool value);
    // Empty for true-colour bitmaps. A new palette keeps the indices (the colours change);
    // indices past its end take the entry nearest to their old colour.
    std::span<const std::uint32_t> Palette() const { return image_.palette; }
    void SetPalette(std::vector<std::uint32_t> palette);

    // The fixed colour if one is set (tmFixed); otherwise white for a monochrome bitmap,
    // else the colour of the bottom-left pixel; clDefault for an empty bitmap.
    TColor TransparentColor() const;
    // clDefault goes back to tmAuto; any other colour fixes it.
    void SetTransparentColor(TColor color);
    TTransparentMode TransparentMode() const { return mode_; }
    void SetTransparentMode(TTransparentMode mode);

    // Lets go of what drawing needs besides the pixels (the canvas's rasterised face); the
    // pixels and everything stored stay.
    void Dormant();

    const DibImage& Image() const { return image_; }
    // Throws EInvalidBitmap when the image is inconsistent.
    void SetImage(DibImage image);

    void LoadFromBytes(std::span<const std::byte> bmp_file);
    std::vector<std::byte> SaveToBytes() const;
    // The BMP file; an empty bitmap is no bytes at all.
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) const override;
    // The stored record: byte count, then the BMP file.
    void ReadData(TStream& stream) override;
    void WriteData(TStream& stream) const override;

protected:
    void Draw(TCanvas& canvas, const TRect& rect) const override;

private:
    void CanvasChanged(TObject* sender);
    void ReplaceImage(DibImage image);

    DibImage image_;
    std::unique_ptr<TCanvas> canvas_;
    TColor fixed_color_ = clDefault;
    TTransparentMode mode_ = tmAuto;
};

// The standard palettes of the paletted depths: black and white; the 16 VGA colours; those
// 16, a 6x6x6 colour cube and 24 greys.
std::vector<std::uint32_t> StandardPalette(unsigned bits);

} // namespace fw
