// The skin and the button faces. Everything is computed in window coordinates from a few
// shapes: the body outline, a well around every button, and the button caps with their
// symbols and labels. A face is the cap composited over the body without that cap, so it
// sits on the skin without a seam; what lies outside the cap is the key colour.
#include "artwork.hpp"

#include "raster.hpp"

#include "framework/font.hpp"

#include <cmath>
#include <stdexcept>

namespace art {

namespace {

// Light falls from the upper left.
constexpr double kLightX = -0.6, kLightY = -0.8;

const Rgb kBodyTop{72, 76, 85};
const Rgb kBodyBottom{40, 43, 50};
const Rgb kRim{14, 15, 18};
const Rgb kWell{20, 21, 25};
const Rgb kCapTop{104, 109, 120};
const Rgb kCapBottom{56, 60, 69};
const Rgb kCapDownTop{42, 45, 52};
const Rgb kCapDownBottom{66, 70, 80};
const Rgb kLabel{226, 229, 235};
const Rgb kLabelDim{122, 126, 134};
const Rgb kLcd{214, 223, 201};
const Rgb kLcdFrame{24, 26, 30};

// ---- Body ----

double BodySdf(double x, double y) {
    const double box = RoundBoxSdf4(x, y, 1, 14, 166, 170, 22, 22, 29, 22);
    // A crown around the minimise button.
    const double crown = CircleSdf(x, y, 73.5, 31.5, 26);
    return SmoothUnion(box, crown, 10);
}

struct Cap {
    ButtonKind kind;
    double x0, y0, x1, y1, r; // in cell coordinates
};

Cap CapOf(ButtonKind kind) {
    switch (kind) {
    case ButtonKind::Play:
        return {kind, 3, 3, 102, 49, 23};
    case ButtonKind::Rec:
        return {kind, 3, 3, 100, 47, 22};
    case ButtonKind::Off:
        return {kind, 4, 4.5, 53, 53.5, 24.5};
    case ButtonKind::Min:
        return {kind, 1.5, 1.5, 41.5, 41.5, 20};
    case ButtonKind::Stop:
        return {kind, 2.5, 2.5, 47.5, 47.5, 22.5};
    }
    return {kind, 0, 0, 0, 0, 0};
}

double CapSdf(const Cap& cap, double x, double y) {
    return RoundBoxSdf(x, y, cap.x0, cap.y0, cap.x1, cap.y1, cap.r);
}

const ButtonPlace& PlaceOf(ButtonKind kind) {
    for (const auto& b : kButtons)
        if (b.kind == kind) return b;
    throw std::logic_error("unknown button");
}

// The body's colour at a point inside it, wells included.
Rgb BodyColor(double x, double y) {
    const double d = BodySdf(x, y);
    Rgb c = Mix(kBodyTop, kBodyBottom, y / kSkinHeight);
    if (d > -4.5) {
        double nx, ny;
        Normal(BodySdf, x, y, nx, ny);
        const double t = Clamp01((d + 4.5) / 3.5);
        c = Add(c, (nx * kLightX + ny * kLightY) * 38 * t * (2 - t));
    }
    if (d > -1.3) c = Mix(c, kRim, Clamp01((d + 1.3) / 0.8));
    for (const auto& b : kButtons) {
        const Cap cap = CapOf(b.kind);
        const double lx = x - b.left, ly = y - b.top;
        const double cd = CapSdf(cap, lx, ly);
        if (cd >= 6) continue;
        double nx, ny;
        Normal([&](double px, double py) { return CapSdf(cap, px, py); }, lx, ly, nx, ny);
        if (cd >= 2.5) {
            // A soft shade around the well.
            c = Add(c, -10 * (1 - (cd - 2.5) / 3.5));
        } else {
            // The well's wall facing the light catches it.
            Rgb w = Add(kWell, -(nx * kLightX + ny * kLightY) * 22);
            c = Mix(w, c, Clamp01((cd - 1.9) / 0.6));
        }
    }
    return c;
}

// ---- Faces ----

bool InTriangle(double x, double y, double ax, double ay, double bx, double by, double cx,
                double cy) {
    auto side = [](double px, double py, double qx, double qy, double rx, double ry) {
        return (qx - px) * (ry - py) - (qy - py) * (rx - px);
    };
    const double d1 = side(ax, ay, bx, by, x, y), d2 = side(bx, by, cx, cy, x, y),
                 d3 = side(cx, cy, ax, ay, x, y);
    return (d1 >= 0 && d2 >= 0 && d3 >= 0) || (d1 <= 0 && d2 <= 0 && d3 <= 0);
}

Rgb CapColor(const Cap& cap, FaceState state, double x, double y) {
    const double t = (y - cap.y0) / (cap.y1 - cap.y0);
    const double d = CapSdf(cap, x, y);
    double nx, ny;
    Normal([&](double px, double py) { return CapSdf(cap, px, py); }, x, y, nx, ny);
    const double lit = nx * kLightX + ny * kLightY;
    if (state == FaceState::Down) {
        Rgb c = Mix(kCapDownTop, kCapDownBottom, t);
        if (d > -3.5) c = Add(c, -lit * 26 * (1 + d / 3.5));
        return c;
    }
    Rgb c = Mix(kCapTop, kCapBottom, t);
    // A soft sheen across the upper half of the cap.
    const double cx = (cap.x0 + cap.x1) / 2, cy = cap.y0 + (cap.y1 - cap.y0) * 0.28;
    const double rx = (cap.x1 - cap.x0) * 0.42, ry = (cap.y1 - cap.y0) * 0.3;
    const double q = ((x - cx) / rx) * ((x - cx) / rx) + ((y - cy) / ry) * ((y - cy) / ry);
    if (q < 1) c = Add(c, 16 * (1 - q) * (1 - q));
    if (d > -2.4) c = Add(c, lit * 58 * (1 + d / 2.4));
    return c;
}

// A soft halo of light around a disc of radius r.
void Glow(Layer& l, double cx, double cy, double r, const Rgb& colour, double halo) {
    for (int y = 0; y < l.height; ++y)
        for (int x = 0; x < l.width; ++x) {
            const double d = Length(x + 0.5 - cx, y + 0.5 - cy) - r;
            if (d < halo && d > 0) l.Blend(x, y, colour, 0.35 * (1 - d / halo) * (1 - d / halo));
        }
}

// A lit dot with a soft halo.
void Led(Layer& l, double cx, double cy, double r, const Rgb& colour, double halo) {
    Glow(l, cx, cy, r, colour, halo);
    Fill(
        l, 0, 0, [&](double x, double y) { return CircleSdf(x, y, cx, cy, r) < 0; },
        [&](double x, double y) {
            // Brightest towards the upper left, like a small lens.
            const double k = Length(x - (cx - r * 0.35), y - (cy - r * 0.35)) / (2 * r);
            return Mix(Add(colour, 40), colour, Clamp01(k));
        });
}

void Label(Layer& l, const std::string& text, int px, double cx, int baseline, const Rgb& colour,
           bool shadow) {
    if (shadow)
        DrawText(text, px, cx, baseline + 1, [&](int x, int y, double a) {
            l.Blend(x, y, Rgb{8, 9, 11}, a * 0.7);
        });
    DrawText(text, px, cx, baseline, [&](int x, int y, double a) { l.Blend(x, y, colour, a); });
}

// Symbol and label colours of a state: dim when disabled, lit when down.
struct Ink {
    Rgb label;
    double shift; // the pressed face moves its content by a pixel
    bool lit;
};

Ink InkOf(FaceState s) {
    switch (s) {
    case FaceState::Disabled:
        return {kLabelDim, 0, false};
    case FaceState::Down:
        return {Add(kLabel, 8), 1, true};
    default:
        return {kLabel, 0, false};
    }
}

void DrawSymbols(Layer& l, const Cap& cap, FaceState state) {
    const Ink ink = InkOf(state);
    const double s = ink.shift;
    const double mx = (cap.x0 + cap.x1) / 2 + s, my = (cap.y0 + cap.y1) / 2 + s;
    const bool dim = state == FaceState::Disabled;
    const Rgb grey{112, 116, 124};
    switch (cap.kind) {
    case ButtonKind::Play: {
        const int text_w = TextWidth("PLAY", 14);
        const double sym_w = 12, gap = 8;
        const double left = mx - (sym_w + gap + text_w) / 2;
        const Rgb green = dim ? grey : ink.lit ? Rgb{118, 246, 140} : Rgb{74, 190, 104};
        if (ink.lit) Glow(l, left + 4.5, my, 4, green, 7);
        Fill(
            l, 0, 0,
            [&](double x, double y) {
                return InTriangle(x, y, left, my - 7, left, my + 7, left + sym_w, my);
            },
            [&](double, double y) {
                return Mix(Add(green, 30), green, Clamp01((y - my + 7) / 14));
            });
        Label(l, "PLAY", 14, left + sym_w + gap + text_w / 2.0, static_cast<int>(my + 5.5),
              ink.label, true);
        if (state == FaceState::Latched) Led(l, cap.x1 - 13, my, 2.2, Rgb{96, 236, 120}, 4);
        break;
    }
    case ButtonKind::Rec: {
        const int text_w = TextWidth("REC", 14);
        const double r = 6.5, gap = 8;
        const double left = mx - (2 * r + gap + text_w) / 2;
        const Rgb red = dim ? grey : ink.lit ? Rgb{255, 76, 62} : Rgb{200, 48, 42};
        Led(l, left + r, my, r, red, ink.lit ? 7 : 0);
        Label(l, "REC", 14, left + 2 * r + gap + text_w / 2.0, static_cast<int>(my + 5.5),
              ink.label, true);
        if (state == FaceState::Latched) Led(l, cap.x1 - 13, my, 2.2, Rgb{255, 80, 66}, 4);
        break;
    }
    case ButtonKind::Stop: {
        const Rgb sq = dim ? grey : Rgb{232, 234, 238};
        Fill(
            l, 0, 0,
            [&](double x, double y) {
                return RoundBoxSdf(x, y, mx - 5, my - 13, mx + 5, my - 3, 1.5) < 0;
            },
            [&](double, double) { return sq; });
        Label(l, "STOP", 10, mx, static_cast<int>(my + 11), ink.label, true);
        break;
    }
    case ButtonKind::Off: {
        const Rgb red = dim ? grey : ink.lit ? Rgb{255, 104, 88} : Rgb{226, 84, 70};
        const double a = 7.5;
        auto cross = [&](double x, double y) {
            return std::min(SegmentSdf(x, y, mx - a, my - a, mx + a, my + a, 2.6),
                            SegmentSdf(x, y, mx - a, my + a, mx + a, my - a, 2.6));
        };
        Fill(
            l, 0, 0, [&](double x, double y) { return cross(x - 0.8, y - 1.2) < 0; },
            [&](double, double) {
                return Rgb{8, 9, 11};
            },
            0.6);
        Fill(
            l, 0, 0, [&](double x, double y) { return cross(x, y) < 0; },
            [&](double, double y) {
                return Mix(Add(red, 24), red, Clamp01((y - my + a) / (2 * a)));
            });
        break;
    }
    case ButtonKind::Min: {
        const Rgb white = dim ? grey : Rgb{232, 234, 238};
        const double y = 14.5 + s;
        Fill(
            l, 0, 0,
            [&](double px, double py) { return SegmentSdf(px, py, 17 + s, y, 26 + s, y, 1.7) < 0; },
            [&](double, double) { return white; });
        // The bar stays where it is whatever the state: the trace is drawn over it.
        for (int py = kBarTop - 1; py <= kBarBottom; ++py)
            for (int px = kBarLeft - 1; px <= kBarRight; ++px) {
                const bool bar =
                    px >= kBarLeft && px < kBarRight && py >= kBarTop && py < kBarBottom;
                l.Blend(px, py, bar ? kLcd : kLcdFrame, 1);
            }
        break;
    }
    }
}

Layer DrawFace(ButtonKind kind, FaceState state) {
    const ButtonPlace& b = PlaceOf(kind);
    const Cap cap = CapOf(kind);
    Layer l(b.width, b.height);
    Fill(
        l, 0, 0, [&](double x, double y) { return CapSdf(cap, x, y) < 0; },
        [&](double x, double y) { return CapColor(cap, state, x, y); });
    // Symbols must not add coverage beyond the cap: keep the cap's coverage.
    std::vector<double> coverage;
    for (const auto& p : l.px)
        coverage.push_back(p.a);
    DrawSymbols(l, cap, state);
    for (std::size_t i = 0; i < l.px.size(); ++i)
        l.px[i].a = coverage[i];
    return l;
}

// The body without caps: every pixel inside the outline, the background elsewhere.
Layer DrawBody() {
    Layer l(kSkinWidth, kSkinHeight);
    for (int y = 0; y < kSkinHeight; ++y)
        for (int x = 0; x < kSkinWidth; ++x) {
            // The outline is hard: a pixel belongs to the window when its centre is inside.
            if (BodySdf(x + 0.5, y + 0.5) >= 0) continue;
            Rgb sum;
            for (int j = 0; j < kSamples; ++j)
                for (int i = 0; i < kSamples; ++i) {
                    const Rgb c = BodyColor(x + SampleOffset(i), y + SampleOffset(j));
                    sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
                }
            l.At(x, y) = {Scale(sum, 1.0 / (kSamples * kSamples)), 1};
        }
    return l;
}

void DrawDecor(Layer& body) {
    // A microphone grille in the upper left: rows of small holes.
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 5; ++col) {
            const double cx = 15.5 + col * 6.5 + (row % 2) * 3.25, cy = 24 + row * 6;
            Fill(
                body, 0, 0, [&](double x, double y) { return CircleSdf(x, y, cx, cy, 1.9) < 0; },
                [&](double, double y) {
                    return Mix(Rgb{10, 11, 13}, Rgb{34, 36, 42}, Clamp01((y - cy + 1.9) / 3.8));
                });
        }
    // The name, printed below it.
    DrawText("MIRELO", 9, 28.5, 52, [&](int x, int y, double a) {
        body.Blend(x, y, Rgb{10, 11, 13}, a * 0.6);
    });
    DrawText("MIRELO", 9, 28.5, 51, [&](int x, int y, double a) {
        body.Blend(x, y, Rgb{176, 184, 198}, a);
    });
    // A speaker behind three slots on the right.
    for (int i = 0; i < 3; ++i) {
        const double y = 92 + i * 6;
        Fill(
            body, 0, 0,
            [&](double px, double py) { return SegmentSdf(px, py, 126, y, 152, y, 1.6) < 0; },
            [&](double, double py) {
                return Mix(Rgb{10, 11, 13}, Rgb{40, 43, 50}, Clamp01((py - y + 1.6) / 3.2));
            });
    }
}

TrueColorImage Flatten(const Layer& l, const Layer* under, int ox, int oy, std::uint32_t empty) {
    TrueColorImage img{l.width, l.height, {}};
    img.pixels.reserve(l.px.size());
    for (int y = 0; y < l.height; ++y)
        for (int x = 0; x < l.width; ++x) {
            const Rgba& p = l.At(x, y);
            if (p.a <= 0) {
                img.pixels.push_back(empty);
                continue;
            }
            Rgb c = p.c;
            if (p.a < 1 && under) c = Mix(under->At(x + ox, y + oy).c, p.c, p.a);
            img.pixels.push_back(Pack(c));
        }
    return img;
}

} // namespace

