// The application event hub: the walk from the newest component to the oldest and then the
// application's own handler, the early stops (Chained, Handled), exceptions falling back to
// the default display, the slots emptied when the last component goes, the settings, and
// the hooks of the application's window.
#include "framework/form_reader.hpp"
#include "framework/message_box.hpp"
#include "tray/app_events.hpp"
#include "tray/tray_icon.hpp"
#include "tray_test_support.hpp"

using Lines = std::vector<std::string>;

namespace {

// Handlers that write their name and what they were given.
struct Named : fw::TObject {
    std::string name;
    Lines* log;
    bool handle = false;
    Named(std::string n, Lines& l) : name(std::move(n)), log(&l) {}
    std::string Who(fw::TObject* sender) const {
        return name + (sender == fw::Application ? " app"
                       : sender == fw::Screen    ? " screen"
                                                 : " ?");
    }
    void Minimize(fw::TObject* s) { log->push_back(Who(s) + " minimize"); }
    void Restore(fw::TObject* s) { log->push_back(Who(s) + " restore"); }
    void Message(fw::MSG& m, bool& handled) {
        log->push_back(name + " message " + std::to_string(m.message));
        handled = handle;
    }
    void Error(fw::TObject* s, const std::exception& e) {
        log->push_back(name + " exception " + e.what() +
                       (dynamic_cast<tray::TTrayIcon*>(s) ? " from the tray icon" : ""));
    }
    bool Help(std::uint16_t command, std::int32_t, bool&) {
        log->push_back(name + " help");
        return command == 1;
    }
    void Settings(fw::TObject* s) {
        log->push_back(name + (dynamic_cast<tray::TAppEvents*>(s) ? " settings" : " ?"));
        if (handle) throw fw::EInvalidOperation("settings failed");
    }
    void Paint(fw::TObject* s) {
        auto* events = static_cast<tray::TAppEvents*>(s);
        events->Canvas().SetPixel(3, 3, fw::clRed);
        log->push_back(name + " paint");
    }
    void FormChange(fw::TObject* s) { log->push_back(Who(s) + " form"); }
    Lines* idles = nullptr; // the idle turns of the loop call this too: counted only when set
    void Idle(fw::TObject* s, bool&) {
        if (idles) idles->push_back(Who(s) + " idle");
    }
};

class AppEventsTest : public traytest::TrayTestBase {
protected:
    Lines log;
    Named before{"before", log};
    Named a{"A", log};
    Named b{"B", log};
    std::unique_ptr<fw::TComponent> owner = std::make_unique<fw::TComponent>(nullptr);
    std::vector<std::string> boxes;
    fw::TMessageBoxHook old_hook;

    void SetUp() override {
        old_hook = fw::SetMessageBoxHook([this](const std::string& t) {
            boxes.push_back(t);
            return true;
        });
    }
    void TearDown() override { fw::SetMessageBoxHook(old_hook); }

    tray::TAppEvents* Member(Named& n) {
        auto* e = new tray::TAppEvents(owner.get());
        e->OnMinimize = fw::Bind<&Named::Minimize>(n);
        e->OnRestore = fw::Bind<&Named::Restore>(n);
        e->OnMessage = fw::Bind<&Named::Message>(n);
        e->OnException = fw::Bind<&Named::Error>(n);
        e->OnHelp = fw::Bind<&Named::Help>(n);
        e->OnActiveFormChange = fw::Bind<&Named::FormChange>(n);
        return e;
    }
};

} // namespace

TEST_F(AppEventsTest, EventsWalkFromTheNewestToTheOldestThenTheApplicationsOwnHandler) {
    fw::Application->OnMinimize = fw::Bind<&Named::Minimize>(before);
    fw::Application->OnHelp = fw::Bind<&Named::Help>(before);
    fw::Application->OnIdle = fw::Bind<&Named::Idle>(before);
    tray::TAppEvents* older = Member(a);
    tray::TAppEvents* newer = Member(b);
    ASSERT_NE(tray::AppEventHub, nullptr);
    fw::Application->Minimize();
    EXPECT_EQ(log, (Lines{"B app minimize", "A app minimize", "before app minimize"}));

    // The help result is the last handler's.
    log.clear();
    EXPECT_FALSE(fw::Application->HelpCommand(2, 0));
    EXPECT_TRUE(fw::Application->HelpCommand(1, 0));
    EXPECT_EQ(log.size(), 6u);

    // A newer component that is not chained keeps the event from everything older.
    log.clear();
    newer->Chained = false;
    fw::Application->Restore();
    EXPECT_EQ(log, (Lines{"B app restore"}));
    // Even with no handler of its own.
    log.clear();
    newer->OnRestore = nullptr;
    fw::Application->Minimize();
    fw::Application->Restore();
    EXPECT_EQ(log, (Lines{"B app minimize"}));
    // Idle work goes the same way, whether or not a member handles it.
    Lines idles;
    before.idles = a.idles = b.idles = &idles;
    fw::Application->DoIdle(); // a newer member that is not chained stops it
    newer->Chained = true;
    fw::Application->DoIdle();
    older->OnIdle = fw::Bind<&Named::Idle>(a);
    fw::Application->DoIdle();
    newer->Chained = false;
    newer->OnIdle = fw::Bind<&Named::Idle>(b);
    fw::Application->DoIdle();
    EXPECT_EQ(idles, (Lines{"before app idle", "A app idle", "before app idle", "B app idle"}));
    before.idles = a.idles = b.idles = nullptr;
    newer->Chained = true;

    // The screen's events come with the screen as sender.
    log.clear();
    fw::TForm* form = nullptr;
    fw::Application->CreateForm(form);
    form->Show();
    Pump();
    EXPECT_EQ(log, (Lines{"B screen form", "A screen form"}));

    // When the last component goes, the slots are emptied, not given back.
    delete newer;
    delete older;
    EXPECT_FALSE(fw::Application->OnMinimize.Assigned());
    EXPECT_FALSE(fw::Application->OnHelp.Assigned());
    log.clear();
    fw::Application->Minimize();
    EXPECT_TRUE(log.empty());
}

