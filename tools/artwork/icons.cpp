// The application icon and the tray icon: a small dark recorder with its red record light.
#include "artwork.hpp"
#include "raster.hpp"

namespace art {

namespace {

constexpr double kDesignSize = 32;

IconArt ToIcon(const Layer& l) {
    IconArt icon;
    icon.size = l.width;
    for (const auto& p : l.px) {
        icon.pixels.push_back(Pack(p.c));
        icon.alpha.push_back(static_cast<std::uint8_t>(Clamp01(p.a) * 255 + 0.5));
    }
    return icon;
}

// The shapes are laid out on a 32 x 32 design grid; `k` is pixels per grid unit, so every
// size is the same drawing (at 32 pixels k is 1 and the arithmetic is unchanged).
void Body(Layer& l, double inset, double radius, double k) {
    const double s = kDesignSize;
    auto sdf = [=](double x, double y) {
        return RoundBoxSdf(x / k, y / k, inset, inset, s - inset, s - inset, radius);
    };
    Fill(
        l, 0, 0, [&](double x, double y) { return sdf(x, y) < 0; },
        [&](double x, double y) {
            Rgb c = Mix(Rgb{84, 89, 100}, Rgb{38, 41, 48}, y / k / s);
            const double d = sdf(x, y);
            if (d > -1.6) {
                double nx, ny;
                Normal(sdf, x, y, nx, ny);
                c = Add(c, (-0.6 * nx - 0.8 * ny) * 40);
            }
            if (d > -0.8) c = Mix(c, Rgb{14, 15, 18}, 0.7);
            return c;
        });
}

void RecordLight(Layer& l, double cx, double cy, double r, double k = 1) {
    Fill(
        l, 0, 0, [&](double x, double y) { return CircleSdf(x / k, y / k, cx, cy, r + 1) < 0; },
        [&](double, double) {
            return Rgb{16, 17, 20};
        });
    Fill(
        l, 0, 0, [&](double x, double y) { return CircleSdf(x / k, y / k, cx, cy, r) < 0; },
        [&](double x, double y) {
            const double t = Length(x / k - (cx - r * 0.4), y / k - (cy - r * 0.4)) / (1.6 * r);
            return Mix(Rgb{255, 128, 112}, Rgb{196, 38, 34}, Clamp01(t));
        });
}

} // namespace

IconArt DrawAppIcon(int size) {
    Layer l(size, size);
    const double k = size / kDesignSize;
    Body(l, 1, 7, k);
    RecordLight(l, 12.5, 16, 6.5, k);
    Fill(
        l, 0, 0,
        [&](double x, double y) {
            // A play triangle beside the light.
            x /= k;
            y /= k;
            return x >= 21 && (y - 16) <= (27.5 - x) * 0.75 && (16 - y) <= (27.5 - x) * 0.75;
        },
        [&](double, double y) {
            return Mix(Rgb{140, 240, 160}, Rgb{60, 170, 90}, Clamp01((y / k - 11) / 10));
        });
    return ToIcon(l);
}

IconArt DrawTrayIcon() {
    Layer l(16, 16);
    Fill(
        l, 0, 0, [&](double x, double y) { return CircleSdf(x, y, 8, 8, 7.6) < 0; },
        [&](double, double y) {
            return Mix(Rgb{92, 97, 108}, Rgb{36, 39, 46}, y / 16);
        });
    RecordLight(l, 8, 8, 4);
    return ToIcon(l);
}

} // namespace art
