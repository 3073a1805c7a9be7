// Where the runtime raises the application's and the screen's slots: a key press offered as
// a shortcut before the form sees it, the loop going idle, a queued message offered before
// its window gets it, the active form changing; the hooks of the application's window;
// actions handled by the application first.
#include "framework/application.hpp"
#include "os/sim_platform.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

struct Slots : fw::TObject {
    std::vector<std::string> seen;
    bool take_shortcut = false;
    void ShortCut(fw::TWMKey& key, bool& handled) {
        seen.push_back("shortcut " + std::to_string(key.CharCode));
        handled = take_shortcut;
    }
    void Key(fw::TObject*, std::uint16_t& key, fw::TShiftState) {
        seen.push_back("key " + std::to_string(key));
    }
    void Idle(fw::TObject*, bool&) { seen.push_back("idle"); }
    void FormChange(fw::TObject* sender) {
        seen.push_back(sender == fw::Screen ? "form change" : "?");
    }
    bool First(fw::TMessage& m) {
        seen.push_back("first " + std::to_string(m.Msg));
        return m.Msg == fw::WM_USER + 1;
    }
    bool Second(fw::TMessage& m) {
        seen.push_back("second " + std::to_string(m.Msg));
        return false;
    }
    void ActionExecute(fw::TBasicAction*, bool& handled) {
        seen.push_back("app action");
        handled = take_shortcut;
    }
    void Execute(fw::TObject*) { seen.push_back("own action"); }
};

class ApplicationSlotsTest : public ::testing::Test {
protected:
    os::SimPlatform platform;
    fw::Runtime runtime{platform};
    os::SimDisplay& screen = platform.Screen();
    Slots slots;
};

} // namespace

TEST_F(ApplicationSlotsTest, KeysAreOfferedAsShortcutsFirstAndTheLoopReportsIdleAndFormChanges) {
    fw::TForm* form = nullptr;
    fw::Application->CreateForm(form);
    form->SetBounds(10, 10, 50, 50);
    form->OnKeyDown = fw::Bind<&Slots::Key>(slots);
    fw::Application->OnShortCut = fw::Bind<&Slots::ShortCut>(slots);
    fw::Screen->OnActiveFormChange = fw::Bind<&Slots::FormChange>(slots);
    form->Show();
    runtime.Loop().RunFor(1ms);
    EXPECT_EQ(slots.seen, (std::vector<std::string>{"form change"}));

    slots.seen.clear();
    screen.KeyDown('M');
    runtime.Loop().RunFor(1ms);
    slots.take_shortcut = true;
    screen.KeyDown('P');
    runtime.Loop().RunFor(1ms);
    EXPECT_EQ(slots.seen, (std::vector<std::string>{"shortcut 77", "key 77", "shortcut 80"}));

    slots.seen.clear();
    fw::Application->OnIdle = fw::Bind<&Slots::Idle>(slots);
    runtime.Loop().RunFor(1ms);
    ASSERT_FALSE(slots.seen.empty());
    EXPECT_EQ(slots.seen.front(), "idle");
}

TEST_F(ApplicationSlotsTest, HooksSeeTheApplicationWindowsMessagesInOrderUntilOneTakesIt) {
    const fw::HWND app = fw::Application->Handle();
    fw::Application->HookMainWindow(fw::Bind<&Slots::First>(slots));
    fw::Application->HookMainWindow(fw::Bind<&Slots::Second>(slots));
    fw::SendMessage(app, fw::WM_USER + 1);
    fw::SendMessage(app, fw::WM_USER + 2);
    EXPECT_EQ(slots.seen, (std::vector<std::string>{"first 1025", "first 1026", "second 1026"}));
    // Removed by identity, the first hook sees nothing more.
    fw::Application->UnhookMainWindow(fw::Bind<&Slots::First>(slots));
    slots.seen.clear();
    fw::SendMessage(app, fw::WM_USER + 1);
    EXPECT_EQ(slots.seen, (std::vector<std::string>{"second 1025"}));
}

TEST_F(ApplicationSlotsTest, AnActionIsTheApplicationsToHandleBeforeItsOwn) {
    fw::TBasicAction action(nullptr);
    action.OnExecute = fw::Bind<&Slots::Execute>(slots);
    EXPECT_TRUE(action.Execute());
    fw::Application->OnActionExecute = fw::Bind<&Slots::ActionExecute>(slots);
    EXPECT_TRUE(action.Execute());
    slots.take_shortcut = true;
    EXPECT_TRUE(action.Execute());
    EXPECT_EQ(slots.seen,
              (std::vector<std::string>{"own action", "app action", "own action", "app action"}));
}
