// Forms: top-level windowed controls shown as display windows, with border style,
// stay-on-top, colour, caption, client size and position, the close protocol, keys, the
// paint pipeline (an update region painted when the loop is idle) and the window move.
#pragma once

#include "framework/controls.hpp"
#include "os/display/display.hpp"

#include <optional>
#include <string>
#include <string_view>

namespace fw {

namespace detail {
// Set whenever a form gains something to paint, so that an idle turn looks at the forms
// only when one may have: at a hundred turns a second, even the look is worth sparing.
inline bool g_paint_wanted = false;
} // namespace detail

enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
FW_ENUM_IDENTS(TFormBorderStyle, "bsNone", "bsSingle", "bsSizeable", "bsDialog", "bsToolWindow",
               "bsSizeToolWin")
enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
FW_ENUM_IDENTS(TBorderIcon, "biSystemMenu", "biMinimize", "biMaximize", "biHelp")
using TBorderIcons = TSet<TBorderIcon>;
enum TFormStyle { fsNormal, fsMDIChild, fsMDIForm, fsStayOnTop };
FW_ENUM_IDENTS(TFormStyle, "fsNormal", "fsMDIChild", "fsMDIForm", "fsStayOnTop")
enum TPosition { poDesigned, poDefault, poDefaultPosOnly, poDefaultSizeOnly, poScreenCenter };
FW_ENUM_IDENTS(TPosition, "poDesigned", "poDefault", "poDefaultPosOnly", "poDefaultSizeOnly",
               "poScreenCenter")

using TModalResult = int;
inline constexpr TModalResult mrNone = 0;
inline constexpr TModalResult mrOk = 1;
inline constexpr TModalResult mrCancel = 2;

using TCloseQueryEvent = TEvent<void(TObject* Sender, bool& CanClose)>;

// What the forms ask of the application above them, which sets itself here while it runs:
// the screen's list of forms, and the main form's title, icon, close, minimise and restore,
// which are the application's.
class FormHost {
public:
    virtual void FormCreated(TCustomForm& form) = 0;
    virtual void FormDestroyed(TCustomForm& form) = 0;
    virtual bool IsMainForm(const TCustomForm& form) const = 0;
    // The application's title, empty when it has none.
    virtual std::string Title() const = 0;
    // Gives the application's icon to a form's window just made.
    virtual void GiveIcon(os::WindowId window) const = 0;
    virtual void Terminate() = 0;
    virtual void Minimize() = 0;
    virtual void Restore() = 0;

protected:
    ~FormHost() = default;
};
// The host while there is one, else nullptr.
FormHost* GetFormHost();
void SetFormHost(FormHost* host);

class TCustomForm : public TWinControl {
    FW_CLASS(TCustomForm, TWinControl)
public:
    explicit TCustomForm(TComponent* owner);
    ~TCustomForm() override;
    static void Describe(TClassBuilder<TCustomForm>& c);

    // Reads the form's registered description (if its class has one) and raises OnCreate.
    // The application's CreateForm calls it once the object exists.
    virtual void AfterConstruction();

    TFormBorderStyle BorderStyle() const { return border_style_; }
    void SetBorderStyle(TFormBorderStyle value);
    TBorderIcons BorderIcons() const { return border_icons_; }
    void SetBorderIcons(TBorderIcons value) { border_icons_ = value; }
    TFormStyle FormStyle() const { return form_style_; }
    void SetFormStyle(TFormStyle value);
    TPosition Position() const { return position_; }
    void SetPosition(TPosition value) { position_ = value; }
    bool KeyPreview = false;
    bool Scaled = true;
    int PixelsPerInch = 96;
    int TextHeight = 13;

    TNotifyEvent OnCreate;
    TNotifyEvent OnDestroy;
    TNotifyEvent OnShow;
    TNotifyEvent OnHide;
    TNotifyEvent OnPaint;
    TCloseEvent OnClose;
    TCloseQueryEvent OnCloseQuery;
    TKeyEvent OnKeyDown;
    TKeyEvent OnKeyUp;

