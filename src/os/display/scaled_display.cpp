// The display at a device scale, and how the scale is chosen.
#include "os/display/scaled_display.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace os {

namespace {

std::string_view Trim(std::string_view s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const auto last = s.find_last_not_of(" \t\r");
    return s.substr(first, last - first + 1);
}

std::optional<int> WholeScale(std::string_view text) {
    text = Trim(text);
    int v = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    if (v < kMinScale || v > kMaxScale) return std::nullopt;
    return v;
}

// Xft.dpi from resource lines "name:\tvalue"; the last line naming it wins, as in Xrm.
std::optional<int> ScaleFromDpi(std::string_view resources) {
    std::optional<int> scale;
    while (!resources.empty()) {
        const auto eol = resources.find('\n');
        const std::string_view line = resources.substr(0, eol);
        resources = eol == std::string_view::npos ? std::string_view{} : resources.substr(eol + 1);
        const auto colon = line.find(':');
        if (colon == std::string_view::npos || Trim(line.substr(0, colon)) != "Xft.dpi") continue;
        const std::string value(Trim(line.substr(colon + 1)));
        char* end = nullptr;
        const double dpi = std::strtod(value.c_str(), &end);
        if (value.empty() || *end != '\0' || !std::isfinite(dpi) || dpi <= 0) continue;
        // Nearest multiple of 96: 144 and up is 2, 240 and up is 3.
        scale = static_cast<int>(std::clamp(std::floor(dpi / 96.0 + 0.5), 1.0, 4.0));
    }
    return scale;
}

int FloorDiv(int v, int s) {
    return v >= 0 ? v / s : -((-v + s - 1) / s);
}

} // namespace

int ChooseScale(std::optional<std::int32_t> setting, const char* gdk_scale,
                std::string_view resources) {
    if (setting && *setting >= kMinScale && *setting <= kMaxScale) return *setting;
    if (gdk_scale)
        if (const auto v = WholeScale(gdk_scale)) return *v;
    if (const auto v = ScaleFromDpi(resources)) return *v;
    return 1;
}

PixelBuffer Enlarged(const PixelBuffer& p, int factor) {
    if (factor <= 1) return p;
    PixelBuffer out(p.width * factor, p.height * factor);
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            out.Set(x, y, p.At(x / factor, y / factor));
    return out;
}

ScaledDisplay::ScaledDisplay(Display& device, int scale)
    : device_(device), scale_(std::clamp(scale, kMinScale, kMaxScale)) {
    // It has no connection of its own: the device reads its own in TakeReceived, so one look
    // per call is enough, and a second would only repeat the first.
    ReportsReadability();
}

int ScaledDisplay::Down(int v) const {
    return FloorDiv(v, scale_);
}

Rect ScaledDisplay::Covering(const Rect& d) const {
    return {Down(d.left), Down(d.top), -Down(-d.right), -Down(-d.bottom)};
}

Rect ScaledDisplay::Up(const Rect& r) const {
    return {r.left * scale_, r.top * scale_, r.right * scale_, r.bottom * scale_};
}

WindowId ScaledDisplay::CreateWindow(const WindowParams& params) {
    WindowParams device = params;
    device.bounds = Up(params.bounds);
    return device_.CreateWindow(device);
}

void ScaledDisplay::DestroyWindow(WindowId w) {
    enlarged_.erase(w);
    device_.DestroyWindow(w);
}

void ScaledDisplay::SetBounds(WindowId w, const Rect& bounds) {
    device_.SetBounds(w, Up(bounds));
}

Rect ScaledDisplay::BoundsDown(const Rect& d) const {
    // A window manager may place it between logical pixels: its size stays whole.
    const Rect size = Covering({0, 0, d.Width(), d.Height()});
    return size.Offset(Down(d.left), Down(d.top));
}

Rect ScaledDisplay::GetBounds(WindowId w) const {
    return BoundsDown(device_.GetBounds(w));
}

void ScaledDisplay::SetShape(WindowId w, const std::optional<std::vector<Rect>>& shape) {
    if (!shape || scale_ == 1) return device_.SetShape(w, shape);
    std::vector<Rect> device;
    device.reserve(shape->size());
    for (const Rect& r : *shape)
        device.push_back(Up(r));
    device_.SetShape(w, device);
}

void ScaledDisplay::Present(WindowId w, const PixelBuffer& pixels, const Rect& damaged) {
    if (scale_ == 1) return device_.Present(w, pixels, damaged);
    if (pixels.scale == scale_) {
        // Drawn at the device's scale already (the device takes its pixels as they are);
        // `damaged` is in logical pixels.
        return device_.Present(w, pixels, Up(damaged));
    }
    if (!pixels.Consistent())
        throw std::invalid_argument("display: pixel buffer " + std::to_string(pixels.width) + "x" +
                                    std::to_string(pixels.height) + " holds " +
                                    std::to_string(pixels.pixels.size()) + " pixels");
    PixelBuffer& big = enlarged_[w];
    const int s = scale_;
    if (big.width != pixels.width * s || big.height != pixels.height * s)
        big = PixelBuffer(pixels.width * s, pixels.height * s);
    const Rect area = damaged.Intersect({0, 0, pixels.width, pixels.height});
    if (area.Empty()) return;
    for (int y = area.top; y < area.bottom; ++y) {
        std::uint32_t* row = big.pixels.data() + static_cast<std::size_t>(y) * s * big.width;
        for (int x = area.left; x < area.right; ++x)
            std::fill_n(row + static_cast<std::size_t>(x) * s, s, pixels.At(x, y));
        const auto from = row + static_cast<std::size_t>(area.left) * s;
        const auto count = static_cast<std::size_t>(area.Width()) * s;
        for (int copy = 1; copy < s; ++copy)
            std::copy_n(from, count, from + static_cast<std::size_t>(copy) * big.width);
    }
    device_.Present(w, big, Up(area));
}

void ScaledDisplay::SetIcons(WindowId w, const std::vector<IconPixels>& icons) {
    std::vector<IconPixels> kept;
    for (std::size_t i = 0; i < icons.size(); ++i)
        if (i == 0 || std::max(icons[i].width, icons[i].height) <= 32 * scale_)
            kept.push_back(icons[i]);
    device_.SetIcons(w, kept);
}

WindowId ScaledDisplay::WindowAt(Point p) const {
    return device_.WindowAt({p.x * scale_, p.y * scale_});
}

Point ScaledDisplay::PointerPosition() const {
    const Point p = device_.PointerPosition();
    return {Down(p.x), Down(p.y)};
}

Size ScaledDisplay::ScreenSize() const {
    const Size s = device_.ScreenSize();
    return {s.width / scale_, s.height / scale_};
}

std::vector<Rect> ScaledDisplay::Monitors() const {
    std::vector<Rect> monitors = device_.Monitors();
    for (Rect& m : monitors)
        m = {Down(m.left), Down(m.top), Down(m.right), Down(m.bottom)};
    return monitors;
}

[[gnu::hot]] bool ScaledDisplay::TakeReceived(DisplayEvent& event) {
    if (!device_.NextEvent(event)) return false;
    if (scale_ != 1) ScaleDown(event);
    return true;
}

[[gnu::noinline]] void ScaledDisplay::ScaleDown(DisplayEvent& event) const {
    event.x = Down(event.x);
    event.y = Down(event.y);
    event.screen_x = Down(event.screen_x);
    event.screen_y = Down(event.screen_y);
    if (event.kind == EventKind::Exposed) event.area = Covering(event.area);
    if (event.kind == EventKind::MoveEnded) event.area = BoundsDown(event.area);
}

} // namespace os
