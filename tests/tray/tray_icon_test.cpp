// The tray icon on the simulated notification area: what switching it on and off sends,
// its tip, the event sequences of clicks and double clicks, the popup menu and its default
// item, Enabled, a host that is absent or refuses, and loading from a form description.
#include "framework/form_reader.hpp"
#include "framework/menus.hpp"
#include "framework/message_box.hpp"
#include "tray/tray_icon.hpp"
#include "tray_test_support.hpp"

#include <string>
#include <vector>

using traytest::Recorder;
using traytest::SolidIcon;
using Lines = std::vector<std::string>;

namespace {

class TrayIconTest : public traytest::TrayTestBase {
protected:
    std::unique_ptr<fw::TComponent> owner = std::make_unique<fw::TComponent>(nullptr);
    tray::TTrayIcon* icon = new tray::TTrayIcon(owner.get());
    Recorder rec;

    void Wire() {
        icon->OnClick = fw::Bind<&Recorder::Click>(rec);
        icon->OnDblClick = fw::Bind<&Recorder::DblClick>(rec);
        icon->OnMouseDown = fw::Bind<&Recorder::Down>(rec);
        icon->OnMouseUp = fw::Bind<&Recorder::Up>(rec);
        icon->OnMouseMove = fw::Bind<&Recorder::Move>(rec);
    }
    void Show() {
        icon->SetHint("MIRELO");
        icon->SetIcon(*SolidIcon(0x2040C0));
        ASSERT_TRUE(icon->Added());
    }
    const os::NotifyIcon* Shown() const { return area.Find(icon->WindowHandle(), 0); }
    bool Click(os::MouseButton b = os::MouseButton::Left) {
        const bool ok = area.Click(icon->WindowHandle(), 0, b);
        Pump();
        return ok;
    }
    // The notification area reports a single mouse message.
    void Report(fw::UINT mouse_message) {
        fw::PostMessage(icon->WindowHandle(), tray::TrayCallbackMessage, 0,
                        static_cast<fw::LPARAM>(mouse_message));
        Pump();
    }
    struct Counts {
        int adds, modifies, deletes;
        bool operator==(const Counts&) const = default;
    };
    Counts Sent() const { return {area.adds, area.modifies, area.deletes}; }
};

} // namespace

TEST_F(TrayIconTest, SwitchingActiveSendsWhatTheIconNeedsAndNothingMore) {
    // Active from the start, but with no picture there is nothing to add.
    EXPECT_TRUE(icon->Active());
    icon->SetHint("MIRELO");
    EXPECT_FALSE(icon->Added());
    EXPECT_EQ(area.adds, 0);
    // A picture arriving later is added at once, with the tip.
    icon->SetIcon(*SolidIcon(0x2040C0));
    ASSERT_TRUE(icon->Added());
    ASSERT_NE(Shown(), nullptr);
    EXPECT_EQ(Shown()->tip, "MIRELO");
    EXPECT_EQ(Shown()->callback_message, tray::TrayCallbackMessage);
    EXPECT_EQ(traytest::Middle(Shown()->picture), 0x2040C0u);
    EXPECT_EQ(Shown()->picture.At(0, 0) >> 24, 0u) << "the masked pixel is transparent";
    const Counts start = Sent();

    icon->SetActive(true); // its value already
    EXPECT_EQ(Sent(), start);
    icon->SetActive(false);
    EXPECT_EQ(Sent(), (Counts{start.adds, start.modifies, start.deletes + 1}));
    EXPECT_FALSE(icon->Added());
    EXPECT_TRUE(area.Shown().empty());
    icon->SetActive(true);
    EXPECT_EQ(Sent(), (Counts{start.adds + 1, start.modifies, start.deletes + 2}));
    EXPECT_TRUE(icon->Added());

    // With an empty tip the record goes once more as a modify after the add.
    icon->SetActive(false);
    icon->SetHint("");
    const Counts before = Sent();
    icon->SetActive(true);
    EXPECT_EQ(Sent(), (Counts{before.adds + 1, before.modifies + 1, before.deletes + 1}));

    // Destroying the component takes its icon away.
    delete icon;
    EXPECT_TRUE(area.Shown().empty());
}

