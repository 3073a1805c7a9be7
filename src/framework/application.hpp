// The application object and the screen; the runtime that binds the framework to a
// platform (message loop, display input, painting, exception display).
#pragma once

#include "framework/app_slots.hpp"
#include "framework/exception_guard.hpp"
#include "framework/forms.hpp"
#include "framework/graphics/icon.hpp"
#include "framework/platform_access.hpp"

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace fw {

class TApplication;
class TScreen;

// The application's own objects, valid while a Runtime exists.
extern TApplication* Application;
extern TScreen* Screen;

using TExceptionEvent = TEvent<void(TObject* Sender, const std::exception& E)>;

class TApplication : public TComponent {
    FW_CLASS(TApplication, TComponent)
public:
    explicit TApplication(TComponent* owner);
    ~TApplication() override;
    static void Describe(TClassBuilder<TApplication>&) {}

    void Initialize() {}
    const std::string& Title() const { return title_; }
    void SetTitle(const std::string& value);

    // Creates a form owned by the application; `reference` is set before the form's
    // description is read and its OnCreate runs. The first form becomes the main form.
    template <class T> void CreateForm(T*& reference) {
        T* form = new T(this);
        reference = form;
        if (!main_form_) main_form_ = form;
        try {
            form->AfterConstruction();
        } catch (...) {
            if (main_form_ == form) main_form_ = nullptr;
            reference = nullptr;
            delete form;
            throw;
        }
    }
    TCustomForm* MainForm() const { return main_form_; }
    bool ShowMainForm = true;

    // Shows the main form and runs the message loop until Terminate.
    void Run();
    // Ends the message loop once the current handler has returned.
    void Terminate();
    bool Terminated() const { return terminated_; }
    void ProcessMessages();
    void HandleMessage();

    // The application's hidden window; its visibility is the main form's taskbar entry.
    HWND Handle() const;
    // Minimises the application (the main form disappears with it), then OnMinimize;
    // Restore does the reverse, then OnRestore.
    void Minimize();
    void Restore();
    bool Minimized() const { return minimized_; }

    // One instance per display. True when this is the first: it holds the display's claim
    // from now on, and each later start raises OnActivateRequest here. Otherwise the
    // running instance has been asked to bring its window back and the caller should end.
    bool ClaimInstance();

    // The application's icon, shown for every form's window in the taskbar and the window
    // switcher (its image nearest 32 x 32). Setting it copies the icon and gives it to the
    // windows there are and to those made later; an empty icon takes it away.
    const TIcon& Icon() const { return icon_; }
    void SetIcon(const TIcon& icon);
    // Larger artwork of the same icon (PNG files), given beside it to the windows for
    // taskbars and screens that show more than 32 x 32. Throws std::runtime_error naming
    // what is wrong with a file that is not a PNG image. The file is not copied and must
    // last as long as the application (the program's are compiled in): it is decoded when a
    // window is given its icons, not kept decoded for the whole run.
    void AddLargerIcon(std::span<const std::byte> png);
    // For the forms: gives the icon to a window just made.
    void GiveIcon(os::WindowId window) const;

    // Shows an exception raised by a handler: OnException when assigned, else a message
    // box with its message. One box at a time: what fails while it shows (in the box's
    // own message loop) goes to standard error.
    void HandleException(TObject* sender, std::exception_ptr error);
    void ShowException(const std::exception& e);

    // The handler slots; each holds at most one handler.
    TNotifyEvent OnActivate;
    // Another start of the program on this display wants this one's window back.
    TNotifyEvent OnActivateRequest;
    // Another start sent a command ("record", "save-take\nPATH"): the handler acts and
    // returns the sender's exit status, with at most one line for it to print in `reply`.
    // Without a handler the command is refused.
    std::function<int(const std::string& command, std::string& reply)> OnCommandRequest;
    TNotifyEvent OnDeactivate;
    TExceptionEvent OnException;
    TIdleEvent OnIdle;
    THelpEvent OnHelp;
    TNotifyEvent OnHint;
    TMessageEvent OnMessage;
    TNotifyEvent OnMinimize;
    TNotifyEvent OnRestore;
    TShowHintEvent OnShowHint;
    TActionEvent OnActionExecute;
    TActionEvent OnActionUpdate;
    TShortCutEvent OnShortCut;

    // Raise the slots: OnIdle when the loop has nothing to do, OnMessage for every queued
    // message before its window gets it (true: handled, not dispatched), OnShortCut for
    // every key press before the window gets it, OnHint when the hint text changes,
    // OnShowHint before a hint is shown, OnHelp for a help request, the action slots when
    // an action executes or updates.
    void DoIdle();
    bool ProcessMessage(MSG& msg);
    bool IsShortCut(TWMKey& key);
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& value);
    bool DoShowHint(std::string& hint, THintInfo& info);
    bool HelpCommand(std::uint16_t command, std::int32_t data);
    bool ExecuteAction(TBasicAction& action);
    bool UpdateAction(TBasicAction& action);

    // Hooks of the hidden window, offered every message in the order they were added;
    // added and removed by identity.
    void HookMainWindow(TWindowHook hook);
    void UnhookMainWindow(TWindowHook hook);
    // The picture of the minimised application, which WM_PAINT of its window paints.
    os::PixelBuffer& IconSurface() { return icon_surface_; }

    // Hint and interface settings.
    TColor HintColor() const { return hint_color_; }
    void SetHintColor(TColor value) { hint_color_ = value; }
    bool ShowHint() const { return show_hint_; }
    void SetShowHint(bool value) { show_hint_ = value; }
    TBiDiMode BiDiMode() const { return bidi_mode_; }
    void SetBiDiMode(TBiDiMode value) { bidi_mode_ = value; }
    int HintPause = 500;
    int HintShortPause = 50;
    int HintHidePause = 2500;
    bool UpdateFormatSettings = true;
    bool UpdateMetricSettings = true;
    bool HintShortCuts = true;
    std::string BiDiKeyboard;
    std::string NonBiDiKeyboard;

    // For the display input: the application window was shown or hidden.
    void SetTaskbarVisible(bool visible);
    // The window system minimised or restored the main form.
    void DisplayIconified(bool iconic);
    void FormDestroyed(TCustomForm* form);

private:
    // Runs the command a later start sent, and answers it.
    void RunCommand(std::uintptr_t serial);
    std::string title_;
    TCustomForm* main_form_ = nullptr;
    bool terminated_ = false;
    bool minimized_ = false;
    bool taskbar_visible_ = true;
    std::string hint_;
    TColor hint_color_ = clInfoBk;
    bool show_hint_ = true;
    TBiDiMode bidi_mode_ = bdLeftToRight;
    std::vector<TWindowHook> hooks_;
    os::PixelBuffer icon_surface_{32, 32};
    bool showing_exception_ = false;
    bool instance_claimed_ = false;
    std::unique_ptr<HiddenWindow> window_;
    TIcon icon_;
    os::IconPixels icon_pixels_;
    std::vector<std::span<const std::byte>> larger_icons_;
    // The icon and its larger artwork, as the windows are given them.
    std::vector<os::IconPixels> IconSet() const;
};

