// Canvas drawing checked pixel by pixel: fills, frames and edges on a window's pixels seen
// through an origin and a clip, colours on true-colour and paletted targets, copies that
// keep palette indices, graphics drawn through their transparency, the image list's masked
// images, and text placement, measuring, backgrounds and clipping.
#include "framework/graphics/image_list.hpp"
#include "framework/graphics/picture.hpp"
#include "os/display/png.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>
#include <string>

using namespace fw;

namespace {

constexpr std::uint32_t kBackground = 0x123456;

std::uint32_t Sys(TColor color) {
    return ColorToPixel(color);
}

// The smallest rectangle holding every pixel for which `pick` is true; empty if none.
TRect BoxOf(const os::PixelBuffer& buffer, const std::function<bool(std::uint32_t)>& pick) {
    TRect box{INT_MAX, INT_MAX, INT_MIN, INT_MIN};
    for (int y = 0; y < buffer.height; ++y)
        for (int x = 0; x < buffer.width; ++x)
            if (pick(buffer.At(x, y))) {
                box.Left = std::min(box.Left, x);
                box.Top = std::min(box.Top, y);
                box.Right = std::max(box.Right, x + 1);
                box.Bottom = std::max(box.Bottom, y + 1);
            }
    return box.IsEmpty() ? TRect{} : box;
}

int CountIf(const os::PixelBuffer& buffer, const std::function<bool(std::uint32_t)>& pick) {
    return static_cast<int>(std::ranges::count_if(buffer.pixels, pick));
}

// Every pixel outside `rect` still has the colour `fill`.
void ExpectUntouchedOutside(const os::PixelBuffer& buffer, const TRect& rect, std::uint32_t fill) {
    for (int y = 0; y < buffer.height; ++y)
        for (int x = 0; x < buffer.width; ++x)
            if (!rect.Contains(x, y)) ASSERT_EQ(buffer.At(x, y), fill) << "at " << x << "," << y;
}

void UseTestFont(TCanvas& canvas, TColor color) {
    canvas.Font().SetName("DejaVu Sans");
    canvas.Font().SetHeight(-14);
    canvas.Font().SetColor(color);
}

DibImage DuplicatePaletteImage() {
    // Entries 0 and 2 are both black: only an index copy can tell them apart.
    DibImage image = DibImage::Paletted(4, 3, 8, {0x000000, 0xFF0000, 0x000000, 0xFFFFFF});
    for (std::size_t i = 0; i < image.indices.size(); ++i)
        image.indices[i] = static_cast<std::uint8_t>(i % 2 == 0 ? 2 : i % 4);
    return image;
}

} // namespace

TEST(Canvas, WindowlessCanvasIsTranslatedAndClippedToTheControl) {
    os::PixelBuffer window(40, 30, kBackground);
    // A control at (10, 5), 20 x 15, drawing on its parent's pixels.
    TCanvas canvas(window, {10, 5}, Region(TRect{10, 5, 30, 20}));
    EXPECT_EQ(canvas.ClipRect(), (TRect{0, 0, 20, 15}));
    canvas.Brush().SetColor(clRed);
    canvas.FillRect({-5, -5, 100, 100});
    EXPECT_EQ(BoxOf(window, [](std::uint32_t p) { return p == 0xFF0000; }), (TRect{10, 5, 30, 20}));
    ExpectUntouchedOutside(window, {10, 5, 30, 20}, kBackground);
    EXPECT_EQ(canvas.Pixels(0, 0), clRed);
    EXPECT_EQ(canvas.Pixels(-1, 0), kInvalidColor);
    EXPECT_EQ(canvas.Pixels(20, 0), kInvalidColor);
    EXPECT_EQ(canvas.SetPixel(0, 15, clWhite), kInvalidColor);
    EXPECT_EQ(window.At(10, 20), kBackground);

    // Narrowing the clip, and a clip made of two rectangles.
    canvas.IntersectClipRect({2, 2, 4, 3});
    canvas.Brush().SetColor(clBlue);
    canvas.FillRect({0, 0, 20, 15});
    EXPECT_EQ(CountIf(window, [](std::uint32_t p) { return p == 0x0000FF; }), 2);
    EXPECT_EQ(window.At(12, 7), 0x0000FFu);

    os::PixelBuffer other(10, 10, kBackground);
    const TRect two[] = {{0, 0, 2, 2}, {5, 5, 7, 7}};
    TCanvas l_shape(other, {}, Region::FromRects(two));
    l_shape.Brush().SetColor(clLime);
    l_shape.FillRect({0, 0, 10, 10});
    EXPECT_EQ(CountIf(other, [](std::uint32_t p) { return p == 0x00FF00; }), 8);
    EXPECT_EQ(other.At(6, 6), 0x00FF00u);
    EXPECT_EQ(other.At(3, 3), kBackground);
}

