// Forms and windowless controls on the simulated display: what the screen shows, where the
// mouse goes, keys, closing, the window move and message boxes.
#include "framework/application.hpp"
#include "framework/graphics/canvas.hpp"
#include "framework/message_box.hpp"
#include "os/display/png.hpp"
#include "os/sim_platform.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

constexpr std::uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF;
constexpr std::uint32_t kFormColor = 0x102030;

// A windowless control that fills itself with a colour, or only its left half when
// `half` is set (the right half shows what lies below), and logs its mouse steps.
class TBox : public fw::TGraphicControl {
public:
    TBox(fw::TComponent* owner, std::uint32_t rgb, bool opaque = false)
        : TGraphicControl(owner), rgb(rgb) {
        if (opaque) ControlStyle.insert(fw::csOpaque);
    }
    std::uint32_t rgb;
    bool half = false;
    int paints = 0;
    std::vector<std::string> log;

protected:
    void Paint() override {
        ++paints;
        Canvas().Brush().SetColor(static_cast<fw::TColor>(fw::PixelToColorRef(rgb)));
        Canvas().FillRect({0, 0, half ? Width() / 2 : Width(), Height()});
    }
    void MouseDown(fw::TMouseButton b, fw::TShiftState s, int x, int y) override {
        log.push_back("down " + std::to_string(b) + " " + std::to_string(x) + "," +
                      std::to_string(y));
        TGraphicControl::MouseDown(b, s, x, y);
    }
    void MouseUp(fw::TMouseButton b, fw::TShiftState s, int x, int y) override {
        log.push_back("up " + std::to_string(b) + " " + std::to_string(x) + "," +
                      std::to_string(y));
        TGraphicControl::MouseUp(b, s, x, y);
    }
    void Click() override {
        log.push_back("click");
        TGraphicControl::Click();
    }
};

// A box that logs the pointer entering and leaving it.
class THoverBox : public TBox {
public:
    using TBox::TBox;

protected:
    void Dispatch(fw::TMessage& message) override {
        if (message.Msg == fw::CM_MOUSEENTER) log.push_back("enter");
        if (message.Msg == fw::CM_MOUSELEAVE) log.push_back("leave");
        TBox::Dispatch(message);
    }
};

class WindowTest : public ::testing::Test {
protected:
    os::SimPlatform platform;
    fw::Runtime runtime{platform};
    os::SimDisplay& screen = platform.Screen();
    fw::TForm* form = nullptr;
    TBox* below = nullptr;
    TBox* above = nullptr;

    void SetUp() override {
        fw::Application->CreateForm(form);
        form->SetBorderStyle(fw::bsNone);
        form->SetColor(static_cast<fw::TColor>(fw::PixelToColorRef(kFormColor)));
        form->SetBounds(100, 50, 120, 80);
        below = new TBox(form, kRed);
        below->SetBounds(10, 10, 60, 40);
        below->SetParent(form);
        above = new TBox(form, kGreen);
        above->SetBounds(40, 20, 60, 40);
        above->SetParent(form);
        form->Show();
        Run();
    }
    void Run(std::chrono::milliseconds ms = 1ms) { runtime.Loop().RunFor(ms); }
    std::uint32_t Pixel(int x, int y) const {
        return screen.Screenshot().At(form->Left() + x, form->Top() + y);
    }
    void Click(int x, int y, os::MouseButton b = os::MouseButton::Left) {
        screen.Click(form->Left() + x, form->Top() + y, b);
        Run();
    }
};

} // namespace

TEST_F(WindowTest, ControlsPaintInStackingOrderOverTheFormColour) {
    EXPECT_EQ(Pixel(5, 5), kFormColor);
    EXPECT_EQ(Pixel(20, 20), kRed);   // only the lower box
    EXPECT_EQ(Pixel(50, 30), kGreen); // both: the upper one wins
    EXPECT_EQ(Pixel(90, 55), kGreen);
    EXPECT_EQ(Pixel(110, 70), kFormColor);
    above->SendToBack();
    Run();
    EXPECT_EQ(Pixel(50, 30), kRed);
    // Hidden controls leave what is below them.
    below->Hide();
    Run();
    EXPECT_EQ(Pixel(50, 30), kGreen);
    EXPECT_EQ(Pixel(20, 20), kFormColor);
    // A change made while the form is hidden is painted once it is shown again.
    form->Hide();
    Run();
    above->rgb = kBlue;
    above->Invalidate();
    Run(20ms);
    form->Show();
    Run();
    EXPECT_EQ(Pixel(50, 30), kBlue);
}

