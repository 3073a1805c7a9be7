// The probe form's controls.
#include "probe_form.hpp"

#include "framework/application.hpp"
#include "framework/graphics/canvas.hpp"
#include "framework/image.hpp"
#include "framework/timer.hpp"

namespace probe {

namespace {

// Logs its mouse steps and shows a darker face while pressed.
class TProbeButton : public fw::TGraphicControl {
public:
    TProbeButton(fw::TComponent* owner, Log log) : TGraphicControl(owner), log_(std::move(log)) {
        SetCursor(fw::crHandPoint);
    }

protected:
    void Paint() override {
        Canvas().Brush().SetColor(pressed_ ? fw::RGB(120, 20, 20) : fw::RGB(220, 60, 40));
        Canvas().FillRect(ClientRect());
    }
    void MouseDown(fw::TMouseButton b, fw::TShiftState s, int x, int y) override {
        log_("down " + std::to_string(b) + " " + std::to_string(x) + " " + std::to_string(y));
        if (b == fw::mbLeft) {
            pressed_ = true;
            Invalidate();
        }
        TGraphicControl::MouseDown(b, s, x, y);
    }
    void MouseUp(fw::TMouseButton b, fw::TShiftState s, int x, int y) override {
        log_("up " + std::to_string(b) + " " + std::to_string(x) + " " + std::to_string(y));
        pressed_ = false;
        Invalidate();
        TGraphicControl::MouseUp(b, s, x, y);
    }
    void Click() override {
        log_("click");
        TGraphicControl::Click();
    }

private:
    Log log_;
    bool pressed_ = false;
};

// The backdrop: a picture whose left press moves the window.
class TBackdrop : public fw::TImage {
public:
    TBackdrop(fw::TComponent* owner, Log log) : TImage(owner), log_(std::move(log)) {
        SetCursor(fw::crDrag);
    }

protected:
    void MouseDown(fw::TMouseButton b, fw::TShiftState s, int x, int y) override {
        log_("backdrop " + std::to_string(b));
        if (b != fw::mbLeft) return;
        fw::ReleaseCapture();
        fw::SendMessage(Parent()->Handle(), fw::WM_SYSCOMMAND, fw::SC_DRAGMOVE);
        log_("moved " + std::to_string(Parent()->Left()) + " " + std::to_string(Parent()->Top()));
        (void)s, (void)x, (void)y;
    }

private:
    Log log_;
};

// Logs the keys; Escape closes the form, I minimises the application for a second.
class TKeyLogger : public fw::TObject {
public:
    explicit TKeyLogger(Log log) : log_(std::move(log)) {}
    void KeyDown(fw::TObject* sender, std::uint16_t& key, fw::TShiftState shift) {
        log_("key " + std::to_string(key) + (shift.contains(fw::ssShift) ? " shift" : "") +
             (shift.contains(fw::ssCtrl) ? " ctrl" : ""));
        if (key == fw::VK_ESCAPE) static_cast<fw::TForm*>(sender)->Close();
        if (key == 'I' && restore_) {
            fw::Application->Minimize();
            log_("minimised");
            restore_->SetEnabled(true);
        }
    }
    void Restore(fw::TObject*) {
        restore_->SetEnabled(false);
        fw::Application->Restore();
        log_("restored");
    }
    fw::TTimer* restore_ = nullptr;

private:
    Log log_;
};

} // namespace

fw::TForm* CreateProbeForm(const Log& log) {
    fw::TForm* form = nullptr;
    fw::Application->CreateForm(form);
    form->SetBorderStyle(fw::bsNone);
    form->SetFormStyle(fw::fsStayOnTop);
    form->SetBounds(kLeft, kTop, kWidth, kHeight);
    auto bitmap = std::make_unique<fw::TBitmap>(kWidth, kHeight, fw::pf24bit);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            bitmap->Canvas().SetPixel(x, y, fw::RGB(30 + x, 40 + y, 140 + (x ^ y) % 64));
    auto* backdrop = new TBackdrop(form, log);
    backdrop->SetParent(form);
    backdrop->SetAlign(fw::alClient);
    backdrop->Picture().SetGraphic(bitmap.get());
    auto* button = new TProbeButton(form, log);
    button->SetParent(form);
    button->SetBounds(kButton.Left, kButton.Top, kButton.Width(), kButton.Height());
    // The key logger lives as long as the form: owned through a small component.
    struct Holder : fw::TComponent {
        Holder(fw::TComponent* owner, Log log) : TComponent(owner), logger(std::move(log)) {}
        TKeyLogger logger;
    };
    auto* holder = new Holder(form, log);
    form->OnKeyDown = fw::Bind<&TKeyLogger::KeyDown>(holder->logger);
    holder->logger.restore_ = new fw::TTimer(form);
    holder->logger.restore_->SetEnabled(false);
    holder->logger.restore_->SetInterval(1000);
    holder->logger.restore_->SetOnTimer(fw::Bind<&TKeyLogger::Restore>(holder->logger));
    const fw::Region all({0, 0, kWidth, kShapeHeight});
    form->SetShape(all - fw::Region(kNotch));
    form->Show();
    return form;
}

} // namespace probe
