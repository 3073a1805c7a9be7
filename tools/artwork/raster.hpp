// Drawing helpers of the artwork generator: colours as doubles, signed-distance shapes,
// supersampled coverage and text, all deterministic (arithmetic and sqrt only, so that the
// same machine kind always produces the same bytes).
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace art {

struct Rgb {
    double r = 0, g = 0, b = 0;
};

Rgb Mix(const Rgb& a, const Rgb& b, double t); // a at t = 0, b at t = 1
Rgb Scale(const Rgb& c, double k);
Rgb Add(const Rgb& c, double amount); // the same amount on every channel
double Clamp01(double v);
// 0x00RRGGBB, each channel rounded and clamped to 0..255.
std::uint32_t Pack(const Rgb& c);
Rgb Unpack(std::uint32_t pixel);

// A colour with coverage, premultiplied by nothing: colour is what shows where alpha is 1.
struct Rgba {
    Rgb c;
    double a = 0;
};

// An image of colours with coverage, top row first.
struct Layer {
    int width = 0, height = 0;
    std::vector<Rgba> px;
    Layer(int w, int h) : width(w), height(h), px(static_cast<std::size_t>(w * h)) {}
    Rgba& At(int x, int y) { return px[static_cast<std::size_t>(y * width + x)]; }
    const Rgba& At(int x, int y) const { return px[static_cast<std::size_t>(y * width + x)]; }
    // Blends `c` over the pixel with coverage `a` (0..1); pixels outside are ignored.
    void Blend(int x, int y, const Rgb& c, double a);
};

// Signed distances, negative inside.
double Length(double x, double y);
double CircleSdf(double x, double y, double cx, double cy, double r);
// A box from (x0, y0) to (x1, y1) with the corners rounded by r.
double RoundBoxSdf(double x, double y, double x0, double y0, double x1, double y1, double r);
// A box with its own radius per corner: top-left, top-right, bottom-right, bottom-left.
double RoundBoxSdf4(double x, double y, double x0, double y0, double x1, double y1, double tl,
                    double tr, double br, double bl);
// A stroke of width 2 r around the segment (ax, ay) - (bx, by).
double SegmentSdf(double x, double y, double ax, double ay, double bx, double by, double r);
// The union of two shapes with the seam rounded over about k pixels.
double SmoothUnion(double a, double b, double k);

using Sdf = std::function<double(double x, double y)>;
// The outward unit normal of a shape at (x, y), from central differences.
void Normal(const Sdf& sdf, double x, double y, double& nx, double& ny);

// 4 x 4 samples per pixel.
inline constexpr int kSamples = 4;
inline double SampleOffset(int i) {
    return (i + 0.5) / kSamples;
}

// Paints a layer by asking `shade` for the colour at each sample point that `inside` holds;
// the pixel's colour is their mean and its coverage the share of samples inside.
void Fill(Layer& layer, int ox, int oy, const std::function<bool(double, double)>& inside,
          const std::function<Rgb(double, double)>& shade, double opacity = 1);

// Coverage of a string in DejaVu Sans Bold at `px` pixels (em height), centred on cx with its
// baseline at `baseline`: plot(x, y, coverage 0..1).
void DrawText(const std::string& text, int px, double cx, int baseline,
              const std::function<void(int, int, double)>& plot);
int TextWidth(const std::string& text, int px);

} // namespace art
