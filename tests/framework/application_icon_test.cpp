// The application's icon on the simulated display: given to the forms there are and to
// those made later, the image nearest 32 x 32 chosen, its mask or alpha kept as alpha, and
// taken away again by an empty icon.
#include "framework/application.hpp"
#include "os/display/png.hpp"
#include "os/sim_platform.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

// A paletted image whose left half is masked out, with a red pixel at (1, 0) and (w-1, h-1)
// in blue.
fw::IconImage Masked(int size) {
    fw::IconImage image;
    image.color = fw::DibImage::Paletted(size, size, 8, {0x000000, 0xFF0000, 0x0000FF, 0x00FF00});
    for (std::size_t i = 0; i < image.color.indices.size(); ++i)
        image.color.indices[i] = 3;
    image.color.indices[1] = 1;
    image.color.indices.back() = 2;
    image.mask.assign(static_cast<std::size_t>(size * size), 0);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size / 2; ++x)
            image.mask[static_cast<std::size_t>(y * size + x)] = 1;
    return image;
}

} // namespace

TEST(ApplicationIcon, EveryFormWindowShowsTheImageNearest32WithItsTransparency) {
    os::SimPlatform platform;
    fw::Runtime runtime{platform};
    os::SimDisplay& screen = platform.Screen();
    fw::TForm* first = nullptr;
    fw::Application->CreateForm(first);
    first->Show();
    runtime.Loop().RunFor(1ms);

    fw::TIcon icon;
    // A translucent 32-bit image of 48 x 48 beside the 32 x 32 one: the latter is taken.
    fw::IconImage big;
    big.color = fw::DibImage::TrueColor(48, 48, 32);
    for (auto& p : big.color.pixels)
        p = 0x80123456;
    big.mask.assign(48 * 48, 0);
    icon.SetImages({big, Masked(32)});
    fw::Application->SetIcon(icon);
    icon.Clear(); // the application keeps its own copy
    EXPECT_EQ(fw::Application->Icon().Width(), 48);

    const os::IconPixels& shown = screen.Window(first->DisplayWindow()).icon;
    ASSERT_EQ(std::pair(shown.width, shown.height), std::pair(32, 32));
    ASSERT_EQ(shown.argb.size(), 32u * 32u);
    EXPECT_EQ(shown.argb[1], 0x00FF0000u);           // masked out: transparent
    EXPECT_EQ(shown.argb[16], 0xFF00FF00u);          // drawn: opaque
    EXPECT_EQ(shown.argb[32 * 32 - 1], 0xFF0000FFu); // bottom-right, blue
    EXPECT_EQ(shown.argb[31 * 32 + 15], 0x0000FF00u);

    // A form made later gets it when its window is made.
    fw::TForm* second = nullptr;
    fw::Application->CreateForm(second);
    second->Show();
    runtime.Loop().RunFor(1ms);
    EXPECT_EQ(screen.Window(second->DisplayWindow()).icon, shown);

    // Alpha of a 32-bit image is kept as it is.
    fw::TIcon translucent;
    translucent.SetImages({big});
    fw::Application->SetIcon(translucent);
    EXPECT_EQ(screen.Window(first->DisplayWindow()).icon.width, 48);
    EXPECT_EQ(screen.Window(second->DisplayWindow()).icon.argb.front(), 0x80123456u);

    // An empty icon takes it away from every window.
    fw::Application->SetIcon(fw::TIcon());
    EXPECT_EQ(screen.Window(first->DisplayWindow()).icon, os::IconPixels{});
    EXPECT_EQ(screen.Window(second->DisplayWindow()).icon, os::IconPixels{});
}

TEST(ApplicationIcon, LargerArtworkIsRefusedByItsHeaderAndABodyThatDoesNotDecodeIsLeftOut) {
    os::SimPlatform platform;
    fw::Runtime runtime{platform};
    const os::IconPixels big{48, 48, std::vector<std::uint32_t>(48 * 48, 0xFF336699)};
    const std::vector<std::byte> good = os::EncodeIconPng(big);
    // Its header whole, its image data cut short.
    const std::vector<std::byte> cut(good.begin(), good.end() - 20);
    const std::byte text[] = {std::byte{'n'}, std::byte{'o'}};
    EXPECT_THROW(fw::Application->AddLargerIcon(text), std::runtime_error);
    fw::Application->AddLargerIcon(cut);
    fw::Application->AddLargerIcon(good);
    fw::TIcon icon;
    icon.SetImages({Masked(32)});
    fw::Application->SetIcon(icon);

    fw::TForm* form = nullptr;
    fw::Application->CreateForm(form);
    form->Show();
    runtime.Loop().RunFor(1ms);
    const os::SimWindow& window = platform.Screen().Window(form->DisplayWindow());
    EXPECT_EQ(window.icon.width, 32);
    EXPECT_EQ(window.larger_icons, std::vector<os::IconPixels>{big});
}
