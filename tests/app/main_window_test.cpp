// The main window as loaded from its description, on the simulated display: its place,
// its shape, the skin and the button faces a person sees in the idle, recording and
// playing looks (saved as PNGs in the build folder), and the ways to close it.
#include "app_test_support.hpp"

#include "os/display/png.hpp"
#include "skin/cool_button.hpp"

#include <gtest/gtest.h>

namespace {

using apptest::kBackground;
using apptest::MainWindow;

skin::TCoolButton* ButtonNamed(app::TForm1& form, const char* name) {
    return dynamic_cast<skin::TCoolButton*>(form.FindComponent(name));
}

bool InOtherButton(const apptest::ButtonFile& self, int x, int y) {
    for (const auto& b : apptest::kButtonFiles)
        if (&b != &self && x >= b.left && x < b.left + b.width && y >= b.top &&
            y < b.top + b.height)
            return true;
    return false;
}

// Checks that the screen shows the cell of every button that its state selects, drawn over
// the skin: face pixels as in the strip, transparent pixels as the skin.
void ExpectFacesShown(MainWindow& w, const os::PixelBuffer& shot) {
    const fw::DibImage skin = apptest::ReadArtwork("skin.bmp");
    for (const auto& b : apptest::kButtonFiles) {
        SCOPED_TRACE(b.name);
        skin::TCoolButton* button = ButtonNamed(*w.form, b.name);
        ASSERT_NE(button, nullptr);
        const int cell = static_cast<int>(button->State);
        const fw::DibImage strip = apptest::ReadArtwork(b.file);
        const std::uint32_t key = strip.ColorAt(cell * b.width, b.height - 1);
        int face_wrong = 0, skin_wrong = 0, face = 0;
        for (int y = 0; y < b.height; ++y)
            for (int x = 0; x < b.width; ++x) {
                const int wx = b.left + x, wy = b.top + y;
                if (skin.ColorAt(wx, wy) == kBackground) continue; // cut away by the shape
                const std::uint32_t want = strip.ColorAt(cell * b.width + x, y);
                const std::uint32_t got = shot.At(w.X(wx), w.Y(wy));
                if (want == key) {
                    // Where another button's cell overlaps, that button may show instead.
                    if (!InOtherButton(b, wx, wy)) skin_wrong += got != skin.ColorAt(wx, wy);
                } else {
                    ++face;
                    face_wrong += got != want;
                }
            }
        EXPECT_GT(face, b.width * b.height / 2);
        EXPECT_EQ(face_wrong, 0);
        EXPECT_EQ(skin_wrong, 0);
    }
}

// The window and a margin of desktop around it.
void SaveWindowPng(MainWindow& w, const os::PixelBuffer& shot, const std::string& name) {
    const int margin = 12;
    os::PixelBuffer crop(167 + 2 * margin, 170 + 2 * margin);
    for (int y = 0; y < crop.height; ++y)
        for (int x = 0; x < crop.width; ++x)
            crop.Set(x, y, shot.At(w.X(x - margin), w.Y(y - margin)));
    os::WritePng(std::string(MIRELO_BINARY_DIR) + "/" + name, crop);
}

} // namespace