TEST_F(TrayIconTest, TheTipIsTheHintBeforeItsBarCutTo63Characters) {
    Show();
    const int modifies = area.modifies;
    icon->SetHint("MIRELO"); // the same text: nothing is sent
    EXPECT_EQ(area.modifies, modifies);
    icon->SetHint("Recorder|Press REC and speak");
    EXPECT_EQ(Shown()->tip, "Recorder");
    EXPECT_STREQ(icon->NotifyData().szTip, "Recorder");
    const std::string long_hint(70, 'x');
    icon->SetHint(long_hint + "|y");
    EXPECT_EQ(Shown()->tip, std::string(63, 'x'));
    EXPECT_EQ(std::string(icon->NotifyData().szTip), std::string(63, 'x'));
    EXPECT_EQ(icon->NotifyData().cbSize, 88u);
    EXPECT_EQ(icon->NotifyData().uFlags, 7u);
}

TEST_F(TrayIconTest, ClicksAndDoubleClicksGiveTheirEventSequences) {
    Show();
    Wire();
    ASSERT_TRUE(Click());
    // X and Y are the pointer on the screen, where the user's hand is over the icon.
    const os::Point pointer = screen.PointerPosition();
    EXPECT_EQ(rec.last, (fw::TPoint{pointer.x, pointer.y}));
    EXPECT_EQ(rec.seen, (Lines{"down left Left", "click left Left", "up left Left"}));

    rec.seen.clear();
    ASSERT_TRUE(area.DoubleClick(icon->WindowHandle(), 0));
    Pump();
    // One click per double click, from its first click; the double click after the first
    // release.
    EXPECT_EQ(rec.seen, (Lines{"down left Left", "click left Left", "up left Left", "dblclick",
                               "down left Double", "up left Left"}));

    rec.seen.clear();
    ASSERT_TRUE(Click(os::MouseButton::Right));
    EXPECT_EQ(rec.seen, (Lines{"down right Right", "click right Right", "up right Right"}));

    rec.seen.clear();
    ASSERT_TRUE(area.DoubleClick(icon->WindowHandle(), 0, os::MouseButton::Right));
    Pump();
    EXPECT_EQ(rec.seen, (Lines{"down right Right", "click right Right", "up right Right",
                               "down right Double", "up right Right"}));

    rec.seen.clear();
    ASSERT_TRUE(Click(os::MouseButton::Middle));
    EXPECT_EQ(rec.seen, (Lines{"down middle Middle", "up middle Middle"}));

    // A release whose press began elsewhere is no click; keys held show in the shift state.
    rec.seen.clear();
    screen.KeyDown(fw::VK_SHIFT);
    Report(fw::WM_LBUTTONUP);
    Report(fw::WM_MOUSEMOVE);
    Report(0x20A); // not a mouse report of the area
    screen.KeyUp(fw::VK_SHIFT);
    Pump();
    EXPECT_EQ(rec.seen, (Lines{"up left Shift+Left", "move Shift"}));
}

TEST_F(TrayIconTest, WhileDisabledNoReportRaisesAnEventAndTheIconStays) {
    Show();
    Wire();
    icon->SetEnabled(false);
    ASSERT_TRUE(Click());
    ASSERT_TRUE(area.DoubleClick(icon->WindowHandle(), 0));
    ASSERT_TRUE(area.Move(icon->WindowHandle(), 0));
    Pump();
    EXPECT_TRUE(rec.seen.empty());
    ASSERT_NE(Shown(), nullptr);
    EXPECT_EQ(Shown()->tip, "MIRELO");
    // A press reported while disabled does not turn the next release into a click.
    Report(fw::WM_LBUTTONDOWN);
    icon->SetEnabled(true);
    Report(fw::WM_LBUTTONUP);
    EXPECT_EQ(rec.seen, (Lines{"up left Left"}));
}

