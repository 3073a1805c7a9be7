// TIcon: images, assignment, file form and drawing through the mask.
#include "framework/graphics/icon.hpp"

#include "framework/graphics/byte_reader.hpp"
#include "framework/graphics/dib_codec.hpp"
#include "framework/graphics/surface.hpp"

#include <algorithm>
#include <cstdlib>
#include <string>
#include <utility>

namespace fw {

TIcon::TIcon() {
    SetTransparent(true);
    SetModified(false);
}

TIcon::~TIcon() = default;

void TIcon::Assign(const TPersistent& source) {
    const auto* other = dynamic_cast<const TIcon*>(&source);
    if (!other) return TGraphic::Assign(source);
    if (other == this) return;
    file_ = other->file_;
    Changed();
}

int TIcon::Width() const {
    return Empty() ? 0 : file_.images.front().color.width;
}

int TIcon::Height() const {
    return Empty() ? 0 : file_.images.front().color.height;
}

void TIcon::SetWidth(int) {
    throw EInvalidGraphicOperation("Cannot change the size of an icon");
}

void TIcon::SetHeight(int) {
    throw EInvalidGraphicOperation("Cannot change the size of an icon");
}

const IconImage* TIcon::BestImage(int width, int height) const {
    const IconImage* best = nullptr;
    long best_distance = 0;
    for (const IconImage& image : file_.images) {
        const long distance = std::labs(long{image.color.width} - width) +
                              std::labs(long{image.color.height} - height);
        if (!best || distance < best_distance ||
            (distance == best_distance &&
             image.color.bits_per_pixel > best->color.bits_per_pixel)) {
            best = &image;
            best_distance = distance;
        }
    }
    return best;
}

void TIcon::SetImages(std::vector<IconImage> images) {
    for (std::size_t i = 0; i < images.size(); ++i) {
        const IconImage& image = images[i];
        const ErrorContext errors(ErrorContext::Kind::Icon,
                                  "Icon: image " + std::to_string(i) + ": ");
        dib::Validate(image.color, errors);
        if (image.color.width > kMaxIconDimension || image.color.height > kMaxIconDimension)
            errors.Fail("size " + std::to_string(image.color.width) + " x " +
                        std::to_string(image.color.height) + " beyond " +
                        std::to_string(kMaxIconDimension));
        const auto count = static_cast<std::size_t>(image.color.width) *
                           static_cast<std::size_t>(image.color.height);
        if (image.mask.size() != count)
            errors.Fail(std::to_string(image.mask.size()) + " mask entries for " +
                        std::to_string(count) + " pixels");
    }
    file_.images = std::move(images);
    Changed();
}

void TIcon::Clear() {
    if (Empty()) return;
    file_.images.clear();
    Changed();
}

void TIcon::LoadFromBytes(std::span<const std::byte> ico_file) {
    file_ = ico_file.empty() ? IconFile{} : ReadIcon(ico_file);
    Changed();
}

std::vector<std::byte> TIcon::SaveToBytes() const {
    if (Empty()) return {};
    return WriteIcon(file_);
}

void TIcon::LoadFromStream(TStream& stream) {
    const std::int64_t left = stream.Remaining();
    LoadFromBytes(stream.ReadBytes(static_cast<std::size_t>(std::max<std::int64_t>(left, 0))));
}

void TIcon::SaveToStream(TStream& stream) const {
    stream.WriteBytes(SaveToBytes());
}

void TIcon::Draw(TCanvas& canvas, const TRect& rect) const {
    const IconImage* image = BestImage(rect.Width(), rect.Height());
    if (!image) return;
    const DibImage& color = image->color;
    const detail::Surface source = detail::Surface::ForReading(color);
    const TRect bounds{0, 0, color.width, color.height};
    // A 32-bit image with any alpha is blended by its alpha; all others go by the mask.
    const bool alpha = color.bits_per_pixel == 32 &&
                       std::ranges::any_of(color.pixels, [](std::uint32_t p) { return p >> 24; });
    canvas.Blit(rect, source, bounds, [&](int x, int y) -> std::uint8_t {
        const auto i = static_cast<std::size_t>(y) * static_cast<std::size_t>(color.width) +
                       static_cast<std::size_t>(x);
        if (alpha) return static_cast<std::uint8_t>(color.pixels[i] >> 24);
        return image->mask[i] ? 0 : 255;
    });
}

} // namespace fw