TEST(MainWindow, LoadsFromItsDescriptionAtTheDefaultPlace) {
    MainWindow w;
    app::TForm1& f = *w.form;
    ASSERT_NE(f.CoolForm1, nullptr);
    ASSERT_NE(f.PlayButton, nullptr);
    ASSERT_NE(f.RecButton, nullptr);
    ASSERT_NE(f.OffButton, nullptr);
    ASSERT_NE(f.MinButton, nullptr);
    ASSERT_NE(f.StopButton, nullptr);
    ASSERT_NE(f.Timer1, nullptr);
    ASSERT_NE(f.AudioOut1, nullptr);
    ASSERT_NE(f.AudioIn1, nullptr);
    EXPECT_EQ(fw::Application->MainForm(), &f);

    EXPECT_EQ(f.Left(), 1024 - 166);
    EXPECT_EQ(f.Top(), 768 - 198);
    EXPECT_EQ(f.ClientWidth(), 167);
    EXPECT_EQ(f.ClientHeight(), 170);
    EXPECT_EQ(f.BorderStyle(), fw::bsNone);
    EXPECT_EQ(f.FormStyle(), fw::fsStayOnTop);
    EXPECT_FALSE(f.Scaled);

    for (const auto& b : apptest::kButtonFiles) {
        SCOPED_TRACE(b.name);
        skin::TCoolButton* button = ButtonNamed(f, b.name);
        ASSERT_NE(button, nullptr);
        EXPECT_EQ(button->BoundsRect(),
                  (fw::TRect{b.left, b.top, b.left + b.width, b.top + b.height}));
        EXPECT_EQ(button->Glyph().Width(), 4 * b.width);
        EXPECT_EQ(button->Glyph().Height(), b.height);
        EXPECT_EQ(button->NumGlyphs(), 4);
        EXPECT_EQ(button->Cursor(), fw::crHandPoint);
        EXPECT_TRUE(button->Caption().empty());
    }
    EXPECT_EQ(f.PlayButton->GroupIndex(), 2);
    EXPECT_EQ(f.RecButton->GroupIndex(), 1);
    EXPECT_TRUE(f.PlayButton->AllowAllUp());
    EXPECT_TRUE(f.RecButton->AllowAllUp());
    EXPECT_TRUE(f.MinButton->AllowAllUp());
    EXPECT_FALSE(f.OffButton->AllowAllUp());
    EXPECT_EQ(f.CoolForm1->Cursor(), fw::crDrag);

    EXPECT_EQ(f.Timer1->Interval(), 10u);
    EXPECT_TRUE(f.Timer1->Enabled());
    for (audio::TAudioIO* a :
         {static_cast<audio::TAudioIO*>(f.AudioIn1), static_cast<audio::TAudioIO*>(f.AudioOut1)}) {
        EXPECT_EQ(a->BufferSize(), 16384);
        EXPECT_EQ(a->FrameRate(), 22050);
        EXPECT_EQ(a->WaveDevice(), 0u);
        EXPECT_EQ(a->NumBuffers(), 4);
        EXPECT_EQ(a->Quantization(), 16);
        EXPECT_FALSE(a->Stereo());
    }
    // Every event is bound to the handler of its name.
    EXPECT_EQ(f.OnCreate, fw::Bind<&app::TForm1::FormCreate>(f));
    EXPECT_EQ(f.OnClose, fw::Bind<&app::TForm1::FormClose>(f));
    EXPECT_EQ(f.OnKeyDown, fw::Bind<&app::TForm1::FormKeyDown>(f));
    EXPECT_EQ(f.PlayButton->OnMouseDown, fw::Bind<&app::TForm1::PlayButtonMouseDown>(f));
    EXPECT_EQ(f.PlayButton->OnMouseUp, fw::Bind<&app::TForm1::PlayButtonMouseUp>(f));
    EXPECT_EQ(f.RecButton->OnMouseDown, fw::Bind<&app::TForm1::RecButtonMouseDown>(f));
    EXPECT_EQ(f.RecButton->OnMouseUp, fw::Bind<&app::TForm1::RecButtonMouseUp>(f));
    EXPECT_EQ(f.OffButton->OnClick, fw::Bind<&app::TForm1::OffButtonClick>(f));
    EXPECT_EQ(f.MinButton->OnClick, fw::Bind<&app::TForm1::MinButtonClick>(f));
    EXPECT_EQ(f.StopButton->OnClick, fw::Bind<&app::TForm1::StopButtonClick>(f));
    EXPECT_EQ(f.Timer1->OnTimer(), fw::Bind<&app::TForm1::Timer1Timer>(f));
    EXPECT_EQ(f.AudioIn1->OnBufferFilled, fw::Bind<&app::TForm1::AudioIn1BufferFilled>(f));
    EXPECT_EQ(f.AudioOut1->OnFillBuffer, fw::Bind<&app::TForm1::AudioOut1FillBuffer>(f));
}

