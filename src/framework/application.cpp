// The application object, the screen, the runtime and the window calls.
#include "framework/application.hpp"

#include "framework/exception_guard.hpp"
#include "framework/graphics/canvas.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <unordered_map>

namespace fw {

TApplication* Application = nullptr;
TScreen* Screen = nullptr;

namespace {

os::Platform* g_platform = nullptr;
// The keys and buttons held when the input being handled happened: what GetKeyState
// answers while it is handled, as the platform keeps key state in step with its queue.
std::optional<std::uint32_t> g_input_modifiers;

std::unordered_map<HRGN, Region>& Regions() {
    // Never destroyed: a runtime that outlives other statics may still clear it.
    static auto* m = new std::unordered_map<HRGN, Region>;
    return *m;
}
HRGN g_next_region = 1;

TCustomForm* FormOf(HWND h) {
    return dynamic_cast<TCustomForm*>(FindControl(h));
}

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

bool HasDisplay() {
    return g_platform != nullptr;
}
os::Display& GetDisplay() {
    return GetPlatform().GetDisplay();
}
os::Platform& GetPlatform() {
    if (!g_platform) throw EInvalidOperation("no platform: create a Runtime first");
    return *g_platform;
}

// ---- TApplication ------------------------------------------------------------------

TApplication::TApplication(TComponent* owner)
    : TComponent(owner), window_(std::make_unique<HiddenWindow>([this](TMessage& m) {
          // A copy: a hook may add or remove hooks.
          const auto hooks = hooks_;
          for (const TWindowHook& hook : hooks)
              if (hook(m)) return;
          if (m.Msg == WM_SYSCOMMAND && (m.WParam & 0xFFF0) == SC_MINIMIZE) Minimize();
          if (m.Msg == WM_SYSCOMMAND && (m.WParam & 0xFFF0) == SC_RESTORE) Restore();
          if (m.Msg == CM_ACTIVATEREQUEST && OnActivateRequest.Assigned())
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

void TApplication::SetTitle(const std::string& value) {
    title_ = value;
    if (main_form_) main_form_->TitleChanged();
}

void TApplication::Run() {
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

void TApplication::DoIdle() {
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

TCustomForm* TScreen::ActiveForm() const {
    return HasDisplay() ? FindForm(GetDisplay().ActiveWindow()) : nullptr;
}

void TScreen::FormActivated(TCustomForm* form) {
    if (form == last_active_) return;
    last_active_ = form;
    if (OnActiveFormChange.Assigned()) OnActiveFormChange(this);
}

// ---- Runtime -----------------------------------------------------------------------

Runtime::Runtime(os::Platform& platform) : platform_(platform) {
    if (g_platform) throw EInvalidOperation("a runtime exists already");
    loop_ = std::make_unique<MessageLoop>(platform.GetClock(), platform.GetWait());
    g_platform = &platform;
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
    loop_->SetInputPump([this] { return PumpInput(); });
    loop_->AddIdleHandler([this] {
        PaintPending();
        if (Application) Guarded(Application, [] { Application->DoIdle(); });
    });
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
    Regions().clear();
    g_platform = nullptr;
    loop_.reset();
}

bool Runtime::PumpInput() {
    os::DisplayEvent e;
    if (!platform_.GetDisplay().NextEvent(e)) return false;
    const auto saved = g_input_modifiers;
    g_input_modifiers = e.modifiers;
    Guarded(nullptr, [&] { Deliver(e); });
    g_input_modifiers = saved;
    return true;
}

void Runtime::PaintPending() {
    if (!Screen) return;
    const auto forms = Screen->forms_;
    for (TCustomForm* f : forms)
        Guarded(f, [f] { f->Update(); });
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

// ---- Window calls ------------------------------------------------------------------

int GetSystemMetrics(int index) {
    const os::Size s = GetDisplay().ScreenSize();
    if (index == SM_CXSCREEN) return s.width;
    if (index == SM_CYSCREEN) return s.height;
    return 0;
}

bool GetCursorPos(TPoint* point) {
    if (!point || !HasDisplay()) return false;
    const os::Point p = GetDisplay().PointerPosition();
    *point = {p.x, p.y};
    return true;
}

std::int16_t GetKeyState(int virtual_key) {
    if (!HasDisplay()) return 0;
    const std::uint32_t m = g_input_modifiers ? *g_input_modifiers : GetDisplay().ModifierState();
    std::uint32_t bit = 0;
    switch (virtual_key) {
    case VK_SHIFT:
        bit = os::Modifiers::kShift;
        break;
    case VK_CONTROL:
        bit = os::Modifiers::kCtrl;
        break;
    case VK_MENU:
        bit = os::Modifiers::kAlt;
        break;
    case VK_LBUTTON:
        bit = os::Modifiers::kLeftButton;
        break;
    case VK_RBUTTON:
        bit = os::Modifiers::kRightButton;
        break;
    case VK_MBUTTON:
        bit = os::Modifiers::kMiddleButton;
        break;
    }
    return (m & bit) ? static_cast<std::int16_t>(-128) : 0;
}

HRGN ExtCreateRegion(const void*, std::uint32_t size, const void* data) {
    if (!data) return 0;
    try {
        Region r = Region::FromData({static_cast<const std::byte*>(data), size});
        const HRGN h = g_next_region++;
        Regions().emplace(h, std::move(r));
        return h;
    } catch (...) {
        // Bad data, or data that would need more memory than there is: no region.
        return 0;
    }
}

const Region* RegionOf(HRGN region) {
    auto it = Regions().find(region);
    return it == Regions().end() ? nullptr : &it->second;
}

std::uint32_t GetRegionData(HRGN region, std::uint32_t size, void* buffer) {
    const Region* r = RegionOf(region);
    if (!r) return 0;
    const auto data = r->Data();
    if (!buffer) return static_cast<std::uint32_t>(data.size());
    if (size < data.size()) return 0;
    std::memcpy(buffer, data.data(), data.size());
    return static_cast<std::uint32_t>(data.size());
}

bool DeleteObject(HRGN region) {
    return Regions().erase(region) > 0;
}

int SetWindowRgn(HWND window, HRGN region, bool) {
    TCustomForm* form = FormOf(window);
    if (!form) return 0;
    if (region == 0) {
        form->SetShape(std::nullopt);
        return 1;
    }
    const Region* r = RegionOf(region);
    if (!r) return 0;
    form->SetShape(*r);
    DeleteObject(region); // the window owns it now
    return 1;
}

bool ShowWindow(HWND window, int command) {
    if (Application && window == Application->Handle()) {
        // The application window is the taskbar entry of the main form.
        Application->SetTaskbarVisible(command != SW_HIDE);
        return true;
    }
    TCustomForm* form = FormOf(window);
    if (!form) return false;
    const bool was = form->Visible();
    switch (command) {
    case SW_HIDE:
        form->SetVisible(false);
        break;
    case SW_MINIMIZE:
    case SW_SHOWMINIMIZED:
        if (form->DisplayWindow()) GetDisplay().Iconify(form->DisplayWindow());
        break;
    case SW_RESTORE:
    case SW_SHOWNOACTIVATE:
        if (form->DisplayWindow()) GetDisplay().Restore(form->DisplayWindow());
        form->SetVisible(true);
        break;
    default:
        form->SetVisible(true);
    }
    return was;
}

bool IsWindowVisible(HWND window) {
    if (Application && window == Application->Handle()) return !Application->Minimized();
    TCustomForm* form = FormOf(window);
    return form && form->Visible();
}

bool IsIconic(HWND window) {
    if (Application && window == Application->Handle()) return Application->Minimized();
    TCustomForm* form = FormOf(window);
    return form && form->DisplayWindow() && GetDisplay().IsIconic(form->DisplayWindow());
}

bool IsWindowEnabled(HWND window) {
    TWinControl* control = FindControl(window);
    if (control) return control->Enabled();
    return IsWindow(window);
}

LRESULT DefWindowProc(HWND, UINT, WPARAM, LPARAM) {
    return 0;
}

bool BeginPaint(HWND window, PAINTSTRUCT& paint) {
    paint = {};
    if (!Application || window != Application->Handle()) return false;
    os::PixelBuffer& surface = Application->IconSurface();
    paint.surface = &surface;
    paint.fErase = true;
    paint.rcPaint = {0, 0, surface.width, surface.height};
    return true;
}

void EndPaint(HWND, const PAINTSTRUCT&) {}

HWND GetForegroundWindow() {
    if (!HasDisplay()) return 0;
    TCustomForm* form = FindForm(GetDisplay().ActiveWindow());
    return form ? form->Handle() : 0;
}

bool SetForegroundWindow(HWND window) {
    if (Application && window == Application->Handle())
        window = Application->MainForm() ? Application->MainForm()->Handle() : 0;
    TCustomForm* form = FormOf(window);
    if (!form || !form->DisplayWindow()) return false;
    GetDisplay().Activate(form->DisplayWindow());
    return true;
}

HWND SetActiveWindow(HWND window) {
    const HWND previous = GetForegroundWindow();
    SetForegroundWindow(window);
    return previous;
}

// ---- Message box -------------------------------------------------------------------

namespace {

TMessageBoxHook& Hook() {
    static auto* hook = new TMessageBoxHook;
    return *hook;
}

// The OK button of a message box.
class TMessageButton : public TGraphicControl {
public:
    explicit TMessageButton(TComponent* owner) : TGraphicControl(owner) {}
    bool pressed = false;

protected:
    void Paint() override {
        TCanvas& c = Canvas();
        TRect r = ClientRect();
        c.Brush().SetColor(clBtnFace);
        c.FillRect(r);
        c.DrawEdge(r, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
        c.Brush().SetStyle(bsClear);
        c.Font().SetColor(clBtnText);
        TRect t = r;
        c.DrawText(Caption(), t, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    void MouseDown(TMouseButton b, TShiftState s, int x, int y) override {
        TGraphicControl::MouseDown(b, s, x, y);
        if (b == mbLeft) {
            pressed = true;
            Repaint();
        }
    }
    void MouseUp(TMouseButton b, TShiftState s, int x, int y) override {
        pressed = false;
        Repaint();
        TGraphicControl::MouseUp(b, s, x, y);
    }
};

// Carriage returns break lines too, as a message's text may use either.
std::string LineBreaks(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

class TMessageForm : public TForm {
public:
    explicit TMessageForm(TComponent* owner, const std::string& text)
        : TForm(owner), text_(LineBreaks(text)) {
        SetBorderStyle(bsDialog);
        SetFormStyle(fsStayOnTop);
        SetCaption(Application ? Application->Title() : std::string());
        Font().SetName("DejaVu Sans");
        Font().SetHeight(-12);
        TCanvas measure;
        os::PixelBuffer scratch(1, 1);
        measure.Attach(scratch);
        measure.SetFont(Font());
        TRect t{0, 0, 0, 0};
        measure.DrawText(text_, t, DT_CALCRECT | DT_NOPREFIX);
        const int w = std::max(t.Width() + 48, 180);
        const int h = t.Height() + 24 + 20 + 26 + 12;
        text_rect_ = {24, 20, 24 + t.Width(), 20 + t.Height()};
        const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
        SetBounds((sw - w) / 2, (sh - h) / 2, w, h);
        button_ = new TMessageButton(this);
        button_->SetCaption("OK");
        button_->SetBounds((w - 75) / 2, h - 12 - 26, 75, 26);
        button_->SetParent(this);
        button_->OnClick = Bind<&TMessageForm::OkClick>(this);
        OnKeyDown = Bind<&TMessageForm::Key>(this);
    }
    const std::string& Text() const { return text_; }
    void OkClick(TObject*) { ModalResult = mrOk; }
    void Key(TObject*, std::uint16_t& key, TShiftState) {
        if (key == VK_RETURN || key == VK_SPACE || key == VK_ESCAPE) ModalResult = mrOk;
    }

protected:
    void PaintWindow(TCanvas& c) override {
        c.Brush().SetStyle(bsClear);
        c.Font().SetColor(clWindowText);
        TRect r = text_rect_;
        c.DrawText(text_, r, DT_NOPREFIX);
    }

private:
    std::string text_;
    TRect text_rect_;
    TMessageButton* button_ = nullptr;
};

} // namespace

TMessageBoxHook SetMessageBoxHook(TMessageBoxHook hook) {
    TMessageBoxHook old = std::move(Hook());
    Hook() = std::move(hook);
    return old;
}

void ShowMessage(const std::string& text) {
    if (Hook() && Hook()(text)) return;
    if (!HasDisplay()) return;
    std::unique_ptr<TMessageForm> form(new TMessageForm(nullptr, text));
    form->ShowModal();
}

} // namespace fw