TEST(Canvas, FillFrameLinesAndClearBrush) {
    os::PixelBuffer buffer(12, 10, kBackground);
    TCanvas canvas(buffer);
    canvas.Brush().SetColor(clBtnFace);
    canvas.FrameRect({1, 1, 6, 5});
    for (int x = 1; x < 6; ++x) {
        EXPECT_EQ(buffer.At(x, 1), Sys(clBtnFace));
        EXPECT_EQ(buffer.At(x, 4), Sys(clBtnFace));
    }
    EXPECT_EQ(buffer.At(1, 3), Sys(clBtnFace));
    EXPECT_EQ(buffer.At(5, 3), Sys(clBtnFace));
    EXPECT_EQ(buffer.At(2, 2), kBackground); // inside the frame
    EXPECT_EQ(buffer.At(6, 1), kBackground); // right edge is exclusive
    ExpectUntouchedOutside(buffer, {1, 1, 6, 5}, kBackground);

    // A clear brush fills and frames nothing; choosing a colour makes it solid again.
    canvas.Brush().SetStyle(bsClear);
    canvas.FillRect({0, 0, 12, 10});
    canvas.FrameRect({0, 0, 12, 10});
    EXPECT_EQ(buffer.At(0, 0), kBackground);
    canvas.Brush().SetColor(clBlack);
    EXPECT_EQ(canvas.Brush().Style(), bsSolid);

    // A line stops before its end point; a dotted pen leaves gaps of three.
    canvas.Pen().SetColor(clYellow);
    canvas.MoveTo(0, 8);
    canvas.LineTo(5, 8);
    EXPECT_EQ(buffer.At(4, 8), 0xFFFF00u);
    EXPECT_EQ(buffer.At(5, 8), kBackground);
    EXPECT_EQ(canvas.PenPos(), (TPoint{5, 8}));
    canvas.Pen().SetStyle(psDot);
    canvas.MoveTo(0, 9);
    canvas.LineTo(12, 9);
    EXPECT_EQ(buffer.At(2, 9), 0xFFFF00u);
    EXPECT_EQ(buffer.At(3, 9), kBackground);
    EXPECT_EQ(buffer.At(6, 9), 0xFFFF00u);
}

TEST(Canvas, PixelWritesTakePlatformColourValues) {
    os::PixelBuffer buffer(4, 1, 0);
    TCanvas canvas(buffer);
    // True colour: a palette-relative value is just its RGB; system colours are looked up.
    EXPECT_EQ(canvas.SetPixel(0, 0, 0x0200EFEF), static_cast<TColor>(RGB(239, 239, 0)));
    canvas.SetPixels(1, 0, 0x0000FF00);
    canvas.SetPixels(2, 0, clBtnShadow);
    EXPECT_EQ(buffer.At(0, 0), 0xEFEF00u);
    EXPECT_EQ(buffer.At(1, 0), 0x00FF00u);
    EXPECT_EQ(buffer.At(2, 0), 0x808080u);
    EXPECT_EQ(canvas.Pixels(0, 0), static_cast<TColor>(RGB(239, 239, 0)));

    // Paletted: the nearest entry, or the entry a palette index names.
    TBitmap bitmap(3, 1, pf8bit);
    bitmap.SetPalette({0x000000, 0xF0F000, 0xFFFFFF, 0xF0F000});
    bitmap.Canvas().SetPixel(0, 0, 0x0200EFEF);
    bitmap.Canvas().SetPixel(1, 0, static_cast<TColor>(PALETTEINDEX(3)));
    bitmap.Canvas().SetPixel(2, 0, clWhite);
    EXPECT_EQ(bitmap.Image().indices, (std::vector<std::uint8_t>{1, 3, 2}));
    EXPECT_EQ(bitmap.Canvas().Pixels(0, 0), static_cast<TColor>(RGB(240, 240, 0)));
}

