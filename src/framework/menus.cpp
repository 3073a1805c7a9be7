// Menu items, menus, the popup menu and its modal window.
#include "framework/menus.hpp"

#include "framework/forms.hpp"
#include "framework/graphics/canvas.hpp"
#include "framework/platform_access.hpp"

#include <algorithm>

namespace fw {

// ---- TMenuItem ---------------------------------------------------------------------

void TMenuItem::Describe(TClassBuilder<TMenuItem>& c) {
    c.Prop("Caption", &TMenuItem::Caption);
    c.Prop("Default", &TMenuItem::Default, false);
    c.Prop("Enabled", &TMenuItem::Enabled, true);
    c.Prop("Visible", &TMenuItem::Visible, true);
    c.Prop("OnClick", &TMenuItem::OnClick);
}

TMenuItem::TMenuItem(TComponent* owner) : TComponent(owner) {}

TMenuItem::~TMenuItem() {
    // Items that belong to other owners outlive this sub-menu.
    for (TMenuItem* item : items_)
        item->parent_ = nullptr;
    items_.clear();
    owned_.clear();
    if (parent_) parent_->Remove(this);
}

void TMenuItem::Click() {
    if (Enabled && OnClick.Assigned()) OnClick(this);
}

TMenuItem* TMenuItem::Items(int index) const {
    if (index < 0 || index >= Count())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return items_[static_cast<std::size_t>(index)];
}

void TMenuItem::Add(TMenuItem* item) {
    if (!item || item == this || item->parent_ == this) return;
    if (item->parent_) item->parent_->Remove(item);
    items_.push_back(item);
    item->parent_ = this;
    if (!item->Owner()) owned_.emplace_back(item);
}

void TMenuItem::Remove(TMenuItem* item) {
    auto it = std::find(items_.begin(), items_.end(), item);
    if (it == items_.end()) return;
    items_.erase(it);
    item->parent_ = nullptr;
    auto own = std::find_if(owned_.begin(), owned_.end(),
                            [item](const auto& p) { return p.get() == item; });
    // Handed back to whoever removes it.
    if (own != owned_.end()) {
        own->release();
        owned_.erase(own);
    }
}

TComponent* TMenuItem::GetParentComponent() const {
    if (parent_ && parent_->menu_) return parent_->menu_;
    return parent_;
}

void TMenuItem::SetParentComponent(TComponent* parent) {
    if (auto* menu = dynamic_cast<TMenu*>(parent))
        menu->Items()->Add(this);
    else if (auto* item = dynamic_cast<TMenuItem*>(parent))
        item->Add(this);
}

void TMenuItem::GetChildren(const TGetChildProc& proc, TComponent*) {
    for (TMenuItem* item : items_)
        proc(*item);
}

// ---- TMenu -------------------------------------------------------------------------

TMenu::TMenu(TComponent* owner) : TComponent(owner), items_(std::make_unique<TMenuItem>(nullptr)) {
    items_->menu_ = this;
}

TMenu::~TMenu() {
    items_.reset();
}

void TMenu::GetChildren(const TGetChildProc& proc, TComponent* root) {
    items_->GetChildren(proc, root);
}

// ---- TPopupMenu --------------------------------------------------------------------

void TPopupMenu::Describe(TClassBuilder<TPopupMenu>& c) {
    c.Prop("AutoPopup", &TPopupMenu::AutoPopup, true);
    c.Prop("OnPopup", &TPopupMenu::OnPopup);
}

TPopupMenu::TPopupMenu(TComponent* owner) : TMenu(owner) {}

TPopupMenu::~TPopupMenu() = default;

void TPopupMenu::SetPopupComponent(TComponent* value) {
    if (value == popup_component_) return;
    if (popup_component_) popup_component_->RemoveFreeNotification(this);
    popup_component_ = value;
    if (value) value->FreeNotification(this);
}

void TPopupMenu::Notification(TComponent* component, TOperation operation) {
    TMenu::Notification(component, operation);
    if (operation == opRemove && component == popup_component_) popup_component_ = nullptr;
}

void TPopupMenu::Popup(int x, int y) {
    if (OnPopup.Assigned()) OnPopup(this);
    if (TMenuItem* chosen = TrackPopupMenu(*Items(), x, y)) chosen->Click();
}

// ---- The menu window ---------------------------------------------------------------

namespace {

constexpr std::uint16_t kVkUp = 38;
constexpr std::uint16_t kVkDown = 40;
constexpr int kTextIndent = 18;

class TPopupWindow final : public TCustomForm {
public:
    TPopupWindow(const TMenuItem& menu, int x, int y) : TCustomForm(nullptr) {
        SetBorderStyle(bsNone);
        SetFormStyle(fsStayOnTop);
        SetSkipTaskbar(true);
        SetColor(clMenu);
        Font().SetName("DejaVu Sans");
        Font().SetHeight(-12);
        for (int i = 0; i < menu.Count(); ++i)
            if (menu.Items(i)->Visible) items_.push_back(menu.Items(i));
        TCanvas measure;
        os::PixelBuffer scratch(1, 1);
        measure.Attach(scratch);
        measure.SetFont(Font());
        int width = 100, height = kMenuMargin;
        for (TMenuItem* item : items_) {
            tops_.push_back(height);
            height += item->IsLine() ? kMenuLineHeight : kMenuItemHeight;
            // Room for the bold face of the default item.
            width = std::max(width, measure.TextWidth(item->Caption) * 11 / 10 + 2 * kTextIndent);
        }
        height += kMenuMargin;
        width += 2 * kMenuMargin;
        const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
        // Open towards the screen's inside, as a menu at the tray opens upwards.
        if (x + width > sw) x -= width;
        if (y + height > sh) y -= height;
        SetBounds(std::max(0, x), std::max(0, y), width, height);
    }

