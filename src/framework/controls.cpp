// TControl, TGraphicControl and TWinControl: bounds and alignment, properties that notify
// the control, the mouse steps, message dispatch and routing, and the paint requests.
#include "framework/controls.hpp"

#include "framework/exception_guard.hpp"
#include "framework/graphics/canvas.hpp"
#include "framework/platform_access.hpp"

#include "framework/graphics/color_idents.hpp"

#include <algorithm>
#include <unordered_map>

namespace fw {

namespace {
TControl* g_capture = nullptr;

std::unordered_map<HWND, TWinControl*>& ControlsByHandle() {
    // Never destroyed, so that controls destroyed at exit can still leave it.
    static auto* m = new std::unordered_map<HWND, TWinControl*>;
    return *m;
}

// The control at the top of `c`'s parents (`c` itself without parent), when it is a form.
TWinControl* FormControl(const TControl* c) {
    while (c->Parent())
        c = c->Parent();
    auto* top = dynamic_cast<TWinControl*>(const_cast<TControl*>(c));
    return top && top->AsForm() ? top : nullptr;
}
} // namespace

TWinControl* FindControl(HWND handle) {
    auto it = ControlsByHandle().find(handle);
    return it == ControlsByHandle().end() ? nullptr : it->second;
}

const TEnumInfo& CursorIdents() {
    static const TEnumInfo info({{"crDefault", crDefault},
                                 {"crArrow", crArrow},
                                 {"crCross", crCross},
                                 {"crIBeam", crIBeam},
                                 {"crHourGlass", crHourGlass},
                                 {"crDrag", crDrag},
                                 {"crNoDrop", crNoDrop},
                                 {"crHandPoint", crHandPoint}},
                                TEnumInfo::IntegerLike);
    return info;
}

TShiftState MouseShiftState(WPARAM keys) {
    TShiftState s;
    if (keys & MK_SHIFT) s.insert(ssShift);
    if (keys & MK_CONTROL) s.insert(ssCtrl);
    if (keys & MK_LBUTTON) s.insert(ssLeft);
    if (keys & MK_RBUTTON) s.insert(ssRight);
    if (keys & MK_MBUTTON) s.insert(ssMiddle);
    if (GetKeyState(VK_MENU) < 0) s.insert(ssAlt);
    return s;
}

bool IsMouseMessage(UINT msg) {
    return msg >= WM_MOUSEMOVE && msg <= WM_MBUTTONDBLCLK;
}

TControl* GetCaptureControl() {
    return g_capture;
}

void SetCaptureControl(TControl* control) {
    g_capture = control;
    if (!HasDisplay()) return;
    TWinControl* form = control ? FormControl(control) : nullptr;
    if (form && form->HandleAllocated())
        GetDisplay().SetCapture(form->DisplayWindow());
    else
        GetDisplay().ReleaseCapture();
}

void ReleaseCapture() {
    SetCaptureControl(nullptr);
}

void ReleaseWindowLater(std::unique_ptr<TWinControl> control) {
    if (!control) return;
    if (!control->HandleAllocated()) return; // destroyed here by the unique_ptr
    const HWND h = control->Handle();
    TWinControl* raw = control.release();
    // The handle goes at once, so that nothing more reaches the window; the object lives
    // until its handlers have returned.
    raw->DestroyHandle();
    MessageLoop::Current().ReleaseAfterDispatch(h, [raw] { delete raw; });
}

// ---- TControl ----------------------------------------------------------------------

void TControl::Describe(TClassBuilder<TControl>& c) {
    c.Prop("Left", &TControl::Left, &TControl::SetLeft).NoDefault();
    c.Prop("Top", &TControl::Top, &TControl::SetTop).NoDefault();
    c.Prop("Width", &TControl::Width, &TControl::SetWidth).NoDefault();
    c.Prop("Height", &TControl::Height, &TControl::SetHeight).NoDefault();
    c.Prop("Align", &TControl::Align, &TControl::SetAlign, alNone);
    c.Prop("Caption", &TControl::Caption, &TControl::SetCaption, std::string());
    c.Prop("Color", &TControl::Color, &TControl::SetColor)
        .WithIdents(ColorIdents())
        .StoredIf(
            [](const TPersistent& o) { return !static_cast<const TControl&>(o).parent_color_; });
    c.Prop("Cursor", &TControl::Cursor, &TControl::SetCursor, crDefault).WithIdents(CursorIdents());
    c.Prop("Enabled", &TControl::Enabled, &TControl::SetEnabled, true);
    c.Prop("Font", &TControl::Font).StoredIf([](const TPersistent& o) {
        return !static_cast<const TControl&>(o).parent_font_;
    });
    c.Prop("Hint", &TControl::Hint, &TControl::SetHint, std::string());
    c.Prop("ParentColor", &TControl::ParentColor, &TControl::SetParentColor, true);
    c.Prop("ParentFont", &TControl::ParentFont, &TControl::SetParentFont, true);
    c.Prop("ParentShowHint", &TControl::ParentShowHint, &TControl::SetParentShowHint, true);
    c.Prop("ShowHint", &TControl::ShowHint, &TControl::SetShowHint)
        .StoredIf([](const TPersistent& o) {
            return !static_cast<const TControl&>(o).parent_show_hint_;
        });
    c.Prop("Visible", &TControl::Visible, &TControl::SetVisible, true);
    c.Prop("OnClick", &TControl::OnClick);
    c.Prop("OnDblClick", &TControl::OnDblClick);
    c.Prop("OnMouseDown", &TControl::OnMouseDown);
    c.Prop("OnMouseMove", &TControl::OnMouseMove);
    c.Prop("OnMouseUp", &TControl::OnMouseUp);
}

TControl::TControl(TComponent* owner) : TComponent(owner), font_(std::make_unique<TFont>()) {
    ControlStyle = {csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks};
    font_->OnChange = Bind<&TControl::FontChanged>(this);
}

TControl::~TControl() {
    Destroying();
    if (g_capture == this) ReleaseCapture();
    if (parent_) parent_->RemoveControl(this);
}

TComponent* TControl::GetParentComponent() const {
    return parent_;
}

void TControl::SetParentComponent(TComponent* parent) {
    if (auto* win = dynamic_cast<TWinControl*>(parent)) SetParent(win);
}

void TControl::SetParent(TWinControl* parent) {
    if (parent == parent_) return;
    if (parent == this) throw EInvalidOperation("A control cannot have itself as its parent");
    if (parent_) parent_->RemoveControl(this);
    if (parent) {
        parent->InsertControl(this);
        if (parent_font_) ParentFontChanged();
        if (parent_color_) ParentColorChanged();
        if (parent_show_hint_) show_hint_ = parent->show_hint_;
    }
}

void TControl::SetBounds(int left, int top, int width, int height) {
    if (left == left_ && top == top_ && width == width_ && height == height_) return;
    InvalidateControl(true);
    left_ = left;
    top_ = top;
    width_ = std::max(0, width);
    height_ = std::max(0, height);
    InvalidateControl(true);
    BoundsChanged();
}

void TControl::BoundsChanged() {
    if (parent_ && align_ != alNone && !parent_->ControlState.contains(csAligning))
        parent_->AlignControls();
}

void TControl::SetClientSize(int width, int height) {
    const TRect client = ClientRect();
    SetBounds(left_, top_, width_ - client.Width() + width, height_ - client.Height() + height);
}

TPoint TControl::ClientOrigin() const {
    if (!parent_) return {left_, top_};
    const TPoint p = parent_->ClientOrigin();
    return {p.X + left_, p.Y + top_};
}

TPoint TControl::ClientToScreen(TPoint p) const {
    const TPoint o = ClientOrigin();
    return {p.X + o.X, p.Y + o.Y};
}

TPoint TControl::ScreenToClient(TPoint p) const {
    const TPoint o = ClientOrigin();
    return {p.X - o.X, p.Y - o.Y};
}

void TControl::SetAlign(TAlign value) {
    if (value == align_) return;
    align_ = value;
    if (parent_ && !ComponentState().contains(csLoading)) parent_->AlignControls();
}

void TControl::SetVisible(bool value) {
    if (value == visible_) return;
    if (!value) InvalidateControl(true);
    visible_ = value;
    if (value) InvalidateControl(true);
    if (!value && g_capture == this) ReleaseCapture();
    if (parent_ && align_ != alNone) parent_->AlignControls();
}

bool TControl::Showing() const {
    if (!visible_) return false;
    if (!parent_) return FormControl(this) != nullptr;
    return parent_->Showing();
}

void TControl::SetEnabled(bool value) {
    if (value == enabled_) return;
    enabled_ = value;
    Perform(CM_ENABLEDCHANGED);
}

void TControl::SetText(const std::string& value) {
    if (value == text_) return;
    text_ = value;
    Perform(CM_TEXTCHANGED);
}

void TControl::SetFont(const TFont& value) {
    font_->Assign(value);
}

void TControl::FontChanged(TObject*) {
    parent_font_ = false;
    Perform(CM_FONTCHANGED);
}

void TControl::SetParentFont(bool value) {
    if (value == parent_font_) return;
    parent_font_ = value;
    if (value) ParentFontChanged();
}

void TControl::ParentFontChanged() {
    if (!parent_font_ || !parent_) return;
    const TNotifyEvent saved = font_->OnChange;
    font_->OnChange = nullptr;
    font_->Assign(parent_->Font());
    font_->OnChange = saved;
    Perform(CM_FONTCHANGED);
}

void TControl::SetColor(TColor value) {
    parent_color_ = false;
    if (value == color_) return;
    color_ = value;
    Invalidate();
}

void TControl::SetParentColor(bool value) {
    if (value == parent_color_) return;
    parent_color_ = value;
    if (value) ParentColorChanged();
}

void TControl::ParentColorChanged() {
    if (!parent_color_ || !parent_) return;
    color_ = parent_->color_;
    Invalidate();
}

void TControl::SetCursor(TCursor value) {
    if (value == cursor_) return;
    cursor_ = value;
    if (TWinControl* form = FormControl(this)) form->UpdateCursor();
}

void TControl::SetShowHint(bool value) {
    parent_show_hint_ = false;
    show_hint_ = value;
}

void TControl::SetParentShowHint(bool value) {
    parent_show_hint_ = value;
    if (value && parent_) show_hint_ = parent_->show_hint_;
}

LRESULT TControl::Perform(UINT msg, WPARAM wparam, LPARAM lparam) {
    TMessage m{msg, wparam, lparam, 0};
    WndProc(m);
    return m.Result;
}

void TControl::WndProc(TMessage& message) {
    // Controls that do not want double clicks get them as ordinary presses.
    if (!ControlStyle.contains(csDoubleClicks)) {
        if (message.Msg == WM_LBUTTONDBLCLK) message.Msg = WM_LBUTTONDOWN;
        if (message.Msg == WM_RBUTTONDBLCLK) message.Msg = WM_RBUTTONDOWN;
        if (message.Msg == WM_MBUTTONDBLCLK) message.Msg = WM_MBUTTONDOWN;
    }
    Dispatch(message);
}

void TControl::Dispatch(TMessage& message) {
    if (IsMouseMessage(message.Msg)) {
        MouseMessage(message);
        return;
    }
    switch (message.Msg) {
    case CM_ENABLEDCHANGED:
        Invalidate();
        return;
    case CM_TEXTCHANGED:
    case CM_FONTCHANGED:
        Invalidate();
        return;
    case CM_MOUSELEAVE:
        // Tell the parent, which tracks the control under the pointer.
        if (parent_) parent_->Perform(CM_MOUSELEAVE, 0, reinterpret_cast<LPARAM>(this));
        return;
    default:
        DefaultHandler(message);
    }
}

void TControl::DefaultHandler(TMessage&) {}

void TControl::MouseMessage(TMessage& m) {
    const TShiftState shift = MouseShiftState(m.WParam);
    const int x = ParamX(m.LParam);
    const int y = ParamY(m.LParam);
    switch (m.Msg) {
    case WM_MOUSEMOVE:
        MouseMove(shift, x, y);
        break;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        if (ControlStyle.contains(csCaptureMouse)) SetMouseCapture(true);
        if (ControlStyle.contains(csClickEvents)) ControlState.insert(csClicked);
        TShiftState s = shift;
        if (m.Msg == WM_LBUTTONDBLCLK) {
            s.insert(ssDouble);
            if (ControlStyle.contains(csClickEvents)) DblClick();
        }
        MouseDown(mbLeft, s, x, y);
        break;
    }
    case WM_LBUTTONUP:
        if (ControlStyle.contains(csCaptureMouse)) SetMouseCapture(false);
        if (ControlState.contains(csClicked)) {
            ControlState.erase(csClicked);
            if (ClientRect().Contains(x, y)) Click();
        }
        MouseUp(mbLeft, shift, x, y);
        break;
    case WM_RBUTTONDOWN:
    case WM_RBUTTONDBLCLK:
        MouseDown(mbRight, m.Msg == WM_RBUTTONDBLCLK ? shift | TShiftState{ssDouble} : shift, x, y);
        break;
    case WM_RBUTTONUP:
        MouseUp(mbRight, shift, x, y);
        break;
    case WM_MBUTTONDOWN:
    case WM_MBUTTONDBLCLK:
        MouseDown(mbMiddle, m.Msg == WM_MBUTTONDBLCLK ? shift | TShiftState{ssDouble} : shift, x,
                  y);
        break;
    case WM_MBUTTONUP:
        MouseUp(mbMiddle, shift, x, y);
        break;
    }
}

