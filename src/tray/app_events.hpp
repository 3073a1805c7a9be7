// TAppEvents: the application's and the screen's events, republished by any number of
// components. All of them hang on one chain, AppEventHub, which takes over the handler
// slots once and on each event walks from the newest component to the oldest, then calls
// the handler the slot held before. A component whose Chained is False ends the walk after
// itself; for events with Handled, a handler that sets it ends the walk too. TAppEvents also
// publishes the application's hint and interface settings and the mouse's drag settings,
// and two events of the application's window: painting its minimised icon and a change of
// the system settings.
#pragma once

#include "framework/app_slots.hpp"
#include "framework/application.hpp"
#include "framework/components.hpp"
#include "framework/graphics/canvas.hpp"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace tray {

class TAppEvents : public fw::TComponent {
    FW_CLASS(TAppEvents, fw::TComponent)
public:
    explicit TAppEvents(fw::TComponent* owner);
    ~TAppEvents() override;
    static void Describe(fw::TClassBuilder<TAppEvents>& c);
    // Writes the settings to the application and the mouse.
    void Loaded() override;

    bool Chained = true;

    // Settings: at run time they read and write the application's (or the mouse's) own.
    fw::TColor HintColor() const;
    void SetHintColor(fw::TColor value);
    int HintPause() const;
    void SetHintPause(int value);
    bool ShowHint() const;
    void SetShowHint(bool value);
    bool UpdateFormatSettings() const;
    void SetUpdateFormatSettings(bool value);
    int HintShortPause() const;
    void SetHintShortPause(int value);
    int HintHidePause() const;
    void SetHintHidePause(int value);
    bool ShowMainForm() const;
    void SetShowMainForm(bool value);
    bool UpdateMetricSettings() const;
    void SetUpdateMetricSettings(bool value);
    bool HintShortCuts() const;
    void SetHintShortCuts(bool value);
    fw::TBiDiMode BiDiMode() const;
    void SetBiDiMode(fw::TBiDiMode value);
    bool MouseDragImmediate() const;
    void SetMouseDragImmediate(bool value);
    int MouseDragThreshold() const;
    void SetMouseDragThreshold(int value);
    std::string BiDiKeyboard() const;
    void SetBiDiKeyboard(const std::string& value);
    std::string NonBiDiKeyboard() const;
    void SetNonBiDiKeyboard(const std::string& value);

    fw::TActionEvent OnActionExecute;
    fw::TActionEvent OnActionUpdate;
    fw::TShortCutEvent OnShortCut;
    fw::TNotifyEvent OnPaintIcon;
    fw::TNotifyEvent OnActivate;
    fw::TNotifyEvent OnDeactivate;
    fw::TExceptionEvent OnException;
    fw::TIdleEvent OnIdle;
    fw::THelpEvent OnHelp;
    fw::TNotifyEvent OnHint;
    fw::TMessageEvent OnMessage;
    fw::TNotifyEvent OnMinimize;
    fw::TNotifyEvent OnRestore;
    fw::TShowHintEvent OnShowHint;
    fw::TNotifyEvent OnSettingsChanged;
    fw::TNotifyEvent OnActiveControlChange;
    fw::TNotifyEvent OnActiveFormChange;

    // What OnPaintIcon draws on; outside painting, a canvas of its own.
    fw::TCanvas& Canvas();

protected:
    virtual void PaintMinimizedIcon();
    // Offered every message of the application's window; true consumes it.
    virtual bool MainWindowHook(fw::TMessage& message);
    virtual void HandleSettingsChanged();

private:
    bool Designing() const { return ComponentState().contains(fw::csDesigning); }
    bool Live() const { return !Designing() && fw::Application; }
    void ApplySettings();

    fw::TColor hint_color_ = fw::clInfoBk;
    std::int32_t hint_pause_ = 500;
    bool show_hint_ = true;
    std::unique_ptr<fw::TCanvas> canvas_;
    bool update_format_settings_ = true;
    std::int32_t hint_short_pause_ = 50;
    std::int32_t hint_hide_pause_ = 2500;
    bool show_main_form_ = true;
    bool update_metric_settings_ = true;
    bool hint_short_cuts_ = true;
    fw::TBiDiMode bidi_mode_ = fw::bdLeftToRight;
    bool mouse_drag_immediate_ = true;
    std::int32_t mouse_drag_threshold_ = 5;
    std::string bidi_keyboard_;
    std::string non_bidi_keyboard_;
};

// The chain of all TAppEvents objects, and the dispatchers it puts into the slots.
class TAppEventList : public fw::TObject {
public:
    TAppEventList();
    ~TAppEventList() override;
    TAppEventList(const TAppEventList&) = delete;
    TAppEventList& operator=(const TAppEventList&) = delete;

    void Attach(TAppEvents* events);
    void Detach(TAppEvents* events);
    // Saves the fifteen slots and puts the dispatchers there.
    void HookApplication();
    // Empties the slots (the saved handlers are not put back).
    void ReleaseApplication();

    const std::vector<TAppEvents*>& Members() const { return members_; }
    bool Hooked() const { return hooked_; }

    // The dispatchers, with the arguments of the slots they sit in.
    void DoActivate(fw::TObject* Sender);
    void DoDeactivate(fw::TObject* Sender);
    void DoException(fw::TObject* Sender, const std::exception& E);
    void DoIdle(fw::TObject* Sender, bool& Done);
    bool DoHelp(std::uint16_t Command, std::int32_t Data, bool& CallHelp);
    void DoHint(fw::TObject* Sender);
    void DoMessage(fw::MSG& Msg, bool& Handled);
    void DoMinimize(fw::TObject* Sender);
    void DoRestore(fw::TObject* Sender);
    void DoShowHint(std::string& HintStr, bool& CanShow, fw::THintInfo& HintInfo);
    void DoActiveControlChange(fw::TObject* Sender);
    void DoActiveFormChange(fw::TObject* Sender);
    void DoActionExecute(fw::TBasicAction* Action, bool& Handled);
    void DoActionUpdate(fw::TBasicAction* Action, bool& Handled);
    void DoShortCut(fw::TWMKey& Msg, bool& Handled);

private:
    // Idle through the chain, for when a member handles it.
    void WalkIdle(fw::TObject* Sender, bool& Done);
    // The slots in the order of SavedHandlers.
    enum TSlot {
        slActivate,
        slDeactivate,
        slException,
        slIdle,
        slHelp,
        slHint,
        slMessage,
        slMinimize,
        slRestore,
        slShowHint,
        slActiveControlChange,
        slActiveFormChange,
        slActionExecute,
        slActionUpdate,
        slShortCut,
        slCount
    };
    // Visits the members from the newest to the oldest until one is not chained or the
    // visit answers true (Handled); true when the walk went past the oldest.
    template <class Visit> bool Walk(Visit&& visit);
    template <class Event, class... A> bool CallSaved(TSlot slot, A&&... args);

    std::vector<TAppEvents*> members_;
    bool hooked_ = false;
    std::array<fw::TMethod, slCount> saved_handlers_{};
};

// The one chain of the process: created by the first TAppEvents, destroyed at exit.
extern TAppEventList* AppEventHub;

} // namespace tray
