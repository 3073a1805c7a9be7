// The committed artwork as the window uses it: the skin and its region, the button strips
// with their transparent corners and the minimise bar, and the two icons.
#include "app_test_support.hpp"

#include "framework/form_reader.hpp"
#include "framework/graphics/ico.hpp"
#include "framework/graphics/region.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

using apptest::kBackground;

namespace {

int Luma(std::uint32_t c) {
    return (299 * static_cast<int>(c >> 16 & 0xFF) + 587 * static_cast<int>(c >> 8 & 0xFF) +
            114 * static_cast<int>(c & 0xFF)) /
           1000;
}

// The pixels of a cell that are reached from its border through pixels of `key`.
std::vector<bool> OutsideOfFace(const fw::DibImage& strip, int cell, int w, std::uint32_t key) {
    const int h = strip.height;
    std::vector<bool> seen(static_cast<std::size_t>(w * h), false);
    std::deque<std::pair<int, int>> todo;
    auto push = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= w || y >= h) return;
        const auto i = static_cast<std::size_t>(y * w + x);
        if (seen[i] || strip.ColorAt(cell * w + x, y) != key) return;
        seen[i] = true;
        todo.emplace_back(x, y);
    };
    for (int x = 0; x < w; ++x) {
        push(x, 0);
        push(x, h - 1);
    }
    for (int y = 0; y < h; ++y) {
        push(0, y);
        push(w - 1, y);
    }
    while (!todo.empty()) {
        auto [x, y] = todo.front();
        todo.pop_front();
        push(x + 1, y);
        push(x - 1, y);
        push(x, y + 1);
        push(x, y - 1);
    }
    return seen;
}

double MeanLuma(const fw::DibImage& strip, int cell, int w, std::uint32_t key) {
    long sum = 0, n = 0;
    for (int y = 0; y < strip.height; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint32_t c = strip.ColorAt(cell * w + x, y);
            if (c == key) continue;
            sum += Luma(c);
            ++n;
        }
    return n ? static_cast<double>(sum) / static_cast<double>(n) : 0;
}

} // namespace

TEST(Artwork, SkinIsAnEightBitPictureWithTheBackgroundInItsCorners) {
    const auto bytes = apptest::ReadSourceFile("src/app/artwork/skin.bmp");
    const fw::DibImage skin = fw::ReadBmp(bytes);
    EXPECT_EQ(skin.width, 167);
    EXPECT_EQ(skin.height, 170);
    EXPECT_EQ(skin.bits_per_pixel, 8);
    EXPECT_EQ(skin.palette.size(), 256u);
    EXPECT_EQ(bytes.size(), 29638u); // 1078 bytes of headers and palette, rows of 168
    EXPECT_EQ(skin.ColorAt(0, 0), kBackground);
    EXPECT_EQ(skin.ColorAt(166, 0), kBackground);
    EXPECT_EQ(skin.ColorAt(0, 169), kBackground);
    EXPECT_EQ(skin.ColorAt(166, 169), kBackground);
    // The background is one palette entry, and the body is most of the picture.
    EXPECT_EQ(std::count(skin.palette.begin(), skin.palette.end(), kBackground), 1);
    int body = 0;
    for (int y = 0; y < skin.height; ++y)
        for (int x = 0; x < skin.width; ++x)
            body += skin.ColorAt(x, y) != kBackground;
    EXPECT_GT(body, 167 * 170 * 3 / 4);
    // Every button lies on the body.
    for (const auto& b : apptest::kButtonFiles) {
        EXPECT_NE(skin.ColorAt(b.left + b.width / 2, b.top + b.height / 2), kBackground) << b.name;
    }
}

TEST(Artwork, StoredRegionIsExactlyTheSkinWithoutItsBackground) {
    const fw::DibImage skin = apptest::ReadArtwork("skin.bmp");
    apptest::MainWindow w;
    const auto& data = w.form->CoolForm1->MaskData();
    ASSERT_GE(data.size(), 32u);
    const fw::Region region = fw::Region::FromData(data);
    int mismatches = 0;
    for (int y = 0; y < skin.height; ++y)
        for (int x = 0; x < skin.width; ++x)
            if (region.Contains(x, y) != (skin.ColorAt(x, y) != kBackground)) ++mismatches;
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(data.size(), 32 + 16 * region.Rects().size());
    // Banded: sorted by top, then left.
    const auto& rects = region.Rects();
    EXPECT_TRUE(
        std::is_sorted(rects.begin(), rects.end(), [](const fw::TRect& a, const fw::TRect& b) {
            return a.Top != b.Top ? a.Top < b.Top : a.Left < b.Left;
        }));
}

