// The application's icon: turned once into the display's pixels and given to every form's
// window, so that the taskbar and the window switcher show it.
#include "framework/application.hpp"

#include "os/display/png.hpp"

#include <algorithm>
#include <stdexcept>

namespace fw {

namespace {

// The size taskbars and window switchers ask for.
constexpr int kWindowIconSize = 32;

os::IconPixels ToPixels(const TIcon& icon) {
    const IconImage* image = icon.BestImage(kWindowIconSize, kWindowIconSize);
    if (!image) return {};
    const DibImage& color = image->color;
    // As the icon is drawn: a 32-bit image with any alpha by its alpha, all others by the
    // mask.
    const bool alpha = color.bits_per_pixel == 32 &&
                       std::ranges::any_of(color.pixels, [](std::uint32_t p) { return p >> 24; });
    os::IconPixels out;
    out.width = color.width;
    out.height = color.height;
    out.argb.reserve(image->mask.size());
    for (std::int32_t y = 0; y < color.height; ++y) {
        for (std::int32_t x = 0; x < color.width; ++x) {
            const auto i = static_cast<std::size_t>(y) * static_cast<std::size_t>(color.width) +
                           static_cast<std::size_t>(x);
            const std::uint32_t a = alpha ? color.pixels[i] >> 24 : (image->mask[i] ? 0u : 255u);
            out.argb.push_back(a << 24 | color.ColorAt(x, y));
        }
    }
    return out;
}

} // namespace

void TApplication::SetIcon(const TIcon& icon) {
    icon_.Assign(icon);
    icon_pixels_ = ToPixels(icon_);
    if (!HasDisplay() || !Screen) return;
    for (int i = 0; i < Screen->FormCount(); ++i)
        if (const os::WindowId w = Screen->Forms(i)->DisplayWindow())
            GetDisplay().SetIcons(w, IconSet());
}

void TApplication::AddLargerIcon(std::span<const std::byte> png) {
    os::CheckIconPng(png);
    larger_icons_.push_back(png);
}

std::vector<os::IconPixels> TApplication::IconSet() const {
    std::vector<os::IconPixels> set{icon_pixels_};
    if (icon_pixels_.argb.empty()) return set;
    for (const auto png : larger_icons_) {
        // Its header was checked when it was added; a body that does not decode is left out.
        try {
            set.push_back(os::DecodeIconPng(png));
        } catch (const std::runtime_error&) {
        }
    }
    return set;
}

void TApplication::GiveIcon(os::WindowId window) const {
    if (window == os::kNoWindow || icon_pixels_.argb.empty() || !HasDisplay()) return;
    GetDisplay().SetIcons(window, IconSet());
}

} // namespace fw
