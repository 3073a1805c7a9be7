// The application object, the screen and the runtime.
#include "framework/application.hpp"

#include "framework/exception_guard.hpp"
#include "framework/message_box.hpp"
#include "framework/regions.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <optional>

namespace fw {

TApplication* Application = nullptr;
TScreen* Screen = nullptr;

namespace {

WPARAM MouseKeys(std::uint32_t mods) {
    WPARAM w = 0;
    if (mods & os::Modifiers::kLeftButton) w |= MK_LBUTTON;
    if (mods & os::Modifiers::kRightButton) w |= MK_RBUTTON;
    if (mods & os::Modifiers::kMiddleButton) w |= MK_MBUTTON;
    if (mods & os::Modifiers::kShift) w |= MK_SHIFT;
    if (mods & os::Modifiers::kCtrl) w |= MK_CONTROL;
    return w;
}

} // namespace

// ---- TApplication ------------------------------------------------------------------

TApplication::TApplication(TComponent* owner)
    : TComponent(owner), window_(std::make_unique<HiddenWindow>([this](TMessage& m) {
          // A copy: a hook may add or remove hooks.
          const auto hooks = hooks_;
          for (const TWindowHook& hook : hooks)
              if (hook(m)) return;
          if (m.Msg == WM_SYSCOMMAND && (m.WParam & 0xFFF0) == SC_MINIMIZE) Minimize();
          if (m.Msg == WM_SYSCOMMAND && (m.WParam & 0xFFF0) == SC_RESTORE) Restore();
          if (m.Msg == CM_ACTIVATEREQUEST && m.LParam != 0)
              RunCommand(static_cast<std::uintptr_t>(m.LParam));
          else if (m.Msg == CM_ACTIVATEREQUEST && OnActivateRequest.Assigned())
              Guarded(this, [this] { OnActivateRequest(this); });
      })) {}

TApplication::~TApplication() {
    // Forms go first: their handlers may still use the application.
    DestroyComponents();
    // The claim stays with the platform until the process ends; its requests no longer
    // have anywhere to go.
    if (instance_claimed_ && HasDisplay()) GetPlatform().GetInstance().SetActivationTarget(0, 0);
}

bool TApplication::ClaimInstance() {
    os::InstanceClaim& claim = GetPlatform().GetInstance();
    // A holder that ends between our look and our request has left the claim free: look
    // again. Three rounds end even a run of starts and crashes.
    for (int round = 0; round < 3; ++round) {
        if (claim.Claim()) {
            instance_claimed_ = true;
            claim.SetActivationTarget(Handle(), CM_ACTIVATEREQUEST);
            return true;
        }
        if (claim.RequestActivation()) return false;
    }
    return false;
}

void TApplication::RunCommand(std::uintptr_t serial) {
    os::InstanceClaim& claim = GetPlatform().GetInstance();
    const std::string command = claim.Command(serial);
    if (command.empty()) return;
    os::InstanceClaim::Answer answer{1, "the running Mirelo does not take commands"};
    if (OnCommandRequest) {
        answer.text.clear();
        // Answered whatever happens: the sender is waiting.
        try {
            answer.status = OnCommandRequest(command, answer.text);
        } catch (const std::exception& e) {
            answer = {1, e.what()};
        }
    }
    claim.AnswerCommand(serial, answer);
}

void TApplication::SetTitle(const std::string& value) {
    title_ = value;
    if (main_form_) main_form_->TitleChanged();
}

[[gnu::hot]] void TApplication::Run() {
    if (main_form_ && ShowMainForm) main_form_->SetVisible(true);
    auto& loop = MessageLoop::Current();
    while (!terminated_) {
        if (!loop.HandleMessage()) break;
    }
    terminated_ = true;
}

void TApplication::Terminate() {
    terminated_ = true;
    MessageLoop::Current().PostQuitMessage(0);
}

void TApplication::ProcessMessages() {
    MessageLoop::Current().ProcessMessages();
}

void TApplication::HandleMessage() {
    if (!MessageLoop::Current().HandleMessage()) terminated_ = true;
}

HWND TApplication::Handle() const {
    return window_->Handle();
}

void TApplication::Minimize() {
    if (minimized_) return;
    minimized_ = true;
    if (main_form_ && main_form_->DisplayWindow())
        GetDisplay().Iconify(main_form_->DisplayWindow());
    if (OnMinimize.Assigned()) OnMinimize(this);
}

void TApplication::Restore() {
    if (!minimized_) return;
    minimized_ = false;
    if (main_form_ && main_form_->DisplayWindow()) {
        GetDisplay().Restore(main_form_->DisplayWindow());
        if (main_form_->Visible()) GetDisplay().Show(main_form_->DisplayWindow(), true);
    }
    if (OnRestore.Assigned()) OnRestore(this);
}

void TApplication::DisplayIconified(bool iconic) {
    if (iconic == minimized_) return;
    minimized_ = iconic;
    if (iconic && OnMinimize.Assigned()) OnMinimize(this);
    if (!iconic && OnRestore.Assigned()) OnRestore(this);
}

void TApplication::SetTaskbarVisible(bool visible) {
    taskbar_visible_ = visible;
    if (main_form_) main_form_->SetSkipTaskbar(!visible);
}

void TApplication::FormDestroyed(TCustomForm* form) {
    if (form == main_form_) main_form_ = nullptr;
    if (Screen && Screen->last_active_ == form) Screen->last_active_ = nullptr;
}

void TApplication::HandleException(TObject* sender, std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        if (OnException.Assigned())
            OnException(sender, e);
        else
            ShowException(e);
    } catch (...) {
        ShowException(std::runtime_error("unknown exception"));
    }
}