TEST_F(WindowTest, PartlyTransparentControlShowsWhatIsBelowIt) {
    above->half = true; // covers 40..69 only; 70..99 shows the red box and the form
    above->Invalidate();
    Run();
    EXPECT_EQ(Pixel(50, 30), kGreen);
    EXPECT_EQ(Pixel(69, 30), kGreen);
    EXPECT_EQ(Pixel(70, 30), kFormColor); // red box ends at 70
    EXPECT_EQ(Pixel(65, 25), kGreen);
    above->SetLeft(20);
    Run();
    EXPECT_EQ(Pixel(55, 30), kRed);
    EXPECT_EQ(Pixel(45, 30), kGreen);
}

TEST_F(WindowTest, InvalidateRepaintsBelowFirstWhileAnImmediateRepaintDrawsOverTheScreen) {
    // An opaque, half-transparent control over the red box.
    auto* glass = new TBox(form, kBlue, true);
    glass->half = true;
    glass->SetBounds(10, 10, 40, 20);
    glass->SetParent(form);
    Run();
    EXPECT_EQ(Pixel(15, 15), kBlue);
    EXPECT_EQ(Pixel(40, 15), kRed);
    // The background changes under the glass without a repaint of the screen...
    below->rgb = kGreen;
    glass->rgb = kRed;
    glass->half = false;
    glass->Repaint(); // ...and the immediate repaint paints only the glass.
    EXPECT_EQ(Pixel(15, 15), kRed);
    EXPECT_EQ(Pixel(40, 15), kRed);
    glass->half = true;
    glass->rgb = kBlue;
    glass->Repaint(); // the right half keeps what the screen had: the glass's own red
    EXPECT_EQ(Pixel(15, 15), kBlue);
    EXPECT_EQ(Pixel(40, 15), kRed);
    const int box_paints = below->paints;
    glass->Invalidate(); // an invalidation repaints what lies below first
    Run();
    EXPECT_EQ(Pixel(40, 15), kGreen);
    EXPECT_EQ(Pixel(15, 15), kBlue);
    EXPECT_EQ(below->paints, box_paints + 1);
}

TEST_F(WindowTest, MouseGoesToTheTopmostControlAndToTheCapturingOneUntilRelease) {
    Click(50, 30); // inside both boxes
    EXPECT_TRUE(below->log.empty());
    EXPECT_EQ(above->log, (std::vector<std::string>{"down 0 10,10", "click", "up 0 10,10"}));
    above->log.clear();
    Click(20, 20);
    EXPECT_EQ(below->log.size(), 3u);
    // A press on the upper box captures; the release outside the form still reaches it
    // and is not a click.
    screen.MovePointer(form->Left() + 60, form->Top() + 30);
    screen.Press(os::MouseButton::Left);
    Run();
    EXPECT_EQ(fw::GetCaptureControl(), above);
    screen.MovePointer(form->Left() + 500, form->Top() + 300); // 40 + 460 into the window
    screen.Release(os::MouseButton::Left);
    Run();
    EXPECT_EQ(above->log, (std::vector<std::string>{"down 0 20,10", "up 0 460,280"}));
    EXPECT_EQ(fw::GetCaptureControl(), nullptr);
    // Disabled controls let the mouse through to the form; the right button does not
    // capture.
    above->SetEnabled(false);
    above->log.clear();
    Click(90, 50, os::MouseButton::Right);
    EXPECT_TRUE(above->log.empty());
    Click(50, 30, os::MouseButton::Right);
    EXPECT_EQ(below->log.back(), "up 1 40,20");
}

TEST_F(WindowTest, ClicksOutsideTheWindowShapeDoNotReachIt) {
    form->SetShape(fw::Region({0, 0, 60, 80}));
    Run();
    EXPECT_EQ(screen.Screenshot().At(form->Left() + 90, form->Top() + 30),
              0x000000u + screen.Screenshot().At(0, 0));
    Click(90, 30);
    EXPECT_TRUE(above->log.empty());
    Click(50, 30);
    EXPECT_EQ(above->log.size(), 3u);
}

