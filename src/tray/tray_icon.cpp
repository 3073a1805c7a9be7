// The tray icon: its record for the notification area, adding and removing, the mouse
// reports of its hidden window, the popup menu, and the animation's side of the icon.
#include "tray/tray_icon.hpp"

#include "framework/application.hpp"
#include "framework/exception_guard.hpp"
#include "framework/window_calls.hpp"
#include "tray/timer_thread.hpp"

#include <algorithm>
#include <cstring>
#include <utility>

namespace tray {

void TTrayIcon::Describe(fw::TClassBuilder<TTrayIcon>& c) {
    using ConstIcon = const fw::TIcon& (TTrayIcon::*)() const;
    using ConstIcons = const TIconList& (TTrayIcon::*)() const;
    c.Prop("Active", &TTrayIcon::Active, &TTrayIcon::SetActive, true);
    c.Prop("Enabled", &TTrayIcon::Enabled, &TTrayIcon::SetEnabled, true);
    c.Prop("Hint", &TTrayIcon::Hint, &TTrayIcon::SetHint, "");
    c.Prop("Icon", static_cast<ConstIcon>(&TTrayIcon::Icon), &TTrayIcon::SetIcon);
    c.Prop("Icons", static_cast<ConstIcons>(&TTrayIcon::Icons), &TTrayIcon::SetIcons);
    c.Prop("Animated", &TTrayIcon::Animated, &TTrayIcon::SetAnimated, false);
    c.Prop("Interval", &TTrayIcon::Interval, &TTrayIcon::SetInterval, 150);
    c.Prop("PopupMenu", &TTrayIcon::PopupMenu, &TTrayIcon::SetPopupMenu);
    c.Prop("ShowDesign", &TTrayIcon::ShowDesign, &TTrayIcon::SetShowDesign, false).Stored(false);
    c.Prop("OnClick", &TTrayIcon::OnClick);
    c.Prop("OnDblClick", &TTrayIcon::OnDblClick);
    c.Prop("OnMouseMove", &TTrayIcon::OnMouseMove);
    c.Prop("OnMouseDown", &TTrayIcon::OnMouseDown);
    c.Prop("OnMouseUp", &TTrayIcon::OnMouseUp);
}

TTrayIcon::TTrayIcon(fw::TComponent* owner)
    : fw::TComponent(owner),
      window_(std::make_unique<fw::HiddenWindow>([this](fw::TMessage& m) { TrayWindowProc(m); })),
      icon_(std::make_unique<fw::TIcon>()), icons_(std::make_unique<TIconList>()) {
    icon_->OnChange = fw::Bind<&TTrayIcon::PicturesChanged>(this);
    icons_->OnChange = fw::Bind<&TTrayIcon::PicturesChanged>(this);
    frame_index_ = -1;
    enabled_ = true;
    interval_ = 150;
    active_ = true;
}

TTrayIcon::~TTrayIcon() {
    Destroying();
    enabled_ = false;
    icons_->OnChange = nullptr;
    icon_->OnChange = nullptr;
    StopAnimation();
    RemoveFromTray();
    window_.reset();
    icon_.reset();
    icons_.reset();
}

void TTrayIcon::Loaded() {
    fw::TComponent::Loaded();
    if (active_ && !Designing()) AddToTray();
}

void TTrayIcon::Notification(fw::TComponent* component, fw::TOperation operation) {
    fw::TComponent::Notification(component, operation);
    if (operation == fw::opRemove && component == popup_menu_) popup_menu_ = nullptr;
}

// ---- Properties --------------------------------------------------------------------

void TTrayIcon::SetActive(bool value) {
    if (value == active_) return;
    active_ = value;
    if (Designing()) return;
    if (value)
        AddToTray();
    else
        RemoveFromTray();
}

void TTrayIcon::SetHint(const std::string& value) {
    if (value == hint_) return;
    hint_ = value;
    RefreshTray();
}

void TTrayIcon::SetIcon(const fw::TIcon& value) {
    icon_->Assign(value); // its change notice refreshes
}

void TTrayIcon::SetIcons(const TIconList& value) {
    icons_->Assign(value);
}

void TTrayIcon::SetInterval(std::uint16_t value) {
    interval_ = value;
    if (animation_thread_) animation_thread_->SetInterval(value);
}

void TTrayIcon::SetPopupMenu(fw::TPopupMenu* value) {
    if (value == popup_menu_) return;
    if (popup_menu_) popup_menu_->RemoveFreeNotification(this);
    popup_menu_ = value;
    if (value) value->FreeNotification(this);
}

void TTrayIcon::SetShowDesign(bool value) {
    if (!Designing()) return;
    if (value)
        AddToTray();
    else
        RemoveFromTray();
    show_design_ = added_;
}

void TTrayIcon::PicturesChanged(fw::TObject*) {
    RefreshTray();
}

// ---- The notification area ---------------------------------------------------------

const fw::TIcon* TTrayIcon::DisplayedIcon() const {
    if (icons_ && icons_->Count() > 0 && animated_) {
        const int i = std::clamp(frame_index_, 0, icons_->Count() - 1);
        return icons_->Items(i);
    }
    return icon_.get();
}

std::string TTrayIcon::ShortHint() const {
    return hint_.substr(0, hint_.find('|'));
}

void TTrayIcon::BuildNotifyData() {
    notify_data_ = {};
    notify_data_.cbSize = fw::kNotifyIconDataSize;
    notify_data_.hWnd = WindowHandle();
    notify_data_.uID = 0;
    notify_data_.uFlags = fw::NIF_MESSAGE | fw::NIF_ICON | fw::NIF_TIP;
    notify_data_.uCallbackMessage = TrayCallbackMessage;
    notify_data_.hIcon = DisplayedIcon();
    const std::string tip = ShortHint();
    const std::size_t n = std::min(tip.size(), sizeof notify_data_.szTip - 1);
    std::memcpy(notify_data_.szTip, tip.data(), n);
    notify_data_.szTip[n] = '\0';
}

void TTrayIcon::AddToTray() {
    RemoveFromTray();
    const fw::TIcon* icon = DisplayedIcon();
    if (!icon || icon->Empty()) return;
    pending_clicks_ = {};
    BuildNotifyData();
    added_ = fw::Shell_NotifyIcon(fw::NIM_ADD, notify_data_);
    if (ShortHint().empty() && added_) fw::Shell_NotifyIcon(fw::NIM_MODIFY, notify_data_);
    // Frames advance only while the icon is shown: a failed add leaves the worker waiting.
    if (animated_ && animation_thread_ && added_) {
        while (animation_thread_->Suspended())
            animation_thread_->Resume();
    }
}

void TTrayIcon::RemoveFromTray() {
    fw::Shell_NotifyIcon(fw::NIM_DELETE, notify_data_);
    added_ = false;
    pending_clicks_ = {};
    if (animated_ && animation_thread_ && !animation_thread_->Suspended())
        animation_thread_->Suspend();
}

void TTrayIcon::RefreshTray() {
    if (!icons_ || !icon_) return;
    if (icons_->Count() == 0 && animated_) {
        // Switching off refreshes by itself.
        SetAnimated(false);
        return;
    }
    if (added_) {
        const fw::TIcon* icon = DisplayedIcon();
        if (!icon || icon->Empty()) {
            RemoveFromTray();
        } else {
            BuildNotifyData();
            fw::Shell_NotifyIcon(fw::NIM_MODIFY, notify_data_);
        }
        return;
    }
    if (Designing() ? show_design_ : active_) AddToTray();
}

// ---- Animation ---------------------------------------------------------------------

void TTrayIcon::SetAnimated(bool value) {
    const bool on = value && icons_->Count() > 0;
    if (on == animated_) return;
    if (on) {
        ++animation_number_;
        animation_thread_ = fw::NewThread<TTimerThread>(this, !added_);
        animated_ = true;
    } else {
        StopAnimation();
    }
    frame_index_ = 0;
    RefreshTray();
}

void TTrayIcon::StopAnimation() {
    animated_ = false;
    TTimerThread* worker = std::exchange(animation_thread_, nullptr);
    if (!worker) return;
    // Detached first: whatever it does from now on, it never reaches this icon again.
    worker->Detach();
    while (worker->Suspended())
        worker->Resume();
    // It may free itself as soon as this returns.
    worker->Terminate();
}

void TTrayIcon::AdvanceFrame() {
    if (ComponentState().contains(fw::csDestroying) || !animated_) return;
    ++frame_index_;
    if (!icons_ || frame_index_ >= icons_->Count()) frame_index_ = 0;
    RefreshTray();
}

void TTrayIcon::FrameStep(fw::WPARAM animation) {
    // A step of a worker that has been switched off, or one that crossed a removal.
    if (animation != animation_number_ || !animation_thread_) return;
    animation_thread_->StepHandled();
    if (!added_ || (fw::Application && fw::Application->Terminated())) return;
    AdvanceFrame();
}

// ---- Mouse reports -----------------------------------------------------------------

void TTrayIcon::TrayWindowProc(fw::TMessage& message) {
    if (message.Msg == WM_TRAYFRAMESTEP) {
        fw::Guarded(this, [&] { FrameStep(message.WParam); });
        return;
    }
    if (message.Msg == TrayCallbackMessage && enabled_) {
        try {
            DispatchReport(message.LParam);
        } catch (...) {
            fw::HandleException(this);
        }
        message.Result = 0;
        return;
    }
    message.Result = fw::DefWindowProc(WindowHandle(), message.Msg, message.WParam, message.LParam);
}

namespace {

fw::TShiftState CurrentKeyShift() {
    fw::TShiftState keys;
    if (fw::GetKeyState(fw::VK_SHIFT) < 0) keys.insert(fw::ssShift);
    if (fw::GetKeyState(fw::VK_CONTROL) < 0) keys.insert(fw::ssCtrl);
    if (fw::GetKeyState(fw::VK_MENU) < 0) keys.insert(fw::ssAlt);
    return keys;
}

} // namespace

void TTrayIcon::DispatchReport(fw::LPARAM report) {
    if (report < fw::WM_MOUSEMOVE || report > fw::WM_MBUTTONDBLCLK) return;
    fw::TPoint p;
    fw::GetCursorPos(&p);
    const fw::TShiftState keys = CurrentKeyShift();
    const fw::TShiftState left = keys | fw::TShiftState{fw::ssLeft};
    const fw::TShiftState right = keys | fw::TShiftState{fw::ssRight};
    const fw::TShiftState middle = keys | fw::TShiftState{fw::ssMiddle};
    const fw::TShiftState twice = keys | fw::TShiftState{fw::ssDouble};
    switch (static_cast<fw::UINT>(report)) {
    case fw::WM_MOUSEMOVE:
        HandleMouseMove(keys, p.X, p.Y);
        break;
    case fw::WM_LBUTTONDOWN:
        HandleMouseDown(fw::mbLeft, left, p.X, p.Y);
        pending_clicks_.insert(pcLeft);
        break;
    case fw::WM_LBUTTONUP:
        if (pending_clicks_.contains(pcLeft)) {
            pending_clicks_.erase(pcLeft);
            HandleClick(fw::mbLeft, left, p.X, p.Y);
        }
        HandleMouseUp(fw::mbLeft, left, p.X, p.Y);
        break;
    case fw::WM_LBUTTONDBLCLK:
        HandleDblClick();
        HandleMouseDown(fw::mbLeft, twice, p.X, p.Y);
        break;
    case fw::WM_RBUTTONDOWN:
        HandleMouseDown(fw::mbRight, right, p.X, p.Y);
        pending_clicks_.insert(pcRight);
        break;
    case fw::WM_RBUTTONUP:
        if (pending_clicks_.contains(pcRight)) {
            pending_clicks_.erase(pcRight);
            HandleClick(fw::mbRight, right, p.X, p.Y);
        }
        HandleMouseUp(fw::mbRight, right, p.X, p.Y);
        break;
    case fw::WM_RBUTTONDBLCLK:
        HandleMouseDown(fw::mbRight, twice, p.X, p.Y);
        break;
    case fw::WM_MBUTTONDOWN:
        HandleMouseDown(fw::mbMiddle, middle, p.X, p.Y);
        break;
    case fw::WM_MBUTTONUP:
        HandleMouseUp(fw::mbMiddle, middle, p.X, p.Y);
        break;
    case fw::WM_MBUTTONDBLCLK:
        HandleMouseDown(fw::mbMiddle, twice, p.X, p.Y);
        break;
    default:
        break;
    }
}

void TTrayIcon::HandleMouseDown(fw::TMouseButton button, fw::TShiftState shift, int x, int y) {
    if (OnMouseDown.Assigned()) OnMouseDown(this, button, shift, x, y);
}

void TTrayIcon::HandleMouseMove(fw::TShiftState shift, int x, int y) {
    if (OnMouseMove.Assigned()) OnMouseMove(this, shift, x, y);
}

void TTrayIcon::HandleMouseUp(fw::TMouseButton button, fw::TShiftState shift, int x, int y) {
    if (OnMouseUp.Assigned()) OnMouseUp(this, button, shift, x, y);
}

void TTrayIcon::HandleClick(fw::TMouseButton button, fw::TShiftState shift, int x, int y) {
    if (button == fw::mbRight && ShowPopup(x, y)) return;
    if (OnClick.Assigned()) OnClick(this, button, shift, x, y);
}

void TTrayIcon::HandleDblClick() {
    if (ClickDefaultItem()) return;
    if (OnDblClick.Assigned()) OnDblClick(this);
}

// ---- The popup menu ----------------------------------------------------------------

bool TTrayIcon::ShowPopup(int x, int y) {
    if (Designing() || !active_ || !popup_menu_ || !popup_menu_->AutoPopup) return false;
    popup_menu_->SetPopupComponent(this);
    CancelFormModes();
    const fw::HWND window = WindowHandle();
    ForegroundIfEnabled(window);
    if (fw::Application) fw::Application->ProcessMessages();
    // What ran meanwhile may have destroyed the menu.
    if (!popup_menu_) return false;
    try {
        popup_menu_->Popup(x, y);
    } catch (...) {
        ForegroundIfEnabled(window);
        throw;
    }
    ForegroundIfEnabled(window);
    return true;
}

bool TTrayIcon::ClickDefaultItem() {
    if (Designing() || !active_ || !popup_menu_ || !popup_menu_->Items()) return false;
    const fw::TMenuItem& root = *popup_menu_->Items();
    for (int i = 0; i < root.Count(); ++i) {
        fw::TMenuItem* item = root.Items(i);
        if (item->Default && item->Enabled) {
            item->Click();
            return true;
        }
    }
    return false;
}

void TTrayIcon::CancelFormModes() {
    if (ComponentState().contains(fw::csDestroying)) return;
    fw::TCustomForm* form = fw::Screen ? fw::Screen->ActiveForm() : nullptr;
    if (!form && fw::Application) form = fw::Application->MainForm();
    if (form) fw::SendCancelMode(*form);
}

void TTrayIcon::ForegroundIfEnabled(fw::HWND window) {
    if (fw::IsWindowEnabled(window)) fw::SetForegroundWindow(window);
}

} // namespace tray
