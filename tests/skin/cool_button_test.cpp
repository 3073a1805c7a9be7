// The skinned button on the simulated display: what its face shows after presses, moves,
// releases, group rules and state written by the owner, checked on the screen's pixels,
// and the events it raises.
#include "skin/cool_button.hpp"
#include "skin_test_support.hpp"

#include "framework/application.hpp"
#include "framework/image.hpp"
#include "framework/message_box.hpp"
#include "os/sim_platform.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace skintest;
using skin::TCoolButton;

namespace {

constexpr std::uint32_t kSkin = Rgb(10, 90, 60);

// What the buttons report, with what the button showed at that moment.
struct Recorder : fw::TObject {
    std::vector<std::string> log;
    static std::string Of(fw::TObject* sender) {
        auto* b = static_cast<TCoolButton*>(sender);
        return b->Name() + " state " + std::to_string(b->State) + " tracking " +
               std::to_string(b->Tracking());
    }
    void Click(fw::TObject* s) { log.push_back("click " + Of(s)); }
    void DblClick(fw::TObject* s) { log.push_back("dblclick " + Of(s)); }
    void MouseDown(fw::TObject* s, fw::TMouseButton b, fw::TShiftState, int x, int y) {
        log.push_back("down" + std::to_string(b) + " " + std::to_string(x) + "," +
                      std::to_string(y) + " " + Of(s));
    }
    void MouseUp(fw::TObject* s, fw::TMouseButton b, fw::TShiftState, int x, int y) {
        log.push_back("up" + std::to_string(b) + " " + std::to_string(x) + "," + std::to_string(y) +
                      " " + Of(s));
    }
    int Count(const std::string& prefix) const {
        int n = 0;
        for (const auto& e : log)
            n += e.rfind(prefix, 0) == 0;
        return n;
    }
};

class CoolButtonTest : public ::testing::Test {
protected:
    os::SimPlatform platform;
    fw::Runtime runtime{platform};
    os::SimDisplay& screen = platform.Screen();
    fw::TForm* form = nullptr;
    Recorder events;

    void SetUp() override {
        // An exception from a handler would open a modal box and wait for ever.
        previous_hook_ = fw::SetMessageBoxHook([](const std::string& text) {
            ADD_FAILURE() << "message box: " << text;
            return true;
        });
        fw::Application->CreateForm(form);
        form->SetBounds(200, 150, 160, 120);
        auto* backdrop = new fw::TImage(form);
        backdrop->SetParent(form);
        backdrop->SetAlign(fw::alClient);
        backdrop->Picture().SetGraphic(Paint24(160, 120, [](int, int) { return kSkin; }).get());
        form->Show();
        Run();
    }
    void TearDown() override { fw::SetMessageBoxHook(previous_hook_); }
    fw::TMessageBoxHook previous_hook_;

    TCoolButton* AddButton(const std::string& name, int left, int top, int group = 0,
                           bool allow_all_up = false) {
        auto* b = new TCoolButton(form);
        b->SetName(name);
        b->SetBounds(left, top, 40, 30);
        b->SetParent(form);
        b->SetGlyph(*FaceStrip(40, 30));
        b->SetGroupIndex(group);
        b->SetAllowAllUp(allow_all_up);
        b->OnClick = fw::Bind<&Recorder::Click>(events);
        b->OnDblClick = fw::Bind<&Recorder::DblClick>(events);
        b->OnMouseDown = fw::Bind<&Recorder::MouseDown>(events);
        b->OnMouseUp = fw::Bind<&Recorder::MouseUp>(events);
        Run();
        return b;
    }

    void Run() { runtime.Loop().RunFor(1ms); }
    std::uint32_t Pixel(int x, int y) const {
        return screen.Screenshot().At(form->Left() + x, form->Top() + y);
    }
    // The right half of a face is opaque in every cell; the left half is transparent in
    // the up cell only.
    std::uint32_t Face(const TCoolButton* b) const { return Pixel(b->Left() + 30, b->Top() + 15); }
    std::uint32_t LeftHalf(const TCoolButton* b) const {
        return Pixel(b->Left() + 10, b->Top() + 15);
    }
    void MoveTo(int x, int y) {
        screen.MovePointer(form->Left() + x, form->Top() + y);
        Run();
    }
    void Press(fw::TControl* b, os::MouseButton button = os::MouseButton::Left) {
        MoveTo(b->Left() + 20, b->Top() + 15);
        screen.Press(button);
        Run();
    }
    void Release(os::MouseButton button = os::MouseButton::Left) {
        screen.Release(button);
        Run();
    }
    void Click(fw::TControl* b) {
        Press(b);
        Release();
    }
    // Press and release queued together, as a quick click is.
    void QuickClick(fw::TControl* b) {
        screen.Click(form->Left() + b->Left() + 20, form->Top() + b->Top() + 15);
        Run();
    }
};

} // namespace