void TApplication::ShowException(const std::exception& e) {
    std::string text = e.what();
    if (!text.empty() && text.back() != '.') text += '.';
    // The box's modal loop runs timers and other handlers; one that fails again there
    // would open a box inside the box, and so on until the stack runs out.
    if (showing_exception_) {
        std::fprintf(stderr, "%s\n", text.c_str());
        return;
    }
    showing_exception_ = true;
    struct Shown {
        bool& flag;
        ~Shown() { flag = false; }
    } shown{showing_exception_};
    ShowMessage(text);
}

[[gnu::hot]] void TApplication::DoIdle() {
    bool done = true;
    if (OnIdle.Assigned()) OnIdle(this, done);
}

bool TApplication::ProcessMessage(MSG& msg) {
    bool handled = false;
    if (OnMessage.Assigned()) OnMessage(msg, handled);
    return handled;
}

bool TApplication::IsShortCut(TWMKey& key) {
    bool handled = false;
    if (OnShortCut.Assigned()) OnShortCut(key, handled);
    return handled;
}

void TApplication::SetHint(const std::string& value) {
    if (value == hint_) return;
    hint_ = value;
    if (OnHint.Assigned()) OnHint(this);
}

bool TApplication::DoShowHint(std::string& hint, THintInfo& info) {
    bool can_show = show_hint_;
    if (OnShowHint.Assigned()) OnShowHint(hint, can_show, info);
    return can_show;
}

bool TApplication::HelpCommand(std::uint16_t command, std::int32_t data) {
    bool call_help = true;
    if (!OnHelp.Assigned()) return false;
    return OnHelp(command, data, call_help);
}

bool TApplication::ExecuteAction(TBasicAction& action) {
    bool handled = false;
    if (OnActionExecute.Assigned()) OnActionExecute(&action, handled);
    return handled;
}

bool TApplication::UpdateAction(TBasicAction& action) {
    bool handled = false;
    if (OnActionUpdate.Assigned()) OnActionUpdate(&action, handled);
    return handled;
}

void TApplication::HookMainWindow(TWindowHook hook) {
    hooks_.push_back(hook);
}

void TApplication::UnhookMainWindow(TWindowHook hook) {
    auto it = std::find(hooks_.begin(), hooks_.end(), hook);
    if (it != hooks_.end()) hooks_.erase(it);
}

// ---- TScreen -----------------------------------------------------------------------

int TScreen::Width() const {
    return GetSystemMetrics(SM_CXSCREEN);
}
int TScreen::Height() const {
    return GetSystemMetrics(SM_CYSCREEN);
}