Artwork DrawArtwork() {
    const auto face = fw::FontFace::Get(fw::FontKey{"DejaVu Sans", -14, true, false});
    if (face->FilePath().find("DejaVuSans-Bold.ttf") == std::string::npos)
        throw std::runtime_error("the artwork needs DejaVu Sans Bold (fonts-dejavu-core), found " +
                                 face->FilePath());
    Layer body = DrawBody();
    DrawDecor(body);

    Artwork art;
    Layer skin = body;
    for (std::size_t i = 0; i < kButtons.size(); ++i) {
        const ButtonPlace& b = kButtons[i];
        TrueColorImage strip{4 * b.width, b.height, {}};
        strip.pixels.assign(static_cast<std::size_t>(strip.width * strip.height), kKeyColor);
        for (int s = 0; s < 4; ++s) {
            const Layer f = DrawFace(b.kind, static_cast<FaceState>(s));
            const TrueColorImage cell = Flatten(f, &body, b.left, b.top, kKeyColor);
            for (int y = 0; y < b.height; ++y)
                for (int x = 0; x < b.width; ++x)
                    strip.pixels[static_cast<std::size_t>(y * strip.width + s * b.width + x)] =
                        cell.At(x, y);
            if (s == 0)
                for (int y = 0; y < b.height; ++y)
                    for (int x = 0; x < b.width; ++x)
                        if (f.At(x, y).a > 0)
                            skin.At(b.left + x, b.top + y).c =
                                Unpack(cell.At(x, y)); // what the window shows when idle
        }
        art.strips[i] = std::move(strip);
    }
    art.skin = Flatten(skin, nullptr, 0, 0, kBackground);
    // A body pixel must never read as background.
    for (std::size_t i = 0; i < art.skin.pixels.size(); ++i)
        if (skin.px[i].a > 0 && art.skin.pixels[i] == kBackground) art.skin.pixels[i] ^= 1;
    return art;
}

} // namespace art