TEST_F(CoolButtonTest, PressShowsTheDownCellAndOnlyAReleaseOverTheButtonClicks) {
    TCoolButton* b = AddButton("B", 20, 30);
    EXPECT_EQ(Face(b), kUp);
    EXPECT_EQ(LeftHalf(b), kSkin);

    Press(b);
    EXPECT_EQ(Face(b), kDown);
    EXPECT_EQ(LeftHalf(b), kDown);
    // Dragging away changes the state but paints nothing.
    MoveTo(100, 100);
    EXPECT_EQ(b->State, skin::cbsUp);
    EXPECT_EQ(Face(b), kDown);
    MoveTo(25, 35);
    EXPECT_EQ(b->State, skin::cbsDown);
    MoveTo(100, 100);
    // Released away: no click, and the face is put back up over the skin.
    Release();
    EXPECT_EQ(events.Count("click"), 0);
    EXPECT_EQ(Face(b), kUp);
    EXPECT_EQ(LeftHalf(b), kSkin);
    EXPECT_FALSE(b->PointerFlag());

    events.log.clear();
    Click(b);
    // OnMouseDown before the press handling, OnMouseUp before the release handling,
    // OnClick after it.
    EXPECT_EQ(events.log, (std::vector<std::string>{"down0 20,15 B state 0 tracking 0",
                                                    "up0 20,15 B state 2 tracking 1",
                                                    "click B state 0 tracking 0"}));
    EXPECT_EQ(Face(b), kUp);
    EXPECT_EQ(LeftHalf(b), kSkin);
}

TEST_F(CoolButtonTest, AReleaseJustPastTheRightOrBottomEdgeIsAway) {
    TCoolButton* b = AddButton("B", 20, 30);
    Press(b);
    MoveTo(20 + 40, 30 + 10); // the column after the last one
    Release();
    Press(b);
    MoveTo(20 + 10, 30 + 30); // the row after the last one
    Release();
    EXPECT_EQ(events.Count("click"), 0);
    Press(b);
    MoveTo(20 + 39, 30 + 29); // the last pixel of the button
    Release();
    EXPECT_EQ(events.Count("click"), 1);
}

TEST_F(CoolButtonTest, InAGroupThatAllowsAllUpAClickLatchesAndTheNextReleases) {
    TCoolButton* b = AddButton("B", 20, 30, 1, true);
    Click(b);
    EXPECT_TRUE(b->Down());
    EXPECT_EQ(Face(b), kDown);
    // Pressing the down button changes nothing until the release.
    Press(b);
    EXPECT_EQ(b->State, skin::cbsDown);
    Release();
    EXPECT_FALSE(b->Down());
    EXPECT_EQ(b->State, skin::cbsUp);
    // The up face is repainted straight over the down one: where the up cell is
    // transparent, the down picture stays.
    EXPECT_EQ(Face(b), kUp);
    EXPECT_EQ(LeftHalf(b), kDown);
    EXPECT_EQ(events.Count("click"), 2);
}

TEST_F(CoolButtonTest, InAGroupThatNeedsOneDownOnlyAnotherButtonReleasesIt) {
    TCoolButton* a = AddButton("A", 10, 10, 1, false);
    TCoolButton* b = AddButton("B", 80, 10, 1, false);
    Click(a);
    Click(a);
    EXPECT_TRUE(a->Down());
    EXPECT_EQ(Face(a), kDown);
    EXPECT_EQ(events.Count("click"), 2);

    Click(b);
    EXPECT_TRUE(b->Down());
    EXPECT_FALSE(a->Down());
    EXPECT_EQ(a->State, skin::cbsUp);
    EXPECT_EQ(Face(b), kDown);
    // The released one was invalidated: the skin is drawn again below it.
    EXPECT_EQ(Face(a), kUp);
    EXPECT_EQ(LeftHalf(a), kSkin);
}