TEST(Canvas, DrawEdgeUsesTheSystemColoursOnItsOuterAndInnerLines) {
    os::PixelBuffer buffer(16, 12, kBackground);
    TCanvas canvas(buffer);
    TRect rect{2, 2, 12, 10};
    EXPECT_TRUE(canvas.DrawEdge(rect, EDGE_RAISED, BF_RECT | BF_ADJUST));
    EXPECT_EQ(rect, (TRect{4, 4, 10, 8}));
    // Outer line: light top and left, dark shadow bottom and right (which owns the corners
    // where the two meet).
    for (int x = 2; x < 11; ++x)
        EXPECT_EQ(buffer.At(x, 2), Sys(cl3DLight)) << x;
    for (int y = 2; y < 9; ++y)
        EXPECT_EQ(buffer.At(2, y), Sys(cl3DLight)) << y;
    for (int x = 2; x < 12; ++x)
        EXPECT_EQ(buffer.At(x, 9), Sys(cl3DDkShadow)) << x;
    for (int y = 2; y < 10; ++y)
        EXPECT_EQ(buffer.At(11, y), Sys(cl3DDkShadow)) << y;
    // Inner line: highlight and shadow.
    EXPECT_EQ(buffer.At(3, 3), Sys(clBtnHighlight));
    EXPECT_EQ(buffer.At(9, 3), Sys(clBtnHighlight));
    EXPECT_EQ(buffer.At(3, 7), Sys(clBtnHighlight));
    EXPECT_EQ(buffer.At(10, 3), Sys(clBtnShadow));
    EXPECT_EQ(buffer.At(3, 8), Sys(clBtnShadow));
    EXPECT_EQ(buffer.At(10, 8), Sys(clBtnShadow));
    // Inside and outside untouched.
    for (int y = 4; y < 8; ++y)
        for (int x = 4; x < 10; ++x)
            EXPECT_EQ(buffer.At(x, y), kBackground);
    ExpectUntouchedOutside(buffer, {2, 2, 12, 10}, kBackground);

    // Sunken: the colours turn round.
    os::PixelBuffer sunken(8, 8, kBackground);
    TCanvas sunken_canvas(sunken);
    TRect all{0, 0, 8, 8};
    sunken_canvas.DrawEdge(all, EDGE_SUNKEN, BF_RECT | BF_MIDDLE);
    EXPECT_EQ(all, (TRect{0, 0, 8, 8})); // no BF_ADJUST
    EXPECT_EQ(sunken.At(3, 0), Sys(clBtnShadow));
    EXPECT_EQ(sunken.At(3, 7), Sys(clBtnHighlight));
    EXPECT_EQ(sunken.At(1, 3), Sys(cl3DDkShadow));
    EXPECT_EQ(sunken.At(6, 3), Sys(cl3DLight));
    EXPECT_EQ(sunken.At(3, 3), Sys(clBtnFace)); // BF_MIDDLE

    // A single line (the design-time frame of a pressed button) is one pixel wide.
    os::PixelBuffer single(6, 6, kBackground);
    TCanvas single_canvas(single);
    TRect r{0, 0, 6, 6};
    single_canvas.DrawEdge(r, BDR_SUNKENOUTER, BF_RECT);
    EXPECT_EQ(single.At(2, 0), Sys(clBtnShadow));
    EXPECT_EQ(single.At(5, 2), Sys(clBtnHighlight));
    EXPECT_EQ(single.At(2, 1), kBackground);
    r = {0, 0, 6, 6};
    single_canvas.DrawEdge(r, BDR_RAISEDINNER, BF_LEFT);
    EXPECT_EQ(single.At(0, 5), Sys(clBtnHighlight));
    EXPECT_EQ(single.At(2, 0), Sys(clBtnShadow)); // the top was not asked for
}

