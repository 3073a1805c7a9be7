// TTrayIcon: keeps one icon with its tip in the notification area while Active, turns the
// area's mouse reports into click, double-click and mouse events, shows a popup menu on a
// right click and runs its default item on a double click, and can cycle through the
// frames of an icon list. The area reports to a hidden window of the component's own.
#pragma once

#include "framework/components.hpp"
#include "framework/events.hpp"
#include "framework/graphics/icon.hpp"
#include "framework/menus.hpp"
#include "framework/message_loop.hpp"
#include "framework/shell.hpp"
#include "tray/icon_list.hpp"

#include <cstdint>
#include <memory>
#include <string>

namespace tray {

class TTimerThread;

// The message the notification area sends the hidden window; lParam is the mouse message.
inline constexpr fw::UINT TrayCallbackMessage = 0xB054;

class TTrayIcon : public fw::TComponent {
    FW_CLASS(TTrayIcon, fw::TComponent)
public:
    explicit TTrayIcon(fw::TComponent* owner);
    ~TTrayIcon() override;
    static void Describe(fw::TClassBuilder<TTrayIcon>& c);

    void Loaded() override;
    void Notification(fw::TComponent* component, fw::TOperation operation) override;

    // The owner wants the icon shown; at run time True adds it, False removes it.
    bool Active() const { return active_; }
    void SetActive(bool value);
    // While False, mouse reports raise no events.
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value) { enabled_ = value; }
    // The tip is the text before the first '|', at most 63 characters of it.
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& value);
    // The still picture: an owned copy.
    fw::TIcon& Icon() { return *icon_; }
    const fw::TIcon& Icon() const { return *icon_; }
    void SetIcon(const fw::TIcon& value);
    // The animation frames: an owned copy.
    TIconList& Icons() { return *icons_; }
    const TIconList& Icons() const { return *icons_; }
    void SetIcons(const TIconList& value);
    // Cycles through Icons every Interval milliseconds while the icon is shown; needs at
    // least one frame.
    bool Animated() const { return animated_; }
    void SetAnimated(bool value);
    std::uint16_t Interval() const { return interval_; }
    void SetInterval(std::uint16_t value);
    // Shown on a right click; not owned, cleared when the menu is destroyed.
    fw::TPopupMenu* PopupMenu() const { return popup_menu_; }
    void SetPopupMenu(fw::TPopupMenu* value);
    // In a designer: whether the icon is shown there. At run time it does nothing.
    bool ShowDesign() const { return show_design_; }
    void SetShowDesign(bool value);

    fw::TMouseEvent OnClick;
    fw::TNotifyEvent OnDblClick;
    fw::TMouseMoveEvent OnMouseMove;
    fw::TMouseEvent OnMouseDown;
    fw::TMouseEvent OnMouseUp;

    // Whether the icon is in the notification area now: the last add succeeded and no
    // delete has been sent since. An owner that hides its window for the icon checks it.
    bool Added() const { return added_; }
    fw::HWND WindowHandle() const { return window_->Handle(); }
    int FrameIndex() const { return frame_index_; }
    const fw::NOTIFYICONDATA& NotifyData() const { return notify_data_; }
    // Changes with every switch of the animation on, so that steps of an old worker are
    // told apart.
    fw::WPARAM AnimationNumber() const { return animation_number_; }

    // Deletes, then adds the displayed icon (nothing when it is empty); sets Added.
    void AddToTray();
    // Deletes the icon whether shown or not.
    void RemoveFromTray();
    // Brings the area up to date after a change: modifies the shown icon, removes it when
    // the picture became empty, or adds it when it is wanted and not shown.
    void RefreshTray();
    // The frame step of the animation.
    void AdvanceFrame();
    virtual void BuildNotifyData();

protected:
    virtual void HandleDblClick();
    virtual void HandleClick(fw::TMouseButton button, fw::TShiftState shift, int x, int y);
    virtual void HandleMouseDown(fw::TMouseButton button, fw::TShiftState shift, int x, int y);
    virtual void HandleMouseMove(fw::TShiftState shift, int x, int y);
    virtual void HandleMouseUp(fw::TMouseButton button, fw::TShiftState shift, int x, int y);

private:
    enum TPendingClick { pcLeft, pcRight };

    void TrayWindowProc(fw::TMessage& message);
    void DispatchReport(fw::LPARAM report);
    void FrameStep(fw::WPARAM animation);
    const fw::TIcon* DisplayedIcon() const;
    std::string ShortHint() const;
    bool ShowPopup(int x, int y);
    bool ClickDefaultItem();
    void CancelFormModes();
    void ForegroundIfEnabled(fw::HWND window);
    void StopAnimation();
    void PicturesChanged(fw::TObject* sender);
    bool Designing() const { return ComponentState().contains(fw::csDesigning); }

    std::unique_ptr<fw::HiddenWindow> window_;
    bool active_ = true;
    bool added_ = false;
    bool animated_ = false;
    bool enabled_ = true;
    fw::TSet<TPendingClick> pending_clicks_;
    int frame_index_ = -1;
    std::uint16_t interval_ = 150;
    fw::NOTIFYICONDATA notify_data_;
    std::unique_ptr<fw::TIcon> icon_;
    std::unique_ptr<TIconList> icons_;
    TTimerThread* animation_thread_ = nullptr; // frees itself
    fw::WPARAM animation_number_ = 0;
    std::string hint_;
    bool show_design_ = false;
    fw::TPopupMenu* popup_menu_ = nullptr;
};

} // namespace tray
