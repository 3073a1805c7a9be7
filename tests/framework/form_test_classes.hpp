// Small component classes for the component and form-description tests and the fuzz
// target: a form-like root with published methods and fields, a container with children,
// controls and a non-visual component with every kind of published property, nested
// objects, a component reference and properties defined by the classes themselves.
#pragma once

#include "framework/components.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace ftest {

// What the components did, in order ("Button1.Left", "Loaded Button1", ...).
inline std::vector<std::string>& Log() {
    static std::vector<std::string> log;
    return log;
}

enum TLayout : std::uint8_t { lyLeft, lyRight, lyTop };
FW_ENUM_IDENTS(TLayout, "lyLeft", "lyRight", "lyTop")

enum TBorderIcon { biSystemMenu, biMinimize, biMaximize, biHelp };
FW_ENUM_IDENTS(TBorderIcon, "biSystemMenu", "biMinimize", "biMaximize", "biHelp")
using TBorderIcons = fw::TSet<TBorderIcon>;

// A cursor is any number; a few have names.
enum TCursor : std::int16_t { crDefault = 0, crArrow = -2, crDrag = -12, crHandPoint = -21 };
inline const fw::TEnumInfo& EnumIdents(TCursor) {
    static const fw::TEnumInfo info{
        {{"crDefault", 0}, {"crArrow", -2}, {"crDrag", -12}, {"crHandPoint", -21}},
        fw::TEnumInfo::IntegerLike};
    return info;
}

inline const fw::TEnumInfo& ColorIdents() {
    static const fw::TEnumInfo info{{{"clBlack", 0}, {"clWhite", 0xFFFFFF}},
                                    fw::TEnumInfo::IntegerLike};
    return info;
}

class TTestFont : public fw::TPersistent {
    FW_CLASS(TTestFont, fw::TPersistent)
public:
    static void Describe(fw::TClassBuilder<TTestFont>& c) {
        c.Prop("Color", &TTestFont::Color, 0).WithIdents(ColorIdents());
        c.Prop("Height", &TTestFont::Height, -11);
        c.Prop("Name", &TTestFont::Name, "MS Sans Serif");
    }
    void Assign(const fw::TPersistent& source) override {
        if (auto* f = dynamic_cast<const TTestFont*>(&source)) {
            Color = f->Color;
            Height = f->Height;
            Name = f->Name;
            return;
        }
        fw::TPersistent::Assign(source);
    }
    std::int32_t Color = 0;
    int Height = -11;
    std::string Name = "MS Sans Serif";
};

// Holds raw bytes, stored as "Picture.Data".
class TTestPicture : public fw::TPersistent {
    FW_CLASS(TTestPicture, fw::TPersistent)
public:
    void DefineProperties(fw::TFiler& filer) override {
        filer.DefineBinaryProperty(
            "Data", [this](fw::TStream& s) { Data = s.ReadBytes(s.ReadUInt32()); },
            [this](fw::TStream& s) {
                s.WriteUInt32(static_cast<std::uint32_t>(Data.size()));
                s.WriteBytes(Data);
            },
            !Data.empty());
    }
    std::vector<std::byte> Data;
};

class TTestPanel;

// A control: it has a parent and is written inside its parent's block.
class TTestControl : public fw::TComponent {
    FW_CLASS(TTestControl, fw::TComponent)
public:
    explicit TTestControl(fw::TComponent* owner) : fw::TComponent(owner) {}
    ~TTestControl() override;

    static void Describe(fw::TClassBuilder<TTestControl>& c) {
        c.Prop("Left", &TTestControl::GetLeft, &TTestControl::SetLeft);
        c.Prop("Top", &TTestControl::GetTop, &TTestControl::SetTop);
        c.Prop("Width", &TTestControl::GetWidth, &TTestControl::SetWidth, 25);
        c.Prop("Height", &TTestControl::GetHeight, &TTestControl::SetHeight, 25);
        c.Prop("Caption", &TTestControl::GetCaption, &TTestControl::SetCaption);
        c.Prop("Cursor", &TTestControl::Cursor, crDefault);
        c.Prop("Enabled", &TTestControl::Enabled, true);
        c.Prop("Layout", &TTestControl::Layout, lyLeft);
        c.Prop("Ratio", &TTestControl::Ratio, 1.5);
        c.Prop("Font", &TTestControl::GetFont, &TTestControl::SetFont);
        c.Prop("OnClick", &TTestControl::OnClick);
        c.Prop("OnMouseDown", &TTestControl::OnMouseDown);
    }

