// The skinned push button: its properties, the press, move and release rules, the group
// rules, the messages it answers and its paint.
#include "skin/cool_button.hpp"

#include "framework/forms.hpp"
#include "framework/graphics/canvas.hpp"
#include "framework/platform_access.hpp"

#include <cctype>

namespace skin {

namespace {

// The topmost control under a screen point, disabled ones included: on the form whose
// window is under the point, the topmost child there, descending into windowed children;
// the container itself when no child is there.
fw::TControl* ControlAtScreenPoint(fw::TPoint screen) {
    if (!fw::HasDisplay()) return nullptr;
    fw::TCustomForm* form = fw::FindForm(fw::GetDisplay().WindowAt({screen.X, screen.Y}));
    if (!form) return nullptr;
    fw::TWinControl* container = form;
    for (;;) {
        fw::TControl* hit = container->ControlAtPos(container->ScreenToClient(screen), true, true);
        if (!hit) return container;
        auto* inner = dynamic_cast<fw::TWinControl*>(hit);
        if (!inner) return hit;
        container = inner;
    }
}

} // namespace

bool IsAccel(std::uint16_t key, const std::string& caption) {
    for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != '&') continue;
        if (caption[i + 1] == '&') {
            ++i; // "&&" is a literal ampersand
            continue;
        }
        const auto hot = static_cast<unsigned char>(caption[i + 1]);
        return key < 0x80 && std::toupper(hot) == std::toupper(static_cast<int>(key));
    }
    return false;
}

void TCoolButton::Describe(fw::TClassBuilder<TCoolButton>& c) {
    c.Prop("AllowAllUp", &TCoolButton::AllowAllUp, &TCoolButton::SetAllowAllUp, false);
    // Before Down: a stored Down needs its group to be taken.
    c.Prop("GroupIndex", &TCoolButton::GroupIndex, &TCoolButton::SetGroupIndex, 0);
    c.Prop("Down", &TCoolButton::Down, &TCoolButton::SetDown, false);
    c.Prop("Glyph", &TCoolButton::Glyph, &TCoolButton::SetGlyph);
    c.Prop("Layout", &TCoolButton::Layout, &TCoolButton::SetLayout, blGlyphLeft);
    c.Prop("Margin", &TCoolButton::Margin, &TCoolButton::SetMargin, -1);
    c.Prop("NumGlyphs", &TCoolButton::NumGlyphs, &TCoolButton::SetNumGlyphs, kMaxCells);
    c.Prop("Spacing", &TCoolButton::Spacing, &TCoolButton::SetSpacing, 4);
}

TCoolButton::TCoolButton(fw::TComponent* owner)
    : fw::TGraphicControl(owner), glyph_(std::make_unique<TButtonGlyph>()) {
    SetBounds(0, 0, 25, 25);
    // Opaque: an invalidation does not erase below it, and an immediate repaint draws the
    // face over what the screen shows.
    ControlStyle = {fw::csCaptureMouse, fw::csOpaque, fw::csDoubleClicks};
    glyph_->ChangeCallback = fw::Bind<&TCoolButton::GlyphChanged>(this);
    SetParentFont(true);
    SetNumGlyphs(kMaxCells);
}

TCoolButton::~TCoolButton() {
    glyph_.reset(); // gives its cell images back to the shared lists
}

void TCoolButton::GlyphChanged(fw::TObject*) {
    Invalidate();
}

void TCoolButton::Loaded() {
    fw::TGraphicControl::Loaded();
    glyph_->BuildStateImage(Enabled() ? cbsUp : cbsDisabled);
}

// ---- Properties --------------------------------------------------------------------

void TCoolButton::SetAllowAllUp(bool value) {
    if (value == allow_all_up_) return;
    allow_all_up_ = value;
    UpdateExclusive();
}

void TCoolButton::SetGroupIndex(int value) {
    if (value == group_index_) return;
    group_index_ = value;
    UpdateExclusive();
}

void TCoolButton::SetDown(bool value) {
    if (group_index_ == 0) value = false;
    if (value == down_) return;
    // A down button of a group that needs one down waits for another to go down.
    if (down_ && !allow_all_up_) return;
    down_ = value;
    if (value) {
        if (State == cbsUp) Invalidate();
    } else {
        State = cbsUp;
        Repaint();
    }
    if (value) UpdateExclusive();
}

void TCoolButton::SetGlyph(const fw::TBitmap& value) {
    glyph_->SetStrip(&value);
    Invalidate();
}

void TCoolButton::SetLayout(TButtonLayout value) {
    if (value == layout_) return;
    layout_ = value;
    Invalidate();
}

void TCoolButton::SetMargin(int value) {
    if (value == margin_ || value < -1) return;
    margin_ = value;
    Invalidate();
}

void TCoolButton::SetNumGlyphs(int value) {
    if (value > kMaxCells) value = kMaxCells;
    if (value == glyph_->CellCount()) return;
    glyph_->SetCellCount(value);
    Invalidate();
}

void TCoolButton::SetSpacing(int value) {
    if (value == spacing_) return;
    spacing_ = value;
    Invalidate();
}

// ---- Groups ------------------------------------------------------------------------