TEST_F(TrayIconTest, ARightClickShowsThePopupMenuAndADoubleClickRunsItsDefaultItem) {
    Show();
    Wire();
    auto* menu = new fw::TPopupMenu(owner.get());
    auto* open = new fw::TMenuItem(owner.get());
    open->SetName("Open");
    open->Caption = "Open";
    auto* quit = new fw::TMenuItem(owner.get());
    quit->SetName("Quit");
    quit->Caption = "Quit";
    menu->Items()->Add(open);
    menu->Items()->Add(quit);
    open->OnClick = fw::Bind<&Recorder::Item>(rec);
    quit->OnClick = fw::Bind<&Recorder::Item>(rec);
    icon->SetPopupMenu(menu);

    // While the menu is up (its loop runs), the user clicks "Quit" on it.
    std::optional<fw::TRect> quit_at;
    platform.Virtual().Schedule(platform.GetClock().Monotonic() + std::chrono::milliseconds(50),
                                [&] {
                                    quit_at = fw::ShownMenuItemRect(*quit);
                                    if (!quit_at) return;
                                    screen.Click(quit_at->Left + 5, quit_at->Top + 5);
                                });
    ASSERT_TRUE(area.Click(icon->WindowHandle(), 0, os::MouseButton::Right));
    runtime.Loop().RunFor(std::chrono::milliseconds(100));
    ASSERT_TRUE(quit_at.has_value()) << "no menu was shown";
    EXPECT_EQ(rec.seen, (Lines{"down right Right", "item Quit", "up right Right"}));
    EXPECT_EQ(menu->PopupComponent(), icon);
    EXPECT_FALSE(fw::ShownMenuItemRect(*quit).has_value()) << "the menu is gone";

    // A double click runs the first enabled default item instead of OnDblClick.
    quit->Default = true;
    open->Default = true;
    open->Enabled = false;
    rec.seen.clear();
    ASSERT_TRUE(area.DoubleClick(icon->WindowHandle(), 0));
    Pump();
    EXPECT_EQ(rec.seen, (Lines{"down left Left", "click left Left", "up left Left", "item Quit",
                               "down left Double", "up left Left"}));
    // With the only default item disabled, OnDblClick comes instead.
    quit->Default = false;
    rec.seen.clear();
    ASSERT_TRUE(area.DoubleClick(icon->WindowHandle(), 0));
    Pump();
    EXPECT_EQ(rec.seen[3], "dblclick");

    // A menu that does not pop up by itself leaves the right click to OnClick.
    menu->AutoPopup = false;
    rec.seen.clear();
    ASSERT_TRUE(Click(os::MouseButton::Right));
    EXPECT_EQ(rec.seen, (Lines{"down right Right", "click right Right", "up right Right"}));

    // A destroyed menu is forgotten.
    delete menu;
    EXPECT_EQ(icon->PopupMenu(), nullptr);
    rec.seen.clear();
    ASSERT_TRUE(Click(os::MouseButton::Right));
    EXPECT_EQ(rec.seen, (Lines{"down right Right", "click right Right", "up right Right"}));
}

TEST_F(TrayIconTest, EscapeOrAPressBesideTheMenuDismissesIt) {
    Show();
    Wire();
    auto* menu = new fw::TPopupMenu(owner.get());
    auto* item = new fw::TMenuItem(nullptr); // the menu's own from now on
    item->SetName("Only");
    item->Caption = "Only";
    item->OnClick = fw::Bind<&Recorder::Item>(rec);
    menu->Items()->Add(item);
    icon->SetPopupMenu(menu);
    const auto later = [&](int ms) {
        return platform.GetClock().Monotonic() + std::chrono::milliseconds(ms);
    };
    bool shown = false;
    platform.Virtual().Schedule(later(20), [&] {
        shown = fw::ShownMenuItemRect(*item).has_value();
        screen.KeyDown(fw::VK_ESCAPE);
    });
    area.Click(icon->WindowHandle(), 0, os::MouseButton::Right);
    runtime.Loop().RunFor(std::chrono::milliseconds(50));
    EXPECT_TRUE(shown);
    EXPECT_EQ(rec.seen, (Lines{"down right Right", "up right Right"}));

    rec.seen.clear();
    platform.Virtual().Schedule(later(20), [&] { screen.Click(5, 5); });
    area.Click(icon->WindowHandle(), 0, os::MouseButton::Right);
    runtime.Loop().RunFor(std::chrono::milliseconds(50));
    EXPECT_EQ(rec.seen, (Lines{"down right Right", "up right Right"}));
}