void TControl::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
    if (OnMouseDown.Assigned()) OnMouseDown(this, button, shift, x, y);
}

void TControl::MouseMove(TShiftState shift, int x, int y) {
    if (OnMouseMove.Assigned()) OnMouseMove(this, shift, x, y);
}

void TControl::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
    if (OnMouseUp.Assigned()) OnMouseUp(this, button, shift, x, y);
}

void TControl::Click() {
    if (OnClick.Assigned()) OnClick(this);
}

void TControl::DblClick() {
    if (OnDblClick.Assigned()) OnDblClick(this);
}

bool TControl::MouseCapture() const {
    return g_capture == this;
}

void TControl::SetMouseCapture(bool value) {
    if (value)
        SetCaptureControl(this);
    else if (g_capture == this)
        SetCaptureControl(nullptr);
}

void TControl::InvalidateControl(bool erase) {
    if (!parent_ || width_ <= 0 || height_ <= 0) return;
    if (!visible_ && !ComponentState().contains(csDesigning)) return;
    parent_->InvalidateRect(BoundsRect(), erase && !ControlStyle.contains(csOpaque));
}

void TControl::Invalidate() {
    InvalidateControl(true);
}

void TControl::Repaint() {
    if (!parent_ || !visible_) return;
    TPoint offset;
    TWinControl* host = parent_->PaintHost(offset);
    if (!host || !host->HandleAllocated()) return;
    if (ControlStyle.contains(csOpaque)) {
        // Straight onto what the window shows: this control and those above it, without
        // repainting what lies below.
        host->PaintImmediately(*parent_, offset, BoundsRect(), this);
    } else {
        Invalidate();
        Update();
    }
}