void TCoolButton::UpdateExclusive() {
    if (group_index_ == 0 || !Parent()) return;
    Parent()->Broadcast(fw::CM_BUTTONPRESSED, static_cast<fw::WPARAM>(group_index_),
                        reinterpret_cast<fw::LPARAM>(static_cast<fw::TObject*>(this)));
}

void TCoolButton::ButtonPressed(fw::TMessage& message) {
    message.Result = 0;
    if (static_cast<int>(static_cast<fw::LPARAM>(message.WParam)) != group_index_) return;
    auto* sender = dynamic_cast<TCoolButton*>(reinterpret_cast<fw::TObject*>(message.LParam));
    if (!sender || sender == this) return;
    if (sender->down_ && down_) {
        down_ = false;
        State = cbsUp;
        Invalidate();
    }
    allow_all_up_ = sender->allow_all_up_;
}

// ---- Mouse -------------------------------------------------------------------------

void TCoolButton::MouseDown(fw::TMouseButton button, fw::TShiftState shift, int x, int y) {
    fw::TGraphicControl::MouseDown(button, shift, x, y);
    // Enabled is read after the handler, which may have changed it.
    if (button != fw::mbLeft || !Enabled()) return;
    if (!down_) {
        State = cbsDown;
        Invalidate();
    }
    tracking_ = true;
}

void TCoolButton::MouseMove(fw::TShiftState shift, int x, int y) {
    const bool was_away = pointer_flag_;
    fw::TGraphicControl::MouseMove(shift, x, y);
    if (tracking_) {
        // Only the state changes; the face follows at the next paint.
        TCoolButtonState now = down_ ? cbsLatched : cbsUp;
        if (Inside(x, y)) now = down_ ? cbsLatched : cbsDown;
        if (now != State) State = now;
    }
    if (pointer_flag_ != was_away) Invalidate();
}

void TCoolButton::MouseUp(fw::TMouseButton button, fw::TShiftState shift, int x, int y) {
    fw::TGraphicControl::MouseUp(button, shift, x, y);
    if (!tracking_) return;
    tracking_ = false;
    const bool inside = Inside(x, y);
    if (group_index_ == 0) {
        State = cbsUp;
        pointer_flag_ = false;
        if (inside) Invalidate();
    } else if (inside) {
        SetDown(!down_);
        if (down_) Repaint();
    } else {
        if (down_) State = cbsLatched;
        Repaint();
    }
    if (inside) Click();
    UpdateTracking();
}

void TCoolButton::UpdateTracking() {
    if (!Enabled()) return;
    fw::TPoint pointer;
    fw::GetCursorPos(&pointer);
    if (ControlAtScreenPoint(pointer) == this) {
        pointer_flag_ = false;
    } else {
        pointer_flag_ = true;
        Perform(fw::CM_MOUSELEAVE);
    }
}

void TCoolButton::MouseLeft(fw::TMessage& message) {
    fw::TGraphicControl::Dispatch(message);
    if (pointer_flag_ && Enabled() && !tracking_) {
        pointer_flag_ = false;
        Invalidate();
    }
}

// ---- Messages ----------------------------------------------------------------------

void TCoolButton::EnabledChanged() {
    glyph_->BuildStateImage(Enabled() ? cbsUp : cbsDisabled);
    UpdateTracking();
    Repaint();
}

bool TCoolButton::DialogChar(fw::TMessage& message) {
    if (!IsAccel(static_cast<std::uint16_t>(message.WParam), Caption()) || !Enabled()) return false;
    Click();
    message.Result = 1;
    return true;
}

void TCoolButton::Dispatch(fw::TMessage& message) {
    switch (message.Msg) {
    case fw::WM_LBUTTONDBLCLK:
        fw::TGraphicControl::Dispatch(message);
        if (down_) DblClick();
        return;
    case fw::WM_ERASEBKGND:
        message.Result = 0;
        return;
    case fw::CM_ENABLEDCHANGED:
        EnabledChanged();
        return;
    case fw::CM_BUTTONPRESSED:
        ButtonPressed(message);
        return;
    case fw::CM_DIALOGCHAR:
        if (DialogChar(message)) return;
        break;
    case fw::CM_SYSCOLORCHANGE:
        glyph_->DropImages();
        glyph_->BuildStateImage(State);
        return;
    case fw::CM_MOUSELEAVE:
        MouseLeft(message);
        return;
    default:
        break;
    }
    fw::TGraphicControl::Dispatch(message);
}

// ---- Paint -------------------------------------------------------------------------

void TCoolButton::Paint() {
    if (!Enabled())
        State = cbsDisabled;
    else if (pointer_flag_ && State != cbsDown)
        State = cbsLatched;
    fw::TCanvas& canvas = Canvas();
    canvas.SetFont(Font());
    const fw::TRect face{0, 0, Width(), Height()};
    if (ComponentState().contains(fw::csDesigning)) {
        fw::TRect edge = face;
        const bool pressed = State == cbsDown || State == cbsLatched;
        canvas.DrawEdge(edge, pressed ? fw::BDR_SUNKENOUTER : fw::BDR_RAISEDINNER, fw::BF_RECT);
    }
    glyph_->DrawFace(canvas, face, Caption(), layout_, margin_, spacing_, State);
}

} // namespace skin