    TMenuItem* Run() {
        if (items_.empty()) return nullptr;
        SetVisible(true);
        const HWND h = Handle();
        if (DisplayWindow()) GetDisplay().SetCapture(DisplayWindow());
        MessageLoop::Current().RunUntil([&] { return done_ || !IsWindow(h); });
        if (HasDisplay()) GetDisplay().ReleaseCapture();
        if (IsWindow(h)) SetVisible(false);
        return chosen_;
    }

    std::optional<TRect> ItemRect(const TMenuItem& item) const {
        for (std::size_t i = 0; i < items_.size(); ++i) {
            if (items_[i] != &item) continue;
            const TRect r = ClientItemRect(static_cast<int>(i));
            return TRect{r.Left + Left(), r.Top + Top(), r.Right + Left(), r.Bottom + Top()};
        }
        return std::nullopt;
    }

protected:
    void CreateParams(os::WindowParams& params) override {
        params.popup = true;
        params.wants_double_clicks = false;
    }

    void PaintWindow(TCanvas& c) override {
        TRect frame = ClientRect();
        c.DrawEdge(frame, EDGE_RAISED, BF_RECT);
        for (std::size_t i = 0; i < items_.size(); ++i) {
            const TMenuItem& item = *items_[i];
            const TRect r = ClientItemRect(static_cast<int>(i));
            if (item.IsLine()) {
                const int mid = (r.Top + r.Bottom) / 2;
                c.Pen().SetColor(clBtnShadow);
                c.MoveTo(r.Left + 1, mid - 1);
                c.LineTo(r.Right - 1, mid - 1);
                c.Pen().SetColor(clBtnHighlight);
                c.MoveTo(r.Left + 1, mid);
                c.LineTo(r.Right - 1, mid);
                continue;
            }
            const bool lit = static_cast<int>(i) == hover_ && item.Enabled;
            c.Brush().SetStyle(bsSolid);
            c.Brush().SetColor(lit ? clHighlight : clMenu);
            c.FillRect(r);
            c.Brush().SetStyle(bsClear);
            c.Font().SetColor(!item.Enabled ? clGrayText : lit ? clHighlightText : clMenuText);
            c.Font().SetStyle(item.Default ? TFontStyles{fsBold} : TFontStyles{});
            TRect t{r.Left + kTextIndent, r.Top, r.Right - kTextIndent, r.Bottom};
            c.DrawText(item.Caption, t, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
        }
    }

    void Dispatch(TMessage& m) override {
        switch (m.Msg) {
        case WM_MOUSEMOVE:
            SetHover(ItemAt({ParamX(m.LParam), ParamY(m.LParam)}));
            return;
        case WM_LBUTTONDOWN:
        case WM_RBUTTONDOWN:
        case WM_MBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
        case WM_RBUTTONDBLCLK:
        case WM_MBUTTONDBLCLK:
            // A press anywhere else closes the menu; on it, the release decides.
            if (!ClientRect().Contains(ParamX(m.LParam), ParamY(m.LParam))) done_ = true;
            return;
        case WM_LBUTTONUP:
        case WM_RBUTTONUP: {
            const int i = ItemAt({ParamX(m.LParam), ParamY(m.LParam)});
            if (i >= 0 && Selectable(i)) Choose(i);
            return;
        }
        case WM_MBUTTONUP:
            return;
        case WM_KEYDOWN:
        case WM_SYSKEYDOWN:
            Key(static_cast<std::uint16_t>(m.WParam));
            return;
        case WM_CLOSE:
            done_ = true;
            return;
        default:
            TCustomForm::Dispatch(m);
        }
    }

private:
    TRect ClientItemRect(int i) const {
        const auto n = static_cast<std::size_t>(i);
        const int h = items_[n]->IsLine() ? kMenuLineHeight : kMenuItemHeight;
        return {kMenuMargin, tops_[n], Width() - kMenuMargin, tops_[n] + h};
    }
    int ItemAt(TPoint p) const {
        for (std::size_t i = 0; i < items_.size(); ++i)
            if (ClientItemRect(static_cast<int>(i)).Contains(p)) return static_cast<int>(i);
        return -1;
    }
    bool Selectable(int i) const {
        const TMenuItem& item = *items_[static_cast<std::size_t>(i)];
        return !item.IsLine() && item.Enabled;
    }
    void SetHover(int i) {
        if (i == hover_) return;
        hover_ = i;
        AddUpdate(ClientRect(), true);
    }
    void Choose(int i) {
        chosen_ = items_[static_cast<std::size_t>(i)];
        done_ = true;
    }
    void Key(std::uint16_t key) {
        const int n = static_cast<int>(items_.size());
        switch (key) {
        case VK_ESCAPE:
            done_ = true;
            break;
        case VK_RETURN:
            if (hover_ >= 0 && Selectable(hover_)) Choose(hover_);
            break;
        case kVkUp:
        case kVkDown: {
            const int step = key == kVkDown ? 1 : n - 1;
            int i = hover_ < 0 ? (key == kVkDown ? n - 1 : 0) : hover_;
            for (int tries = 0; tries < n; ++tries) {
                i = (i + step) % n;
                if (!items_[static_cast<std::size_t>(i)]->IsLine()) break;
            }
            SetHover(i);
            break;
        }
        default:
            break;
        }
    }

    std::vector<TMenuItem*> items_;
    std::vector<int> tops_;
    int hover_ = -1;
    bool done_ = false;
    TMenuItem* chosen_ = nullptr;
};

TPopupWindow* g_shown = nullptr;

} // namespace

TMenuItem* TrackPopupMenu(const TMenuItem& menu, int x, int y) {
    if (!HasDisplay()) return nullptr;
    auto window = std::make_unique<TPopupWindow>(menu, x, y);
    TPopupWindow* outer = g_shown;
    g_shown = window.get();
    struct Restore {
        TPopupWindow* outer;
        ~Restore() { g_shown = outer; }
    } restore{outer};
    return window->Run();
}

std::optional<TRect> ShownMenuItemRect(const TMenuItem& item) {
    if (!g_shown) return std::nullopt;
    return g_shown->ItemRect(item);
}

void SendCancelMode(TCustomForm& form) {
    TControl* capture = GetCaptureControl();
    if (capture && (capture == &form || capture->GetParentForm() == &form)) ReleaseCapture();
}

} // namespace fw