TEST_F(WindowTest, KeysReachOnKeyDownWithTheirShiftState) {
    struct Keys : fw::TObject {
        std::vector<std::pair<int, bool>> seen;
        void KeyDown(fw::TObject*, std::uint16_t& key, fw::TShiftState shift) {
            seen.push_back({key, shift.contains(fw::ssShift)});
        }
    } keys;
    form->OnKeyDown = fw::Bind<&Keys::KeyDown>(keys);
    screen.KeyDown(27);
    screen.KeyUp(27);
    screen.KeyDown('M', os::Modifiers::kShift);
    Run();
    EXPECT_EQ(keys.seen, (std::vector<std::pair<int, bool>>{{27, false}, {'M', true}}));
}

TEST_F(WindowTest, ClosingTheMainFormRunsOnCloseAndEndsTheApplication) {
    struct Closer : fw::TObject {
        int closed = 0;
        void Close(fw::TObject*, fw::TCloseAction& action) {
            ++closed;
            EXPECT_EQ(action, fw::caHide);
        }
    } closer;
    auto* main = fw::Application->MainForm();
    ASSERT_EQ(main, form);
    form->OnClose = fw::Bind<&Closer::Close>(closer);
    screen.RequestClose(form->DisplayWindow());
    fw::Application->Run();
    EXPECT_EQ(closer.closed, 1);
    EXPECT_TRUE(fw::Application->Terminated());
}

TEST_F(WindowTest, DragMoveFollowsThePointerUntilTheRelease) {
    const int x0 = form->Left(), y0 = form->Top();
    screen.MovePointer(x0 + 5, y0 + 5);
    screen.Press(os::MouseButton::Left);
    // The move loop runs inside the handler; the pointer moves while it runs.
    platform.Virtual().Schedule(platform.GetClock().Monotonic() + 20ms,
                                [&] { screen.MovePointer(x0 + 105, y0 + 55); });
    platform.Virtual().Schedule(platform.GetClock().Monotonic() + 40ms,
                                [&] { screen.Release(os::MouseButton::Left); });
    fw::ReleaseCapture();
    fw::SendMessage(form->Handle(), fw::WM_SYSCOMMAND, fw::SC_DRAGMOVE);
    EXPECT_EQ(form->Left(), x0 + 100);
    EXPECT_EQ(form->Top(), y0 + 50);
    EXPECT_EQ(screen.Window(form->DisplayWindow()).bounds.left, x0 + 100);
    Run();
    EXPECT_EQ(Pixel(50, 30), kGreen);
}

TEST_F(WindowTest, MessageBoxShowsItsTextAndEnterDismissesIt) {
    std::vector<std::string> texts;
    auto old = fw::SetMessageBoxHook([&](const std::string& t) {
        texts.push_back(t);
        return false; // show it for real
    });
    platform.Virtual().Schedule(platform.GetClock().Monotonic() + 50ms, [&] {
        // The box is the active window now; look at it, then press Enter.
        const auto active = screen.ActiveWindow();
        EXPECT_NE(active, form->DisplayWindow());
        const auto shot = screen.Screenshot();
        os::WritePng(std::string(MIRELO_BINARY_DIR) + "/message_box.png", shot);
        screen.KeyDown(fw::VK_RETURN);
    });
    fw::ShowMessage("Recording failed because:\rno device");
    fw::SetMessageBoxHook(old);
    EXPECT_EQ(texts, std::vector<std::string>{"Recording failed because:\rno device"});
    EXPECT_EQ(fw::Screen->FormCount(), 1);
}

TEST_F(WindowTest, PointerEntersAndLeavesControlsAndADestroyedOneIsForgotten) {
    // Two boxes in the form's free lower-right corner.
    auto* first = new THoverBox(form, kBlue);
    first->SetBounds(100, 60, 10, 20);
    first->SetParent(form);
    auto* second = new THoverBox(form, kBlue);
    second->SetBounds(110, 60, 10, 20);
    second->SetParent(form);
    auto point = [&](int x, int y) {
        screen.MovePointer(form->Left() + x, form->Top() + y);
        Run();
    };
    point(105, 70);
    point(115, 70);
    EXPECT_EQ(first->log, (std::vector<std::string>{"enter", "leave"}));
    EXPECT_EQ(second->log, std::vector<std::string>{"enter"});
    point(105, 70);
    // Destroyed under the pointer: the next move must not tell it that the pointer left.
    delete first;
    point(115, 70);
    EXPECT_EQ(second->log, (std::vector<std::string>{"enter", "leave", "enter"}));
    point(5, 5);
    EXPECT_EQ(second->log.back(), "leave");
}
