// Glyph strips: which cell each state shows and what of it is transparent, the shared
// lists of cell images and their slots, and where glyph and caption are placed.
#include "skin/button_glyph.hpp"
#include "skin_test_support.hpp"

#include "os/display/display.hpp"

#include <gtest/gtest.h>

using namespace skintest;
using skin::TButtonGlyph;

namespace {

constexpr std::uint32_t kBack = Rgb(1, 2, 3);

// Draws one state of the holder at (x, y) on a fresh w x h buffer of kBack.
os::PixelBuffer Draw(TButtonGlyph& glyph, skin::TCoolButtonState state, int w, int h, int x = 0,
                     int y = 0) {
    os::PixelBuffer buffer(w, h, kBack);
    fw::TCanvas canvas(buffer);
    glyph.DrawStateImage(canvas, {x, y}, state);
    return buffer;
}

std::unique_ptr<TButtonGlyph> Holder(const fw::TBitmap& strip, int cells) {
    auto glyph = std::make_unique<TButtonGlyph>();
    glyph->SetStrip(&strip);
    glyph->SetCellCount(cells);
    return glyph;
}

} // namespace

TEST(GlyphCache, EqualCellSizesShareOneListAndEachHolderGivesBackOnlyItsSlots) {
    ASSERT_EQ(skin::SharedGlyphCache(), nullptr); // no holder is alive between tests
    auto a = Holder(*FaceStrip(10, 7), 4);
    auto b = Holder(*Paint24(40, 7, [](int, int y) { return y == 6 ? kKey : Rgb(9, 9, 9); }), 4);
    auto other_size = Holder(*FaceStrip(12, 7), 4);
    skin::TGlyphCache* cache = skin::SharedGlyphCache();
    ASSERT_NE(cache, nullptr);
    EXPECT_TRUE(cache->IsEmpty()); // lists are made by the first build, not by holders

    EXPECT_EQ(a->BuildStateImage(skin::cbsUp), 0);
    EXPECT_EQ(a->BuildStateImage(skin::cbsDown), 1);
    EXPECT_EQ(a->BuildStateImage(skin::cbsDown), 1); // built once
    EXPECT_EQ(b->BuildStateImage(skin::cbsUp), 2);
    other_size->BuildStateImage(skin::cbsUp);
    skin::TGlyphList* shared = a->CellImages();
    ASSERT_NE(shared, nullptr);
    EXPECT_EQ(b->CellImages(), shared);
    EXPECT_NE(other_size->CellImages(), shared);
    EXPECT_EQ(cache->Count(), 2);
    EXPECT_EQ(shared->LiveCount(), 3);

    // Freeing a gives back slots 0 and 1 only; b's image is untouched.
    a.reset();
    EXPECT_EQ(shared->LiveCount(), 1);
    EXPECT_FALSE(shared->SlotUsed(0));
    EXPECT_FALSE(shared->SlotUsed(1));
    EXPECT_TRUE(shared->SlotUsed(2));
    EXPECT_EQ(Draw(*b, skin::cbsUp, 10, 7).At(5, 3), Rgb(9, 9, 9));

    // A new holder reuses the freed slots instead of growing the list, and shows its own
    // pixels there.
    auto c = Holder(*FaceStrip(10, 7), 4);
    EXPECT_EQ(c->BuildStateImage(skin::cbsLatched), 0);
    EXPECT_EQ(c->BuildStateImage(skin::cbsUp), 1);
    EXPECT_EQ(shared->Count(), 3);
    EXPECT_EQ(Draw(*c, skin::cbsLatched, 10, 7).At(5, 3), kLatched);

    // Dropped images are rebuilt at the next draw, in the slots they had.
    c->DropImages();
    EXPECT_EQ(c->CellImages(), nullptr);
    EXPECT_EQ(c->ImageIndex(skin::cbsLatched), -1);
    EXPECT_EQ(shared->LiveCount(), 1);
    EXPECT_EQ(Draw(*c, skin::cbsLatched, 10, 7).At(5, 3), kLatched);
    EXPECT_EQ(c->ImageIndex(skin::cbsLatched), 0);

    // A list goes with the last holder that has images in it; the cache with the last holder.
    other_size.reset();
    EXPECT_EQ(cache->Count(), 1);
    b.reset();
    c.reset();
    EXPECT_EQ(skin::SharedGlyphCache(), nullptr);
}