    bool HasParent() const override { return true; }
    fw::TComponent* GetParentComponent() const override;
    void SetParentComponent(fw::TComponent* parent) override;
    void Loaded() override {
        fw::TComponent::Loaded();
        ++LoadedCount;
        Log().push_back("Loaded " + Name());
    }

    int GetLeft() const { return left_; }
    void SetLeft(int v) { Set("Left", left_, v); }
    int GetTop() const { return top_; }
    void SetTop(int v) { Set("Top", top_, v); }
    int GetWidth() const { return width_; }
    void SetWidth(int v) { Set("Width", width_, v); }
    int GetHeight() const { return height_; }
    void SetHeight(int v) { Set("Height", height_, v); }
    std::string GetCaption() const { return caption_; }
    void SetCaption(const std::string& v) {
        Log().push_back(Name() + ".Caption");
        caption_ = v;
    }
    TTestFont* GetFont() const { return font_.get(); }
    void SetFont(TTestFont* font) { font_->Assign(*font); }

    TCursor Cursor = crDefault;
    bool Enabled = true;
    TLayout Layout = lyLeft;
    double Ratio = 1.5;
    fw::TNotifyEvent OnClick;
    fw::TMouseEvent OnMouseDown;
    int LoadedCount = 0;
    fw::TComponentState StateAtSet;
    TTestPanel* Parent = nullptr;

private:
    void Set(const char* prop, int& field, int v) {
        Log().push_back(Name() + "." + prop);
        StateAtSet = ComponentState();
        field = v;
    }
    int left_ = 0, top_ = 0, width_ = 25, height_ = 25;
    std::string caption_;
    std::unique_ptr<TTestFont> font_ = std::make_unique<TTestFont>();
};

// A control that holds controls, and a picture.
class TTestPanel : public TTestControl {
    FW_CLASS(TTestPanel, TTestControl)
public:
    explicit TTestPanel(fw::TComponent* owner) : TTestControl(owner) {}
    ~TTestPanel() override {
        for (TTestControl* c : Controls)
            c->Parent = nullptr;
    }
    static void Describe(fw::TClassBuilder<TTestPanel>& c) {
        c.Prop("BorderIcons", &TTestPanel::BorderIcons,
               TBorderIcons{biSystemMenu, biMinimize, biMaximize});
        c.Prop("Picture", &TTestPanel::GetPicture);
    }
    void GetChildren(const TGetChildProc& proc, fw::TComponent* root) override {
        for (TTestControl* c : Controls)
            if (c->Owner() == root) proc(*c);
    }
    TTestPicture* GetPicture() const { return picture_.get(); }

    TBorderIcons BorderIcons{biSystemMenu, biMinimize, biMaximize};
    std::vector<TTestControl*> Controls;

private:
    std::unique_ptr<TTestPicture> picture_ = std::make_unique<TTestPicture>();
};

inline TTestControl::~TTestControl() {
    if (Parent) std::erase(Parent->Controls, this);
}

inline fw::TComponent* TTestControl::GetParentComponent() const {
    return Parent;
}

inline void TTestControl::SetParentComponent(fw::TComponent* parent) {
    auto* panel = dynamic_cast<TTestPanel*>(parent);
    if (parent && !panel) throw fw::EInvalidOperation(Name() + " can only be placed on a panel");
    if (Parent) std::erase(Parent->Controls, this);
    Parent = panel;
    if (Parent) Parent->Controls.push_back(this);
    Log().push_back(Name() + ".Parent");
}

// A non-visual component with an unsigned 16-bit number, a reference to another timer, and
// two properties it defines itself: an integer and a byte block.
class TTestTimer : public fw::TComponent {
    FW_CLASS(TTestTimer, fw::TComponent)
public:
    explicit TTestTimer(fw::TComponent* owner) : fw::TComponent(owner) {
        if (ComponentState().contains(fw::csDesigning)) ++DesignedInstances();
    }
    static void Describe(fw::TClassBuilder<TTestTimer>& c) {
        c.Prop("Enabled", &TTestTimer::Enabled, true);
        c.Prop("Interval", &TTestTimer::Interval, 1000);
        c.Prop("Buddy", &TTestTimer::GetBuddy, &TTestTimer::SetBuddy);
        c.Prop("OnTimer", &TTestTimer::OnTimer);
    }
    static int& DesignedInstances() {
        static int n = 0;
        return n;
    }