void TControl::Update() {
    if (TWinControl* form = FormControl(this)) form->PaintPending();
}

void TControl::BringToFront() {
    if (!parent_) return;
    auto& list = dynamic_cast<TWinControl*>(this) ? parent_->win_controls_ : parent_->controls_;
    std::erase(list, this);
    list.push_back(this);
    Invalidate();
}

void TControl::SendToBack() {
    if (!parent_) return;
    auto& list = dynamic_cast<TWinControl*>(this) ? parent_->win_controls_ : parent_->controls_;
    std::erase(list, this);
    list.insert(list.begin(), this);
    Invalidate();
}

TCustomForm* TControl::GetParentForm() const {
    TWinControl* form = FormControl(this);
    return form ? form->AsForm() : nullptr;
}

void TControl::Loaded() {
    TComponent::Loaded();
    if (parent_ && align_ != alNone) parent_->AlignControls();
}

void TControl::PaintTo(os::PixelBuffer&, TPoint, const Region&) {}

// ---- TGraphicControl ---------------------------------------------------------------

TGraphicControl::TGraphicControl(TComponent* owner) : TControl(owner) {}

TGraphicControl::~TGraphicControl() = default;

TCanvas& TGraphicControl::Canvas() const {
    if (!canvas_) throw EInvalidOperation("Canvas does not allow drawing");
    return *canvas_;
}