TEST(Canvas, CopyRectBetweenPalettedBitmapsKeepsIndices) {
    TBitmap source;
    source.SetImage(DuplicatePaletteImage());
    // A temporary of one cell with a copy of the strip's palette, as glyph cells are cut.
    TBitmap cell;
    cell.SetPixelFormat(pf8bit);
    cell.SetPalette(std::vector<std::uint32_t>(source.Palette().begin(), source.Palette().end()));
    cell.SetSize(2, 3);
    cell.Canvas().CopyRect({0, 0, 2, 3}, source.Canvas(), {2, 0, 4, 3});
    EXPECT_EQ(cell.PixelFormat(), pf8bit);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 2; ++x)
            EXPECT_EQ(cell.Image().indices[static_cast<std::size_t>(y * 2 + x)],
                      source.Image().indices[static_cast<std::size_t>(y * 4 + x + 2)]);

    // Another palette: each colour goes to its nearest entry.
    TBitmap other(4, 3, pf8bit);
    other.SetPalette({0xFFFFFF, 0x000000, 0xFF0000});
    other.Canvas().CopyRect({0, 0, 4, 3}, source.Canvas(), {0, 0, 4, 3});
    for (std::size_t i = 0; i < 12; ++i) {
        const std::uint32_t colour = source.Image().palette[source.Image().indices[i]];
        EXPECT_EQ(other.Image().palette[other.Image().indices[i]], colour);
    }

    // Overlapping copy within one canvas reads the pixels as they were.
    os::PixelBuffer row(5, 1, 0);
    for (int x = 0; x < 5; ++x)
        row.Set(x, 0, static_cast<std::uint32_t>(x + 1));
    TCanvas canvas(row);
    canvas.CopyRect({1, 0, 5, 1}, canvas, {0, 0, 4, 1});
    EXPECT_EQ(row.pixels, (std::vector<std::uint32_t>{1, 1, 2, 3, 4}));
}

TEST(Canvas, DrawsBitmapsWithTheirTransparentColourAndIconsThroughTheirMask) {
    TBitmap bitmap(3, 3);
    bitmap.Canvas().Brush().SetColor(clRed);
    bitmap.Canvas().FillRect({0, 0, 3, 3});
    bitmap.Canvas().SetPixel(0, 2, clLime); // bottom-left: the transparent colour
    bitmap.Canvas().SetPixel(2, 0, clLime);
    os::PixelBuffer target(8, 8, kBackground);
    TCanvas canvas(target);
    canvas.Draw(1, 1, bitmap);
    EXPECT_EQ(target.At(3, 1), 0x00FF00u); // opaque: everything drawn
    bitmap.SetTransparent(true);
    canvas.Draw(4, 4, bitmap);
    EXPECT_EQ(target.At(4, 6), kBackground);
    EXPECT_EQ(target.At(6, 4), kBackground);
    EXPECT_EQ(target.At(5, 5), 0xFF0000u);
    EXPECT_EQ(CountIf(target, [](std::uint32_t p) { return p == 0xFF0000; }), 7 + 7);

    // Stretched: each source pixel becomes a 2 x 2 block.
    os::PixelBuffer big(6, 6, kBackground);
    TCanvas big_canvas(big);
    bitmap.SetTransparent(false);
    big_canvas.StretchDraw({0, 0, 6, 6}, bitmap);
    EXPECT_EQ(big.At(1, 5), 0x00FF00u);
    EXPECT_EQ(big.At(2, 5), 0xFF0000u);

    IconImage image;
    image.color = DibImage::Paletted(4, 4, 4, StandardPalette(4));
    image.mask.assign(16, 0);
    for (std::size_t i = 0; i < 16; ++i) {
        image.color.indices[i] = 12; // blue
        image.mask[i] = i % 3 == 0;
    }
    TIcon icon;
    icon.SetImages({image});
    os::PixelBuffer icon_target(4, 4, kBackground);
    TCanvas icon_canvas(icon_target);
    icon_canvas.Draw(0, 0, icon);
    for (std::size_t i = 0; i < 16; ++i)
        EXPECT_EQ(icon_target.pixels[i], image.mask[i] ? kBackground : 0x0000FFu) << i;
}

