// TImageList: masked images of one size.
#include "framework/graphics/image_list.hpp"

#include "framework/exceptions.hpp"
#include "framework/graphics/surface.hpp"

#include <string>

namespace fw {

TImageList::TImageList(int width, int height) : width_(width), height_(height) {
    if (width < 1 || height < 1 || width > kMaxImageDimension || height > kMaxImageDimension)
        throw EInvalidOperation("Invalid image size " + std::to_string(width) + " x " +
                                std::to_string(height));
}

TImageList::Image TImageList::Cut(const DibImage& source, int left, int width, int height) {
    Image image;
    DibImage& out = image.pixels;
    out = source.IsPaletted()
              ? DibImage::Paletted(width, height, source.bits_per_pixel, source.palette)
              : DibImage::TrueColor(width, height, 24);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const auto to = static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
                            static_cast<std::size_t>(x);
            const auto from = static_cast<std::size_t>(y) * static_cast<std::size_t>(source.width) +
                              static_cast<std::size_t>(left + x);
            if (source.IsPaletted())
                out.indices[to] = source.indices[from];
            else
                out.pixels[to] = source.pixels[from] & 0xFFFFFF;
        }
    image.mask.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    return image;
}

int TImageList::AddBlank() {
    Image image;
    image.pixels = DibImage::TrueColor(width_, height_, 24);
    image.mask.assign(static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_), 1);
    images_.push_back(std::move(image));
    return Count() - 1;
}

int TImageList::Add(const TBitmap& image, const TBitmap* mask) {
    const DibImage& src = image.Image();
    if (image.Empty() || src.height != height_ || src.width < width_)
        throw EInvalidOperation("Invalid image size");
    const int first = Count();
    for (int left = 0; left + width_ <= src.width; left += width_) {
        Image cut = Cut(src, left, width_, height_);
        if (mask && !mask->Empty()) {
            const DibImage& m = mask->Image();
            for (int y = 0; y < height_ && y < m.height; ++y)
                for (int x = 0; x < width_ && left + x < m.width; ++x)
                    cut.mask[static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                             static_cast<std::size_t>(x)] =
                        (m.ColorAt(left + x, y) & 0xFFFFFF) != 0 ? 1 : 0;
        }
        images_.push_back(std::move(cut));
    }
    return first;
}

namespace {

void MaskColor(const DibImage& pixels, std::vector<std::uint8_t>& mask, TColor mask_color) {
    const std::uint32_t key = ColorToPixel(mask_color, pixels.palette);
    for (int y = 0; y < pixels.height; ++y)
        for (int x = 0; x < pixels.width; ++x)
            mask[static_cast<std::size_t>(y) * static_cast<std::size_t>(pixels.width) +
                 static_cast<std::size_t>(x)] = (pixels.ColorAt(x, y) & 0xFFFFFF) == key ? 1 : 0;
}

} // namespace

int TImageList::AddMasked(const TBitmap& image, TColor mask_color) {
    const int first = Add(image);
    for (int i = first; i < Count(); ++i) {
        Image& added = images_[static_cast<std::size_t>(i)];
        MaskColor(added.pixels, added.mask, mask_color);
    }
    return first;
}

void TImageList::ReplaceMasked(int index, const TBitmap& image, TColor mask_color) {
    if (index < 0 || index >= Count() || image.Empty() || image.Width() != width_ ||
        image.Height() != height_)
        throw EInvalidOperation("Unable to Replace Image");
    Image replaced = Cut(image.Image(), 0, width_, height_);
    MaskColor(replaced.pixels, replaced.mask, mask_color);
    images_[static_cast<std::size_t>(index)] = std::move(replaced);
}

void TImageList::Delete(int index) {
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    images_.erase(images_.begin() + index);
}

void TImageList::Clear() {
    images_.clear();
}

void TImageList::Draw(TCanvas& canvas, int x, int y, int index) const {
    if (index < 0 || index >= Count()) return;
    const Image& image = images_[static_cast<std::size_t>(index)];
    const detail::Surface source = detail::Surface::ForReading(image.pixels);
    canvas.Blit(
        {x, y, x + width_, y + height_}, source, {0, 0, width_, height_},
        [&](int sx, int sy) -> std::uint8_t {
            return image.mask[static_cast<std::size_t>(sy) * static_cast<std::size_t>(width_) +
                              static_cast<std::size_t>(sx)]
                       ? 0
                       : 255;
        });
}

} // namespace fw