std::vector<TRect> TScreen::MonitorRects() const {
    std::vector<TRect> rects;
    for (const os::Rect& m : GetDisplay().Monitors())
        rects.push_back({m.left, m.top, m.right, m.bottom});
    return rects;
}

TCustomForm* TScreen::ActiveForm() const {
    return HasDisplay() ? FindForm(GetDisplay().ActiveWindow()) : nullptr;
}

void TScreen::FormActivated(TCustomForm* form) {
    if (form == last_active_) return;
    last_active_ = form;
    if (OnActiveFormChange.Assigned()) OnActiveFormChange(this);
}

// ---- Runtime -----------------------------------------------------------------------

// What the forms ask of the application and the screen, which come and go within the
// runtime's life: each call looks for them at the time.
class Runtime::Host final : public FormHost {
public:
    void FormCreated(TCustomForm& form) override {
        if (Screen) Screen->forms_.push_back(&form);
    }
    void FormDestroyed(TCustomForm& form) override {
        if (Screen) std::erase(Screen->forms_, &form);
        if (Application) Application->FormDestroyed(&form);
    }
    bool IsMainForm(const TCustomForm& form) const override {
        return Application && Application->MainForm() == &form;
    }
    std::string Title() const override { return Application ? Application->Title() : ""; }
    void GiveIcon(os::WindowId window) const override {
        if (Application) Application->GiveIcon(window);
    }
    void Terminate() override {
        if (Application) Application->Terminate();
    }
    void Minimize() override {
        if (Application) Application->Minimize();
    }
    void Restore() override {
        if (Application) Application->Restore();
    }
};

Runtime::Runtime(os::Platform& platform)
    : host_(std::make_unique<Host>()), platform_(platform), display_(platform.GetDisplay()) {
    if (HasDisplay()) throw EInvalidOperation("a runtime exists already");
    loop_ = std::make_unique<MessageLoop>(platform.GetClock(), platform.GetWait());
    detail::SetPlatform(&platform);
    SetFormHost(host_.get());
    screen_ = std::make_unique<TScreen>(nullptr);
    Screen = screen_.get();
    mouse_ = std::make_unique<TMouse>();
    Mouse = mouse_.get();
    application_ = std::make_unique<TApplication>(nullptr);
    Application = application_.get();
    platform.SetPoster([loop = loop_.get()](std::uint32_t w, std::uint32_t msg, std::uintptr_t wp,
                                            std::intptr_t lp) {
        return loop->PostMessage(w, msg, wp, static_cast<LPARAM>(lp));
    });
    loop_->SetTurnHooks(this);
    loop_->SetMessageFilter([loop = loop_.get()](HWND h, TMessage& m) {
        if (!Application || !Application->OnMessage.Assigned()) return false;
        using std::chrono::duration_cast, std::chrono::milliseconds;
        MSG msg{h, m.Msg, m.WParam, m.LParam, 0, {}};
        msg.time = static_cast<std::uint32_t>(
            duration_cast<milliseconds>(loop->Clock().Monotonic()).count());
        GetCursorPos(&msg.pt);
        bool handled = false;
        Guarded(Application, [&] { handled = Application->ProcessMessage(msg); });
        m = {msg.message, msg.wParam, msg.lParam, m.Result};
        return handled;
    });
    previous_handler_ = SetExceptionHandler([](TObject* sender, std::exception_ptr e) {
        if (Application) Application->HandleException(sender, e);
    });
}

Runtime::~Runtime() {
    platform_.SetPoster(nullptr);
    SetExceptionHandler(previous_handler_);
    application_.reset();
    Application = nullptr;
    screen_.reset();
    Screen = nullptr;
    mouse_.reset();
    Mouse = nullptr;
    SetCaptureControl(nullptr);
    detail::ClearRegions();
    SetFormHost(nullptr);
    detail::SetPlatform(nullptr);
    loop_.reset();
}

[[gnu::hot]] bool Runtime::PumpInput() {
    os::DisplayEvent e;
    if (!display_.NextEvent(e)) return false;
    const auto saved = detail::InputModifiers();
    detail::InputModifiers() = e.modifiers;
    Guarded(nullptr, [&] { Deliver(e); });
    detail::InputModifiers() = saved;
    return true;
}

