#include "framework/font.hpp"

#include <gtest/gtest.h>

#include <climits>

TEST(Font, DecodesUtf8AndReplacesMalformedBytes) {
    const std::string s = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x8E\xA4\xFFz\xC3";
    std::size_t pos = 0;
    std::vector<char32_t> got;
    while (pos < s.size())
        got.push_back(fw::NextCodePoint(s, pos));
    EXPECT_EQ(got, (std::vector<char32_t>{U'a', U'é', U'€', U'\U0001F3A4', 0xFFFD, U'z', 0xFFFD}));
}

TEST(Font, NegativeHeightIsTheCharacterHeightInPixels) {
    auto small = fw::FontFace::Get({"MS Sans Serif", -11});
    auto big = fw::FontFace::Get({"MS Sans Serif", -22});
    EXPECT_EQ(fw::FontFace::Get({"MS Sans Serif", -11}), small); // shared
    EXPECT_FALSE(small->FilePath().empty());
    // An em of 11 pixels: ascent plus descent close to it, and twice for twice the size.
    EXPECT_GE(small->LineHeight(), 10);
    EXPECT_LE(small->LineHeight(), 16);
    // Hinting rounds each advance, so allow a tenth.
    EXPECT_NEAR(big->TextWidth("PLAY"), 2 * small->TextWidth("PLAY"), big->TextWidth("PLAY") / 10);
}

TEST(Font, DrawCoversTheMeasuredBoxAboveAndBelowTheBaseline) {
    auto face = fw::FontFace::Get({"DejaVu Sans", -20});
    int minx = INT_MAX, maxx = INT_MIN, miny = INT_MAX, maxy = INT_MIN, count = 0;
    face->Draw("Hg", 10, 50, [&](int x, int y, std::uint8_t c) {
        EXPECT_GT(c, 0);
        minx = std::min(minx, x);
        maxx = std::max(maxx, x);
        miny = std::min(miny, y);
        maxy = std::max(maxy, y);
        ++count;
    });
    EXPECT_GT(count, 50);
    EXPECT_GE(minx, 10);
    EXPECT_LE(maxx, 10 + face->TextWidth("Hg"));
    EXPECT_GE(miny, 50 - face->Ascent());
    EXPECT_LT(miny, 50 - 10); // the H reaches well above the baseline
    EXPECT_GT(maxy, 50);      // the g descends below it
    EXPECT_LE(maxy, 50 + face->Descent());
}
