// Forms: the display window behind a form, its pixels and update region, the close
// protocol, keys, the move loop and the pointer's control.
#include "framework/forms.hpp"

#include "framework/exception_guard.hpp"
#include "framework/form_reader.hpp"
#include "framework/graphics/canvas.hpp"
#include "framework/platform_access.hpp"

#include <map>
#include <unordered_map>
#include <utility>

namespace fw {

namespace {

FormHost* g_host = nullptr;

std::map<std::string, std::string_view, std::less<>>& Descriptions() {
    static auto* d = new std::map<std::string, std::string_view, std::less<>>;
    return *d;
}

std::unordered_map<os::WindowId, TCustomForm*>& FormsByWindow() {
    // Never destroyed, so that forms destroyed at exit can still leave it.
    static auto* m = new std::unordered_map<os::WindowId, TCustomForm*>;
    return *m;
}

os::Rect ToOs(const TRect& r) {
    return {r.Left, r.Top, r.Right, r.Bottom};
}

// A window's pixels at the display's scale, so that text is rasterised at the device's size
// rather than enlarged after.
os::PixelBuffer WindowPixels(int width, int height, TColor color) {
    const int scale = HasDisplay() ? GetDisplay().Scale() : 1;
    os::PixelBuffer pixels(std::max(1, width) * scale, std::max(1, height) * scale,
                           ColorRefToPixel(ColorToRGB(color)));
    pixels.scale = scale;
    return pixels;
}

os::PointerCursor ToPointer(TCursor c) {
    switch (c) {
    case crHandPoint:
        return os::PointerCursor::Hand;
    case crDrag:
        return os::PointerCursor::Drag;
    default:
        return os::PointerCursor::Default;
    }
}

} // namespace

FormHost* GetFormHost() {
    return g_host;
}

void SetFormHost(FormHost* host) {
    g_host = host;
}

void RegisterFormDescription(std::string_view class_name, std::string_view text) {
    Descriptions()[std::string(class_name)] = text;
}

std::optional<std::string_view> FindFormDescription(std::string_view class_name) {
    auto it = Descriptions().find(class_name);
    if (it == Descriptions().end()) return std::nullopt;
    return it->second;
}

TCustomForm* FindForm(os::WindowId window) {
    auto it = FormsByWindow().find(window);
    return it == FormsByWindow().end() ? nullptr : it->second;
}

TCustomForm* detail::FormOf(HWND h) {
    return dynamic_cast<TCustomForm*>(FindControl(h));
}

void TCustomForm::Describe(TClassBuilder<TCustomForm>& c) {
    // A form stores its client size, not its outer size.
    c.Prop("Width", &TControl::Width, &TControl::SetWidth).Stored(false);
    c.Prop("Height", &TControl::Height, &TControl::SetHeight).Stored(false);
    c.Prop("BorderIcons", &TCustomForm::BorderIcons, &TCustomForm::SetBorderIcons,
           TBorderIcons{biSystemMenu, biMinimize, biMaximize});
    c.Prop("BorderStyle", &TCustomForm::BorderStyle, &TCustomForm::SetBorderStyle, bsSizeable);
    c.Prop("ClientHeight", &TControl::ClientHeight, &TControl::SetClientHeight).NoDefault();
    c.Prop("ClientWidth", &TControl::ClientWidth, &TControl::SetClientWidth).NoDefault();
    c.Prop("FormStyle", &TCustomForm::FormStyle, &TCustomForm::SetFormStyle, fsNormal);
    c.Prop("KeyPreview", &TCustomForm::KeyPreview, false);
    c.Prop("Position", &TCustomForm::Position, &TCustomForm::SetPosition, poDesigned);
    c.Prop("Scaled", &TCustomForm::Scaled, true);
    c.Prop("Visible", &TControl::Visible, &TCustomForm::SetVisible, false);
    c.Prop("OnClose", &TCustomForm::OnClose);
    c.Prop("OnCloseQuery", &TCustomForm::OnCloseQuery);
    c.Prop("OnCreate", &TCustomForm::OnCreate);
    c.Prop("OnDestroy", &TCustomForm::OnDestroy);
    c.Prop("OnHide", &TCustomForm::OnHide);
    c.Prop("OnKeyDown", &TCustomForm::OnKeyDown);
    c.Prop("OnKeyUp", &TCustomForm::OnKeyUp);
    c.Prop("OnPaint", &TCustomForm::OnPaint);
    c.Prop("OnShow", &TCustomForm::OnShow);
    c.Prop("PixelsPerInch", &TCustomForm::PixelsPerInch).NoDefault();
    c.Prop("TextHeight", &TCustomForm::TextHeight).NoDefault();
}

TCustomForm::TCustomForm(TComponent* owner) : TWinControl(owner) {
    visible_ = false;
    parent_color_ = false;
    color_ = clBtnFace;
    parent_font_ = false;
    ControlStyle = {csAcceptsControls, csCaptureMouse, csClickEvents, csSetCaption, csDoubleClicks};
    SetBounds(0, 0, 320, 240);
    if (g_host) g_host->FormCreated(*this);
}

TCustomForm::~TCustomForm() {
    Destroying();
    if (created_ && OnDestroy.Assigned()) Guarded(this, [this] { OnDestroy(this); });
    if (g_host) g_host->FormDestroyed(*this);
    DestroyComponents();
    DestroyHandle();
}

void TCustomForm::AfterConstruction() {
    if (const auto text = FindFormDescription(ClassName())) ReadComponent(*text, *this);
    created_ = true;
    if (OnCreate.Assigned()) OnCreate(this);
}

void TCustomForm::SetBorderStyle(TFormBorderStyle value) {
    border_style_ = value;
}

void TCustomForm::SetFormStyle(TFormStyle value) {
    if (value == form_style_) return;
    form_style_ = value;
    if (window_) GetDisplay().SetTopmost(window_, value == fsStayOnTop);
}

void TCustomForm::CreateHandle() {
    TWinControl::CreateHandle();
    if (!HasDisplay()) return;
    os::WindowParams p;
    p.bounds = {Left(), Top(), Left() + std::max(1, Width()), Top() + std::max(1, Height())};
    p.title = WindowTitle();
    p.undecorated = border_style_ == bsNone;
    p.topmost = form_style_ == fsStayOnTop;
    p.wants_double_clicks = true;
    p.skip_taskbar = skip_taskbar_;
    CreateParams(p);
    window_ = GetDisplay().CreateWindow(p);
    FormsByWindow()[window_] = this;
    if (g_host) g_host->GiveIcon(window_);
    surface_ = WindowPixels(Width(), Height(), Color());
    if (shape_) SetShape(shape_);
    update_ = Region(ClientRect());
    erase_ = update_;
    detail::g_paint_wanted = true;
}

void TCustomForm::DestroyHandle() {
    if (window_) {
        FormsByWindow().erase(window_);
        if (HasDisplay()) GetDisplay().DestroyWindow(window_);
        window_ = os::kNoWindow;
    }
    TWinControl::DestroyHandle();
}

std::string TCustomForm::WindowTitle() const {
    if (g_host && g_host->IsMainForm(*this)) {
        std::string title = g_host->Title();
        if (!title.empty()) return title;
    }
    return Caption();
}

void TCustomForm::TitleChanged() {
    if (window_) GetDisplay().SetTitle(window_, WindowTitle());
}

void TCustomForm::SetSkipTaskbar(bool skip) {
    skip_taskbar_ = skip;
    if (window_) GetDisplay().SetSkipTaskbar(window_, skip);
}

void TCustomForm::SetShape(const std::optional<Region>& shape) {
    shape_ = shape;
    if (!window_) return;
    if (!shape) {
        GetDisplay().SetShape(window_, std::nullopt);
        return;
    }
    std::vector<os::Rect> rects;
    for (const TRect& r : shape->Rects())
        rects.push_back(ToOs(r));
    GetDisplay().SetShape(window_, rects);
}

void TCustomForm::SetVisible(bool value) {
    if (value == visible_) return;
    visible_ = value;
    if (value) {
        HandleNeeded();
        if (window_) {
            GetDisplay().Show(window_, true);
            GetDisplay().Activate(window_);
        }
        if (OnShow.Assigned()) OnShow(this);
        Update();
    } else {
        if (GetCaptureControl() && GetCaptureControl()->GetParentForm() == this) ReleaseCapture();
        if (window_) GetDisplay().Show(window_, false);
        if (OnHide.Assigned()) OnHide(this);
    }
}

void TCustomForm::SetBounds(int left, int top, int width, int height) {
    // As the platform limits a window's tracking size, no form is larger than the screen;
    // so no stored size can make the form's pixels outgrow what the screen shows.
    if (HasDisplay()) {
        const os::Size screen = GetDisplay().ScreenSize();
        width = std::min(width, std::max(1, screen.width));
        height = std::min(height, std::max(1, screen.height));
    }
    const bool resized = width != Width() || height != Height();
    TControl::SetBounds(left, top, width, height);
    if (!window_) return;
    GetDisplay().SetBounds(
        window_, {Left(), Top(), Left() + std::max(1, Width()), Top() + std::max(1, Height())});
    if (resized) {
        surface_ = WindowPixels(Width(), Height(), Color());
        AlignControls();
        AddUpdate(ClientRect(), true);
    }
}

void TCustomForm::DisplayMoved(const os::Rect& bounds) {
    left_ = bounds.left;
    top_ = bounds.top;
}

void TCustomForm::AddUpdate(const TRect& rect, bool erase) {
    if (!window_) return;
    const Region r(rect);
    update_ = update_ | r;
    if (erase) erase_ = erase_ | r;
    detail::g_paint_wanted = true;
}

TCanvas& TCustomForm::Canvas() {
    if (!canvas_) {
        canvas_ = std::make_unique<TCanvas>();
        canvas_->OnChange = Bind<&TCustomForm::CanvasChanged>(this);
    }
    // The surface is replaced when the form is resized.
    canvas_->Attach(surface_);
    return *canvas_;
}

[[gnu::hot]] void TCustomForm::Update() {
    // Every idle turn asks; the painting itself stays out of the idle turn's code.
    if (!window_ || !visible_ || (update_.IsEmpty() && !drawn_)) return;
    PaintUpdate();
}

void TCustomForm::PaintUpdate() {
    if (update_.IsEmpty()) {
        drawn_ = false;
        Present(ClientRect());
        return;
    }
    const bool drawn = std::exchange(drawn_, false);
    const Region region = update_;
    const Region erase = erase_ & region;
    update_ = Region();
    erase_ = Region();
    // The form's own background, where no opaque child covers it.
    Region own = region;
    for (TControl* c : controls_)
        if (c->visible_ && c->ControlStyle.contains(csOpaque)) own = own - Region(c->BoundsRect());
    if (!erase.IsEmpty()) {
        TCanvas canvas(surface_, {0, 0}, erase & own);
        canvas.Brush().SetColor(Color());
        canvas.FillRect(ClientRect());
    }
    if (!own.IsEmpty()) {
        TCanvas canvas(surface_, {0, 0}, own);
        canvas.SetFont(Font());
        PaintWindow(canvas);
    }
    PaintControls(surface_, {0, 0}, region, nullptr);
    Present(drawn ? ClientRect() : region.Bounds());
}

void TCustomForm::PaintWindow(TCanvas&) {
    if (OnPaint.Assigned()) OnPaint(this);
}

void TCustomForm::PaintImmediately(TWinControl& parent, TPoint offset, const TRect& bounds,
                                   TControl* first) {
    if (!window_ || !visible_) return;
    Region clip(OffsetRect(bounds, offset.X, offset.Y));
    TPoint o = offset;
    // Clip to every ancestor's client area on the way up.
    for (TWinControl* p = &parent; p; p = p->Parent()) {
        TPoint po;
        p->PaintHost(po);
        clip = clip & Region(OffsetRect(p->ClientRect(), po.X, po.Y));
    }
    if (clip.IsEmpty()) return;
    parent.PaintControls(surface_, o, clip, first);
    Present(clip.Bounds());
}

void TCustomForm::Present(const TRect& rect) {
    if (!window_ || rect.IsEmpty()) return;
    GetDisplay().Present(window_, surface_, ToOs(rect));
}

void TCustomForm::Close() {
    if (ComponentState().contains(csDestroying)) return;
    if (!CloseQuery()) return;
    TCloseAction action = caHide;
    DoClose(action);
    if (action == caNone) return;
    if (g_host && g_host->IsMainForm(*this)) {
        g_host->Terminate();
        return;
    }
    switch (action) {
    case caHide:
        Hide();
        break;
    case caMinimize:
        if (window_) GetDisplay().Iconify(window_);
        break;
    case caFree:
        Release();
        break;
    default:
        break;
    }
}

bool TCustomForm::CloseQuery() {
    bool can = true;
    if (OnCloseQuery.Assigned()) OnCloseQuery(this, can);
    return can;
}

void TCustomForm::DoClose(TCloseAction& action) {
    if (OnClose.Assigned()) OnClose(this, action);
}

void TCustomForm::Release() {
    PostMessage(Handle(), CM_RELEASE);
}

TModalResult TCustomForm::ShowModal() {
    ModalResult = mrNone;
    SetVisible(true);
    const HWND h = Handle();
    MessageLoop::Current().RunUntil([&] { return ModalResult != mrNone || !IsWindow(h); });
    if (IsWindow(h)) SetVisible(false);
    return ModalResult;
}

void TCustomForm::BringToFront() {
    if (window_) GetDisplay().Raise(window_);
}

void TCustomForm::KeyDown(std::uint16_t& key, TShiftState shift) {
    if (OnKeyDown.Assigned()) OnKeyDown(this, key, shift);
}

void TCustomForm::KeyUp(std::uint16_t& key, TShiftState shift) {
    if (OnKeyUp.Assigned()) OnKeyUp(this, key, shift);
}

void TCustomForm::DragMove() {
    if (!window_ || moving_) return;
    moving_ = true;
    GetDisplay().StartMove(window_);
    const HWND h = Handle();
    MessageLoop::Current().RunUntil([&] { return !IsWindow(h) || !moving_; });
}

void TCustomForm::UpdateCursor() {
    if (!window_) return;
    TControl* c = GetCaptureControl();
    if (!c) {
        const TPoint p = ScreenToClient([] {
            TPoint pos;
            GetCursorPos(&pos);
            return pos;
        }());
        c = ControlAtPos(p, true, true);
    }
    const TCursor cursor = c && c->Cursor() != crDefault ? c->Cursor() : Cursor();
    GetDisplay().SetCursor(window_, ToPointer(cursor));
}

void TCustomForm::TrackPointer(TPoint client) {
    TControl* now = ControlAtPos(client, true, true);
    if (GetCaptureControl() && GetCaptureControl()->GetParentForm() == this) now = hover_;
    if (now == hover_) return;
    TControl* old = hover_;
    hover_ = now;
    if (old) old->Perform(CM_MOUSELEAVE);
    if (now) now->Perform(CM_MOUSEENTER);
    UpdateCursor();
}

void TCustomForm::ControlRemoved(TControl* control) {
    // No leave message: a control on its way out of its destructor can no longer take one.
    if (control == hover_) hover_ = nullptr;
}

void TCustomForm::Dispatch(TMessage& message) {
    switch (message.Msg) {
    case WM_CLOSE:
        Close();
        return;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN: {
        auto key = static_cast<std::uint16_t>(message.WParam);
        TShiftState shift;
        if (GetKeyState(VK_SHIFT) < 0) shift.insert(ssShift);
        if (GetKeyState(VK_CONTROL) < 0) shift.insert(ssCtrl);
        if (GetKeyState(VK_MENU) < 0) shift.insert(ssAlt);
        KeyDown(key, shift);
        // Alt with a letter or digit is a dialog character for the controls' accelerators.
        if (key != 0 && shift.contains(ssAlt) &&
            ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')))
            Broadcast(CM_DIALOGCHAR, key, 0);
        return;
    }
    case WM_KEYUP:
    case WM_SYSKEYUP: {
        auto key = static_cast<std::uint16_t>(message.WParam);
        TShiftState shift;
        if (GetKeyState(VK_SHIFT) < 0) shift.insert(ssShift);
        if (GetKeyState(VK_CONTROL) < 0) shift.insert(ssCtrl);
        if (GetKeyState(VK_MENU) < 0) shift.insert(ssAlt);
        KeyUp(key, shift);
        return;
    }
    case WM_SYSCOMMAND:
        switch (message.WParam & 0xFFF0) {
        case SC_DRAGMOVE & 0xFFF0:
            DragMove();
            return;
        case SC_MINIMIZE:
            if (g_host && g_host->IsMainForm(*this))
                g_host->Minimize();
            else if (window_)
                GetDisplay().Iconify(window_);
            return;
        case SC_RESTORE:
            if (g_host && g_host->IsMainForm(*this))
                g_host->Restore();
            else if (window_)
                GetDisplay().Restore(window_);
            return;
        case SC_CLOSE:
            Close();
            return;
        }
        return;
    case CM_TEXTCHANGED:
        TitleChanged();
        return;
    case CM_RELEASE: {
        const HWND h = Handle();
        DestroyHandle();
        MessageLoop::Current().ReleaseAfterDispatch(h, [this] { delete this; });
        return;
    }
    case CM_MOUSELEAVE:
        if (message.LParam == 0 && hover_) {
            // The pointer left the window.
            TControl* old = hover_;
            hover_ = nullptr;
            old->Perform(CM_MOUSELEAVE);
        }
        return;
    case WM_MOUSEMOVE:
        TrackPointer({ParamX(message.LParam), ParamY(message.LParam)});
        TWinControl::Dispatch(message);
        return;
    case WM_PAINT:
        return;
    default:
        TWinControl::Dispatch(message);
    }
}

} // namespace fw
