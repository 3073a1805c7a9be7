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
