// Controls: TControl (bounds, alignment, visibility, enabled state, caption, font, cursor,
// hint, mouse steps and events, component notifications), TGraphicControl (windowless:
// paints on its parent) and TWinControl (has a window handle, holds child controls, routes
// mouse input to the topmost windowless child under the pointer or to the capturing one).
#pragma once

#include "framework/components.hpp"
#include "framework/events.hpp"
#include "framework/graphics/colors.hpp"
#include "framework/graphics/geometry.hpp"
#include "framework/graphics/region.hpp"
#include "framework/message_loop.hpp"
#include "os/display/display.hpp"

#include <memory>
#include <string>
#include <vector>

namespace fw {

class TCanvas;
class TFont;
class TWinControl;
class TCustomForm;

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
FW_ENUM_IDENTS(TAlign, "alNone", "alTop", "alBottom", "alLeft", "alRight", "alClient")

// Cursors are numbers; the standard ones are negative and have identifiers.
using TCursor = std::int16_t;
inline constexpr TCursor crDefault = 0;
inline constexpr TCursor crArrow = -2;
inline constexpr TCursor crCross = -3;
inline constexpr TCursor crIBeam = -4;
inline constexpr TCursor crDrag = -12;
inline constexpr TCursor crNoDrop = -13;
inline constexpr TCursor crHourGlass = -11;
inline constexpr TCursor crHandPoint = -21;
const TEnumInfo& CursorIdents();

enum TControlStyleItem {
    csAcceptsControls,
    csCaptureMouse,
    csClickEvents,
    csFramed,
    csSetCaption,
    csOpaque,
    csDoubleClicks,
    csFixedWidth,
    csFixedHeight,
    csReplicatable,
};
using TControlStyle = TSet<TControlStyleItem>;

enum TControlStateItem { csLButtonDown, csClicked, csFocusing, csCreating, csAligning };
using TControlState = TSet<TControlStateItem>;

// Mouse message parameters, as the platform packs them.
inline constexpr WPARAM MK_LBUTTON = 0x0001;
inline constexpr WPARAM MK_RBUTTON = 0x0002;
inline constexpr WPARAM MK_SHIFT = 0x0004;
inline constexpr WPARAM MK_CONTROL = 0x0008;
inline constexpr WPARAM MK_MBUTTON = 0x0010;
inline LPARAM MakePointParam(int x, int y) {
    return static_cast<LPARAM>((static_cast<std::uint32_t>(static_cast<std::uint16_t>(y)) << 16) |
                               static_cast<std::uint16_t>(x));
}
inline int ParamX(LPARAM l) {
    return static_cast<std::int16_t>(l & 0xFFFF);
}
inline int ParamY(LPARAM l) {
    return static_cast<std::int16_t>((l >> 16) & 0xFFFF);
}
// WM_MOUSEMOVE and the press, release and double-click messages of the three buttons.
bool IsMouseMessage(UINT msg);
// The shift state of a mouse message: buttons and Shift/Ctrl from its WParam, Alt from the
// key state.
TShiftState MouseShiftState(WPARAM keys);

class TControl : public TComponent {
    FW_CLASS(TControl, TComponent)
public:
    explicit TControl(TComponent* owner);
    ~TControl() override;
    static void Describe(TClassBuilder<TControl>& c);

    // Parent and nesting in form descriptions.
    TWinControl* Parent() const { return parent_; }
    virtual void SetParent(TWinControl* parent);
    bool HasParent() const override { return true; }
    TComponent* GetParentComponent() const override;
    void SetParentComponent(TComponent* parent) override;

    // Bounds in the parent's client coordinates.
    int Left() const { return left_; }
    int Top() const { return top_; }
    int Width() const { return width_; }
    int Height() const { return height_; }
    void SetLeft(int value) { SetBounds(value, top_, width_, height_); }
    void SetTop(int value) { SetBounds(left_, value, width_, height_); }
    void SetWidth(int value) { SetBounds(left_, top_, value, height_); }
    void SetHeight(int value) { SetBounds(left_, top_, width_, value); }
    virtual void SetBounds(int left, int top, int width, int height);
    TRect BoundsRect() const { return {left_, top_, left_ + width_, top_ + height_}; }
    virtual TRect ClientRect() const { return {0, 0, width_, height_}; }
    int ClientWidth() const { return ClientRect().Width(); }
    int ClientHeight() const { return ClientRect().Height(); }
    virtual void SetClientSize(int width, int height);
    void SetClientWidth(int value) { SetClientSize(value, ClientHeight()); }
    void SetClientHeight(int value) { SetClientSize(ClientWidth(), value); }
    // Client coordinates of this control to and from screen coordinates.
    virtual TPoint ClientOrigin() const;
    TPoint ClientToScreen(TPoint p) const;
    TPoint ScreenToClient(TPoint p) const;