TEST_F(CoolButtonTest, GroupRulesSpreadToEveryButtonOfTheGroupOnly) {
    TCoolButton* a = AddButton("A", 10, 10, 1, false);
    TCoolButton* b = AddButton("B", 60, 10, 1, false);
    TCoolButton* other_group = AddButton("C", 10, 60, 2, true);
    TCoolButton* loose = AddButton("D", 60, 60, 0, false);
    a->SetAllowAllUp(true);
    EXPECT_TRUE(b->AllowAllUp());
    EXPECT_TRUE(other_group->AllowAllUp());
    other_group->SetAllowAllUp(false);
    EXPECT_TRUE(a->AllowAllUp());
    EXPECT_TRUE(b->AllowAllUp());
    // Joining a group hands the newcomer's rule to the members.
    loose->SetGroupIndex(1);
    EXPECT_FALSE(a->AllowAllUp());
    EXPECT_FALSE(b->AllowAllUp());

    // One down at a time, whoever sets it.
    a->SetDown(true);
    b->SetDown(true);
    EXPECT_FALSE(a->Down());
    EXPECT_TRUE(b->Down());
    b->SetDown(false); // refused: someone of the group must stay down
    EXPECT_TRUE(b->Down());
}

TEST_F(CoolButtonTest, TheOwnerShowsAButtonPressedOrReleasedThroughItsState) {
    TCoolButton* loose = AddButton("L", 80, 10);
    loose->SetDown(true);
    EXPECT_FALSE(loose->Down());

    TCoolButton* b = AddButton("B", 20, 30, 1, true);
    b->SetDown(true); // alone it does not change the face
    Run();
    EXPECT_TRUE(b->Down());
    EXPECT_EQ(Face(b), kUp);

    b->State = skin::cbsDown;
    b->Repaint();
    EXPECT_EQ(Face(b), kDown);

    // Released: the up face goes straight over the down picture on the screen...
    b->State = skin::cbsUp;
    b->SetDown(false);
    EXPECT_EQ(Face(b), kUp);
    EXPECT_EQ(LeftHalf(b), kDown);
    // ...while an invalidation lets the skin be painted below it first.
    b->Invalidate();
    Run();
    EXPECT_EQ(LeftHalf(b), kSkin);

    // A button without a group shows pressed through its state only.
    loose->State = skin::cbsDown;
    loose->Refresh();
    EXPECT_EQ(Face(loose), kDown);
    EXPECT_FALSE(loose->Down());
}

TEST_F(CoolButtonTest, OnlyTheLeftButtonPressesButAnyReleaseEndsThePress) {
    TCoolButton* b = AddButton("B", 20, 30);
    Press(b, os::MouseButton::Right);
    EXPECT_EQ(events.Count("down1"), 1);
    EXPECT_FALSE(b->Tracking());
    EXPECT_EQ(Face(b), kUp);
    Release(os::MouseButton::Right);
    EXPECT_EQ(events.Count("up1"), 1);
    EXPECT_EQ(events.Count("click"), 0);

    // A right release during a left press ends it where the right button was released.
    Press(b);
    screen.Press(os::MouseButton::Right);
    Run();
    Release(os::MouseButton::Right);
    EXPECT_FALSE(b->Tracking());
    EXPECT_EQ(events.Count("click"), 1);
    Release();
    EXPECT_EQ(events.Count("click"), 1);

    Press(b);
    MoveTo(100, 100);
    screen.Press(os::MouseButton::Right);
    Release(os::MouseButton::Right);
    Release();
    EXPECT_EQ(events.Count("click"), 1);
    EXPECT_EQ(Face(b), kUp);
}

TEST_F(CoolButtonTest, ADoubleClickIsReportedOnlyOnADownButton) {
    TCoolButton* loose = AddButton("L", 80, 10);
    Click(loose);
    Click(loose);
    EXPECT_EQ(events.Count("dblclick"), 0);
    EXPECT_EQ(events.Count("click"), 2); // the second press is still a press

    TCoolButton* b = AddButton("B", 20, 60, 1, true);
    Click(b); // latches it
    Click(b); // a double click on the down button, whose release lets it up
    EXPECT_EQ(events.Count("dblclick"), 1);
    EXPECT_FALSE(b->Down());
}