void TGraphicControl::PaintTo(os::PixelBuffer& surface, TPoint origin, const Region& clip) {
    TCanvas canvas(surface, origin, clip);
    canvas_ = &canvas;
    struct Reset {
        TCanvas*& c;
        ~Reset() { c = nullptr; }
    } reset{canvas_};
    canvas.SetFont(Font());
    Perform(WM_PAINT);
}

void TGraphicControl::Dispatch(TMessage& message) {
    if (message.Msg == WM_PAINT) {
        if (canvas_) Paint();
        message.Result = 0;
        return;
    }
    TControl::Dispatch(message);
}

// ---- TWinControl -------------------------------------------------------------------

TWinControl::TWinControl(TComponent* owner) : TControl(owner) {
    ControlStyle.insert(csAcceptsControls);
}

TWinControl::~TWinControl() {
    Destroying();
    // Owned components first, while this control can still answer their removal.
    DestroyComponents();
    for (TControl* c : controls_)
        c->parent_ = nullptr;
    for (TControl* c : win_controls_)
        c->parent_ = nullptr;
    controls_.clear();
    win_controls_.clear();
    DestroyHandle();
}

HWND TWinControl::Handle() {
    if (!handle_) CreateHandle();
    return handle_;
}

void TWinControl::CreateHandle() {
    handle_ = MessageLoop::Current().AllocateHandle(&target_);
    ControlsByHandle()[handle_] = this;
}

