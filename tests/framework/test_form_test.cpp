// A small form with a picture, a masked image and a caption on the simulated display: what
// a person would see, checked by pixels, and saved as a PNG in the build tree.
#include "framework/application.hpp"
#include "framework/graphics/canvas.hpp"
#include "framework/graphics/image_list.hpp"
#include "framework/image.hpp"
#include "os/display/png.hpp"
#include "os/sim_platform.hpp"

#include <gtest/gtest.h>

#include <cmath>

using namespace std::chrono_literals;

namespace {

// Draws one image of an image list through its mask, and a caption below it.
class TBadge : public fw::TGraphicControl {
public:
    TBadge(fw::TComponent* owner, const fw::TImageList& list)
        : TGraphicControl(owner), list(list) {}
    const fw::TImageList& list;

protected:
    void Paint() override {
        list.Draw(Canvas(), (Width() - list.Width()) / 2, 0, 0);
        Canvas().Brush().SetStyle(fw::bsClear);
        Canvas().Font().SetColor(fw::clWhite);
        fw::TRect r{0, list.Height(), Width(), Height()};
        Canvas().DrawText(Caption(), r, fw::DT_CENTER | fw::DT_VCENTER | fw::DT_SINGLELINE);
    }
};

// A vertical blue-to-teal gradient, the picture behind everything.
std::unique_ptr<fw::TBitmap> Backdrop(int w, int h) {
    auto bmp = std::make_unique<fw::TBitmap>(w, h, fw::pf24bit);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            bmp->Canvas().SetPixel(
                x, y, static_cast<fw::TColor>(fw::RGB(20, 60 + 120 * y / h, 120 + 100 * y / h)));
    return bmp;
}

// A disc on a magenta background: magenta is the mask colour.
std::unique_ptr<fw::TBitmap> Disc(int size) {
    auto bmp = std::make_unique<fw::TBitmap>(size, size, fw::pf24bit);
    auto& c = bmp->Canvas();
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            const double dx = x + 0.5 - size / 2.0, dy = y + 0.5 - size / 2.0;
            const double d = std::sqrt(dx * dx + dy * dy);
            if (d > size / 2.0 - 1) {
                c.SetPixel(x, y, static_cast<fw::TColor>(fw::RGB(255, 0, 255)));
            } else {
                const int shade = static_cast<int>(255 - 90 * d / (size / 2.0));
                c.SetPixel(x, y, static_cast<fw::TColor>(fw::RGB(shade, shade / 3, 40)));
            }
        }
    return bmp;
}

} // namespace

TEST(TestForm, ImageMaskedImageAndCaptionLookRightAndRespondToTheMouse) {
    os::SimPlatform platform;
    fw::Runtime runtime(platform);
    auto& screen = platform.Screen();

    fw::TForm* form = nullptr;
    fw::Application->CreateForm(form);
    form->SetBorderStyle(fw::bsNone);
    form->SetBounds(300, 200, 160, 120);

    auto* image = new fw::TImage(form);
    image->SetParent(form);
    image->SetAlign(fw::alClient);
    image->Picture().SetGraphic(Backdrop(160, 120).get());
    EXPECT_EQ(image->Width(), 160);
    EXPECT_TRUE(image->ControlStyle.contains(fw::csOpaque)); // the picture covers it

    fw::TImageList list(48, 48);
    list.AddMasked(*Disc(48), static_cast<fw::TColor>(fw::RGB(255, 0, 255)));
    auto* badge = new TBadge(form, list);
    badge->SetParent(form);
    badge->SetBounds(40, 20, 80, 76);
    badge->Font().SetName("DejaVu Sans");
    badge->Font().SetHeight(-13);
    badge->SetCaption("REC");
    int clicks = 0;
    struct Counter : fw::TObject {
        int* n;
        void Click(fw::TObject*) { ++*n; }
    } counter;
    counter.n = &clicks;
    badge->OnClick = fw::Bind<&Counter::Click>(counter);

    form->Show();
    runtime.Loop().RunFor(10ms);
    const auto shot = screen.Screenshot();
    os::WritePng(std::string(MIRELO_BINARY_DIR) + "/test_form.png", shot);
    auto at = [&](int x, int y) { return shot.At(300 + x, 200 + y); };
    // The backdrop shows where nothing covers it and through the disc's mask.
    EXPECT_EQ(at(5, 5), fw::ColorRefToPixel(fw::RGB(20, 60 + 120 * 5 / 120, 120 + 100 * 5 / 120)));
    EXPECT_EQ(at(40 + 16 + 1, 20 + 1),
              fw::ColorRefToPixel(fw::RGB(20, 60 + 120 * 21 / 120, 120 + 100 * 21 / 120)));
    // The disc's centre is its own colour.
    EXPECT_GE((at(80, 44) >> 16) & 0xFF, 250u);
    EXPECT_EQ(at(80, 44) & 0xFF, 40u);
    // Some white caption pixels lie in the caption's box, none outside the control.
    int white = 0;
    for (int y = 20 + 48; y < 20 + 76; ++y)
        for (int x = 40; x < 120; ++x)
            if (at(x, y) == 0xFFFFFF) ++white;
    EXPECT_GT(white, 10);
    EXPECT_NE(at(140, 110), 0xFFFFFFu);

    // The badge is above the image: clicks on it reach it, not the image.
    screen.Click(300 + 80, 200 + 40);
    runtime.Loop().RunFor(1ms);
    EXPECT_EQ(clicks, 1);
    screen.Click(300 + 10, 200 + 100);
    runtime.Loop().RunFor(1ms);
    EXPECT_EQ(clicks, 1);
}