    TAlign Align() const { return align_; }
    void SetAlign(TAlign value);

    bool Visible() const { return visible_; }
    virtual void SetVisible(bool value);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    // Visible, and so are all its parents up to a shown form.
    bool Showing() const;
    bool Enabled() const { return enabled_; }
    virtual void SetEnabled(bool value);

    const std::string& Caption() const { return text_; }
    void SetCaption(const std::string& value) { SetText(value); }
    const std::string& Text() const { return text_; }
    void SetText(const std::string& value);

    TFont& Font() const { return *font_; }
    void SetFont(const TFont& value);
    bool ParentFont() const { return parent_font_; }
    void SetParentFont(bool value);
    TColor Color() const { return color_; }
    void SetColor(TColor value);
    bool ParentColor() const { return parent_color_; }
    void SetParentColor(bool value);

    TCursor Cursor() const { return cursor_; }
    void SetCursor(TCursor value);
    const std::string& Hint() const { return hint_; }
    void SetHint(const std::string& value) { hint_ = value; }
    bool ShowHint() const { return show_hint_; }
    void SetShowHint(bool value);
    bool ParentShowHint() const { return parent_show_hint_; }
    void SetParentShowHint(bool value);

    TControlStyle ControlStyle;
    TControlState ControlState;

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;
    TMouseEvent OnMouseDown;
    TMouseMoveEvent OnMouseMove;
    TMouseEvent OnMouseUp;

    // Messages. WndProc is where every message to the control arrives; Dispatch calls the
    // handler of the message number, or DefaultHandler.
    LRESULT Perform(UINT msg, WPARAM wparam = 0, LPARAM lparam = 0);
    virtual void WndProc(TMessage& message);
    virtual void Dispatch(TMessage& message);
    virtual void DefaultHandler(TMessage& message);

    // Painting. Invalidate schedules the control's rectangle for painting by the parent
    // window; Repaint paints at once (an opaque control over what is on the screen, else
    // through an invalidation that is painted immediately); Update paints what is pending.
    virtual void Invalidate();
    virtual void Repaint();
    void Refresh() { Repaint(); }
    void Update();

    // The mouse capture: while set, the window routes all mouse input to this control.
    bool MouseCapture() const;
    void SetMouseCapture(bool value);

    // Brings the control to the top of its siblings, or sends it to the bottom.
    void BringToFront();
    void SendToBack();

    // The form the control is on (nullptr when it is on none).
    TCustomForm* GetParentForm() const;

protected:
    void Loaded() override;

    // The mouse steps; each raises its On... event. A subclass adds its own handling
    // before or after calling the inherited step.
    virtual void MouseDown(TMouseButton button, TShiftState shift, int x, int y);
    virtual void MouseMove(TShiftState shift, int x, int y);
    virtual void MouseUp(TMouseButton button, TShiftState shift, int x, int y);
    virtual void Click();
    virtual void DblClick();
    // Paints the control onto `surface` (its form's pixels), where its top-left is at
    // `origin`, inside `clip` (surface coordinates).
    virtual void PaintTo(os::PixelBuffer& surface, TPoint origin, const Region& clip);
    // Called when the parent's font or colour changed.
    virtual void ParentFontChanged();
    virtual void ParentColorChanged();
    // Bounds were changed; the parent realigns.
    virtual void BoundsChanged();
    void InvalidateControl(bool erase);

private:
    friend class TWinControl;
    friend class TCustomForm;
    void MouseMessage(TMessage& message);
    void FontChanged(TObject* sender);

    TWinControl* parent_ = nullptr;
    int left_ = 0, top_ = 0, width_ = 0, height_ = 0;
    TAlign align_ = alNone;
    bool visible_ = true;
    bool enabled_ = true;
    std::string text_;
    std::unique_ptr<TFont> font_;
    bool parent_font_ = true;
    TColor color_ = clWindow;
    bool parent_color_ = true;
    TCursor cursor_ = crDefault;
    std::string hint_;
    bool show_hint_ = false;
    bool parent_show_hint_ = true;
};

// A control without a window: it paints on its parent, through Canvas during Paint.
class TGraphicControl : public TControl {
    FW_CLASS(TGraphicControl, TControl)
public:
    explicit TGraphicControl(TComponent* owner);
    ~TGraphicControl() override;
    static void Describe(TClassBuilder<TGraphicControl>&) {}
    // Valid only during Paint.
    TCanvas& Canvas() const;

protected:
    virtual void Paint() {}
    void PaintTo(os::PixelBuffer& surface, TPoint origin, const Region& clip) override;
    void Dispatch(TMessage& message) override;

private:
    TCanvas* canvas_ = nullptr;
};

// A control with a window handle. A form's handle is a window on the display; any other
// windowed control's handle only receives messages (the hidden notification windows) and
// the control paints on its form like a windowless one.
class TWinControl : public TControl {
    FW_CLASS(TWinControl, TControl)
public:
    explicit TWinControl(TComponent* owner);
    ~TWinControl() override;
    static void Describe(TClassBuilder<TWinControl>&) {}