void TWinControl::DestroyHandle() {
    if (!handle_) return;
    ControlsByHandle().erase(handle_);
    if (MessageLoop::Exists()) MessageLoop::Current().DestroyHandle(handle_);
    handle_ = 0;
}

void TWinControl::HandleTarget::WndProc(TMessage& message) {
    TWinControl* self = owner;
    // An exception never leaves a window procedure.
    Guarded(self, [&] { self->WndProc(message); });
}

TControl* TWinControl::Controls(int index) const {
    const int n = static_cast<int>(controls_.size());
    if (index < 0 || index >= ControlCount())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return index < n ? controls_[static_cast<std::size_t>(index)]
                     : win_controls_[static_cast<std::size_t>(index - n)];
}

void TWinControl::InsertControl(TControl* control) {
    control->parent_ = this;
    if (dynamic_cast<TWinControl*>(control))
        win_controls_.push_back(control);
    else
        controls_.push_back(control);
    control->InvalidateControl(true);
    if (control->align_ != alNone) AlignControls();
}

void TWinControl::RemoveControl(TControl* control) {
    if (g_capture == control) ReleaseCapture();
    control->InvalidateControl(true);
    std::erase(controls_, control);
    std::erase(win_controls_, control);
    control->parent_ = nullptr;
    if (control->align_ != alNone) AlignControls();
    ControlRemoved(control);
}

TControl* TWinControl::ControlAtPos(TPoint pos, bool allow_disabled, bool all_levels) const {
    auto hit = [&](TControl* c) {
        return c->visible_ && (allow_disabled || c->enabled_) && c->BoundsRect().Contains(pos);
    };
    if (all_levels)
        for (auto it = win_controls_.rbegin(); it != win_controls_.rend(); ++it)
            if (hit(*it)) return *it;
    for (auto it = controls_.rbegin(); it != controls_.rend(); ++it)
        if (hit(*it)) return *it;
    return nullptr;
}

LRESULT TWinControl::Broadcast(UINT msg, WPARAM wparam, LPARAM lparam) {
    // Copy: a handler may change the lists.
    std::vector<TControl*> all = controls_;
    all.insert(all.end(), win_controls_.begin(), win_controls_.end());
    for (TControl* c : all) {
        const LRESULT r = c->Perform(msg, wparam, lparam);
        if (r != 0) return r;
    }
    return 0;
}

void TWinControl::GetChildren(const TGetChildProc& proc, TComponent* root) {
    for (TControl* c : controls_)
        if (c->Owner() == root) proc(*c);
    for (TControl* c : win_controls_)
        if (c->Owner() == root) proc(*c);
    if (this == root) {
        // Components of the root that are no controls (timers, audio components).
        for (int i = 0; i < ComponentCount(); ++i)
            if (!Components(i)->HasParent()) proc(*Components(i));
    }
}

TWinControl* TWinControl::PaintHost(TPoint& offset) {
    offset = {0, 0};
    TWinControl* c = this;
    while (c->Parent()) {
        offset.X += c->Left();
        offset.Y += c->Top();
        c = c->Parent();
    }
    return c->AsForm() ? c : nullptr;
}