    // Asks to close: OnCloseQuery, then OnClose with the action (caHide by default); the
    // main form's close ends the application unless the action is caNone.
    void Close();
    void Release(); // frees the form once the current message is handled
    TModalResult ShowModal();
    TModalResult ModalResult = mrNone;
    void BringToFront();

    void SetVisible(bool value) override;
    void SetBounds(int left, int top, int width, int height) override;
    TPoint ClientOrigin() const override { return {Left(), Top()}; }

    // The display side.
    TCustomForm* AsForm() override { return this; }
    os::WindowId DisplayWindow() const override { return window_; }
    // The window's shape in client coordinates; an empty optional is rectangular.
    void SetShape(const std::optional<Region>& shape);
    const std::optional<Region>& Shape() const { return shape_; }
    // The window's pixels as last painted.
    const os::PixelBuffer& Surface() const { return surface_; }
    // Draws straight onto the window's pixels, outside any paint: what it draws is shown
    // when the loop is next idle and stays until the controls below repaint it.
    TCanvas& Canvas();
    // The window's title on the display: the caption, or the application title for the
    // main form (its taskbar entry).
    std::string WindowTitle() const;
    void TitleChanged();
    void SetSkipTaskbar(bool skip);

    // Paint requests, in client coordinates of the form.
    void AddUpdate(const TRect& rect, bool erase) override;
    bool HasUpdate() const { return !update_.IsEmpty() || drawn_; }
    // Paints the pending update region now.
    void Update();
    void PaintPending() override { Update(); }
    // Paints `first` and the children of `parent` above it at once, clipped to `bounds`
    // (in `parent`'s client coordinates; `offset` is `parent`'s place in the form).
    void PaintImmediately(TWinControl& parent, TPoint offset, const TRect& bounds,
                          TControl* first) override;
    void UpdateCursor() override;

    // Input from the display, already turned into messages by the application.
    void Dispatch(TMessage& message) override;

protected:
    // The display window's parameters, as the form fills them; a subclass adjusts them.
    virtual void CreateParams(os::WindowParams&) {}
    void CreateHandle() override;
    void DestroyHandle() override;
    void PaintWindow(TCanvas& canvas) override;
    virtual void DoClose(TCloseAction& action);
    virtual bool CloseQuery();
    virtual void KeyDown(std::uint16_t& key, TShiftState shift);
    virtual void KeyUp(std::uint16_t& key, TShiftState shift);
    void ControlRemoved(TControl* control) override;

private:
    friend class TApplication;
    friend class Runtime;
    void Present(const TRect& rect);
    void PaintUpdate();
    void DragMove();
    void TrackPointer(TPoint client);
    void DisplayMoved(const os::Rect& bounds);
    void CanvasChanged(TObject*) {
        drawn_ = true;
        detail::g_paint_wanted = true;
    }

    TFormBorderStyle border_style_ = bsSizeable;
    TBorderIcons border_icons_ = {biSystemMenu, biMinimize, biMaximize};
    TFormStyle form_style_ = fsNormal;
    TPosition position_ = poDesigned;
    os::WindowId window_ = os::kNoWindow;
    os::PixelBuffer surface_;
    Region update_;
    Region erase_;
    std::optional<Region> shape_;
    std::unique_ptr<TCanvas> canvas_;
    bool drawn_ = false; // the canvas drew since the last present
    bool skip_taskbar_ = false;
    bool moving_ = false;
    bool created_ = false;
    TControl* hover_ = nullptr;
};

class TForm : public TCustomForm {
    FW_CLASS(TForm, TCustomForm)
public:
    using TCustomForm::TCustomForm;
    static void Describe(TClassBuilder<TForm>&) {}
};

// The description a form class is loaded from when it is created, by class name. The text is
// not copied: it must last as long as the program (the program's own are compiled in).
void RegisterFormDescription(std::string_view class_name, std::string_view text);
std::optional<std::string_view> FindFormDescription(std::string_view class_name);

// The form that shows a display window, if any.
TCustomForm* FindForm(os::WindowId window);

namespace detail {
// The form of a window handle, if it is one.
TCustomForm* FormOf(HWND h);
} // namespace detail

} // namespace fw