TEST_F(CoolButtonTest, DisablingShowsTheDisabledCellAtOnceAndReenablingKeepsIt) {
    TCoolButton* b = AddButton("B", 20, 30);
    b->SetEnabled(false);
    EXPECT_EQ(Face(b), kDisabled); // repainted without waiting for the loop
    EXPECT_EQ(b->State, skin::cbsDisabled);
    QuickClick(b); // reaches the picture below instead
    EXPECT_TRUE(events.log.empty());

    b->SetEnabled(true);
    Run();
    EXPECT_EQ(b->State, skin::cbsDisabled);
    EXPECT_EQ(Face(b), kDisabled);
    Click(b);
    EXPECT_EQ(events.Count("click"), 1);
    EXPECT_EQ(Face(b), kUp);
}

TEST_F(CoolButtonTest, AnEnabledChangeDuringAPressAwayShowsTheLatchedCellUntilTheRelease) {
    TCoolButton* b = AddButton("B", 20, 30);
    Press(b);
    MoveTo(100, 100);
    b->SetEnabled(false);
    b->SetEnabled(true);
    EXPECT_TRUE(b->PointerFlag());
    EXPECT_EQ(Face(b), kLatched);
    Release();
    EXPECT_FALSE(b->PointerFlag());
    EXPECT_EQ(Face(b), kUp);
    EXPECT_EQ(events.Count("click"), 0);
}

TEST_F(CoolButtonTest, PropertiesKeepTheirRanges) {
    TCoolButton* b = AddButton("B", 20, 30);
    // New system colours: every image is dropped and the current state's is built again.
    ASSERT_NE(b->GlyphHolder().ImageIndex(skin::cbsUp), -1);
    b->State = skin::cbsLatched;
    b->Perform(fw::CM_SYSCOLORCHANGE);
    EXPECT_EQ(b->GlyphHolder().ImageIndex(skin::cbsUp), -1);
    EXPECT_NE(b->GlyphHolder().ImageIndex(skin::cbsLatched), -1);
    b->State = skin::cbsUp;

    EXPECT_EQ(b->NumGlyphs(), 4);
    EXPECT_EQ(b->Margin(), -1);
    EXPECT_EQ(b->Spacing(), 4);
    b->SetMargin(-2);
    EXPECT_EQ(b->Margin(), -1);
    b->SetMargin(3);
    EXPECT_EQ(b->Margin(), 3);
    b->SetSpacing(-7);
    EXPECT_EQ(b->Spacing(), -7);
    b->SetNumGlyphs(7);
    EXPECT_EQ(b->NumGlyphs(), 4);
    b->SetNumGlyphs(0);
    EXPECT_EQ(b->NumGlyphs(), 4);

    // With two cells the strip's cells are twice as wide, and pressed shows the first one.
    b->SetMargin(0);
    b->SetGlyph(*FaceStrip(40, 30, 2));
    b->SetNumGlyphs(2);
    Press(b);
    EXPECT_EQ(Face(b), kUp);
    Release();
    b->SetEnabled(false);
    EXPECT_EQ(Face(b), kDisabled);
}

TEST_F(CoolButtonTest, AltWithTheCaptionsAcceleratorClicksAnEnabledButton) {
    TCoolButton* b = AddButton("B", 20, 30);
    b->SetCaption("&Play");
    screen.KeyDown('Q', os::Modifiers::kAlt);
    screen.KeyDown('P', os::Modifiers::kAlt);
    Run();
    EXPECT_EQ(events.Count("click"), 1);
    b->SetEnabled(false);
    screen.KeyDown('P', os::Modifiers::kAlt);
    Run();
    EXPECT_EQ(events.Count("click"), 1);

    EXPECT_TRUE(skin::IsAccel('p', "&Play"));
    EXPECT_FALSE(skin::IsAccel('P', "Rock && Play"));
    EXPECT_TRUE(skin::IsAccel('R', "Rock && &Roll"));
    EXPECT_FALSE(skin::IsAccel('P', "Play&"));
}
