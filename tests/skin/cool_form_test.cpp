// The skin component on the simulated display: a form description with a skin, its mask
// and two buttons loads, cuts the window, binds its events and writes back the same
// text; the window is dragged by its skin and keeps its shape; records without a usable
// mask leave the window rectangular.
#include "skin/cool_button.hpp"
#include "skin/cool_form.hpp"
#include "skin/register.hpp"
#include "skin_test_support.hpp"

#include "framework/application.hpp"
#include "framework/form_reader.hpp"
#include "framework/form_writer.hpp"
#include "framework/graphics/icon.hpp"
#include "framework/message_box.hpp"
#include "os/sim_platform.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace skintest;
using skin::TCoolButton;
using skin::TCoolForm;

namespace {

constexpr std::uint32_t kBackground = Rgb(94, 94, 94);
constexpr std::uint32_t kInside = Rgb(150, 60, 20);

// A 60 x 50 cross: the four 10 x 10 corners are cut away.
fw::Region CrossRegion() {
    const fw::TRect rects[] = {{10, 0, 50, 10}, {0, 10, 60, 40}, {10, 40, 50, 50}};
    return fw::Region::FromRects(rects);
}

// The skin: the cross in its own colour on the background grey.
std::unique_ptr<fw::TBitmap> CrossSkin() {
    const fw::Region cross = CrossRegion();
    return Paint24(60, 50,
                   [&](int x, int y) { return cross.Contains(x, y) ? kInside : kBackground; });
}

class TSkinForm : public fw::TForm {
    FW_CLASS(TSkinForm, fw::TForm)
public:
    using fw::TForm::TForm;
    static void Describe(fw::TClassBuilder<TSkinForm>& c) {
        c.Field("CoolForm1", &TSkinForm::CoolForm1);
        c.Field("PlayButton", &TSkinForm::PlayButton);
        c.Field("RecButton", &TSkinForm::RecButton);
        c.Method<&TSkinForm::PlayButtonMouseDown>("PlayButtonMouseDown");
        c.Method<&TSkinForm::RecButtonClick>("RecButtonClick");
    }
    void PlayButtonMouseDown(fw::TObject*, fw::TMouseButton, fw::TShiftState, int, int) {
        ++play_downs;
    }
    void RecButtonClick(fw::TObject*) { ++rec_clicks; }

    TCoolForm* CoolForm1 = nullptr;
    TCoolButton* PlayButton = nullptr;
    TCoolButton* RecButton = nullptr;
    int play_downs = 0;
    int rec_clicks = 0;
};

std::string ButtonText(const std::string& name, fw::TRect b, int group, const std::string& event) {
    std::string t = "  object " + name + ": TCoolButton\n";
    t += "    Left = " + std::to_string(b.Left) + "\n    Top = " + std::to_string(b.Top) + "\n";
    t += "    Width = " + std::to_string(b.Width()) + "\n";
    t += "    Height = " + std::to_string(b.Height()) + "\n";
    t += "    Cursor = crHandPoint\n";
    t += "    " + event + "\n";
    t += "    AllowAllUp = True\n    GroupIndex = " + std::to_string(group) + "\n";
    t += BinaryProperty("Glyph.Data", BitmapRecord(*FaceStrip(b.Width(), b.Height())), 2);
    return t + "  end\n";
}

// The description of a 60 x 50 skinned form at (300, 200): the skin with the given Mask2
// record, PLAY inside the cross and REC over its top-left corner.
std::string SkinFormText(const std::vector<std::byte>& mask, bool draggable = true) {
    std::string t = "object SkinForm: TSkinForm\n"
                    "  Left = 300\n"
                    "  Top = 200\n"
                    "  Color = clBtnFace\n"
                    "  Font.Charset = DEFAULT_CHARSET\n"
                    "  Font.Color = clWindowText\n"
                    "  Font.Height = -11\n"
                    "  Font.Name = 'MS Sans Serif'\n"
                    "  Font.Style = []\n"
                    "  ParentColor = False\n"
                    "  ParentFont = False\n"
                    "  BorderStyle = bsNone\n"
                    "  ClientHeight = 50\n"
                    "  ClientWidth = 60\n"
                    "  PixelsPerInch = 96\n"
                    "  TextHeight = 13\n"
                    "  object CoolForm1: TCoolForm\n"
                    "    left = 0\n"
                    "    top = 0\n"
                    "    width = 60\n"
                    "    height = 50\n"
                    "    Align = alClient\n"
                    "    Cursor = crDrag\n"
                    "    AutoSize = True\n";
    t += BinaryProperty("Picture.Data", PictureRecord(*CrossSkin()), 2);
    if (!draggable) t += "    Draggable = False\n";
    t += BinaryProperty("Mask2", mask, 2);
    t += "  end\n";
    t += ButtonText("PlayButton", {30, 12, 50, 28}, 2, "OnMouseDown = PlayButtonMouseDown");
    t += ButtonText("RecButton", {0, 2, 20, 18}, 1, "OnClick = RecButtonClick");
    return t + "end\n";
}

class CoolFormTest : public ::testing::Test {
protected:
    os::SimPlatform platform;
    fw::Runtime runtime{platform};
    os::SimDisplay& screen = platform.Screen();

