// The application event components, their settings, and the chain that dispatches.
#include "tray/app_events.hpp"

#include "framework/exception_guard.hpp"
#include "framework/graphics/color_idents.hpp"
#include "framework/window_calls.hpp"

#include <algorithm>
#include <iterator>
#include <span>

namespace tray {

TAppEventList* AppEventHub = nullptr;

namespace {

// Module finalisation: the hub goes when the program ends, and is not made again.
struct HubFinaliser {
    bool finished = false;
    ~HubFinaliser() {
        finished = true;
        delete std::exchange(AppEventHub, nullptr);
    }
};
HubFinaliser g_finaliser;

} // namespace

// ---- TAppEvents --------------------------------------------------------------------

void TAppEvents::Describe(fw::TClassBuilder<TAppEvents>& c) {
    c.Prop("Chained", &TAppEvents::Chained, true);
    c.Prop("HintColor", &TAppEvents::HintColor, &TAppEvents::SetHintColor, fw::clInfoBk)
        .WithIdents(fw::ColorIdents());
    c.Prop("HintPause", &TAppEvents::HintPause, &TAppEvents::SetHintPause, 500);
    c.Prop("ShowHint", &TAppEvents::ShowHint, &TAppEvents::SetShowHint, true);
    c.Prop("UpdateFormatSettings", &TAppEvents::UpdateFormatSettings,
           &TAppEvents::SetUpdateFormatSettings, true);
    c.Prop("HintShortPause", &TAppEvents::HintShortPause, &TAppEvents::SetHintShortPause, 50);
    c.Prop("HintHidePause", &TAppEvents::HintHidePause, &TAppEvents::SetHintHidePause, 2500);
    c.Prop("ShowMainForm", &TAppEvents::ShowMainForm, &TAppEvents::SetShowMainForm, true);
    c.Prop("UpdateMetricSettings", &TAppEvents::UpdateMetricSettings,
           &TAppEvents::SetUpdateMetricSettings, true);
    c.Prop("HintShortCuts", &TAppEvents::HintShortCuts, &TAppEvents::SetHintShortCuts, true);
    c.Prop("BiDiMode", &TAppEvents::BiDiMode, &TAppEvents::SetBiDiMode, fw::bdLeftToRight);
    c.Prop("MouseDragImmediate", &TAppEvents::MouseDragImmediate,
           &TAppEvents::SetMouseDragImmediate, true);
    c.Prop("MouseDragThreshold", &TAppEvents::MouseDragThreshold,
           &TAppEvents::SetMouseDragThreshold, 5);
    c.Prop("OnActionExecute", &TAppEvents::OnActionExecute);
    c.Prop("OnActionUpdate", &TAppEvents::OnActionUpdate);
    c.Prop("OnShortCut", &TAppEvents::OnShortCut);
    c.Prop("BiDiKeyboard", &TAppEvents::BiDiKeyboard, &TAppEvents::SetBiDiKeyboard, "");
    c.Prop("NonBiDiKeyboard", &TAppEvents::NonBiDiKeyboard, &TAppEvents::SetNonBiDiKeyboard, "");
    c.Prop("OnActivate", &TAppEvents::OnActivate);
    c.Prop("OnDeactivate", &TAppEvents::OnDeactivate);
    c.Prop("OnException", &TAppEvents::OnException);
    c.Prop("OnIdle", &TAppEvents::OnIdle);
    c.Prop("OnHelp", &TAppEvents::OnHelp);
    c.Prop("OnHint", &TAppEvents::OnHint);
    c.Prop("OnMessage", &TAppEvents::OnMessage);
    c.Prop("OnMinimize", &TAppEvents::OnMinimize);
    c.Prop("OnPaintIcon", &TAppEvents::OnPaintIcon);
    c.Prop("OnRestore", &TAppEvents::OnRestore);
    c.Prop("OnShowHint", &TAppEvents::OnShowHint);
    c.Prop("OnSettingsChanged", &TAppEvents::OnSettingsChanged);
    c.Prop("OnActiveControlChange", &TAppEvents::OnActiveControlChange);
    c.Prop("OnActiveFormChange", &TAppEvents::OnActiveFormChange);
}

TAppEvents::TAppEvents(fw::TComponent* owner) : fw::TComponent(owner) {
    if (!AppEventHub && !g_finaliser.finished) AppEventHub = new TAppEventList;
    if (!Designing() && fw::Application)
        fw::Application->HookMainWindow(fw::Bind<&TAppEvents::MainWindowHook>(this));
    if (AppEventHub) AppEventHub->Attach(this);
}

TAppEvents::~TAppEvents() {
    if (!Designing() && fw::Application)
        fw::Application->UnhookMainWindow(fw::Bind<&TAppEvents::MainWindowHook>(this));
    if (AppEventHub) AppEventHub->Detach(this);
    canvas_.reset();
}

void TAppEvents::Loaded() {
    fw::TComponent::Loaded();
    ApplySettings();
}

void TAppEvents::ApplySettings() {
    if (!Live()) return;
    fw::TApplication& app = *fw::Application;
    app.SetHintColor(hint_color_);
    app.HintPause = hint_pause_;
    app.SetShowHint(show_hint_);
    app.HintShortPause = hint_short_pause_;
    app.HintHidePause = hint_hide_pause_;
    app.ShowMainForm = show_main_form_;
    app.UpdateFormatSettings = update_format_settings_;
    app.UpdateMetricSettings = update_metric_settings_;
    app.HintShortCuts = hint_short_cuts_;
    app.SetBiDiMode(bidi_mode_);
    if (fw::Mouse) {
        fw::Mouse->DragImmediate = mouse_drag_immediate_;
        fw::Mouse->DragThreshold = mouse_drag_threshold_;
    }
    app.BiDiKeyboard = bidi_keyboard_;
    app.NonBiDiKeyboard = non_bidi_keyboard_;
}

fw::TColor TAppEvents::HintColor() const {
    return Live() ? fw::Application->HintColor() : hint_color_;
}
void TAppEvents::SetHintColor(fw::TColor value) {
    hint_color_ = value;
    if (Live()) fw::Application->SetHintColor(value);
}
int TAppEvents::HintPause() const {
    return Live() ? fw::Application->HintPause : hint_pause_;
}
void TAppEvents::SetHintPause(int value) {
    hint_pause_ = value;
    if (Live()) fw::Application->HintPause = value;
}
bool TAppEvents::ShowHint() const {
    return Live() ? fw::Application->ShowHint() : show_hint_;
}
void TAppEvents::SetShowHint(bool value) {
    show_hint_ = value;
    if (Live()) fw::Application->SetShowHint(value);
}
bool TAppEvents::UpdateFormatSettings() const {
    return Live() ? fw::Application->UpdateFormatSettings : update_format_settings_;
}
void TAppEvents::SetUpdateFormatSettings(bool value) {
    update_format_settings_ = value;
    if (Live()) fw::Application->UpdateFormatSettings = value;
}
int TAppEvents::HintShortPause() const {
    return Live() ? fw::Application->HintShortPause : hint_short_pause_;
}
void TAppEvents::SetHintShortPause(int value) {
    hint_short_pause_ = value;
    if (Live()) fw::Application->HintShortPause = value;
}
int TAppEvents::HintHidePause() const {
    return Live() ? fw::Application->HintHidePause : hint_hide_pause_;
}
void TAppEvents::SetHintHidePause(int value) {
    hint_hide_pause_ = value;
    if (Live()) fw::Application->HintHidePause = value;
}
bool TAppEvents::ShowMainForm() const {
    return Live() ? fw::Application->ShowMainForm : show_main_form_;
}
void TAppEvents::SetShowMainForm(bool value) {
    show_main_form_ = value;
    if (Live()) fw::Application->ShowMainForm = value;
}
bool TAppEvents::UpdateMetricSettings() const {
    return Live() ? fw::Application->UpdateMetricSettings : update_metric_settings_;
}
void TAppEvents::SetUpdateMetricSettings(bool value) {
    update_metric_settings_ = value;
    if (Live()) fw::Application->UpdateMetricSettings = value;
}
bool TAppEvents::HintShortCuts() const {
    return Live() ? fw::Application->HintShortCuts : hint_short_cuts_;
}
void TAppEvents::SetHintShortCuts(bool value) {
    hint_short_cuts_ = value;
    if (Live()) fw::Application->HintShortCuts = value;
}
fw::TBiDiMode TAppEvents::BiDiMode() const {
    return Live() ? fw::Application->BiDiMode() : bidi_mode_;
}
void TAppEvents::SetBiDiMode(fw::TBiDiMode value) {
    bidi_mode_ = value;
    if (Live()) fw::Application->SetBiDiMode(value);
}
bool TAppEvents::MouseDragImmediate() const {
    return Live() && fw::Mouse ? fw::Mouse->DragImmediate : mouse_drag_immediate_;
}
void TAppEvents::SetMouseDragImmediate(bool value) {
    mouse_drag_immediate_ = value;
    if (Live() && fw::Mouse) fw::Mouse->DragImmediate = value;
}
int TAppEvents::MouseDragThreshold() const {
    return Live() && fw::Mouse ? fw::Mouse->DragThreshold : mouse_drag_threshold_;
}
void TAppEvents::SetMouseDragThreshold(int value) {
    mouse_drag_threshold_ = value;
    if (Live() && fw::Mouse) fw::Mouse->DragThreshold = value;
}
std::string TAppEvents::BiDiKeyboard() const {
    return Live() ? fw::Application->BiDiKeyboard : bidi_keyboard_;
}
void TAppEvents::SetBiDiKeyboard(const std::string& value) {
    bidi_keyboard_ = value;
    if (Live()) fw::Application->BiDiKeyboard = value;
}
std::string TAppEvents::NonBiDiKeyboard() const {
    return Live() ? fw::Application->NonBiDiKeyboard : non_bidi_keyboard_;
}
void TAppEvents::SetNonBiDiKeyboard(const std::string& value) {
    non_bidi_keyboard_ = value;
    if (Live()) fw::Application->NonBiDiKeyboard = value;
}

fw::TCanvas& TAppEvents::Canvas() {
    if (!canvas_) canvas_ = std::make_unique<fw::TCanvas>();
    return *canvas_;
}

bool TAppEvents::MainWindowHook(fw::TMessage& message) {
    switch (message.Msg) {
    case fw::WM_PAINT:
        if (OnPaintIcon.Assigned() && fw::Application && fw::IsIconic(fw::Application->Handle())) {
            PaintMinimizedIcon();
            return true;
        }
        return false;
    case fw::WM_WININICHANGE:
        fw::Guarded(this, [this] { HandleSettingsChanged(); });
        return false;
    default:
        return false;
    }
}

void TAppEvents::HandleSettingsChanged() {
    if (OnSettingsChanged.Assigned()) OnSettingsChanged(this);
}

void TAppEvents::PaintMinimizedIcon() {
    const fw::HWND window = fw::Application->Handle();
    fw::PAINTSTRUCT paint;
    fw::BeginPaint(window, paint);
    canvas_ = std::make_unique<fw::TCanvas>();
    struct Finish {
        TAppEvents& self;
        fw::HWND window;
        const fw::PAINTSTRUCT& paint;
        ~Finish() {
            self.canvas_.reset();
            fw::EndPaint(window, paint);
        }
    } finish{*this, window, paint};
    if (paint.surface) canvas_->Attach(*paint.surface);
    canvas_->Brush().SetColor(fw::clBackground);
    if (paint.fErase && paint.surface) canvas_->FillRect(paint.rcPaint);
    if (OnPaintIcon.Assigned()) OnPaintIcon(this);
}

// ---- TAppEventList -----------------------------------------------------------------

TAppEventList::TAppEventList() = default;

TAppEventList::~TAppEventList() {
    ReleaseApplication();
    members_.clear();
}

void TAppEventList::Attach(TAppEvents* events) {
    if (!events || std::find(members_.begin(), members_.end(), events) != members_.end()) return;
    members_.push_back(events);
    if (events->ComponentState().contains(fw::csDesigning)) return;
    if (members_.size() == 1) HookApplication();
}

void TAppEventList::Detach(TAppEvents* events) {
    auto it = std::find(members_.begin(), members_.end(), events);
    if (it != members_.end()) members_.erase(it);
    if (events && !events->ComponentState().contains(fw::csDesigning) && members_.empty())
        ReleaseApplication();
}

void TAppEventList::HookApplication() {
    if (!fw::Application) return;
    fw::TApplication& app = *fw::Application;
    saved_handlers_[slActivate] = app.OnActivate.Method();
    saved_handlers_[slDeactivate] = app.OnDeactivate.Method();
    saved_handlers_[slException] = app.OnException.Method();
    saved_handlers_[slIdle] = app.OnIdle.Method();
    saved_handlers_[slHelp] = app.OnHelp.Method();
    saved_handlers_[slHint] = app.OnHint.Method();
    saved_handlers_[slMessage] = app.OnMessage.Method();
    saved_handlers_[slMinimize] = app.OnMinimize.Method();
    saved_handlers_[slRestore] = app.OnRestore.Method();
    saved_handlers_[slShowHint] = app.OnShowHint.Method();
    if (fw::Screen) {
        saved_handlers_[slActiveControlChange] = fw::Screen->OnActiveControlChange.Method();
        saved_handlers_[slActiveFormChange] = fw::Screen->OnActiveFormChange.Method();
    }
    saved_handlers_[slActionExecute] = app.OnActionExecute.Method();
    saved_handlers_[slActionUpdate] = app.OnActionUpdate.Method();
    saved_handlers_[slShortCut] = app.OnShortCut.Method();

    app.OnActivate = fw::Bind<&TAppEventList::DoActivate>(this);
    app.OnDeactivate = fw::Bind<&TAppEventList::DoDeactivate>(this);
    app.OnException = fw::Bind<&TAppEventList::DoException>(this);
    app.OnIdle = fw::Bind<&TAppEventList::DoIdle>(this);
    app.OnHelp = fw::Bind<&TAppEventList::DoHelp>(this);
    app.OnHint = fw::Bind<&TAppEventList::DoHint>(this);
    app.OnMessage = fw::Bind<&TAppEventList::DoMessage>(this);
    app.OnMinimize = fw::Bind<&TAppEventList::DoMinimize>(this);
    app.OnRestore = fw::Bind<&TAppEventList::DoRestore>(this);
    app.OnShowHint = fw::Bind<&TAppEventList::DoShowHint>(this);
    if (fw::Screen) {
        fw::Screen->OnActiveControlChange = fw::Bind<&TAppEventList::DoActiveControlChange>(this);
        fw::Screen->OnActiveFormChange = fw::Bind<&TAppEventList::DoActiveFormChange>(this);
    }
    app.OnActionExecute = fw::Bind<&TAppEventList::DoActionExecute>(this);
    app.OnActionUpdate = fw::Bind<&TAppEventList::DoActionUpdate>(this);
    app.OnShortCut = fw::Bind<&TAppEventList::DoShortCut>(this);
    hooked_ = true;
}

void TAppEventList::ReleaseApplication() {
    if (!hooked_) return;
    if (fw::TApplication* app = fw::Application) {
        app->OnActivate = nullptr;
        app->OnDeactivate = nullptr;
        app->OnException = nullptr;
        app->OnIdle = nullptr;
        app->OnHelp = nullptr;
        app->OnHint = nullptr;
        app->OnMessage = nullptr;
        app->OnMinimize = nullptr;
        app->OnRestore = nullptr;
        app->OnShowHint = nullptr;
        app->OnActionExecute = nullptr;
        app->OnActionUpdate = nullptr;
        app->OnShortCut = nullptr;
    }
    if (fw::Screen) {
        fw::Screen->OnActiveControlChange = nullptr;
        fw::Screen->OnActiveFormChange = nullptr;
    }
}

template <class Visit> bool TAppEventList::Walk(Visit&& visit) {
    // A copy: a handler may create or destroy members; one destroyed meanwhile is skipped.
    // On the stack when there are few, as there are: this runs on every idle turn.
    TAppEvents* few[8];
    std::vector<TAppEvents*> many;
    std::span<TAppEvents* const> members;
    if (members_.size() <= std::size(few)) {
        std::copy(members_.begin(), members_.end(), few);
        members = {few, members_.size()};
    } else {
        many = members_;
        members = many;
    }
    for (auto it = members.rbegin(); it != members.rend(); ++it) {
        TAppEvents* member = *it;
        if (std::find(members_.begin(), members_.end(), member) == members_.end()) continue;
        const bool handled = visit(*member);
        if (!member->Chained || handled) return false;
    }
    return true;
}

template <class Event, class... A> bool TAppEventList::CallSaved(TSlot slot, A&&... args) {
    const Event saved = Event::FromMethod(saved_handlers_[slot]);
    if (!saved.Assigned()) return false;
    saved(std::forward<A>(args)...);
    return true;
}

void TAppEventList::DoActivate(fw::TObject* Sender) {
    if (Walk([&](TAppEvents& m) {
            if (m.OnActivate.Assigned()) m.OnActivate(Sender);
            return false;
        }))
        CallSaved<fw::TNotifyEvent>(slActivate, Sender);
}

void TAppEventList::DoDeactivate(fw::TObject* Sender) {
    if (Walk([&](TAppEvents& m) {
            if (m.OnDeactivate.Assigned()) m.OnDeactivate(Sender);
            return false;
        }))
        CallSaved<fw::TNotifyEvent>(slDeactivate, Sender);
}

void TAppEventList::DoException(fw::TObject* Sender, const std::exception& E) {
    bool called = false;
    if (Walk([&](TAppEvents& m) {
            if (m.OnException.Assigned()) {
                called = true;
                m.OnException(Sender, E);
            }
            return false;
        }))
        called = CallSaved<fw::TExceptionEvent>(slException, Sender, E) || called;
    // Never dropped silently: with no handler reached, the default display shows it.
    if (!called && fw::Application) fw::Application->ShowException(E);
}

[[gnu::hot]] void TAppEventList::DoIdle(fw::TObject* Sender, bool& Done) {
    // Every idle turn comes here, and members seldom handle it. With none that does, no
    // handler can change the chain, so it is looked through in place, without a copy.
    if (std::none_of(members_.begin(), members_.end(),
                     [](const TAppEvents* m) { return m->OnIdle.Assigned(); })) {
        if (std::all_of(members_.begin(), members_.end(),
                        [](const TAppEvents* m) { return m->Chained; }))
            CallSaved<fw::TIdleEvent>(slIdle, Sender, Done);
        return;
    }
    WalkIdle(Sender, Done);
}

[[gnu::noinline]] void TAppEventList::WalkIdle(fw::TObject* Sender, bool& Done) {
    if (Walk([&](TAppEvents& m) {
            if (m.OnIdle.Assigned()) m.OnIdle(Sender, Done);
            return false;
        }))
        CallSaved<fw::TIdleEvent>(slIdle, Sender, Done);
}

bool TAppEventList::DoHelp(std::uint16_t Command, std::int32_t Data, bool& CallHelp) {
    bool result = false;
    if (Walk([&](TAppEvents& m) {
            if (m.OnHelp.Assigned()) result = m.OnHelp(Command, Data, CallHelp);
            return false;
        })) {
        const auto saved = fw::THelpEvent::FromMethod(saved_handlers_[slHelp]);
        if (saved.Assigned()) result = saved(Command, Data, CallHelp);
    }
    return result;
}

void TAppEventList::DoHint(fw::TObject* Sender) {
    if (Walk([&](TAppEvents& m) {
            if (m.OnHint.Assigned()) m.OnHint(Sender);
            return false;
        }))
        CallSaved<fw::TNotifyEvent>(slHint, Sender);
}

void TAppEventList::DoMessage(fw::MSG& Msg, bool& Handled) {
    if (Walk([&](TAppEvents& m) {
            if (m.OnMessage.Assigned()) m.OnMessage(Msg, Handled);
            return Handled;
        }))
        CallSaved<fw::TMessageEvent>(slMessage, Msg, Handled);
}

void TAppEventList::DoMinimize(fw::TObject* Sender) {
    if (Walk([&](TAppEvents& m) {
            if (m.OnMinimize.Assigned()) m.OnMinimize(Sender);
            return false;
        }))
        CallSaved<fw::TNotifyEvent>(slMinimize, Sender);
}

void TAppEventList::DoRestore(fw::TObject* Sender) {
    if (Walk([&](TAppEvents& m) {
            if (m.OnRestore.Assigned()) m.OnRestore(Sender);
            return false;
        }))
        CallSaved<fw::TNotifyEvent>(slRestore, Sender);
}

void TAppEventList::DoShowHint(std::string& HintStr, bool& CanShow, fw::THintInfo& HintInfo) {
    if (Walk([&](TAppEvents& m) {
            if (m.OnShowHint.Assigned()) m.OnShowHint(HintStr, CanShow, HintInfo);
            return false;
        }))
        CallSaved<fw::TShowHintEvent>(slShowHint, HintStr, CanShow, HintInfo);
}

void TAppEventList::DoActiveControlChange(fw::TObject* Sender) {
    if (Walk([&](TAppEvents& m) {
            if (m.OnActiveControlChange.Assigned()) m.OnActiveControlChange(Sender);
            return false;
        }))
        CallSaved<fw::TNotifyEvent>(slActiveControlChange, Sender);
}

void TAppEventList::DoActiveFormChange(fw::TObject* Sender) {
    if (Walk([&](TAppEvents& m) {
            if (m.OnActiveFormChange.Assigned()) m.OnActiveFormChange(Sender);
            return false;
        }))
        CallSaved<fw::TNotifyEvent>(slActiveFormChange, Sender);
}

void TAppEventList::DoActionExecute(fw::TBasicAction* Action, bool& Handled) {
    if (Walk([&](TAppEvents& m) {
            if (m.OnActionExecute.Assigned()) m.OnActionExecute(Action, Handled);
            return Handled;
        }))
        CallSaved<fw::TActionEvent>(slActionExecute, Action, Handled);
}

void TAppEventList::DoActionUpdate(fw::TBasicAction* Action, bool& Handled) {
    if (Walk([&](TAppEvents& m) {
            if (m.OnActionUpdate.Assigned()) m.OnActionUpdate(Action, Handled);
            return Handled;
        }))
        CallSaved<fw::TActionEvent>(slActionUpdate, Action, Handled);
}

void TAppEventList::DoShortCut(fw::TWMKey& Msg, bool& Handled) {
    if (Walk([&](TAppEvents& m) {
            if (m.OnShortCut.Assigned()) m.OnShortCut(Msg, Handled);
            return Handled;
        }))
        CallSaved<fw::TShortCutEvent>(slShortCut, Msg, Handled);
}

} // namespace tray