TEST(ImageList, MaskedImagesDrawOnlyTheirOpaquePixels) {
    TImageList list(4, 3);
    EXPECT_EQ(list.Count(), 0);
    const int blank = list.AddBlank();
    EXPECT_EQ(blank, 0);

    TBitmap cell;
    cell.SetImage(DuplicatePaletteImage()); // 4 x 3; bottom-left is index 2 (black)
    list.ReplaceMasked(blank, cell, cell.TransparentColor());

    os::PixelBuffer target(6, 5, kBackground);
    TCanvas canvas(target);
    list.Draw(canvas, 1, 1, 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            const std::uint32_t colour = cell.Image().ColorAt(x, y);
            EXPECT_EQ(target.At(x + 1, y + 1), colour == 0 ? kBackground : colour) << x << "," << y;
        }
    ExpectUntouchedOutside(target, {1, 1, 5, 4}, kBackground);

    // Drawing into a bitmap with the same palette keeps the indices of what is drawn.
    TBitmap onto;
    onto.SetImage(DibImage::Paletted(4, 3, 8, cell.Image().palette));
    list.Draw(onto.Canvas(), 0, 0, 0);
    for (std::size_t i = 0; i < 12; ++i)
        if (cell.Image().palette[cell.Image().indices[i]] != 0)
            EXPECT_EQ(onto.Image().indices[i], cell.Image().indices[i]);

    // A blank image and an index outside the list draw nothing.
    const os::PixelBuffer before = target;
    list.AddBlank();
    list.Draw(canvas, 0, 0, 1);
    list.Draw(canvas, 0, 0, 7);
    list.Draw(canvas, 0, 0, -1);
    EXPECT_EQ(target, before);

    // A strip is cut into images of the list's width.
    TBitmap strip(12, 3);
    EXPECT_EQ(list.AddMasked(strip, clBlack), 2);
    EXPECT_EQ(list.Count(), 5);
}

TEST(ImageList, ReplaceMaskedFailsWithItsMessage) {
    TImageList list(4, 3);
    list.AddBlank();
    TBitmap good(4, 3);
    TBitmap wrong_size(5, 3);
    TBitmap empty;
    for (const auto& [index, bitmap] :
         {std::pair<int, const TBitmap*>{1, &good}, {-1, &good}, {0, &wrong_size}, {0, &empty}}) {
        try {
            list.ReplaceMasked(index, *bitmap, clBlack);
            ADD_FAILURE() << "replaced " << index;
        } catch (const EInvalidOperation& e) {
            EXPECT_STREQ(e.what(), "Unable to Replace Image");
        }
    }
    EXPECT_NO_THROW(list.ReplaceMasked(0, good, clBlack));
    EXPECT_THROW(list.Add(TBitmap(3, 3)), EInvalidOperation);
    EXPECT_THROW(TImageList(0, 3), EInvalidOperation);
}

TEST(CanvasText, CalcRectMeasuresWhatTextWidthAndHeightSay) {
    os::PixelBuffer buffer(10, 10, 0);
    TCanvas canvas(buffer);
    UseTestFont(canvas, clBlack);
    const int w = canvas.TextWidth("Mirelo"), h = canvas.TextHeight("Mirelo");
    EXPECT_GT(w, 20);
    EXPECT_GE(h, 14);
    TRect r{5, 7, 5, 7};
    EXPECT_EQ(canvas.DrawText("Mirelo", r, DT_CALCRECT | DT_CENTER | DT_SINGLELINE), h);
    EXPECT_EQ(r, (TRect{5, 7, 5 + w, 7 + h}));

    r = {0, 0, 0, 0};
    canvas.DrawText("ab\nlonger line", r, DT_CALCRECT);
    EXPECT_EQ(r, (TRect{0, 0, canvas.TextWidth("longer line"), 2 * h}));
    r = {0, 0, 0, 0};
    canvas.DrawText("ab\nlonger line", r, DT_CALCRECT | DT_SINGLELINE);
    EXPECT_EQ(r.Bottom, h);
    // '&' marks the next character and is not measured; "&&" is one '&'.
    r = {0, 0, 0, 0};
    canvas.DrawText("&Play", r, DT_CALCRECT);
    EXPECT_EQ(r.Right, canvas.TextWidth("Play"));
    r = {0, 0, 0, 0};
    canvas.DrawText("A&&B", r, DT_CALCRECT);
    EXPECT_EQ(r.Right, canvas.TextWidth("A&B"));
    r = {0, 0, 0, 0};
    canvas.DrawText("A&&B", r, DT_CALCRECT | DT_NOPREFIX);
    EXPECT_EQ(r.Right, canvas.TextWidth("A&&B"));
    EXPECT_EQ(buffer, os::PixelBuffer(10, 10, 0)); // measuring draws nothing

    // A bigger font measures bigger.
    canvas.Font().SetHeight(-28);
    EXPECT_GT(canvas.TextWidth("Mirelo"), w * 3 / 2);
}