TEST(GlyphCache, AcquireGrowsOnlyWhenEverySlotIsTaken) {
    skin::TGlyphList list(4, 3);
    const auto red = Paint24(4, 3, [](int, int) { return Rgb(255, 0, 0); });
    EXPECT_EQ(list.AddMaskedImage(*red, fw::clBlack), 0);
    EXPECT_EQ(list.AddMaskedImage(*red, fw::clBlack), 1);
    list.ReleaseSlot(0);
    list.ReleaseSlot(0); // a second release of the same slot changes nothing
    list.ReleaseSlot(7); // nor does one of a slot that never was
    EXPECT_EQ(list.LiveCount(), 1);
    EXPECT_EQ(list.AcquireSlot(), 0);
    EXPECT_EQ(list.AcquireSlot(), 2);
    EXPECT_EQ(list.Count(), 3);
    // A bitmap of the wrong size is refused after its slot was taken.
    const auto wide = Paint24(5, 3, [](int, int) { return 0u; });
    EXPECT_THROW(list.AddMaskedImage(*wide, fw::clBlack), fw::EInvalidOperation);
    EXPECT_TRUE(list.SlotUsed(3));
    EXPECT_EQ(list.LiveCount(), 1);
}

TEST(ButtonGlyph, EachStateDrawsItsOwnCellThroughItsMask) {
    // As the main window's play button: a 420 x 52 strip of four 105 x 52 cells, in true
    // colour and with a palette.
    const auto strip24 = FaceStrip(105, 52);
    std::vector<std::uint32_t> palette{kKey, kUp, kDisabled, kDown, kLatched, 0};
    palette.resize(256, Rgb(7, 7, 7));
    const auto strip8 = Paint8(420, 52, palette, [](int x, int) -> std::uint8_t {
        const int cell = x / 105, cx = x % 105;
        if (cx == 0 || (cell == 0 && cx < 52)) return 0;
        return static_cast<std::uint8_t>(cell + 1);
    });
    for (const fw::TBitmap* strip : {strip24.get(), strip8.get()}) {
        auto glyph = Holder(*strip, 4);
        for (int s = 0; s < 4; ++s) {
            const auto state = static_cast<skin::TCoolButtonState>(s);
            const auto shot = Draw(*glyph, state, 110, 60, 3, 4);
            EXPECT_EQ(shot.At(3 + 80, 4 + 30), kFaces[s]) << "state " << s;
            EXPECT_EQ(shot.At(3 + 104, 4 + 51), kFaces[s]);
            EXPECT_EQ(shot.At(3, 4 + 51), kBack);       // the key column is transparent
            EXPECT_EQ(shot.At(3 + 105, 4 + 30), kBack); // nothing past the cell
            EXPECT_EQ(shot.At(3 + 30, 4 + 30), s == 0 ? kBack : kFaces[s]);
        }
    }
}

TEST(ButtonGlyph, StatesWithoutACellOfTheirOwnShowTheFirst) {
    auto one = Holder(*FaceStrip(8, 5, 1), 1);
    for (int s = 0; s < 4; ++s)
        EXPECT_EQ(Draw(*one, static_cast<skin::TCoolButtonState>(s), 8, 5).At(6, 2), kUp);

    auto two = Holder(*FaceStrip(8, 5, 2), 2);
    EXPECT_EQ(Draw(*two, skin::cbsDisabled, 8, 5).At(6, 2), kDisabled);
    EXPECT_EQ(Draw(*two, skin::cbsLatched, 8, 5).At(6, 2), kUp);
    EXPECT_EQ(Draw(*two, skin::cbsDown, 8, 5).At(6, 2), kUp);
    // The down state borrows the up image itself rather than a copy of it.
    EXPECT_EQ(two->ImageIndex(skin::cbsDown), -1);
    EXPECT_EQ(two->BuildStateImage(skin::cbsDown), two->ImageIndex(skin::cbsUp));
    EXPECT_NE(two->ImageIndex(skin::cbsLatched), two->ImageIndex(skin::cbsUp));
}