class TScreen : public TComponent {
    FW_CLASS(TScreen, TComponent)
public:
    explicit TScreen(TComponent* owner) : TComponent(owner) {}
    static void Describe(TClassBuilder<TScreen>&) {}
    int Width() const;
    int Height() const;
    // The monitors' bounds, the primary monitor first; it need not start at the origin.
    std::vector<TRect> MonitorRects() const;
    int FormCount() const { return static_cast<int>(forms_.size()); }
    TCustomForm* Forms(int index) const { return forms_.at(static_cast<std::size_t>(index)); }
    TCustomForm* ActiveForm() const;

    TNotifyEvent OnActiveControlChange;
    TNotifyEvent OnActiveFormChange;
    // For the display input: a form became the foreground window.
    void FormActivated(TCustomForm* form);

private:
    friend class TApplication;
    friend class Runtime;
    std::vector<TCustomForm*> forms_;
    TCustomForm* last_active_ = nullptr;
};

// Binds the framework to a platform for its lifetime: the message loop, the application
// and screen objects, display input turned into messages, idle painting.
class Runtime final : private TurnHooks {
public:
    explicit Runtime(os::Platform& platform);
    ~Runtime();
    Runtime(const Runtime&) = delete;
    Runtime& operator=(const Runtime&) = delete;
    MessageLoop& Loop() { return *loop_; }
    os::Platform& Platform() { return platform_; }

private:
    class Host;
    bool PumpInput() override;
    void Idle() override;
    void Deliver(const os::DisplayEvent& e);
    void PaintPending();

    std::unique_ptr<Host> host_;
    os::Platform& platform_;
    os::Display& display_; // the platform's, asked for once rather than at every look
    std::unique_ptr<MessageLoop> loop_;
    std::unique_ptr<TApplication> application_;
    std::unique_ptr<TScreen> screen_;
    std::unique_ptr<TMouse> mouse_;
    TExceptionHandler previous_handler_;
};

} // namespace fw