[[gnu::hot]] void Runtime::Idle() {
    PaintPending();
    if (Application) Guarded(Application, [] { Application->DoIdle(); });
}

[[gnu::hot]] void Runtime::PaintPending() {
    if (!Screen || !detail::g_paint_wanted) return;
    detail::g_paint_wanted = false;
    // By index, without a copy that would allocate every turn: painting does not add or
    // remove forms, and a form missed should one go is painted on the next turn.
    bool left = false;
    for (std::size_t i = 0; Screen && i < Screen->forms_.size(); ++i) {
        TCustomForm* f = Screen->forms_[i];
        Guarded(f, [f, &left] {
            f->Update();
            // A hidden form keeps what it has to paint, for when it is shown.
            if (f->HasUpdate()) left = true;
        });
    }
    if (left) detail::g_paint_wanted = true;
}

void Runtime::Deliver(const os::DisplayEvent& e) {
    TCustomForm* form = FindForm(e.window);
    if (!form) return;
    const HWND h = form->Handle();
    auto& loop = *loop_;
    const LPARAM pos = MakePointParam(e.x, e.y);
    const WPARAM keys = MouseKeys(e.modifiers);
    switch (e.kind) {
    case os::EventKind::PointerMove:
        loop.SendMessage(h, WM_MOUSEMOVE, keys, pos);
        break;
    case os::EventKind::ButtonDown: {
        UINT msg = WM_LBUTTONDOWN;
        if (e.button == os::MouseButton::Right) msg = WM_RBUTTONDOWN;
        if (e.button == os::MouseButton::Middle) msg = WM_MBUTTONDOWN;
        if (e.double_click) msg += WM_LBUTTONDBLCLK - WM_LBUTTONDOWN;
        loop.SendMessage(h, msg, keys, pos);
        break;
    }
    case os::EventKind::ButtonUp: {
        UINT msg = WM_LBUTTONUP;
        if (e.button == os::MouseButton::Right) msg = WM_RBUTTONUP;
        if (e.button == os::MouseButton::Middle) msg = WM_MBUTTONUP;
        loop.SendMessage(h, msg, keys, pos);
        break;
    }
    case os::EventKind::KeyDown: {
        TWMKey key{(e.modifiers & os::Modifiers::kAlt) ? WM_SYSKEYDOWN : WM_KEYDOWN, e.key,
                   (e.modifiers & os::Modifiers::kAlt) ? (1 << 29) : 0, 0};
        if (Application && Application->IsShortCut(key)) break;
        loop.SendMessage(h, (e.modifiers & os::Modifiers::kAlt) ? WM_SYSKEYDOWN : WM_KEYDOWN,
                         e.key);
        break;
    }
    case os::EventKind::KeyUp:
        loop.SendMessage(h, (e.modifiers & os::Modifiers::kAlt) ? WM_SYSKEYUP : WM_KEYUP, e.key);
        break;
    case os::EventKind::Exposed:
        form->Present({e.area.left, e.area.top, e.area.right, e.area.bottom});
        break;
    case os::EventKind::CloseRequest:
        loop.SendMessage(h, WM_CLOSE);
        break;
    case os::EventKind::MoveEnded:
        form->DisplayMoved(e.area);
        form->moving_ = false;
        break;
    case os::EventKind::FocusGained:
        if (Screen) Screen->FormActivated(form);
        if (Application && Application->OnActivate.Assigned()) Application->OnActivate(Application);
        break;
    case os::EventKind::FocusLost:
        if (Application && Application->OnDeactivate.Assigned())
            Application->OnDeactivate(Application);
        break;
    case os::EventKind::Iconified:
    case os::EventKind::Restored:
        // The state now, not the event's: a report of our own earlier request may still be
        // queued behind a later one.
        if (Application && Application->MainForm() == form)
            Application->DisplayIconified(GetDisplay().IsIconic(e.window));
        break;
    case os::EventKind::PointerLeave:
        loop.SendMessage(h, CM_MOUSELEAVE, 0, 0);
        break;
    }
}

} // namespace fw