TEST(ButtonGlyph, SquareCellsTellTheCellCount) {
    TButtonGlyph glyph;
    EXPECT_EQ(glyph.CellCount(), 1);
    glyph.SetStrip(Paint24(100, 25, [](int, int) { return 0u; }).get());
    EXPECT_EQ(glyph.CellCount(), 4);
    glyph.SetStrip(Paint24(150, 25, [](int, int) { return 0u; }).get()); // six squares
    EXPECT_EQ(glyph.CellCount(), 1);
    glyph.SetCellCount(2);
    glyph.SetStrip(FaceStrip(105, 52).get()); // 420 x 52: not square cells
    EXPECT_EQ(glyph.CellCount(), 2);
    glyph.SetCellCount(0);
    glyph.SetCellCount(5);
    EXPECT_EQ(glyph.CellCount(), 2);

    // Every change of the strip or the count is reported and forgets the built images.
    struct Counter : fw::TObject {
        int calls = 0;
        void Changed(fw::TObject*) { ++calls; }
    } counter;
    glyph.ChangeCallback = fw::Bind<&Counter::Changed>(counter);
    glyph.BuildStateImage(skin::cbsUp);
    glyph.SetCellCount(4);
    EXPECT_EQ(counter.calls, 1);
    EXPECT_EQ(glyph.ImageIndex(skin::cbsUp), -1);
    glyph.Strip().SetTransparentColor(fw::clRed);
    EXPECT_EQ(counter.calls, 2);
    EXPECT_EQ(glyph.TransparentColor(), fw::clRed);

    glyph.SetStrip(nullptr);
    EXPECT_TRUE(glyph.Strip().Empty());
    EXPECT_EQ(glyph.BuildStateImage(skin::cbsUp), -1);
}

TEST(ButtonGlyph, EachCellsBottomLeftPixelDecidesItsTransparency) {
    constexpr std::uint32_t kCyan = Rgb(0, 255, 255);
    // Cell 0 is keyed by magenta and holds a cyan pixel; cell 2 the other way round.
    auto strip = Paint24(40, 6, [](int x, int y) {
        const int cell = x / 10, cx = x % 10;
        const std::uint32_t key = cell == 2 ? kCyan : kKey;
        const std::uint32_t odd = cell == 2 ? kKey : kCyan;
        if (cx == 0 && y == 5) return key;
        if (cx == 5 && y == 2) return odd;
        if (cx == 6 && y == 2) return key;
        return kFaces[cell];
    });
    auto glyph = Holder(*strip, 4);
    auto up = Draw(*glyph, skin::cbsUp, 10, 6);
    EXPECT_EQ(up.At(5, 2), kCyan);
    EXPECT_EQ(up.At(6, 2), kBack);
    EXPECT_EQ(up.At(0, 5), kBack);
    auto down = Draw(*glyph, skin::cbsDown, 10, 6);
    EXPECT_EQ(down.At(5, 2), kKey);
    EXPECT_EQ(down.At(6, 2), kBack);
    EXPECT_EQ(down.At(0, 5), kBack);

    // A transparent colour fixed on the strip holds for every cell.
    glyph->Strip().SetTransparentColor(ColorOf(kKey));
    down = Draw(*glyph, skin::cbsDown, 10, 6);
    EXPECT_EQ(down.At(5, 2), kBack);
    EXPECT_EQ(down.At(6, 2), kCyan);
}

TEST(ButtonGlyph, AStripNarrowerThanItsCellCountDrawsNothing) {
    auto glyph = Holder(*Paint24(3, 10, [](int, int) { return kUp; }), 4);
    EXPECT_EQ(glyph->BuildStateImage(skin::cbsUp), -1);
    EXPECT_EQ(glyph->CellImages(), nullptr);
    EXPECT_EQ(Draw(*glyph, skin::cbsUp, 5, 10).At(1, 1), kBack);
}