TEST_F(TrayIconTest, AClickHandlerThatSwitchesTheIconOffRemovesItAndTheReportGoesOn) {
    Show();
    Wire();
    rec.on_click = [&] { icon->SetActive(false); };
    ASSERT_TRUE(Click());
    EXPECT_FALSE(icon->Added());
    EXPECT_TRUE(area.Shown().empty());
    EXPECT_EQ(rec.seen, (Lines{"down left Left", "click left Left", "up left Left"}));
}

TEST_F(TrayIconTest, AnExceptionOfAHandlerGoesToTheApplicationsDisplay) {
    Show();
    Wire();
    std::vector<std::string> boxes;
    auto old = fw::SetMessageBoxHook([&](const std::string& t) {
        boxes.push_back(t);
        return true;
    });
    rec.on_click = [] { throw fw::EInvalidOperation("Cannot restore the window"); };
    Click();
    fw::SetMessageBoxHook(old);
    EXPECT_EQ(boxes, (Lines{"Cannot restore the window."}));
    // The report stopped where the handler failed: no OnMouseUp.
    EXPECT_EQ(rec.seen, (Lines{"down left Left", "click left Left"}));
}

TEST_F(TrayIconTest, WithoutATrayHostTheOwnerLearnsTheIconIsNotShownAndALaterChangeRetries) {
    area.SetHostRunning(false);
    icon->SetHint("MIRELO");
    icon->SetIcon(*SolidIcon(0x2040C0));
    EXPECT_TRUE(icon->Active());
    EXPECT_FALSE(icon->Added());
    icon->SetActive(false);
    area.SetHostRunning(true);
    area.SetRefuse(true);
    icon->SetActive(true);
    EXPECT_FALSE(icon->Added()) << "a refusing host does not show it either";
    area.SetRefuse(false);
    // Any change while wanted and not shown tries again.
    icon->SetHint("MIRELO recorder");
    EXPECT_TRUE(icon->Added());
    ASSERT_NE(Shown(), nullptr);
    EXPECT_EQ(Shown()->tip, "MIRELO recorder");
    // An icon whose picture is cleared while shown leaves the area.
    icon->Icon().Clear();
    EXPECT_FALSE(icon->Added());
    EXPECT_TRUE(area.Shown().empty());
}

TEST_F(TrayIconTest, LoadedFromADescriptionTheIconIsAddedAndTheOwnerCanSwitchItOff) {
    fw::TComponent form(nullptr);
    auto bytes = SolidIcon(0x10A010)->SaveToBytes();
    std::string hex;
    for (std::byte b : bytes) {
        static const char* digits = "0123456789ABCDEF";
        hex += digits[static_cast<unsigned>(b) >> 4];
        hex += digits[static_cast<unsigned>(b) & 15];
    }
    const std::string text = "object Form1: TComponent\n"
                             "  object TrayIcon1: TTrayIcon\n"
                             "    Hint = 'MIRELO'\n"
                             "    Icon.Data = {" +
                             hex +
                             "}\n"
                             "  end\n"
                             "end\n";
    fw::ReadComponent(text, form);
    auto* loaded = dynamic_cast<tray::TTrayIcon*>(form.FindComponent("TrayIcon1"));
    ASSERT_NE(loaded, nullptr);
    EXPECT_TRUE(loaded->Added());
    const os::NotifyIcon* shown = area.Find(loaded->WindowHandle(), 0);
    ASSERT_NE(shown, nullptr);
    EXPECT_EQ(shown->tip, "MIRELO");
    EXPECT_EQ(traytest::Middle(shown->picture), 0x10A010u);
    // The after-loading step added it again: delete, then add.
    EXPECT_EQ(area.adds, 2);
    loaded->SetActive(false);
    EXPECT_TRUE(area.Shown().empty());
}