TEST(CanvasText, CentredTextBoxLiesInTheMiddleAndIsAntiAliased) {
    os::PixelBuffer buffer(120, 60, 0xFFFFFF);
    TCanvas canvas(buffer);
    UseTestFont(canvas, clBlack);
    canvas.Brush().SetColor(clYellow);
    TRect rect{10, 10, 111, 50};
    canvas.DrawText("Mirelo", rect, DT_CENTER | DT_VCENTER | DT_SINGLELINE);

    const TRect box = BoxOf(buffer, [](std::uint32_t p) { return p == 0xFFFF00; });
    EXPECT_EQ(box.Width(), canvas.TextWidth("Mirelo"));
    EXPECT_EQ(box.Height(), canvas.TextHeight("Mirelo"));
    // Centred to within a pixel: compare doubled centres.
    EXPECT_LE(std::abs(box.Left + box.Right - (rect.Left + rect.Right)), 1);
    EXPECT_LE(std::abs(box.Top + box.Bottom - (rect.Top + rect.Bottom)), 1);
    ExpectUntouchedOutside(buffer, box, 0xFFFFFF);

    // The ink sits inside the box, centred across it, with blended edge pixels.
    const TRect ink = BoxOf(buffer, [](std::uint32_t p) { return (p & 0xFF) < 0x80; });
    ASSERT_FALSE(ink.IsEmpty());
    EXPECT_EQ(IntersectRect(ink, box), ink);
    EXPECT_LE(std::abs(ink.Left + ink.Right - (rect.Left + rect.Right)), 3);
    EXPECT_GT(CountIf(buffer,
                      [](std::uint32_t p) {
                          return p != 0xFFFF00 && p != 0 && p != 0xFFFFFF &&
                                 (p >> 16) == ((p >> 8) & 0xFF);
                      }),
              10);
}

TEST(CanvasText, ClearBrushLeavesTheBackgroundAndTextIsClippedToItsRectangle) {
    os::PixelBuffer buffer(80, 30, 0xFFFFFF);
    TCanvas canvas(buffer);
    UseTestFont(canvas, clBlack);
    canvas.Brush().SetStyle(bsClear);
    TRect rect{0, 0, 80, 30};
    canvas.DrawText("Mirelo", rect, 0);
    // Only ink: every changed pixel is a grey between the white and the black.
    int changed = 0;
    for (std::uint32_t p : buffer.pixels) {
        if (p == 0xFFFFFF) continue;
        ++changed;
        ASSERT_TRUE((p >> 16) == (p & 0xFF) && ((p >> 8) & 0xFF) == (p & 0xFF)) << std::hex << p;
    }
    EXPECT_GT(changed, 30);
    // Left and top aligned: ink starts near the rectangle's corner.
    const TRect ink = BoxOf(buffer, [](std::uint32_t p) { return p != 0xFFFFFF; });
    EXPECT_LE(ink.Left, 2);
    EXPECT_LE(ink.Top, canvas.TextHeight("M") / 2);

    os::PixelBuffer clipped(80, 30, 0xFFFFFF);
    TCanvas clip_canvas(clipped);
    UseTestFont(clip_canvas, clBlack);
    TRect narrow{5, 5, 20, 12};
    clip_canvas.DrawText("Mirelo", narrow, 0);
    EXPECT_GT(CountIf(clipped, [](std::uint32_t p) { return p != 0xFFFFFF; }), 0);
    ExpectUntouchedOutside(clipped, narrow, 0xFFFFFF);
    clip_canvas.DrawText("Mirelo", narrow, DT_NOCLIP);
    EXPECT_GT(BoxOf(clipped, [](std::uint32_t p) { return p != 0xFFFFFF; }).Right, 20);
}

