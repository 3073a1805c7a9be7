// TImageList: a list of equally sized images, each with a mask, drawn through the mask so
// that only its opaque pixels reach the canvas. Images keep the pixel format they were
// given, so an 8-bit image drawn onto a bitmap with the same palette keeps its indices.
#pragma once

#include "framework/classes.hpp"
#include "framework/graphics/bitmap.hpp"
#include "framework/graphics/canvas.hpp"

#include <cstdint>
#include <vector>

namespace fw {

class TImageList : public TPersistent {
    FW_CLASS(TImageList, TPersistent)
public:
    // Images of 16 x 16.
    TImageList() : TImageList(16, 16) {}
    // Throws EInvalidOperation for sizes below 1 or past the bitmap limits.
    TImageList(int width, int height);

    int Count() const { return static_cast<int>(images_.size()); }
    int Width() const { return width_; }
    int Height() const { return height_; }

    // A black image that is transparent everywhere; returns its index.
    int AddBlank();
    // Every full Width() column of the bitmap becomes an image; a mask pixel that is not black
    // is transparent (no mask: all opaque). Returns the index of the first image added.
    // Throws EInvalidOperation("Invalid image size") unless the height matches and at least
    // one image fits.
    int Add(const TBitmap& image, const TBitmap* mask = nullptr);
    // The same with every pixel of `mask_color` transparent.
    int AddMasked(const TBitmap& image, TColor mask_color);
    // Replaces image `index` with the bitmap (of exactly the list's size), every pixel of
    // `mask_color` transparent. Throws EInvalidOperation("Unable to Replace Image") for an
    // index outside the list, an empty bitmap or one of another size.
    void ReplaceMasked(int index, const TBitmap& image, TColor mask_color);
    void Delete(int index);
    void Clear();

    // Draws image `index` with its top-left corner at (x, y); masked pixels leave the canvas
    // as it is. An index outside the list draws nothing.
    void Draw(TCanvas& canvas, int x, int y, int index) const;

private:
    struct Image {
        DibImage pixels;
        std::vector<std::uint8_t> mask; // 1 = transparent
    };
    static Image Cut(const DibImage& source, int left, int width, int height);

    int width_;
    int height_;
    std::vector<Image> images_;
};

} // namespace fw
