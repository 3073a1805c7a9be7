// Icons as RGBA PNG files, as icon themes keep them: straight alpha survives the round trip
// and bad input is refused with the reason.
#include "os/display/png.hpp"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

TEST(IconPng, KeepsEveryChannelAndRefusesWhatIsNoIcon) {
    os::IconPixels icon;
    icon.width = 5;
    icon.height = 3;
    for (std::uint32_t i = 0; i < 15; ++i)
        icon.argb.push_back((i * 17) << 24 | (i * 13) << 16 | (255 - i * 11) << 8 | (i * 5));
    icon.argb[0] = 0x00000000;  // fully clear
    icon.argb[14] = 0x80FF0000; // half covered, its colour kept as it is
    const auto bytes = os::EncodeIconPng(icon);
    EXPECT_EQ(os::DecodeIconPng(bytes), icon);

    // An opaque screenshot reads back with full coverage.
    const os::IconPixels opaque = os::DecodeIconPng(os::EncodePng(os::PixelBuffer(2, 2, 0x123456)));
    EXPECT_EQ(opaque.argb, std::vector<std::uint32_t>(4, 0xFF123456));

    os::IconPixels broken = icon;
    broken.argb.pop_back();
    EXPECT_THROW(os::EncodeIconPng(broken), std::invalid_argument);
    EXPECT_THROW(os::EncodeIconPng(os::IconPixels{}), std::invalid_argument);

    const auto expect_refused = [](std::span<const std::byte> data, const std::string& reason) {
        try {
            os::DecodeIconPng(data);
            ADD_FAILURE() << "decoded: " << reason;
        } catch (const std::runtime_error& e) {
            EXPECT_NE(std::string(e.what()).find(reason), std::string::npos) << e.what();
        }
    };
    expect_refused(std::span(bytes).first(bytes.size() / 2), "PNG: ");
    const auto wide = os::EncodePng(os::PixelBuffer(os::IconPixels::kMaxDimension + 1, 1));
    expect_refused(wide, "1025x1 exceeds the limit of 1024");
}