    void DefineProperties(fw::TFiler& filer) override {
        fw::TComponent::DefineProperties(filer);
        filer.DefineProperty(
            "Extra", [this](fw::TReader& r) { Extra = r.ReadInteger(); },
            [this](fw::TWriter& w) { w.WriteInteger(Extra); }, Extra != 0);
        // Written when it differs from a default timer's block.
        auto* ancestor = dynamic_cast<const TTestTimer*>(filer.Ancestor());
        if (!filer.IsReading()) SawAncestor = ancestor != nullptr;
        filer.DefineBinaryProperty(
            "Blob",
            [this](fw::TStream& s) { Blob = s.ReadBytes(static_cast<std::size_t>(s.Size())); },
            [this](fw::TStream& s) { s.WriteBytes(Blob); }, !ancestor || ancestor->Blob != Blob);
    }
    void Notification(fw::TComponent* c, fw::TOperation op) override {
        fw::TComponent::Notification(c, op);
        if (op == fw::opRemove && c == buddy_) buddy_ = nullptr;
    }
    void Loaded() override {
        fw::TComponent::Loaded();
        ++LoadedCount;
        Log().push_back("Loaded " + Name());
    }

    TTestTimer* GetBuddy() const { return buddy_; }
    void SetBuddy(TTestTimer* b) {
        buddy_ = b;
        if (b) b->FreeNotification(this);
    }

    bool Enabled = true;
    std::uint16_t Interval = 1000;
    fw::TNotifyEvent OnTimer;
    std::int64_t Extra = 0;
    std::vector<std::byte> Blob;
    bool SawAncestor = false;
    int LoadedCount = 0;

private:
    TTestTimer* buddy_ = nullptr;
};

// The form: a panel without parent, with handlers, fields and a "Mask2" block of its own.
class TTestForm : public TTestPanel {
    FW_CLASS(TTestForm, TTestPanel)
public:
    explicit TTestForm(fw::TComponent* owner) : TTestPanel(owner) {}
    static void Describe(fw::TClassBuilder<TTestForm>& c) {
        c.Method<&TTestForm::ButtonClick>("ButtonClick");
        c.Method<&TTestForm::ButtonMouseDown>("ButtonMouseDown");
        c.Method<&TTestForm::TimerTick>("TimerTick");
        c.Field("Button1", &TTestForm::Button1);
        c.Field("Panel1", &TTestForm::Panel1);
        c.Field("Timer1", &TTestForm::Timer1);
    }
    bool HasParent() const override { return false; }
    // Never placed on another control, even when nested in a description: it is written
    // among its owner's components, once.
    void SetParentComponent(fw::TComponent*) override {}
    void GetChildren(const TGetChildProc& proc, fw::TComponent* root) override {
        TTestPanel::GetChildren(proc, root);
        fw::TComponent::GetChildren(proc, root);
    }
    void DefineProperties(fw::TFiler& filer) override {
        TTestPanel::DefineProperties(filer);
        filer.DefineBinaryProperty(
            "Mask2",
            [this](fw::TStream& s) {
                const std::uint32_t n = s.ReadUInt32();
                Mask = s.ReadBytes(n);
            },
            [this](fw::TStream& s) {
                s.WriteUInt32(static_cast<std::uint32_t>(Mask.size()));
                s.WriteBytes(Mask);
            },
            true);
    }

    void ButtonClick(fw::TObject* sender) { Clicks.push_back(sender); }
    void ButtonMouseDown(fw::TObject* sender, fw::TMouseButton button, fw::TShiftState shift, int x,
                         int y) {
        (void)shift;
        Presses.push_back({sender, button, x, y});
    }
    void TimerTick(fw::TObject* sender) { Ticks.push_back(sender); }

    struct Press {
        fw::TObject* sender;
        fw::TMouseButton button;
        int x, y;
    };
    TTestControl* Button1 = nullptr;
    TTestPanel* Panel1 = nullptr;
    TTestTimer* Timer1 = nullptr;
    std::vector<std::byte> Mask;
    std::vector<fw::TObject*> Clicks;
    std::vector<Press> Presses;
    std::vector<fw::TObject*> Ticks;
};

inline void RegisterTestClasses() {
    fw::RegisterClasses<TTestForm, TTestPanel, TTestControl, TTestTimer>();
}

} // namespace ftest
