// The generator's palette reduction, the region it computes from a skin, and the application
// icon at the icon theme's sizes.
#include "mask.hpp"
#include "outputs.hpp"
#include "quantize.hpp"

#include <gtest/gtest.h>

#include <set>

namespace {

constexpr std::uint32_t kGrey = 0x5E5E5E;

} // namespace

TEST(Quantize, ReservedColourIsTakenOnlyByPixelsOfExactlyThatColour) {
    // Fifteen reserved colours leave one entry of sixteen, which takes the mean of the
    // other pixels: two shades on either side of the reserved grey, whose mean is that grey.
    std::vector<std::uint32_t> reserved = {kGrey};
    for (std::uint32_t i = 1; i < 15; ++i)
        reserved.push_back(0xFF0000 | i);
    std::vector<std::uint32_t> pixels = {kGrey - 1, kGrey + 1, kGrey, kGrey - 1, kGrey + 1, kGrey};
    const fw::DibImage image = art::Quantize(6, 1, pixels, reserved, 4);
    ASSERT_EQ(image.palette.size(), 16u);
    EXPECT_EQ(image.palette[0], kGrey);
    for (int x = 0; x < 6; ++x) {
        const std::uint32_t p = pixels[static_cast<std::size_t>(x)];
        EXPECT_EQ(image.ColorAt(x, 0) == kGrey, p == kGrey) << std::hex << p;
        EXPECT_EQ(image.indices[static_cast<std::size_t>(x)] == 0, p == kGrey);
        // The shared entry is still within a step of both shades.
        if (p != kGrey)
            EXPECT_LE(std::abs(static_cast<int>(image.ColorAt(x, 0)) - static_cast<int>(p)), 2);
    }
}

TEST(Quantize, ImagesWithFewColoursKeepThemExactlyAndShadesStayClose) {
    std::vector<std::uint32_t> few;
    for (int i = 0; i < 200; ++i)
        few.push_back(static_cast<std::uint32_t>((i % 12) * 0x151A07 + 0x102030) & 0xFFFFFF);
    const fw::DibImage exact = art::Quantize(20, 10, few, {0xFF00FF}, 8);
    for (int i = 0; i < 200; ++i)
        EXPECT_EQ(exact.ColorAt(i % 20, i / 20), few[static_cast<std::size_t>(i)]);

    // A smooth two-colour gradient of 4096 shades in 255 entries (16 shades an entry):
    // every pixel stays within a few levels of its colour.
    std::vector<std::uint32_t> ramp;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            ramp.push_back(static_cast<std::uint32_t>(x * 4) << 16 |
                           static_cast<std::uint32_t>(y * 4) << 8 | 80);
    const fw::DibImage reduced = art::Quantize(64, 64, ramp, {0xFF00FF}, 8);
    int worst = 0;
    for (int i = 0; i < 64 * 64; ++i) {
        const std::uint32_t a = ramp[static_cast<std::size_t>(i)],
                            b = reduced.ColorAt(i % 64, i / 64);
        for (int s : {0, 8, 16})
            worst = std::max(
                worst, std::abs(static_cast<int>(a >> s & 0xFF) - static_cast<int>(b >> s & 0xFF)));
    }
    EXPECT_LE(worst, 12);
}

TEST(Quantize, RejectsAnImageWhosePixelsDoNotMatchItsSize) {
    EXPECT_THROW(art::Quantize(3, 3, std::vector<std::uint32_t>(8, 0), {}, 8),
                 std::invalid_argument);
}