TEST(CanvasText, PrefixUnderlinesItsCharacterAndTextOutFillsItsBox) {
    auto render = [](std::string_view text) {
        os::PixelBuffer buffer(60, 30, 0xFFFFFF);
        TCanvas canvas(buffer);
        UseTestFont(canvas, clBlack);
        canvas.Brush().SetStyle(bsClear);
        TRect r{4, 4, 60, 30};
        canvas.DrawText(text, r, 0);
        return buffer;
    };
    const os::PixelBuffer plain = render("Mi");
    const os::PixelBuffer marked = render("&Mi");
    os::PixelBuffer probe(1, 1);
    TCanvas measure(probe);
    UseTestFont(measure, clBlack);
    const int underline_y = 4 + FontFace::Get(measure.Font().Key())->Ascent() + 1;
    const int m_width = measure.TextWidth("M");
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 60; ++x) {
            const bool on_line = y == underline_y && x >= 4 && x < 4 + m_width;
            if (on_line)
                EXPECT_EQ(marked.At(x, y), 0u) << x;
            else
                EXPECT_EQ(marked.At(x, y), plain.At(x, y)) << x << "," << y;
        }

    os::PixelBuffer buffer(60, 30, 0xFFFFFF);
    TCanvas canvas(buffer);
    UseTestFont(canvas, clWhite);
    canvas.Brush().SetColor(clNavy);
    canvas.TextOut(3, 2, "Rec");
    EXPECT_EQ(BoxOf(buffer, [](std::uint32_t p) { return p != 0xFFFFFF; }),
              (TRect{3, 2, 3 + canvas.TextWidth("Rec"), 2 + canvas.TextHeight("Rec")}));
    EXPECT_EQ(canvas.PenPos(), (TPoint{3 + canvas.TextWidth("Rec"), 2}));
}

TEST(CanvasText, TextOnAPalettedBitmapUsesItsPalette) {
    TBitmap bitmap(40, 20, pf8bit);
    bitmap.Canvas().Brush().SetColor(clWhite);
    bitmap.Canvas().FillRect({0, 0, 40, 20});
    UseTestFont(bitmap.Canvas(), clBlue);
    bitmap.Canvas().Brush().SetStyle(bsClear);
    TRect r{0, 0, 40, 20};
    bitmap.Canvas().DrawText("Ab", r, 0);
    EXPECT_EQ(bitmap.PixelFormat(), pf8bit);
    const auto& indices = bitmap.Image().indices;
    const std::uint8_t white = 15, blue = 12; // the standard palette's order
    EXPECT_GT(std::ranges::count(indices, blue), 5);
    EXPECT_GT(std::ranges::count(indices, white), 500);
}

TEST(Canvas, PictureOfAScene) {
    // A small scene with every kind of drawing, saved for a person to look at.
    os::PixelBuffer window(167, 90, ColorToPixel(clBtnFace));
    TCanvas canvas(window);
    TRect panel{4, 4, 163, 86};
    canvas.DrawEdge(panel, EDGE_RAISED, BF_RECT | BF_ADJUST);
    TRect well{12, 12, 155, 44};
    canvas.DrawEdge(well, EDGE_SUNKEN, BF_RECT | BF_ADJUST);
    canvas.Brush().SetColor(static_cast<TColor>(RGB(94, 94, 94)));
    canvas.FillRect(well);
    UseTestFont(canvas, clWhite);
    canvas.Font().SetStyle({fsBold});
    canvas.Brush().SetStyle(bsClear);
    canvas.DrawText("&MIRELO", well, DT_CENTER | DT_VCENTER | DT_SINGLELINE);

    TBitmap glyph(16, 16, pf8bit);
    glyph.Canvas().Brush().SetColor(clFuchsia);
    glyph.Canvas().FillRect({0, 0, 16, 16});
    glyph.Canvas().Brush().SetColor(clLime);
    glyph.Canvas().FillRect({3, 3, 13, 13});
    glyph.Canvas().Brush().SetColor(clRed);
    glyph.Canvas().FrameRect({3, 3, 13, 13});
    TImageList list(16, 16);
    list.ReplaceMasked(list.AddBlank(), glyph, glyph.TransparentColor());
    for (int i = 0; i < 4; ++i)
        list.Draw(canvas, 16 + i * 20, 56, 0);
    canvas.Brush().SetColor(clYellow);
    UseTestFont(canvas, clBlack);
    canvas.TextOut(100, 56, "Rec");
    canvas.SetPixel(100, 78, 0x0200EFEF);

    const std::string path = std::string(MIRELO_BINARY_DIR) + "/canvas_scene.png";
    os::WritePng(path, window);
    EXPECT_EQ(os::ReadPng(path), window);
    EXPECT_EQ(window.At(16 + 8, 56 + 8), 0x00FF00u);
    EXPECT_EQ(window.At(16, 56), ColorToPixel(clBtnFace)); // masked corner
}