TEST(FaceLayout, PlacesGlyphAndCaptionByLayoutMarginAndSpacing) {
    using skin::TButtonGlyph;
    // The play button: no caption, the cell fills the button.
    auto f = TButtonGlyph::PlaceFace({105, 52}, {105, 52}, {0, 0}, skin::blGlyphLeft, -1, 4);
    EXPECT_EQ(f.Glyph, (fw::TPoint{0, 0}));
    // Glyph above a caption, both computed: a third of the free height each.
    f = TButtonGlyph::PlaceFace({60, 60}, {20, 20}, {30, 10}, skin::blGlyphTop, -1, -1);
    EXPECT_EQ(f.Glyph, (fw::TPoint{0, 10}));
    EXPECT_EQ(f.Text, (fw::TRect{15, 40, 45, 50}));
    // Glyph left, both computed; the caption centred on the cross axis, the glyph not.
    f = TButtonGlyph::PlaceFace({100, 30}, {20, 20}, {40, 10}, skin::blGlyphLeft, -1, -1);
    EXPECT_EQ(f.Glyph, (fw::TPoint{13, 0}));
    EXPECT_EQ(f.Text, (fw::TRect{46, 10, 86, 20}));
    // Glyph right with a fixed margin: the spacing takes half of what is left.
    f = TButtonGlyph::PlaceFace({100, 30}, {20, 20}, {40, 10}, skin::blGlyphRight, 5, -1);
    EXPECT_EQ(f.Glyph, (fw::TPoint{75, 0}));
    EXPECT_EQ(f.Text.Left, 18);
    // Glyph bottom, both fixed.
    f = TButtonGlyph::PlaceFace({60, 60}, {20, 20}, {30, 10}, skin::blGlyphBottom, 2, 3);
    EXPECT_EQ(f.Glyph, (fw::TPoint{0, 38}));
    EXPECT_EQ(f.Text, (fw::TRect{15, 25, 45, 35}));
    // A glyph wider than the button: the margin is truncated toward zero, not floored.
    f = TButtonGlyph::PlaceFace({10, 10}, {20, 10}, {0, 0}, skin::blGlyphLeft, -1, 4);
    EXPECT_EQ(f.Glyph.X, -4);
}

TEST(FaceLayout, DrawFaceMeasuresTheCaptionAndDrawsItInItsRectangle) {
    auto glyph =
        Holder(*Paint24(20, 20, [](int x, int y) { return x == 0 && y == 19 ? kKey : kUp; }), 1);
    os::PixelBuffer buffer(80, 80, kBack);
    fw::TCanvas canvas(buffer);
    canvas.Font().SetName("DejaVu Sans");
    canvas.Font().SetHeight(-12);
    canvas.Font().SetColor(fw::clWhite);
    const fw::TRect rect{10, 5, 70, 65};
    const fw::TRect text =
        glyph->DrawFace(canvas, rect, "Ab", skin::blGlyphTop, -1, -1, skin::cbsUp);
    ASSERT_GT(text.Width(), 0);
    ASSERT_GT(text.Height(), 0);
    EXPECT_EQ(text.Left - rect.Left, (rect.Width() - text.Width() + 1) / 2);
    // Margin and spacing are equal: the glyph sits as far below the top as the caption
    // below the glyph.
    const int glyph_top = rect.Top + (text.Top - rect.Top - 20) / 2;
    EXPECT_EQ(buffer.At(rect.Left + 1, glyph_top), kUp);
    EXPECT_EQ(buffer.At(rect.Left + 1, glyph_top - 1), kBack);
    EXPECT_EQ(buffer.At(rect.Left + 19, glyph_top + 19), kUp);
    EXPECT_EQ(buffer.At(rect.Left + 20, glyph_top + 19), kBack);
    int inside = 0, outside = 0;
    for (int y = 0; y < 80; ++y)
        for (int x = 0; x < 80; ++x) {
            const std::uint32_t p = buffer.At(x, y);
            if (p == kBack || p == kUp) continue;
            (text.Contains(x, y) ? inside : outside)++;
        }
    EXPECT_GT(inside, 5);
    EXPECT_EQ(outside, 0);
}