    void SetUp() override {
        skin::Register();
        previous_hook_ = fw::SetMessageBoxHook([](const std::string& text) {
            ADD_FAILURE() << "message box: " << text;
            return true;
        });
    }
    void TearDown() override { fw::SetMessageBoxHook(previous_hook_); }

    TSkinForm* Load(const std::string& text, bool designing = false) {
        TSkinForm* form = nullptr;
        fw::Application->CreateForm(form);
        if (designing) form->SetDesigning(true);
        fw::ReadComponent(text, *form);
        return form;
    }
    TSkinForm* LoadAndShow(const std::vector<std::byte>& mask, bool draggable = true) {
        TSkinForm* form = Load(SkinFormText(mask, draggable));
        form->Show();
        Run();
        return form;
    }
    void Run() { runtime.Loop().RunFor(1ms); }
    std::uint32_t ScreenAt(int x, int y) const { return screen.Screenshot().At(x, y); }

    // A press at a point of the window, a drag by (dx, dy) while the move runs, and the
    // release.
    void Drag(fw::TCustomForm* form, int x, int y, int dx, int dy, os::MouseButton button) {
        const int sx = form->Left() + x, sy = form->Top() + y;
        screen.MovePointer(sx, sy);
        Run();
        auto& clock = platform.Virtual();
        clock.Schedule(clock.Monotonic() + 20ms,
                       [=, this] { screen.MovePointer(sx + dx, sy + dy); });
        clock.Schedule(clock.Monotonic() + 40ms, [=, this] { screen.Release(button); });
        screen.Press(button);
        runtime.Loop().RunFor(60ms);
    }

    fw::TMessageBoxHook previous_hook_;
};

} // namespace

TEST_F(CoolFormTest, ADescribedSkinLoadsCutsTheWindowAndWritesBackTheSameText) {
    // A size hint that is not 16 per rectangle is taken as it is.
    const auto mask = MaskRecord(CrossRegion(), 1234);
    const std::string text = SkinFormText(mask);
    TSkinForm* form = Load(text);
    ASSERT_NE(form->CoolForm1, nullptr);
    ASSERT_NE(form->PlayButton, nullptr);
    EXPECT_EQ(form->BorderStyle(), fw::bsNone);
    ASSERT_TRUE(form->Shape().has_value());
    EXPECT_EQ(*form->Shape(), CrossRegion());
    EXPECT_EQ(form->CoolForm1->MaskData(), std::vector<std::byte>(mask.begin() + 4, mask.end()));
    // The up image is ready before anything is painted.
    EXPECT_NE(form->PlayButton->GlyphHolder().ImageIndex(skin::cbsUp), -1);
    EXPECT_EQ(form->PlayButton->GroupIndex(), 2);
    EXPECT_TRUE(form->RecButton->AllowAllUp());

    EXPECT_EQ(fw::WriteComponent(*form), text);

    form->Show();
    Run();
    // Outside the cross the desktop shows; inside, the skin and the buttons.
    EXPECT_EQ(ScreenAt(300 + 58, 200 + 2), ScreenAt(5, 5));
    EXPECT_EQ(ScreenAt(300 + 2, 200 + 48), ScreenAt(5, 5));
    EXPECT_EQ(ScreenAt(300 + 30, 200 + 45), kInside);
    EXPECT_EQ(ScreenAt(300 + 30 + 15, 200 + 12 + 8), kUp);
    EXPECT_EQ(ScreenAt(300 + 15, 200 + 12), kUp);
    EXPECT_EQ(ScreenAt(300 + 5, 200 + 5), ScreenAt(5, 5)); // REC's cut-away corner

    // Clicks on the cut-away part of REC do not reach the window; the rest do.
    screen.Click(300 + 5, 200 + 5);
    Run();
    EXPECT_EQ(form->rec_clicks, 0);
    screen.Click(300 + 15, 200 + 12);
    Run();
    EXPECT_EQ(form->rec_clicks, 1);
    screen.Click(300 + 40, 200 + 20, os::MouseButton::Right);
    Run();
    EXPECT_EQ(form->play_downs, 1);
}