TEST_F(AppEventsTest, AHandledMessageGoesNoFurtherAndNotToItsWindow) {
    fw::Application->OnMessage = fw::Bind<&Named::Message>(before);
    Member(a);
    Member(b);
    int delivered = 0;
    fw::HiddenWindow window([&](fw::TMessage&) { ++delivered; });
    fw::PostMessage(window.Handle(), fw::WM_USER + 7);
    Pump();
    EXPECT_EQ(log, (Lines{"B message 1031", "A message 1031", "before message 1031"}));
    EXPECT_EQ(delivered, 1);

    log.clear();
    b.handle = true;
    fw::PostMessage(window.Handle(), fw::WM_USER + 7);
    Pump();
    EXPECT_EQ(log, (Lines{"B message 1031"}));
    EXPECT_EQ(delivered, 1);
}

TEST_F(AppEventsTest, ExceptionsReachTheHandlersFirstAndOtherwiseTheDefaultDisplay) {
    Member(a)->OnMessage = nullptr;
    tray::TTrayIcon icon(nullptr);
    icon.SetIcon(*traytest::SolidIcon(0x123456));
    struct Thrower : fw::TObject {
        void Click(fw::TObject*, fw::TMouseButton, fw::TShiftState, int, int) {
            throw fw::EInvalidOperation("no window to restore");
        }
    } thrower;
    icon.OnClick = fw::Bind<&Thrower::Click>(thrower);
    area.Click(icon.WindowHandle(), 0);
    Pump();
    EXPECT_EQ(log, (Lines{"A exception no window to restore from the tray icon"}));
    EXPECT_TRUE(boxes.empty());

    // A newest member with no handler that is not chained: only the default display.
    log.clear();
    auto* silent = new tray::TAppEvents(owner.get());
    silent->Chained = false;
    area.Click(icon.WindowHandle(), 0);
    Pump();
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(boxes, (Lines{"no window to restore."}));
}

TEST_F(AppEventsTest, SettingsReachTheApplicationWhenWrittenOrLoadedNotWhenCreatedInCode) {
    fw::Application->HintPause = 1234;
    fw::Application->SetHintColor(fw::clYellow);
    auto* code = new tray::TAppEvents(owner.get());
    EXPECT_EQ(fw::Application->HintPause, 1234);
    EXPECT_EQ(code->HintPause(), 1234) << "at run time it reads the application's";
    code->SetHintPause(700);
    code->SetMouseDragThreshold(9);
    EXPECT_EQ(fw::Application->HintPause, 700);
    EXPECT_EQ(fw::Mouse->DragThreshold, 9);
    EXPECT_EQ(fw::Application->HintColor(), fw::clYellow);

    fw::TComponent form(nullptr);
    fw::ReadComponent("object Form1: TComponent\n"
                      "  object AppEvents1: TAppEvents\n"
                      "    HintShortPause = 80\n"
                      "  end\n"
                      "end\n",
                      form);
    // Loading writes every setting, defaults included.
    EXPECT_EQ(fw::Application->HintPause, 500);
    EXPECT_EQ(fw::Application->HintColor(), fw::clInfoBk);
    EXPECT_EQ(fw::Application->HintShortPause, 80);
    EXPECT_EQ(fw::Mouse->DragThreshold, 5);
}

TEST_F(AppEventsTest, TheWindowHookPaintsTheMinimisedIconAndReportsSettingChanges) {
    auto* events = Member(a);
    const fw::HWND app = fw::Application->Handle();
    // Without OnPaintIcon a paint is never taken.
    fw::Application->Minimize();
    EXPECT_EQ(fw::SendMessage(app, fw::WM_PAINT), 0);
    events->OnPaintIcon = fw::Bind<&Named::Paint>(a);
    log.clear();
    fw::SendMessage(app, fw::WM_PAINT);
    EXPECT_EQ(log, (Lines{"A paint"}));
    EXPECT_EQ(fw::Application->IconSurface().At(3, 3), 0xFF0000u);
    EXPECT_NE(fw::Application->IconSurface().At(0, 0), 0u)
        << "the background was erased with the desktop colour";
    // Not minimised: the paint is not the hook's.
    fw::Application->Restore();
    log.clear();
    fw::SendMessage(app, fw::WM_PAINT);
    EXPECT_TRUE(log.empty());

    // A settings change reaches OnSettingsChanged; its failure goes to exception handling
    // and the application still gets the message.
    events->OnSettingsChanged = fw::Bind<&Named::Settings>(a);
    a.handle = true;
    fw::SendMessage(app, fw::WM_WININICHANGE);
    EXPECT_EQ(log, (Lines{"A settings", "A exception settings failed"}));
}