TEST(MainWindow, IsShapedByItsRegionAndShowsTheSkin) {
    MainWindow w;
    const fw::DibImage skin = apptest::ReadArtwork("skin.bmp");
    const os::PixelBuffer shot = w.Shot();
    ASSERT_TRUE(w.form->Shape().has_value());
    int wrong = 0;
    for (int y = 0; y < 170; ++y)
        for (int x = 0; x < 167; ++x) {
            const bool body = skin.ColorAt(x, y) != kBackground;
            wrong += w.form->Shape()->Contains(x, y) != body;
            // Outside the shape the desktop shows, never the grey background.
            if (!body) wrong += shot.At(w.X(x), w.Y(y)) != 0x3366AA;
        }
    EXPECT_EQ(wrong, 0);
    // The skin shows between the buttons: the name printed in the upper left.
    int same = 0, total = 0;
    for (int y = 14; y < 54; ++y)
        for (int x = 8; x < 50; ++x) {
            if (skin.ColorAt(x, y) == kBackground) continue;
            ++total;
            same += shot.At(w.X(x), w.Y(y)) == skin.ColorAt(x, y);
        }
    EXPECT_GT(total, 1000);
    EXPECT_EQ(same, total);
}

TEST(MainWindow, IdleRecordingAndPlayingLooksAreTheButtonsCells) {
    MainWindow w;
    app::TForm1& f = *w.form;

    // Idle: every button up.
    os::PixelBuffer shot = w.Shot();
    for (const auto& b : apptest::kButtonFiles)
        EXPECT_EQ(ButtonNamed(f, b.name)->State, skin::cbsUp) << b.name;
    ExpectFacesShown(w, shot);
    SaveWindowPng(w, shot, "main_window_idle.png");

    // A click on REC latches it down and starts a recording, which disables PLAY and MIN.
    w.platform.Screen().Click(w.X(8 + 50), w.Y(112 + 25));
    w.Settle();
    w.platform.Screen().MovePointer(0, 0);
    w.Settle();
    EXPECT_TRUE(f.RecButton->Down());
    EXPECT_EQ(f.RecButton->State, skin::cbsDown);
    EXPECT_EQ(f.PlayButton->State, skin::cbsDisabled);
    EXPECT_EQ(f.MinButton->State, skin::cbsDisabled);
    shot = w.Shot();
    ExpectFacesShown(w, shot);
    SaveWindowPng(w, shot, "main_window_rec_down.png");

    // Back to idle after a second of recording, then PLAY latched down with REC and MIN
    // disabled while the take plays.
    w.runtime.Loop().RunFor(std::chrono::seconds(1));
    w.platform.Screen().Click(w.X(8 + 50), w.Y(112 + 25));
    w.Settle();
    EXPECT_FALSE(f.RecButton->Down());
    EXPECT_EQ(f.RecButton->State, skin::cbsUp);
    EXPECT_TRUE(f.PlayButton->Enabled());
    w.platform.Screen().Click(w.X(8 + 52), w.Y(59 + 26));
    w.Settle();
    w.platform.Screen().MovePointer(0, 0);
    w.Settle();
    EXPECT_TRUE(f.PlayButton->Down());
    EXPECT_EQ(f.PlayButton->State, skin::cbsDown);
    EXPECT_EQ(f.RecButton->State, skin::cbsDisabled);
    EXPECT_EQ(f.MinButton->State, skin::cbsDisabled);
    shot = w.Shot();
    ExpectFacesShown(w, shot);
    SaveWindowPng(w, shot, "main_window_play_down.png");
}

TEST(MainWindow, EscapeClosesIt) {
    MainWindow w;
    w.platform.Screen().KeyDown(fw::VK_ESCAPE);
    w.Settle();
    EXPECT_TRUE(fw::Application->Terminated());
}

TEST(MainWindow, OtherKeysLeaveItOpen) {
    MainWindow w;
    w.platform.Screen().KeyDown('Q');
    w.platform.Screen().KeyUp('Q');
    w.Settle();
    EXPECT_FALSE(fw::Application->Terminated());
}

TEST(MainWindow, IdleReadsTheDisplayOnlyWhenSomethingArrived) {
    MainWindow w;
    auto& screen = w.platform.Screen();
    const auto reads = screen.Reads(), reports = screen.ReadableReports();
    w.runtime.Loop().RunFor(std::chrono::seconds(1)); // a hundred turns of the 10 ms timer
    screen.KeyDown(fw::VK_ESCAPE);
    w.Settle();
    EXPECT_TRUE(fw::Application->Terminated());
    EXPECT_LE(screen.Reads() - reads, screen.ReadableReports() - reports);
}

TEST(MainWindow, OffButtonClosesIt) {
    MainWindow w;
    w.platform.Screen().Click(w.X(100 + 28), w.Y(25 + 29));
    w.Settle();
    EXPECT_TRUE(fw::Application->Terminated());
}
