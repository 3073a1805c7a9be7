// Colours, regions, BMP and icon files: layouts checked against hand-built bytes, round trips
// for every depth, and malformed inputs that must each be refused with their own message.
#include "../expect_error.hpp"
#include "../read_file.hpp"
#include "framework/application.hpp"
#include "framework/graphics/bmp.hpp"
#include "framework/graphics/colors.hpp"
#include "framework/graphics/ico.hpp"
#include "framework/graphics/region.hpp"
#include "framework/regions.hpp"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

using namespace fw;

namespace {

// Little-endian bytes built by hand, independent of the codecs under test.
struct Bytes {
    std::vector<std::byte> v;
    Bytes& u8(unsigned x) {
        v.push_back(static_cast<std::byte>(x));
        return *this;
    }
    Bytes& u16(unsigned x) { return u8(x & 0xFF).u8(x >> 8 & 0xFF); }
    Bytes& u32(std::uint32_t x) { return u16(x & 0xFFFF).u16(x >> 16); }
    Bytes& i32(std::int32_t x) { return u32(static_cast<std::uint32_t>(x)); }
    Bytes& rect(TRect r) { return i32(r.Left).i32(r.Top).i32(r.Right).i32(r.Bottom); }
    void put32(std::size_t at, std::uint32_t x) {
        for (int i = 0; i < 4; ++i)
            v.at(at + i) = static_cast<std::byte>(x >> (8 * i));
    }
};

using tests::ExpectError;

// ---- colours ----

TEST(ColorValue, ColorRefKeepsRedLowAndPixelsKeepRedHigh) {
    EXPECT_EQ(RGB(0x11, 0x22, 0x33), 0x332211u);
    EXPECT_EQ(ColorRefToPixel(RGB(0x11, 0x22, 0x33)), 0x112233u);
    EXPECT_EQ(PixelToColorRef(0x112233), RGB(0x11, 0x22, 0x33));
    EXPECT_EQ(GetRValue(0x0200EFEF), 0xEF);
    EXPECT_EQ(GetBValue(0x0200EFEF), 0x00);
    // The trace colours: plain green, and palette-relative yellow.
    EXPECT_EQ(ColorToPixel(0x0000FF00), 0x00FF00u);
    EXPECT_EQ(ColorToPixel(0x0200EFEF), 0xEFEF00u);
    EXPECT_EQ(PALETTERGB(239, 239, 0), 0x0200EFEFu);
}

TEST(ColorValue, SystemColoursAreLookedUpByTheirLowByte) {
    EXPECT_EQ(static_cast<std::uint32_t>(clInfoBk), 0x80000018u);
    EXPECT_EQ(static_cast<std::uint32_t>(clBackground), 0x80000001u);
    EXPECT_LT(clBtnFace, 0);
    EXPECT_EQ(ColorToRGB(clBtnFace), GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(ColorToPixel(clBtnHighlight), 0xFFFFFFu);
    EXPECT_EQ(ColorToPixel(clBtnShadow), 0x808080u);
    EXPECT_EQ(ColorToPixel(clInfoBk), 0xFFFFE1u);
    EXPECT_EQ(ColorToRGB(static_cast<TColor>(0x80000110u)), GetSysColor(0x10));
    EXPECT_EQ(GetSysColor(200), 0u);
    EXPECT_EQ(ColorToRGB(clRed), 0x0000FFu); // ordinary colours pass unchanged
    EXPECT_EQ(ColorToRGB(0x0200EFEF), 0x0200EFEFu);
}

TEST(ColorValue, PaletteIndexAndNearestEntry) {
    std::vector<std::uint32_t> palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0x808080};
    EXPECT_EQ(ColorToPixel(static_cast<TColor>(PALETTEINDEX(3)), palette), 0x0000FFu);
    EXPECT_EQ(ColorToPixel(static_cast<TColor>(PALETTEINDEX(9)), palette), 0u);
    EXPECT_EQ(NearestPaletteIndex(palette, 0x00FF00), 2);
    EXPECT_EQ(NearestPaletteIndex(palette, 0xF01010), 1);
    EXPECT_EQ(NearestPaletteIndex(palette, 0x707070), 4);
    EXPECT_EQ(NearestPaletteIndex(palette, 0x400000), 0); // black is nearer than red
    std::vector<std::uint32_t> twins = {0x101010, 0x303030};
    EXPECT_EQ(NearestPaletteIndex(twins, 0x202020), 0); // a tie goes to the first
    EXPECT_EQ(NearestPaletteIndex({}, 0x202020), -1);
}

// ---- regions ----

// True when `rects` are in banded order with merged spans and joined bands.
bool IsBanded(const std::vector<TRect>& rects) {
    for (std::size_t i = 0; i < rects.size(); ++i) {
        const TRect& r = rects[i];
        if (r.IsEmpty()) return false;
        if (i == 0) continue;
        const TRect& p = rects[i - 1];
        if (r.Top == p.Top) {
            if (r.Bottom != p.Bottom || r.Left <= p.Right) return false;
        } else if (r.Top < p.Bottom) {
            return false;
        }
    }
    return true;
}

// A disc-like mask made of one span per row, as a skin's outline gives; its top row is empty.
std::vector<TRect> DiscRows(int radius) {
    std::vector<TRect> rows;
    for (int y = -radius; y < radius; ++y) {
        int half = 0;
        while ((half + 1) * (half + 1) + y * y <= radius * radius)
            ++half;
        rows.push_back({radius - half, y + radius, radius + half, y + radius + 1});
    }
    return rows;
}

TEST(RegionData, MaskRowsRoundTripInBandedOrder) {
    std::vector<TRect> rows = DiscRows(12);
    Region region = Region::FromRects(rows);
    ASSERT_TRUE(IsBanded(region.Rects()));
    // Equal neighbouring rows share one rectangle.
    EXPECT_LT(region.Rects().size(), rows.size());
    for (const TRect& row : rows)
        for (int x = row.Left - 1; x <= row.Right; ++x)
            EXPECT_EQ(region.Contains(x, row.Top), x >= row.Left && x < row.Right);

    std::vector<std::byte> data = region.Data();
    ASSERT_EQ(data.size(), 32 + 16 * region.Rects().size());
    Bytes header;
    header.u32(32).u32(1).u32(static_cast<std::uint32_t>(region.Rects().size()));
    header.u32(static_cast<std::uint32_t>(16 * region.Rects().size())).rect({0, 1, 24, 24});
    EXPECT_EQ(0, std::memcmp(data.data(), header.v.data(), header.v.size()));

    Region back = Region::FromData(data);
    EXPECT_EQ(back, region);
    EXPECT_EQ(back.Data(), data);
}

TEST(RegionData, OverlappingRectanglesBecomeBands) {
    TRect rects[] = {{5, 5, 15, 15}, {0, 0, 10, 10}};
    Region region = Region::FromRects(rects);
    std::vector<TRect> expected = {{0, 0, 10, 5}, {0, 5, 15, 10}, {5, 10, 15, 15}};
    EXPECT_EQ(region.Rects(), expected);
    EXPECT_EQ(region.Bounds(), (TRect{0, 0, 15, 15}));
    // Touching spans merge; empty rectangles add nothing.
    TRect touching[] = {{0, 0, 3, 2}, {3, 0, 6, 2}, {4, 4, 4, 9}};
    EXPECT_EQ(Region::FromRects(touching).Rects(), (std::vector<TRect>{{0, 0, 6, 2}}));
    EXPECT_TRUE(Region(TRect{3, 3, 3, 8}).IsEmpty());
    EXPECT_EQ(Region().Bounds(), TRect{});
}

TEST(RegionData, PointTestsAtTheEdges) {
    TRect rects[] = {{0, 0, 2, 1}, {4, 0, 6, 1}, {1, 3, 3, 5}};
    Region region = Region::FromRects(rects);
    EXPECT_TRUE(region.Contains(0, 0));
    EXPECT_TRUE(region.Contains(1, 0));
    EXPECT_FALSE(region.Contains(2, 0)); // right edge is outside
    EXPECT_FALSE(region.Contains(3, 0)); // the gap within the band
    EXPECT_TRUE(region.Contains(5, 0));
    EXPECT_FALSE(region.Contains(6, 0));
    EXPECT_FALSE(region.Contains(0, 1)); // bottom edge is outside
    EXPECT_FALSE(region.Contains(1, 2)); // between bands
    EXPECT_TRUE(region.Contains(TPoint{1, 3}));
    EXPECT_TRUE(region.Contains(2, 4));
    EXPECT_FALSE(region.Contains(2, 5));
    EXPECT_FALSE(region.Contains(-1, 0));
    EXPECT_FALSE(region.Contains(0, -1));
}

TEST(RegionData, CombiningMatchesPixelByPixelSets) {
    std::mt19937 random(7);
    auto some_rects = [&] {
        std::vector<TRect> rects;
        std::uniform_int_distribution<int> coord(0, 20);
        for (int i = 0; i < 6; ++i) {
            int l = coord(random), t = coord(random);
            rects.push_back({l, t, l + coord(random) / 3 + 1, t + coord(random) / 3 + 1});
        }
        return rects;
    };
    for (int round = 0; round < 40; ++round) {
        std::vector<TRect> ra = some_rects(), rb = some_rects();
        Region a = Region::FromRects(ra), b = Region::FromRects(rb);
        auto in = [](const std::vector<TRect>& rs, int x, int y) {
            for (const TRect& r : rs)
                if (r.Contains(x, y)) return true;
            return false;
        };
        for (RegionCombine mode : {RGN_AND, RGN_OR, RGN_XOR, RGN_DIFF, RGN_COPY}) {
            Region c = Region::Combine(a, b, mode);
            ASSERT_TRUE(IsBanded(c.Rects()));
            for (int y = -1; y < 30; ++y)
                for (int x = -1; x < 30; ++x) {
                    bool pa = in(ra, x, y), pb = in(rb, x, y);
                    bool want = mode == RGN_AND    ? pa && pb
                                : mode == RGN_OR   ? pa || pb
                                : mode == RGN_XOR  ? pa != pb
                                : mode == RGN_DIFF ? pa && !pb
                                                   : pa;
                    ASSERT_EQ(c.Contains(x, y), want) << "mode " << mode << " at " << x << "," << y;
                }
        }
        // The same pixels give the same rectangles whichever way they were made.
        EXPECT_EQ((a | b) - (a & b), a ^ b);
    }
}

TEST(RegionData, OffsetMovesEveryRectangle) {
    TRect rects[] = {{0, 0, 2, 1}, {1, 3, 3, 5}};
    Region region = Region::FromRects(rects);
    region.Offset(10, -3);
    EXPECT_EQ(region.Rects(), (std::vector<TRect>{{10, -3, 12, -2}, {11, 0, 13, 2}}));
    EXPECT_THROW(region.Offset(kRegionCoordinateLimit, 0), EInvalidRegion);
}

TEST(RegionData, ReadingAcceptsAnySizeHintAndUnbandedOrder) {
    Bytes block;
    block.u32(32).u32(1).u32(3).u32(0).rect({0, 0, 10, 8});
    block.rect({0, 4, 10, 8}).rect({5, 0, 10, 4}).rect({0, 0, 5, 4});
    Region region = Region::FromData(block.v);
    EXPECT_EQ(region.Rects(), (std::vector<TRect>{{0, 0, 10, 8}}));
    block.put32(12, 2488);
    EXPECT_EQ(Region::FromData(block.v), region);
    // No rectangles at all is the empty region.
    Bytes empty;
    empty.u32(32).u32(1).u32(0).u32(0).rect({0, 0, 0, 0});
    EXPECT_TRUE(Region::FromData(empty.v).IsEmpty());
    EXPECT_EQ(Region().Data(), empty.v);
}

TEST(RegionData, MalformedBlocksNameTheirFault) {
    auto block = [](std::uint32_t size, std::uint32_t type, std::uint32_t count, TRect bounds,
                    std::vector<TRect> rects) {
        Bytes b;
        b.u32(size).u32(type).u32(count).u32(0).rect(bounds);
        for (const TRect& r : rects)
            b.rect(r);
        return b.v;
    };
    struct Case {
        std::vector<std::byte> data;
        const char* fragment;
    };
    const TRect bounds{0, 0, 10, 10};
    std::vector<Case> cases = {
        {std::vector<std::byte>(20), "20 bytes, shorter than the 32-byte header"},
        {block(40, 1, 1, bounds, {{0, 0, 1, 1}}), "header size 40, expected 32"},
        {block(32, 2, 1, bounds, {{0, 0, 1, 1}}), "type 2, expected 1"},
        {block(32, 1, 2, bounds, {{0, 0, 1, 1}}),
         "2 rectangles make 64 bytes, but the block has 48"},
        {block(32, 1, 0, bounds, {{0, 0, 1, 1}}),
         "0 rectangles make 32 bytes, but the block has 48"},
        {block(32, 1, 0x10000000, bounds, {}), "268435456 rectangles make"},
        {block(32, 1, 1, bounds, {{4, 0, 4, 3}}), "rectangle 0 (4, 0, 4, 3) is empty or inverted"},
        {block(32, 1, 2, bounds, {{0, 0, 1, 1}, {0, 5, 3, 2}}),
         "rectangle 1 (0, 5, 3, 2) is empty"},
        {block(32, 1, 1, bounds, {{8, 8, 11, 9}}), "lies outside the bounds (0, 0, 10, 10)"},
        {block(32, 1, 0, {5, 0, 2, 1}, {}), "bounds (5, 0, 2, 1) are inverted"},
        {block(32, 1, 1, {0, 0, 1 << 30, 1}, {{0, 0, 1 << 30, 1}}), "beyond the coordinate range"},
    };
    for (const Case& c : cases)
        ExpectError<EInvalidRegion>([&] { Region::FromData(c.data); }, c.fragment);
}

// Thin rectangles in a staircase: band k crosses the first k + 1 of them, so n rectangles
// make n(n + 1) / 2.
Bytes Staircase(int n) {
    Bytes b;
    b.u32(32).u32(1).u32(static_cast<std::uint32_t>(n)).u32(0).rect({0, 0, 2 * n, n});
    for (int i = 0; i < n; ++i)
        b.rect({2 * i, i, 2 * i + 1, n});
    return b;
}

TEST(RegionData, AStaircaseIsRefusedBeforeItsBandsOutgrowTheMemoryBound) {
    const Region small = Region::FromData(Staircase(64).v);
    EXPECT_EQ(small.Rects().size(), 64u * 65 / 2);
    EXPECT_TRUE(IsBanded(small.Rects()));
    // 64 KiB of data would make 8 million rectangles, 128 MiB before the bands that hold them.
    const Bytes big = Staircase(4096);
    ExpectError<EInvalidRegion>([&] { Region::FromData(big.v); },
                                "beyond the " + std::to_string(64 << 20) +
                                    " allowed for an input of " + std::to_string(big.v.size()) +
                                    " bytes");
    EXPECT_EQ(ExtCreateRegion(nullptr, static_cast<std::uint32_t>(big.v.size()), big.v.data()), 0u);
}

// ---- BMP ----

// A 3 x 2 24-bit file: rows padded to 12 bytes, bottom row first unless top-down.
Bytes Bmp24(bool top_down) {
    Bytes b;
    b.u16(0x4D42).u32(14 + 40 + 24).u32(0).u32(54);
    b.u32(40).i32(3).i32(top_down ? -2 : 2).u16(1).u16(24).u32(0).u32(24).i32(0).i32(0);
    b.u32(0).u32(0);
    auto row = [&](std::uint32_t a, std::uint32_t c, std::uint32_t d) {
        for (std::uint32_t p : {a, c, d})
            b.u8(p & 0xFF).u8(p >> 8 & 0xFF).u8(p >> 16);
        b.u8(0).u8(0).u8(0);
    };
    const std::uint32_t top[] = {0xFF0000, 0x00FF00, 0x0000FF};
    const std::uint32_t bottom[] = {0x123456, 0xFFFFFF, 0x000000};
    if (top_down) {
        row(top[0], top[1], top[2]);
        row(bottom[0], bottom[1], bottom[2]);
    } else {
        row(bottom[0], bottom[1], bottom[2]);
        row(top[0], top[1], top[2]);
    }
    return b;
}

TEST(BmpFile, BottomUpAndTopDownGiveTheSamePixels) {
    DibImage up = ReadBmp(Bmp24(false).v);
    DibImage down = ReadBmp(Bmp24(true).v);
    EXPECT_EQ(up, down);
    ASSERT_EQ(up.width, 3);
    ASSERT_EQ(up.height, 2);
    EXPECT_EQ(up.pixels, (std::vector<std::uint32_t>{0xFF0000, 0x00FF00, 0x0000FF, 0x123456,
                                                     0xFFFFFF, 0x000000}));
    EXPECT_EQ(up.ColorAt(0, 1), 0x123456u);
    // What we write is the bottom-up layout byte for byte.
    EXPECT_EQ(WriteBmp(up), Bmp24(false).v);
    // Without the file header the same bitmap reads the same.
    const std::vector<std::byte> down_file = Bmp24(true).v, up_file = Bmp24(false).v;
    EXPECT_EQ(ReadDib(std::span(down_file).subspan(14)), up);
    EXPECT_EQ(WriteDib(up), std::vector<std::byte>(up_file.begin() + 14, up_file.end()));
}

DibImage RandomImage(std::uint16_t bits, int width, int height, std::size_t palette_size,
                     unsigned seed) {
    std::mt19937 random(seed);
    DibImage image;
    if (bits <= 8) {
        std::vector<std::uint32_t> palette;
        for (std::size_t i = 0; i < palette_size; ++i)
            palette.push_back(random() & 0xFFFFFF);
        image = DibImage::Paletted(width, height, bits, palette);
        for (auto& index : image.indices)
            index = static_cast<std::uint8_t>(random() % palette_size);
    } else {
        image = DibImage::TrueColor(width, height, bits);
        for (auto& p : image.pixels)
            p = random() & (bits == 32 ? 0xFFFFFFFF : 0xFFFFFF);
    }
    image.x_pels_per_meter = 2835;
    image.y_pels_per_meter = 2835;
    return image;
}

TEST(BmpFile, EveryDepthRoundTripsBitExact) {
    struct Depth {
        std::uint16_t bits;
        std::size_t palette;
    };
    for (Depth d : {Depth{1, 2}, Depth{4, 16}, Depth{4, 5}, Depth{8, 256}, Depth{8, 7},
                    Depth{24, 0}, Depth{32, 0}}) {
        for (int width : {1, 7, 13}) {
            SCOPED_TRACE("bits " + std::to_string(d.bits) + " width " + std::to_string(width));
            DibImage image = RandomImage(d.bits, width, 5, d.palette, d.bits * 100u + width);
            std::vector<std::byte> file = WriteBmp(image);
            std::size_t stride = (width * d.bits + 31) / 32 * 4;
            EXPECT_EQ(file.size(), 54 + 4 * d.palette + stride * 5);
            DibImage back = ReadBmp(file);
            EXPECT_EQ(back, image);
            EXPECT_EQ(WriteBmp(back), file);
        }
    }
    // The skin's layout: 8 bits, 256 colours, pixels at 1078.
    std::vector<std::byte> skin = WriteBmp(RandomImage(8, 167, 170, 256, 1));
    EXPECT_EQ(skin.size(), 29638u);
    EXPECT_EQ(static_cast<int>(skin[10]) | static_cast<int>(skin[11]) << 8, 1078);
}

TEST(BmpFile, LargerHeadersBitFieldsAndGapsAreRead) {
    DibImage image = RandomImage(32, 5, 3, 0, 3);
    Bytes plain;
    plain.v = WriteBmp(image);
    for (std::uint32_t size : {108u, 124u}) {
        // A V4/V5 header: the 40 bytes, then masks and the rest, pixels moved back.
        Bytes b;
        b.v.assign(plain.v.begin(), plain.v.begin() + 54);
        b.put32(14, size);
        b.put32(10, 14 + size);
        b.put32(30, 3); // bit fields
        b.u32(0xFF0000).u32(0xFF00).u32(0xFF).u32(0xFF000000);
        b.v.resize(14 + size);
        b.v.insert(b.v.end(), plain.v.begin() + 54, plain.v.end());
        b.put32(2, static_cast<std::uint32_t>(b.v.size()));
        EXPECT_EQ(ReadBmp(b.v), image) << "header size " << size;
        b.put32(54, 0xFF); // red mask on the low byte
        ExpectError<EInvalidBitmap>([&] { ReadBmp(b.v); }, "bit-field masks red 0xFF,");
    }
    // Bit fields after a 40-byte header, and pixel data after a gap.
    Bytes b;
    b.v.assign(plain.v.begin(), plain.v.begin() + 54);
    b.put32(30, 3);
    b.u32(0xFF0000).u32(0xFF00).u32(0xFF).u32(0xDEADBEEF);
    b.put32(10, 54 + 16);
    b.v.insert(b.v.end(), plain.v.begin() + 54, plain.v.end());
    EXPECT_EQ(ReadBmp(b.v), image);
}

TEST(BmpFile, MalformedFilesNameTheirFault) {
    const Bytes good = Bmp24(false);
    auto with32 = [&](std::size_t at, std::uint32_t value) {
        Bytes b = good;
        b.put32(at, value);
        return b.v;
    };
    auto with16 = [&](std::size_t at, unsigned value) {
        Bytes b = good;
        b.v.at(at) = static_cast<std::byte>(value & 0xFF);
        b.v.at(at + 1) = static_cast<std::byte>(value >> 8);
        return b.v;
    };
    auto cut = [&](std::size_t size) { // a cut file whose size field does not give it away
        Bytes b = good;
        b.put32(2, 0);
        b.v.resize(size);
        return b.v;
    };
    // A 4-bit file with a 3-entry palette whose first pixel uses index 9.
    DibImage four = RandomImage(4, 2, 1, 3, 5);
    Bytes bad_index;
    bad_index.v = WriteBmp(four);
    bad_index.v.at(54 + 12) = std::byte{0x90};
    struct Case {
        std::vector<std::byte> data;
        const char* fragment;
    };
    std::vector<Case> cases = {
        {cut(10), "10 bytes, too short for the 14-byte file header"},
        {with16(0, 0x4142), "signature 0x4142, expected 'BM'"},
        {with32(2, 500), "file size field 500 exceeds the 78 bytes given"},
        {cut(30), "info header needs 36 bytes at offset 18, but the data ends at 30"},
        {with32(14, 12), "OS/2 core header"},
        {with32(14, 20), "info header size 20 is not one of"},
        {with32(18, 0), "width 0 out of range 1..16384"},
        {with32(18, 20000), "width 20000 out of range"},
        {with32(22, 0), "height 0 out of range"},
        {with32(22, static_cast<std::uint32_t>(-20000)), "height -20000 out of range"},
        {[&] {
             Bytes b = good;
             b.put32(18, 16384);
             b.put32(22, 16384);
             return b.v;
         }(),
         "16384 x 16384 pixels exceed the limit"},
        {with16(26, 2), "planes 2, expected 1"},
        {with16(28, 16), "16 bits per pixel are not supported"},
        {with16(28, 7), "bits per pixel 7 is not one of"},
        {with32(30, 1), "run-length compression (1) is not supported"},
        {with32(30, 5), "PNG compression is not supported"},
        {with32(30, 3), "bit-field compression with 24 bits per pixel"},
        {with32(30, 77), "compression 77 is unknown"},
        {[&] {
             Bytes b = good;
             b.v.at(28) = std::byte{8};
             b.put32(46, 300);
             return b.v;
         }(),
         "300 palette entries for 8 bits per pixel (at most 256)"},
        {with32(10, 9000), "pixel data offset 9000 beyond file size 78"},
        {with32(10, 40), "pixel data offset 40 inside the headers and palette, which end at 54"},
        {[&] {
             Bytes b = good;
             b.put32(2, 0);
             b.v.pop_back();
             return b.v;
         }(),
         "pixel data needs 24 bytes at offset 54, file has 77"},
        {bad_index.v, "pixel (0, 0) has colour index 9, but the palette has 3 entries"},
    };
    for (const Case& c : cases)
        ExpectError<EInvalidBitmap>([&] { ReadBmp(c.data); }, c.fragment);

    DibImage wrong = four;
    wrong.indices[1] = 3;
    ExpectError<EInvalidBitmap>([&] { WriteBmp(wrong); }, "BMP writer: index 3 at pixel 1");
    wrong = RandomImage(24, 2, 2, 0, 1);
    wrong.pixels.pop_back();
    ExpectError<EInvalidBitmap>([&] { WriteBmp(wrong); }, "3 pixels for a 24-bit image of 4");
}

// ---- icons ----

IconImage RandomIcon(std::uint16_t bits, int size, std::size_t palette, unsigned seed) {
    IconImage icon{RandomImage(bits, size, size, palette, seed), {}};
    icon.color.x_pels_per_meter = icon.color.y_pels_per_meter = 0;
    std::mt19937 random(seed);
    icon.mask.resize(static_cast<std::size_t>(size * size));
    for (auto& m : icon.mask)
        m = random() & 1;
    return icon;
}

TEST(IconFileFormat, SeveralImagesOfEveryDepthRoundTripBitExact) {
    IconFile file;
    file.images = {RandomIcon(4, 16, 16, 1),  RandomIcon(8, 32, 256, 2), RandomIcon(24, 48, 0, 3),
                   RandomIcon(32, 256, 0, 4), RandomIcon(1, 20, 2, 5),   RandomIcon(8, 3, 9, 6)};
    std::vector<std::byte> bytes = WriteIcon(file);
    IconFile back = ReadIcon(bytes);
    EXPECT_EQ(back, file);
    EXPECT_EQ(WriteIcon(back), bytes);
    // A 256-pixel image is listed as 0 x 0 in the directory.
    EXPECT_EQ(bytes[6 + 3 * 16], std::byte{0});
}

TEST(IconFileFormat, SixteenColourIconLayout) {
    IconFile file{{RandomIcon(4, 16, 16, 9)}};
    file.images[0].mask.assign(256, 0);
    file.images[0].mask[0] = 1; // top-left pixel transparent
    std::vector<std::byte> bytes = WriteIcon(file);
    // Directory 6 + entry 16 + header 40 + palette 64 + colour rows 128 + mask rows 64.
    ASSERT_EQ(bytes.size(), 318u);
    Bytes dir;
    dir.u16(0).u16(1).u16(1).u8(16).u8(16).u8(16).u8(0).u16(1).u16(4).u32(296).u32(22);
    EXPECT_EQ(std::vector<std::byte>(bytes.begin(), bytes.begin() + 22), dir.v);
    EXPECT_EQ(bytes[22 + 8], std::byte{32}); // height doubled
    // The mask's rows are bottom-up: the top-left pixel is the first bit of the last row.
    EXPECT_EQ(bytes[318 - 4], std::byte{0x80});
    EXPECT_EQ(ReadIcon(bytes), file);
}

TEST(IconFileFormat, MalformedFilesNameTheirFault) {
    Bytes good;
    good.v = WriteIcon(IconFile{{RandomIcon(8, 4, 4, 1)}});
    auto patched = [&](std::size_t at, std::vector<unsigned> values) {
        Bytes b = good;
        for (std::size_t i = 0; i < values.size(); ++i)
            b.v.at(at + i) = static_cast<std::byte>(values[i]);
        return b.v;
    };
    Bytes png = good;
    const unsigned char signature[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    for (int i = 0; i < 8; ++i)
        png.v.at(22 + i) = static_cast<std::byte>(signature[i]);
    struct Case {
        std::vector<std::byte> data;
        const char* fragment;
    };
    std::vector<Case> cases = {
        {std::vector<std::byte>(4), "directory needs 2 bytes at offset 4"},
        {patched(0, {1}), "reserved field 1, expected 0"},
        {patched(2, {2}), "cursor files are not supported"},
        {patched(2, {3}), "type 3, expected 1 (icon)"},
        {patched(4, {0}), "the directory lists no images"},
        {patched(4, {200}), "directory entries needs 3200 bytes"},
        {patched(18, {10}), "image 0: offset 10 lies inside the directory, which ends at 22"},
        {patched(14, {0xFF, 0xFF}), "image 0: 65535 bytes at offset 22 run past the end"},
        {png.v, "image 0: PNG-compressed images are not supported"},
        {patched(6, {5}), "image 0: the directory lists 5 x 4 but the bitmap is 4 x 4"},
        {patched(22 + 8, {9}), "image 0: height 9 is not twice an image height"},
        {patched(22 + 16, {1}), "image 0: compression 1 in an icon bitmap"},
        // 82 bytes: 10 of the 16 mask bytes.
        {patched(14, {82}), "image 0: mask needs 16 bytes at offset 72, but the data ends at 82"},
    };
    for (const Case& c : cases)
        ExpectError<EInvalidIcon>([&] { ReadIcon(c.data); }, c.fragment);

    ExpectError<EInvalidIcon>([] { WriteIcon(IconFile{}); }, "needs an image");
    IconFile big{{RandomIcon(24, 300, 0, 1)}};
    ExpectError<EInvalidIcon>([&] { WriteIcon(big); }, "image 0: size 300 x 300 exceeds");
    IconFile short_mask{{RandomIcon(24, 4, 0, 1)}};
    short_mask.images[0].mask.pop_back();
    ExpectError<EInvalidIcon>([&] { WriteIcon(short_mask); }, "15 mask entries for 4 x 4");
}

TEST(IconFileFormat, EntriesSharingOneImageAreDecodedWithinTheMemoryBound) {
    // A directory of `entries` entries that all point at one 256 x 256 32-bit image.
    const IconImage image = RandomIcon(32, 256, 0, 3);
    const std::vector<std::byte> single = WriteIcon(IconFile{{image}});
    auto sharing = [&](unsigned entries) {
        const auto bytes = static_cast<std::uint32_t>(single.size() - 22);
        Bytes b;
        b.u16(0).u16(1).u16(entries);
        for (unsigned i = 0; i < entries; ++i)
            b.u8(0).u8(0).u8(0).u8(0).u16(1).u16(32).u32(bytes).u32(6 + 16 * entries);
        b.v.insert(b.v.end(), single.begin() + 22, single.end());
        return b.v;
    };
    EXPECT_EQ(ReadIcon(sharing(3)), (IconFile{{image, image, image}}));
    // A thousand would decode 320 MB from 286 KB.
    const std::vector<std::byte> many = sharing(1000);
    ExpectError<EInvalidIcon>([&] { ReadIcon(many); }, "beyond the " + std::to_string(64 << 20) +
                                                           " allowed for an input of " +
                                                           std::to_string(many.size()) + " bytes");
}

// The fuzz seeds are made by a separate script, so reading them checks our layouts against an
// independent writer: every seed is accepted unless its name says it is broken.
TEST(GraphicsSeeds, AreReadOrRefusedAsTheirNamesSay) {
    namespace fs = std::filesystem;
    const fs::path root = fs::path(MIRELO_SOURCE_DIR) / "tests" / "fuzz" / "corpus";
    const std::pair<const char*, std::function<void(std::span<const std::byte>)>> kinds[] = {
        {"bmp", [](auto b) { ReadBmp(b); }},
        {"icon", [](auto b) { ReadIcon(b); }},
        {"region", [](auto b) { Region::FromData(b); }},
    };
    int seen = 0;
    for (const auto& [kind, read] : kinds)
        for (const auto& entry : fs::directory_iterator(root / kind)) {
            const std::string chars = tests::ReadFile(entry.path());
            bool broken = entry.path().filename().string().starts_with("broken_");
            bool refused = false;
            try {
                read(std::as_bytes(std::span(chars)));
            } catch (const EInvalidGraphic&) {
                refused = true;
            }
            EXPECT_EQ(refused, broken) << entry.path();
            ++seen;
        }
    EXPECT_GE(seen, 20);
}

} // namespace
