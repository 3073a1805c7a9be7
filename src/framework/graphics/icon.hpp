// TIcon: an icon picture, one or more images each drawn through its mask (or its alpha
// channel). Its file form and its stored record are the standard icon file. The tray reads
// its images to hand the notification area the one that fits.
#pragma once

#include "framework/graphics/canvas.hpp"
#include "framework/graphics/graphic.hpp"
#include "framework/graphics/ico.hpp"

#include <cstddef>
#include <span>
#include <vector>

namespace fw {

class TIcon : public TGraphic {
    FW_CLASS(TIcon, TGraphic)
public:
    TIcon();
    ~TIcon() override;

    // From another icon: a copy of its images.
    void Assign(const TPersistent& source) override;

    bool Empty() const override { return file_.images.empty(); }
    // The size of the first image; 0 for an empty icon.
    int Width() const override;
    int Height() const override;
    // Icons keep the sizes of their images: both throw EInvalidGraphicOperation.
    void SetWidth(int width) override;
    void SetHeight(int height) override;

    const std::vector<IconImage>& Images() const { return file_.images; }
    // The image of exactly that size with the most colours, else the nearest in size;
    // nullptr for an empty icon.
    const IconImage* BestImage(int width, int height) const;
    // Replaces the images; throws EInvalidIcon when one is inconsistent.
    void SetImages(std::vector<IconImage> images);
    void Clear();

    void LoadFromBytes(std::span<const std::byte> ico_file);
    std::vector<std::byte> SaveToBytes() const;
    // The icon file; an empty icon is no bytes at all.
    void LoadFromStream(TStream& stream) override;
    void SaveToStream(TStream& stream) const override;

protected:
    void Draw(TCanvas& canvas, const TRect& rect) const override;

private:
    IconFile file_;
};

} // namespace fw