TEST_F(CoolFormTest, ALeftDragOnTheSkinMovesTheWholeWindowAndKeepsItsShape) {
    TSkinForm* form = LoadAndShow(MaskRecord(CrossRegion()));
    const auto window = form->DisplayWindow();
    const auto shape = screen.Window(window).shape;
    ASSERT_TRUE(shape.has_value());

    Drag(form, 30, 45, 100, 60, os::MouseButton::Right);
    Drag(form, 30, 45, 100, 60, os::MouseButton::Middle);
    EXPECT_EQ(form->Left(), 300);
    EXPECT_EQ(form->Top(), 200);

    Drag(form, 30, 45, 100, 60, os::MouseButton::Left);
    EXPECT_EQ(form->Left(), 400);
    EXPECT_EQ(form->Top(), 260);
    EXPECT_EQ(screen.Window(window).bounds.left, 400);
    EXPECT_EQ(screen.Window(window).shape, shape);
    EXPECT_EQ(ScreenAt(400 + 30, 260 + 45), kInside);
    EXPECT_EQ(ScreenAt(400 + 2, 260 + 2), ScreenAt(5, 5));
    EXPECT_EQ(ScreenAt(300 + 30, 200 + 45), ScreenAt(5, 5)); // nothing left behind
    EXPECT_EQ(fw::GetCaptureControl(), nullptr);
    // The press went to the skin only; the buttons saw nothing.
    EXPECT_EQ(form->play_downs, 0);
}

TEST_F(CoolFormTest, ASkinThatIsNotDraggableStaysPut) {
    TSkinForm* form = LoadAndShow(MaskRecord(CrossRegion()), false);
    EXPECT_FALSE(form->CoolForm1->Draggable);
    Drag(form, 30, 45, 100, 60, os::MouseButton::Left);
    EXPECT_EQ(form->Left(), 300);
    EXPECT_NE(fw::WriteComponent(*form).find("    Draggable = False\n"), std::string::npos);
}

TEST_F(CoolFormTest, MaskRecordsWithoutAUsableRegionLeaveTheWindowRectangular) {
    const auto good = MaskRecord(CrossRegion());
    std::vector<std::byte> broken_header = good;
    broken_header[4] = std::byte{31}; // header size
    const std::vector<std::vector<std::byte>> records = {
        {std::byte{0}, std::byte{0}, std::byte{0}, std::byte{0}}, // no mask
        std::vector<std::byte>(good.begin(), good.end() - 16),    // says more than it holds
        {std::byte{0x40}, std::byte{0}},                          // not even a length
        broken_header,                                            // not a region
    };
    for (const auto& record : records) {
        TSkinForm* form = Load(SkinFormText(record));
        EXPECT_FALSE(form->Shape().has_value());
        EXPECT_EQ(form->CoolForm1->Mask()->RegionHandle, 0u);
        // Saved without a region, the record is a zero length.
        EXPECT_NE(fw::WriteComponent(*form).find("    Mask2 = {\n      00000000}\n"),
                  std::string::npos);
        delete form;
    }
    // Bytes stored past the stated length are ignored.
    auto longer = good;
    longer.push_back(std::byte{0});
    TSkinForm* form = Load(SkinFormText(longer));
    ASSERT_TRUE(form->Shape().has_value());
    EXPECT_EQ(*form->Shape(), CrossRegion());
    EXPECT_EQ(form->CoolForm1->MaskDataSize(), good.size() - 4);
}