void TWinControl::InvalidateRect(const TRect& rect, bool erase) {
    TPoint offset;
    TWinControl* host = PaintHost(offset);
    if (!host) return;
    const TRect client = ClientRect();
    TRect r{std::max(rect.Left, client.Left), std::max(rect.Top, client.Top),
            std::min(rect.Right, client.Right), std::min(rect.Bottom, client.Bottom)};
    if (r.IsEmpty()) return;
    host->AddUpdate({r.Left + offset.X, r.Top + offset.Y, r.Right + offset.X, r.Bottom + offset.Y},
                    erase);
}

void TWinControl::Invalidate() {
    if (Parent())
        InvalidateControl(true);
    else
        InvalidateRect(ClientRect(), true);
}

void TWinControl::PaintWindow(TCanvas&) {}

void TWinControl::PaintTo(os::PixelBuffer& surface, TPoint origin, const Region& clip) {
    {
        TCanvas canvas(surface, origin, clip);
        canvas.SetFont(Font());
        PaintWindow(canvas);
    }
    PaintControls(surface, origin, clip, nullptr);
}

void TWinControl::PaintControls(os::PixelBuffer& surface, TPoint origin, const Region& clip,
                                TControl* first) {
    std::vector<TControl*> all = controls_;
    all.insert(all.end(), win_controls_.begin(), win_controls_.end());
    auto start = all.begin();
    if (first) start = std::find(all.begin(), all.end(), first);
    for (auto it = start; it != all.end(); ++it) {
        TControl* c = *it;
        if (!c->visible_ && !c->ComponentState().contains(csDesigning)) continue;
        const TRect b = OffsetRect(c->BoundsRect(), origin.X, origin.Y);
        const Region r = clip & Region(b);
        if (r.IsEmpty()) continue;
        c->PaintTo(surface, {b.Left, b.Top}, r);
    }
}

void TWinControl::AlignControls() {
    if (ControlState.contains(csAligning)) return;
    ControlState.insert(csAligning);
    struct Done {
        TWinControl* c;
        ~Done() { c->ControlState.erase(csAligning); }
    } done{this};
    TRect rest = ClientRect();
    std::vector<TControl*> all = controls_;
    all.insert(all.end(), win_controls_.begin(), win_controls_.end());
    for (TAlign a : {alTop, alBottom, alLeft, alRight, alClient}) {
        for (TControl* c : all) {
            if (c->align_ != a || !c->visible_) continue;
            switch (a) {
            case alTop:
                c->SetBounds(rest.Left, rest.Top, rest.Width(), c->height_);
                rest.Top += c->height_;
                break;
            case alBottom:
                c->SetBounds(rest.Left, rest.Bottom - c->height_, rest.Width(), c->height_);
                rest.Bottom -= c->height_;
                break;
            case alLeft:
                c->SetBounds(rest.Left, rest.Top, c->width_, rest.Height());
                rest.Left += c->width_;
                break;
            case alRight:
                c->SetBounds(rest.Right - c->width_, rest.Top, c->width_, rest.Height());
                rest.Right -= c->width_;
                break;
            case alClient:
                c->SetBounds(rest.Left, rest.Top, rest.Width(), rest.Height());
                break;
            default:
                break;
            }
        }
    }
}

void TWinControl::Dispatch(TMessage& message) {
    if (IsMouseMessage(message.Msg)) {
        // The capturing child gets everything; otherwise the topmost windowless child under
        // the pointer; otherwise this control itself.
        const TPoint p{ParamX(message.LParam), ParamY(message.LParam)};
        TControl* target = nullptr;
        if (g_capture && g_capture != this) {
            // The child of this control on the way to the capturing one, if any.
            target = g_capture;
            while (target && target->parent_ != this)
                target = target->parent_;
        } else if (!g_capture) {
            target = ControlAtPos(p, false, true);
        }
        if (target && target != this) {
            message.LParam = MakePointParam(p.X - target->left_, p.Y - target->top_);
            target->WndProc(message);
            return;
        }
        TControl::Dispatch(message);
        return;
    }
    switch (message.Msg) {
    case CM_FONTCHANGED:
        TControl::Dispatch(message);
        for (int i = 0; i < ControlCount(); ++i)
            Controls(i)->ParentFontChanged();
        return;
    default:
        TControl::Dispatch(message);
    }
}

} // namespace fw
