// TBitmap: size and depth changes, palettes, the transparent colour rule, drawing and the
// file and stored forms.
#include "framework/graphics/bitmap.hpp"

#include "framework/graphics/byte_reader.hpp"
#include "framework/graphics/dib_codec.hpp"
#include "framework/graphics/surface.hpp"

#include <algorithm>
#include <string>
#include <utility>

namespace fw {

namespace {

unsigned FormatBits(TPixelFormat format) {
    switch (format) {
    case pf1bit:
        return 1;
    case pf4bit:
        return 4;
    case pf8bit:
        return 8;
    case pf24bit:
        return 24;
    case pf32bit:
    case pfDevice:
        return 32;
    default:
        throw EInvalidGraphicOperation("Bitmap: pixel format " +
                                       *EnumIdents(format).NameOf(format) + " is not supported");
    }
}

bool IsMonochromePalette(std::span<const std::uint32_t> palette) {
    return palette.size() == 2 && (palette[0] & 0xFFFFFF) == 0 &&
           (palette[1] & 0xFFFFFF) == 0xFFFFFF;
}

// `source` at `bits` per pixel with `palette` (ignored for true colour): every pixel keeps
// its colour, or takes the nearest entry.
DibImage Convert(const DibImage& source, unsigned bits, std::vector<std::uint32_t> palette) {
    const auto b = static_cast<std::uint16_t>(bits);
    DibImage out = bits <= 8 ? DibImage::Paletted(source.width, source.height, b, palette)
                             : DibImage::TrueColor(source.width, source.height, b);
    out.x_pels_per_meter = source.x_pels_per_meter;
    out.y_pels_per_meter = source.y_pels_per_meter;
    for (int y = 0; y < source.height; ++y)
        for (int x = 0; x < source.width; ++x) {
            const std::uint32_t rgb = source.ColorAt(x, y) & 0xFFFFFF;
            const auto i = static_cast<std::size_t>(y) * static_cast<std::size_t>(source.width) +
                           static_cast<std::size_t>(x);
            if (bits <= 8)
                out.indices[i] = static_cast<std::uint8_t>(NearestPaletteIndex(palette, rgb));
            else
                out.pixels[i] = rgb;
        }
    return out;
}

void CheckSize(int width, int height) {
    if (width < 0 || height < 0 || width > kMaxImageDimension || height > kMaxImageDimension ||
        static_cast<std::uint64_t>(width) * static_cast<std::uint64_t>(height) > kMaxImagePixels)
        throw EInvalidBitmap("Bitmap: size " + std::to_string(width) + " x " +
                             std::to_string(height) + " out of range");
}

} // namespace

std::vector<std::uint32_t> StandardPalette(unsigned bits) {
    static const std::vector<std::uint32_t> vga = {
        0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
        0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
    if (bits == 1) return {0x000000, 0xFFFFFF};
    if (bits == 4) return vga;
    std::vector<std::uint32_t> palette = vga;
    for (std::uint32_t r = 0; r < 6; ++r)
        for (std::uint32_t g = 0; g < 6; ++g)
            for (std::uint32_t b = 0; b < 6; ++b)
                palette.push_back(r * 51 << 16 | g * 51 << 8 | b * 51);
    for (std::uint32_t i = 1; i <= 24; ++i) {
        const std::uint32_t v = i * 255 / 25;
        palette.push_back(v << 16 | v << 8 | v);
    }
    return palette;
}

TBitmap::TBitmap() = default;

TBitmap::TBitmap(int width, int height, TPixelFormat format) {
    const unsigned bits = FormatBits(format);
    CheckSize(width, height);
    image_ = bits <= 8 ? DibImage::Paletted(width, height, static_cast<std::uint16_t>(bits),
                                            StandardPalette(bits))
                       : DibImage::TrueColor(width, height, static_cast<std::uint16_t>(bits));
}

TBitmap::~TBitmap() = default;

void TBitmap::Assign(const TPersistent& source) {
    const auto* other = dynamic_cast<const TBitmap*>(&source);
    if (!other) return TGraphic::Assign(source);
    if (other == this) return;
    image_ = other->image_;
    fixed_color_ = other->fixed_color_;
    mode_ = other->mode_;
    if (Transparent() != other->Transparent())
        SetTransparent(other->Transparent()); // notifies
    else
        Changed();
}

void TBitmap::SetSize(int width, int height) {
    if (width == image_.width && height == image_.height) return;
    CheckSize(width, height);
    DibImage resized =
        image_.IsPaletted()
            ? DibImage::Paletted(width, height, image_.bits_per_pixel, image_.palette)
            : DibImage::TrueColor(width, height, image_.bits_per_pixel);
    resized.x_pels_per_meter = image_.x_pels_per_meter;
    resized.y_pels_per_meter = image_.y_pels_per_meter;
    const int w = std::min(width, image_.width), h = std::min(height, image_.height);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const auto from = static_cast<std::size_t>(y) * static_cast<std::size_t>(image_.width) +
                              static_cast<std::size_t>(x);
            const auto to = static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                            static_cast<std::size_t>(x);
            if (image_.IsPaletted())
                resized.indices[to] = image_.indices[from];
            else
                resized.pixels[to] = image_.pixels[from];
        }
    ReplaceImage(std::move(resized));
}

TCanvas& TBitmap::Canvas() {
    if (!canvas_) {
        canvas_ = std::make_unique<TCanvas>(image_);
        canvas_->OnChange = Bind<&TBitmap::CanvasChanged>(this);
    }
    return *canvas_;
}

void TBitmap::CanvasChanged(TObject*) {
    Changed();
}

TPixelFormat TBitmap::PixelFormat() const {
    switch (image_.bits_per_pixel) {
    case 1:
        return pf1bit;
    case 4:
        return pf4bit;
    case 8:
        return pf8bit;
    case 24:
        return pf24bit;
    case 32:
        return pf32bit;
    default:
        return pfCustom;
    }
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
    const unsigned bits = FormatBits(format);
    if (bits == image_.bits_per_pixel) return;
    if (bits <= 8 && image_.IsPaletted() && image_.palette.size() <= (1u << bits)) {
        DibImage same = image_;
        same.bits_per_pixel = static_cast<std::uint16_t>(bits);
        ReplaceImage(std::move(same));
        return;
    }
    ReplaceImage(
        Convert(image_, bits, bits <= 8 ? StandardPalette(bits) : std::vector<std::uint32_t>{}));
}

bool TBitmap::Monochrome() const {
    return image_.bits_per_pixel == 1 && IsMonochromePalette(image_.palette);
}

void TBitmap::SetMonochrome(bool value) {
    if (value == Monochrome()) return;
    if (value)
        ReplaceImage(Convert(image_, 1, StandardPalette(1)));
    else
        SetPixelFormat(pf24bit);
}

void TBitmap::SetPalette(std::vector<std::uint32_t> palette) {
    if (!image_.IsPaletted())
        throw EInvalidGraphicOperation("Bitmap: a " + std::to_string(image_.bits_per_pixel) +
                                       "-bit bitmap has no palette");
    if (palette.empty() || palette.size() > (1u << image_.bits_per_pixel))
        throw EInvalidGraphicOperation("Bitmap: " + std::to_string(palette.size()) +
                                       " palette entries for " +
                                       std::to_string(image_.bits_per_pixel) + " bits per pixel");
    DibImage changed = image_;
    for (std::uint32_t& entry : palette)
        entry &= 0xFFFFFF;
    for (std::uint8_t& index : changed.indices)
        if (index >= palette.size())
            index = static_cast<std::uint8_t>(
                NearestPaletteIndex(palette, image_.palette[index] & 0xFFFFFF));
    changed.palette = std::move(palette);
    ReplaceImage(std::move(changed));
}

TColor TBitmap::TransparentColor() const {
    if (mode_ == tmFixed) return fixed_color_;
    if (Empty()) return clDefault;
    if (Monochrome()) return clWhite;
    return static_cast<TColor>(PixelToColorRef(image_.ColorAt(0, image_.height - 1)));
}

void TBitmap::SetTransparentColor(TColor color) {
    if (color == fixed_color_ && mode_ == (color == clDefault ? tmAuto : tmFixed)) return;
    fixed_color_ = color;
    mode_ = color == clDefault ? tmAuto : tmFixed;
    Changed();
}

void TBitmap::SetTransparentMode(TTransparentMode mode) {
    if (mode == mode_) return;
    // Fixing the mode keeps the colour the bitmap has now.
    fixed_color_ = mode == tmFixed ? TransparentColor() : clDefault;
    mode_ = mode;
    Changed();
}

void TBitmap::Dormant() {
    if (canvas_) canvas_->ReleaseResources();
}

void TBitmap::SetImage(DibImage image) {
    if (image.width != 0 || image.height != 0) {
        dib::Validate(image, ErrorContext(ErrorContext::Kind::Bitmap, "Bitmap: "));
    } else if (image.IsPaletted() ? image.palette.size() > (1u << image.bits_per_pixel)
                                  : !image.palette.empty()) {
        throw EInvalidBitmap("Bitmap: " + std::to_string(image.palette.size()) +
                             " palette entries for " + std::to_string(image.bits_per_pixel) +
                             " bits per pixel");
    }
    ReplaceImage(std::move(image));
}

void TBitmap::ReplaceImage(DibImage image) {
    image_ = std::move(image);
    Changed();
}

void TBitmap::LoadFromBytes(std::span<const std::byte> bmp_file) {
    if (bmp_file.empty()) {
        ReplaceImage(DibImage::TrueColor(0, 0, 24));
        return;
    }
    ReplaceImage(ReadBmp(bmp_file));
}

std::vector<std::byte> TBitmap::SaveToBytes() const {
    if (Empty()) return {};
    return WriteBmp(image_);
}

void TBitmap::LoadFromStream(TStream& stream) {
    const std::int64_t left = stream.Remaining();
    LoadFromBytes(stream.ReadBytes(static_cast<std::size_t>(std::max<std::int64_t>(left, 0))));
}

void TBitmap::SaveToStream(TStream& stream) const {
    stream.WriteBytes(SaveToBytes());
}

void TBitmap::ReadData(TStream& stream) {
    const std::int64_t left = stream.Remaining();
    if (left < 4)
        throw EInvalidBitmap("Bitmap data: " + std::to_string(std::max<std::int64_t>(left, 0)) +
                             " bytes, too few for the byte count");
    const std::uint32_t count = stream.ReadUInt32();
    if (count > static_cast<std::uint64_t>(left - 4))
        throw EInvalidBitmap("Bitmap data: byte count " + std::to_string(count) + " beyond the " +
                             std::to_string(left - 4) + " bytes that follow");
    LoadFromBytes(stream.ReadBytes(count));
}

void TBitmap::WriteData(TStream& stream) const {
    const std::vector<std::byte> bytes = SaveToBytes();
    stream.WriteUInt32(static_cast<std::uint32_t>(bytes.size()));
    stream.WriteBytes(bytes);
}

void TBitmap::Draw(TCanvas& canvas, const TRect& rect) const {
    const detail::Surface source = detail::Surface::ForReading(image_);
    const TRect bounds{0, 0, image_.width, image_.height};
    if (!Transparent()) {
        canvas.Blit(rect, source, bounds);
        return;
    }
    const std::uint32_t key = ColorToPixel(TransparentColor(), image_.palette);
    canvas.Blit(rect, source, bounds,
                [&](int x, int y) -> std::uint8_t { return source.Get(x, y) == key ? 0 : 255; });
}

} // namespace fw