TEST(Artwork, StripsHoldFourCellsWithTransparentCornersAndAPressedDownCell) {
    for (const auto& b : apptest::kButtonFiles) {
        SCOPED_TRACE(b.name);
        const fw::DibImage strip = apptest::ReadArtwork(b.file);
        ASSERT_EQ(strip.width, 4 * b.width);
        ASSERT_EQ(strip.height, b.height);
        EXPECT_EQ(strip.bits_per_pixel, 8);
        for (int cell = 0; cell < 4; ++cell) {
            SCOPED_TRACE(cell);
            // The transparent colour is the cell's bottom-left pixel; it lies only around
            // the face, never inside it, and the face covers the cell's middle.
            const std::uint32_t key = strip.ColorAt(cell * b.width, b.height - 1);
            EXPECT_NE(strip.ColorAt(cell * b.width + b.width / 2, b.height / 2), key);
            const auto outside = OutsideOfFace(strip, cell, b.width, key);
            int holes = 0, around = 0;
            for (int y = 0; y < b.height; ++y)
                for (int x = 0; x < b.width; ++x) {
                    const bool is_key = strip.ColorAt(cell * b.width + x, y) == key;
                    holes += is_key && !outside[static_cast<std::size_t>(y * b.width + x)];
                    around += is_key;
                }
            EXPECT_EQ(holes, 0);
            EXPECT_GT(around, 0);
        }
        // Pressed in: the down face is darker than the up face and differs from it.
        const std::uint32_t key = strip.ColorAt(0, b.height - 1);
        EXPECT_LT(MeanLuma(strip, 2, b.width, key) + 5, MeanLuma(strip, 0, b.width, key));
        EXPECT_GT(MeanLuma(strip, 1, b.width, key), 0);
    }
}

TEST(Artwork, MinimiseFacesCarryAPlainLightBarWhereTheTraceIsDrawn) {
    const fw::DibImage strip = apptest::ReadArtwork("min.bmp");
    const std::uint32_t bar = strip.ColorAt(11, 26);
    // Light, and far from each colour the trace draws on it: black, green, yellow.
    auto distance = [](std::uint32_t a, std::uint32_t b) {
        int d = 0;
        for (int shift : {0, 8, 16})
            d = std::max(d, std::abs(static_cast<int>(a >> shift & 0xFF) -
                                     static_cast<int>(b >> shift & 0xFF)));
        return d;
    };
    EXPECT_GT(Luma(bar), 170);
    for (std::uint32_t trace : {0x000000u, 0x00FF00u, 0xEFEF00u})
        EXPECT_GT(distance(bar, trace), 150) << std::hex << trace;
    for (int cell = 0; cell < 4; ++cell) {
        int off = 0;
        for (int y = 26; y <= 31; ++y)
            for (int x = 11; x <= 33; ++x)
                off += strip.ColorAt(cell * 43 + x, y) != bar;
        EXPECT_EQ(off, 0) << "cell " << cell;
        // The bar ends where the trace ends: the pixels just beside it are darker.
        EXPECT_LT(Luma(strip.ColorAt(cell * 43 + 10, 28)), Luma(bar) - 60);
        EXPECT_LT(Luma(strip.ColorAt(cell * 43 + 34, 28)), Luma(bar) - 60);
        EXPECT_LT(Luma(strip.ColorAt(cell * 43 + 20, 25)), Luma(bar) - 60);
        EXPECT_LT(Luma(strip.ColorAt(cell * 43 + 20, 32)), Luma(bar) - 60);
    }
}

TEST(Artwork, IconsHaveTheirSizesDepthsAndTransparentCorners) {
    struct Want {
        const char* file;
        int size;
        int bits;
    };
    for (const Want& want : {Want{"mirelo.ico", 32, 8}, Want{"tray.ico", 16, 4}}) {
        SCOPED_TRACE(want.file);
        const fw::IconFile icon =
            fw::ReadIcon(apptest::ReadSourceFile(std::string("src/app/artwork/") + want.file));
        ASSERT_EQ(icon.images.size(), 1u);
        const auto& image = icon.images[0];
        EXPECT_EQ(image.color.width, want.size);
        EXPECT_EQ(image.color.height, want.size);
        EXPECT_EQ(image.color.bits_per_pixel, want.bits);
        const int s = want.size;
        EXPECT_EQ(image.mask[0], 1);
        EXPECT_EQ(image.mask[static_cast<std::size_t>(s * s - 1)], 1);
        EXPECT_EQ(image.mask[static_cast<std::size_t>(s / 2 * s + s / 2)], 0);
        // The record light in the middle is red.
        const std::uint32_t centre = image.color.ColorAt(s == 32 ? 12 : 8, s / 2);
        EXPECT_GT(static_cast<int>(centre >> 16 & 0xFF), 2 * static_cast<int>(centre >> 8 & 0xFF));
    }
}
