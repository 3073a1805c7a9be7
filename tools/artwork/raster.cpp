// Drawing helpers of the artwork generator.
#include "raster.hpp"

#include "framework/font.hpp"

#include <algorithm>
#include <cmath>

namespace art {

double Clamp01(double v) {
    return v < 0 ? 0 : v > 1 ? 1 : v;
}

Rgb Mix(const Rgb& a, const Rgb& b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Rgb Scale(const Rgb& c, double k) {
    return {c.r * k, c.g * k, c.b * k};
}

Rgb Add(const Rgb& c, double amount) {
    return {c.r + amount, c.g + amount, c.b + amount};
}

namespace {
std::uint32_t Channel(double v) {
    const double rounded = std::floor(v + 0.5);
    return static_cast<std::uint32_t>(std::clamp(rounded, 0.0, 255.0));
}
} // namespace

std::uint32_t Pack(const Rgb& c) {
    return Channel(c.r) << 16 | Channel(c.g) << 8 | Channel(c.b);
}

Rgb Unpack(std::uint32_t pixel) {
    return {static_cast<double>(pixel >> 16 & 0xFF), static_cast<double>(pixel >> 8 & 0xFF),
            static_cast<double>(pixel & 0xFF)};
}

void Layer::Blend(int x, int y, const Rgb& c, double a) {
    if (x < 0 || y < 0 || x >= width || y >= height || a <= 0) return;
    Rgba& p = At(x, y);
    a = Clamp01(a);
    const double out = a + p.a * (1 - a);
    if (out <= 0) return;
    // Colour weighted by coverage, so a half-covered pixel keeps its own colour's share.
    p.c = {(c.r * a + p.c.r * p.a * (1 - a)) / out, (c.g * a + p.c.g * p.a * (1 - a)) / out,
           (c.b * a + p.c.b * p.a * (1 - a)) / out};
    p.a = out;
}

double Length(double x, double y) {
    return std::sqrt(x * x + y * y);
}

double CircleSdf(double x, double y, double cx, double cy, double r) {
    return Length(x - cx, y - cy) - r;
}

double RoundBoxSdf4(double x, double y, double x0, double y0, double x1, double y1, double tl,
                    double tr, double br, double bl) {
    const double cx = (x0 + x1) / 2, cy = (y0 + y1) / 2;
    const double hx = (x1 - x0) / 2, hy = (y1 - y0) / 2;
    const double px = x - cx, py = y - cy;
    const double r = px < 0 ? (py < 0 ? tl : bl) : (py < 0 ? tr : br);
    const double qx = std::abs(px) - hx + r, qy = std::abs(py) - hy + r;
    return std::min(std::max(qx, qy), 0.0) + Length(std::max(qx, 0.0), std::max(qy, 0.0)) - r;
}

double RoundBoxSdf(double x, double y, double x0, double y0, double x1, double y1, double r) {
    return RoundBoxSdf4(x, y, x0, y0, x1, y1, r, r, r, r);
}

double SegmentSdf(double x, double y, double ax, double ay, double bx, double by, double r) {
    const double pax = x - ax, pay = y - ay, bax = bx - ax, bay = by - ay;
    const double h = Clamp01((pax * bax + pay * bay) / (bax * bax + bay * bay));
    return Length(pax - bax * h, pay - bay * h) - r;
}

double SmoothUnion(double a, double b, double k) {
    const double h = Clamp01(0.5 + 0.5 * (b - a) / k);
    return b + (a - b) * h - k * h * (1 - h);
}

void Normal(const Sdf& sdf, double x, double y, double& nx, double& ny) {
    const double e = 0.5;
    const double dx = sdf(x + e, y) - sdf(x - e, y);
    const double dy = sdf(x, y + e) - sdf(x, y - e);
    const double len = Length(dx, dy);
    if (len <= 0) {
        nx = ny = 0;
        return;
    }
    nx = dx / len;
    ny = dy / len;
}

void Fill(Layer& layer, int ox, int oy, const std::function<bool(double, double)>& inside,
          const std::function<Rgb(double, double)>& shade, double opacity) {
    for (int y = 0; y < layer.height; ++y)
        for (int x = 0; x < layer.width; ++x) {
            Rgb sum;
            int n = 0;
            for (int j = 0; j < kSamples; ++j)
                for (int i = 0; i < kSamples; ++i) {
                    const double sx = ox + x + SampleOffset(i), sy = oy + y + SampleOffset(j);
                    if (!inside(sx, sy)) continue;
                    const Rgb c = shade(sx, sy);
                    sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
                    ++n;
                }
            if (n == 0) continue;
            layer.Blend(x, y, Scale(sum, 1.0 / n),
                        opacity * static_cast<double>(n) / (kSamples * kSamples));
        }
}

namespace {
std::shared_ptr<fw::FontFace> Face(int px) {
    return fw::FontFace::Get(fw::FontKey{"DejaVu Sans", -px, true, false});
}
} // namespace

int TextWidth(const std::string& text, int px) {
    return Face(px)->TextWidth(text);
}

void DrawText(const std::string& text, int px, double cx, int baseline,
              const std::function<void(int, int, double)>& plot) {
    auto face = Face(px);
    const int left = static_cast<int>(std::floor(cx - face->TextWidth(text) / 2.0 + 0.5));
    face->Draw(text, left, baseline, [&](int x, int y, std::uint8_t c) { plot(x, y, c / 255.0); });
}

} // namespace art