TEST(SkinRegion, HoldsExactlyTheNonBackgroundPixelsInBands) {
    // Rows: body touching both edges, empty, two equal rows, a row with two spans.
    const char* rows[] = {"#######", ".......", "..###..", "..###..", "#.#...#"};
    fw::DibImage image = fw::DibImage::Paletted(7, 5, 8, {kGrey, 0x202020});
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            image.indices[static_cast<std::size_t>(y * 7 + x)] = rows[y][x] == '#' ? 1 : 0;
    const fw::Region region = art::RegionFromImage(image, kGrey);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(region.Contains(x, y), rows[y][x] == '#') << x << "," << y;
    const std::vector<fw::TRect> want = {
        {0, 0, 7, 1}, {2, 2, 5, 4}, {0, 4, 1, 5}, {2, 4, 3, 5}, {6, 4, 7, 5}};
    EXPECT_EQ(region.Rects(), want);

    // The stored record: its length, then the region data.
    const auto record = art::MaskRecord(region);
    ASSERT_EQ(record.size(), 4 + 32 + 16 * want.size());
    EXPECT_EQ(static_cast<unsigned>(record[0]), 32 + 16 * want.size());
    EXPECT_EQ(fw::Region::FromData({record.data() + 4, record.size() - 4}), region);
}

namespace {

int ChannelGap(std::uint32_t a, std::uint32_t b) {
    int worst = 0;
    for (int s : {0, 8, 16})
        worst = std::max(
            worst, std::abs(static_cast<int>(a >> s & 0xFF) - static_cast<int>(b >> s & 0xFF)));
    return worst;
}

} // namespace

TEST(ThemeIcons, AreTheApplicationIconsDrawingAtEverySize) {
    // At 32 pixels the theme's icon is the stored icon before its colours are reduced: the
    // same pixels are opaque and the colours are the same within the palette's steps.
    const fw::IconImage stored = art::MakeIcon(art::DrawAppIcon(), 8).images[0];
    const os::IconPixels base = art::MakeThemeIcon(art::DrawAppIcon(32));
    ASSERT_EQ(base.width, 32);
    int opaque = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const std::size_t i = static_cast<std::size_t>(y * 32 + x);
            const bool shown = (base.argb[i] >> 24) >= 128;
            ASSERT_EQ(shown, stored.mask[i] == 0) << x << "," << y;
            if (!shown) continue;
            ++opaque;
            EXPECT_LE(ChannelGap(base.argb[i], stored.color.ColorAt(x, y)), 12) << x << "," << y;
        }
    EXPECT_GT(opaque, 32 * 32 * 3 / 4);

    // Larger sizes are the same drawing: averaged down to 32 x 32 they come within a few
    // levels of it, in coverage and in colour.
    for (int size : {64, 128}) {
        const os::IconPixels big = art::MakeThemeIcon(art::DrawAppIcon(size));
        ASSERT_EQ(big.argb.size(), static_cast<std::size_t>(size * size));
        const int f = size / 32;
        long alpha_gap = 0;
        int far = 0; // pixels whose colour is off by more than a soft edge explains
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                double a = 0, r = 0, g = 0, b = 0;
                for (int j = 0; j < f; ++j)
                    for (int i = 0; i < f; ++i) {
                        const std::uint32_t p =
                            big.argb[static_cast<std::size_t>((y * f + j) * size + x * f + i)];
                        const double pa = (p >> 24) / 255.0;
                        a += pa;
                        r += pa * (p >> 16 & 0xFF);
                        g += pa * (p >> 8 & 0xFF);
                        b += pa * (p & 0xFF);
                    }
                const std::uint32_t want = base.argb[static_cast<std::size_t>(y * 32 + x)];
                alpha_gap += std::abs(static_cast<int>(a / (f * f) * 255 + 0.5) -
                                      static_cast<int>(want >> 24));
                if ((want >> 24) == 255 && a == f * f) {
                    const auto c = static_cast<std::uint32_t>(r / a + 0.5) << 16 |
                                   static_cast<std::uint32_t>(g / a + 0.5) << 8 |
                                   static_cast<std::uint32_t>(b / a + 0.5);
                    if (ChannelGap(c, want) > 24) ++far;
                }
            }
        EXPECT_LT(alpha_gap / (32 * 32), 4) << size;
        EXPECT_LE(far, 2) << size;
    }
}
