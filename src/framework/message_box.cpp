// The modal message box with its OK button.
#include "framework/message_box.hpp"

#include "framework/forms.hpp"
#include "framework/graphics/canvas.hpp"
#include "framework/platform_access.hpp"

#include <memory>
#include <string>

namespace fw {

namespace {

TMessageBoxHook& Hook() {
    static auto* hook = new TMessageBoxHook;
    return *hook;
}

// The OK button of a message box.
class TMessageButton : public TGraphicControl {
public:
    explicit TMessageButton(TComponent* owner) : TGraphicControl(owner) {}
    bool pressed = false;

protected:
    void Paint() override {
        TCanvas& c = Canvas();
        TRect r = ClientRect();
        c.Brush().SetColor(clBtnFace);
        c.FillRect(r);
        c.DrawEdge(r, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
        c.Brush().SetStyle(bsClear);
        c.Font().SetColor(clBtnText);
        TRect t = r;
        c.DrawText(Caption(), t, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    void MouseDown(TMouseButton b, TShiftState s, int x, int y) override {
        TGraphicControl::MouseDown(b, s, x, y);
        if (b == mbLeft) {
            pressed = true;
            Repaint();
        }
    }
    void MouseUp(TMouseButton b, TShiftState s, int x, int y) override {
        pressed = false;
        Repaint();
        TGraphicControl::MouseUp(b, s, x, y);
    }
};

// Carriage returns break lines too, as a message's text may use either.
std::string LineBreaks(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

class TMessageForm : public TForm {
public:
    explicit TMessageForm(TComponent* owner, const std::string& text)
        : TForm(owner), text_(LineBreaks(text)) {
        SetBorderStyle(bsDialog);
        SetFormStyle(fsStayOnTop);
        SetCaption(GetFormHost() ? GetFormHost()->Title() : std::string());
        Font().SetName("DejaVu Sans");
        Font().SetHeight(-12);
        TCanvas measure;
        os::PixelBuffer scratch(1, 1);
        measure.Attach(scratch);
        measure.SetFont(Font());
        TRect t{0, 0, 0, 0};
        measure.DrawText(text_, t, DT_CALCRECT | DT_NOPREFIX);
        const int w = std::max(t.Width() + 48, 180);
        const int h = t.Height() + 24 + 20 + 26 + 12;
        text_rect_ = {24, 20, 24 + t.Width(), 20 + t.Height()};
        const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
        SetBounds((sw - w) / 2, (sh - h) / 2, w, h);
        button_ = new TMessageButton(this);
        button_->SetCaption("OK");
        button_->SetBounds((w - 75) / 2, h - 12 - 26, 75, 26);
        button_->SetParent(this);
        button_->OnClick = Bind<&TMessageForm::OkClick>(this);
        OnKeyDown = Bind<&TMessageForm::Key>(this);
    }
    const std::string& Text() const { return text_; }
    void OkClick(TObject*) { ModalResult = mrOk; }
    void Key(TObject*, std::uint16_t& key, TShiftState) {
        if (key == VK_RETURN || key == VK_SPACE || key == VK_ESCAPE) ModalResult = mrOk;
    }

protected:
    void PaintWindow(TCanvas& c) override {
        c.Brush().SetStyle(bsClear);
        c.Font().SetColor(clWindowText);
        TRect r = text_rect_;
        c.DrawText(text_, r, DT_NOPREFIX);
    }

private:
    std::string text_;
    TRect text_rect_;
    TMessageButton* button_ = nullptr;
};

} // namespace

TMessageBoxHook SetMessageBoxHook(TMessageBoxHook hook) {
    TMessageBoxHook old = std::move(Hook());
    Hook() = std::move(hook);
    return old;
}

void ShowMessage(const std::string& text) {
    if (Hook() && Hook()(text)) return;
    if (!HasDisplay()) return;
    std::unique_ptr<TMessageForm> form(new TMessageForm(nullptr, text));
    form->ShowModal();
}

} // namespace fw