TEST_F(CoolFormTest, InDesignModeTheRegionIsBuiltButTheWindowKeepsItsRectangle) {
    const auto mask = MaskRecord(CrossRegion(), 1234);
    TSkinForm* form = Load(SkinFormText(mask), true);
    TCoolForm* skin = form->CoolForm1;
    const fw::HRGN region = skin->Mask()->RegionHandle;
    ASSERT_NE(fw::RegionOf(region), nullptr);
    EXPECT_EQ(*fw::RegionOf(region), CrossRegion());
    EXPECT_FALSE(form->Shape().has_value());
    // Saved as the platform reports the region, with its own size hint.
    EXPECT_EQ(fw::WriteComponent(*form), SkinFormText(MaskRecord(CrossRegion())));

    // A new picture discards the region, which no window owns, and saves no mask.
    fw::TIcon icon;
    skin->Picture().SetGraphic(&icon);
    EXPECT_NE(dynamic_cast<fw::TBitmap*>(skin->Picture().Graphic()), nullptr);
    EXPECT_EQ(skin->Mask()->RegionHandle, 0u);
    EXPECT_EQ(fw::RegionOf(region), nullptr);
    EXPECT_NE(fw::WriteComponent(*form).find("    Mask2 = {\n      00000000}\n"),
              std::string::npos);
}

TEST_F(CoolFormTest, AtRunTimeANewPictureForgetsTheMaskButTheWindowKeepsItsShape) {
    TSkinForm* form = LoadAndShow(MaskRecord(CrossRegion()));
    form->CoolForm1->Picture().SetGraphic(CrossSkin().get());
    EXPECT_EQ(form->CoolForm1->Mask()->RegionHandle, 0u);
    ASSERT_TRUE(form->Shape().has_value());
    EXPECT_EQ(*form->Shape(), CrossRegion());
}

TEST_F(CoolFormTest, TheSkinIsPinnedToItsParentsOriginAndOnlyAFormLosesItsFrame) {
    fw::TForm* form = nullptr;
    fw::Application->CreateForm(form);
    auto* panel = new fw::TWinControl(form);
    panel->SetParent(form);
    panel->SetBounds(20, 20, 80, 60);
    auto* skin = new TCoolForm(form);
    EXPECT_EQ(skin->Align(), fw::alClient);
    skin->SetParent(panel);
    EXPECT_EQ(form->BorderStyle(), fw::bsSizeable);
    EXPECT_EQ(skin->BoundsRect(), (fw::TRect{0, 0, 80, 60}));

    skin->SetAlign(fw::alNone);
    skin->SetTop(30);
    skin->SetLeft(12);
    skin->SetWidth(33);
    skin->SetHeight(44);
    EXPECT_EQ(skin->BoundsRect(), (fw::TRect{0, 0, 33, 44}));
    // Through the published properties too, which keep the place of the ones they replace.
    const fw::TClassInfo& info = skin->ClassInfo();
    const fw::TPropInfo* top = info.FindProperty("Top");
    ASSERT_NE(top, nullptr);
    EXPECT_EQ(top->Name(), "top");
    auto place = [](const fw::TClassInfo& c, std::string_view name) {
        const auto& props = c.Properties();
        for (std::size_t i = 0; i < props.size(); ++i)
            if (props[i].Name() == name) return static_cast<int>(i);
        return -1;
    };
    EXPECT_EQ(place(info, "top"), place(fw::TControl::StaticClassInfo(), "Top"));
    EXPECT_EQ(place(info, "Top"), -1);
    top->SetOrd(*skin, 17);
    EXPECT_EQ(skin->Top(), 0);
    info.FindProperty("WIDTH")->SetOrd(*skin, 21);
    EXPECT_EQ(skin->Width(), 21);

    skin->SetParent(form);
    EXPECT_EQ(form->BorderStyle(), fw::bsNone);

    // Assigned through the published property, a holder releases the region no window took.
    const fw::TPropInfo* mask = info.FindProperty("Mask");
    const fw::HRGN region = fw::ExtCreateRegion(nullptr, 32, MaskRecord({}).data() + 4);
    skin->Mask()->RegionHandle = region;
    mask->SetObject(*skin, nullptr);
    ASSERT_NE(skin->Mask(), nullptr);
    EXPECT_FALSE(mask->SetObject(*skin, std::make_unique<fw::TPersistent>()));
    auto holder = std::make_unique<skin::TRegionType>();
    skin::TRegionType* raw = holder.get();
    EXPECT_TRUE(mask->SetObject(*skin, std::move(holder)));
    EXPECT_EQ(skin->Mask(), raw);
    EXPECT_EQ(raw->OwnerControl, skin);
    EXPECT_EQ(fw::RegionOf(region), nullptr);
}