    HWND Handle();
    bool HandleAllocated() const { return handle_ != 0; }
    void HandleNeeded() { Handle(); }

    // Children in stacking order from the bottom: windowless ones below windowed ones.
    int ControlCount() const { return static_cast<int>(controls_.size() + win_controls_.size()); }
    TControl* Controls(int index) const;
    // The topmost visible child at a point in client coordinates; with allow_disabled,
    // disabled ones count too. Only windowless children unless all_levels.
    TControl* ControlAtPos(TPoint pos, bool allow_disabled, bool all_levels = false) const;
    // Sends a message to every child (windowless ones first, from the bottom) until one
    // gives a non-zero result.
    LRESULT Broadcast(UINT msg, WPARAM wparam, LPARAM lparam);
    // Invalidates a rectangle of this control's client area; `erase` asks the parent to
    // paint its own background below it.
    void InvalidateRect(const TRect& rect, bool erase);
    void Invalidate() override;
    // Paints the children from `first` (nullptr: the bottom one) up onto `surface`, where
    // this control's client origin is at `origin`, inside `clip` (surface coordinates).
    void PaintControls(os::PixelBuffer& surface, TPoint origin, const Region& clip,
                       TControl* first);
    void AlignControls();
    void GetChildren(const TGetChildProc& proc, TComponent* root) override;
    void Dispatch(TMessage& message) override;

    // The side of a control shown in a display window of its own, that the controls shown
    // in it use: a form (on the floor above) is one and overrides these; other controls
    // have no window and answer nothing. AsForm is the form this control is; AddUpdate asks
    // for a paint of a rectangle of its client area; PaintPending paints what is pending
    // and PaintImmediately a part at once; UpdateCursor shows the cursor of the control
    // under the pointer.
    virtual TCustomForm* AsForm() { return nullptr; }
    virtual os::WindowId DisplayWindow() const { return os::kNoWindow; }
    virtual void AddUpdate(const TRect&, bool) {}
    virtual void PaintPending() {}
    virtual void PaintImmediately(TWinControl&, TPoint, const TRect&, TControl*) {}
    virtual void UpdateCursor() {}

protected:
    // Creates the handle; forms make a display window here.
    virtual void CreateHandle();
    virtual void DestroyHandle();
    // Paints this control's own background and face (not its children); the canvas is
    // clipped to what needs it.
    virtual void PaintWindow(TCanvas& canvas);
    void PaintTo(os::PixelBuffer& surface, TPoint origin, const Region& clip) override;
    // The form that shows this control's pixels (nullptr when there is none), and the
    // offset of this control's client area in it.
    TWinControl* PaintHost(TPoint& offset);
    // A child left this control: destroyed, or moved to another parent.
    virtual void ControlRemoved(TControl*) {}

private:
    friend class TControl;
    friend class TCustomForm;
    friend void ReleaseWindowLater(std::unique_ptr<TWinControl> control);
    void InsertControl(TControl* control);
    void RemoveControl(TControl* control);
    struct HandleTarget final : MessageTarget {
        TWinControl* owner;
        explicit HandleTarget(TWinControl* o) : owner(o) {}
        void WndProc(TMessage& message) override;
    };
    HandleTarget target_{this};
    HWND handle_ = 0;
    std::vector<TControl*> controls_;     // windowless, bottom to top
    std::vector<TControl*> win_controls_; // windowed, bottom to top
};

// The windowed control of a handle, if any.
TWinControl* FindControl(HWND handle);

// The control that holds the mouse capture, if any.
TControl* GetCaptureControl();
void SetCaptureControl(TControl* control);
// The window call: ends any mouse capture (the control's and the display's).
void ReleaseCapture();

// Destroys a windowed control once none of its handlers is running any more: for objects
// that free their notification window from inside one of its handlers.
void ReleaseWindowLater(std::unique_ptr<TWinControl> control);

} // namespace fw
