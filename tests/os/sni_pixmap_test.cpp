// The picture as a StatusNotifierItem hands it to the host: ARGB32 in network byte order,
// row after row from the top.
#include "os/notify/sni_notify.hpp"

#include <gtest/gtest.h>

#include <vector>

TEST(SniPixmapBytes, ArgbBigEndianRowsTopDown) {
    os::PixelBuffer p(2, 2);
    p.Set(0, 0, 0xFF102030);
    p.Set(1, 0, 0x80405060);
    p.Set(0, 1, 0x00000000);
    p.Set(1, 1, 0x01020304);
    EXPECT_EQ(os::SniPixmapBytes(p),
              (std::vector<std::uint8_t>{0xFF, 0x10, 0x20, 0x30, 0x80, 0x40, 0x50, 0x60, //
                                         0x00, 0x00, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04}));
}

TEST(SniPixmapSizes, SixteenPixelsAlsoComeAtThirtyTwoAndSixtyFourInBlocks) {
    os::PixelBuffer p(16, 16, 0xFF000000);
    p.Set(15, 0, 0xFFFF0000);
    const auto sizes = os::SniPixmapSizes(p);
    ASSERT_EQ(sizes.size(), 3u);
    EXPECT_EQ(sizes[2].width, 64);
    EXPECT_EQ((std::pair{sizes[2].At(60, 3), sizes[2].At(59, 3)}),
              (std::pair{0xFFFF0000u, 0xFF000000u}));
}
