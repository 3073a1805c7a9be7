// The main window's description, built from live components in design mode.
#include "form_description.hpp"

#include "app/Unit1.hpp"
#include "framework/application.hpp"
#include "framework/form_writer.hpp"
#include "framework/graphics/ico.hpp"
#include "framework/graphics/icon.hpp"
#include "framework/regions.hpp"
#include "os/sim_platform.hpp"

#include <memory>
#include <stdexcept>

namespace art {

namespace {

std::unique_ptr<fw::TBitmap> Bitmap(const fw::DibImage& image) {
    auto bmp = std::make_unique<fw::TBitmap>();
    bmp->SetImage(image);
    return bmp;
}

skin::TCoolButton& AddButton(app::TForm1& form, const ButtonPlace& place,
                             const fw::DibImage& strip) {
    auto* b = new skin::TCoolButton(&form);
    b->SetName(place.name);
    b->SetParent(&form);
    b->SetBounds(place.left, place.top, place.width, place.height);
    b->SetCursor(fw::crHandPoint);
    b->SetGlyph(*Bitmap(strip));
    return *b;
}

} // namespace

std::string MainFormDescription(const StoredArtwork& stored) {
    // The framework's objects need a platform even when nothing is shown.
    os::SimPlatform platform;
    fw::Runtime runtime(platform);
    app::RegisterUnit1();

    auto owned = std::make_unique<app::TForm1>(nullptr);
    app::TForm1& form = *owned;
    form.SetDesigning(true);
    form.SetName("Form1");
    form.SetBounds(249, 124, 167, 170);
    form.SetBorderStyle(fw::bsNone);
    form.SetClientSize(167, 170);
    form.SetBorderIcons({fw::biSystemMenu, fw::biMinimize});
    form.SetFormStyle(fw::fsStayOnTop);
    form.SetColor(fw::clBlack);
    form.SetCaption("Form1");
    form.Scaled = false;
    form.Font().SetName("MS Sans Serif");
    form.Font().SetHeight(-11);
    form.OnCreate = fw::Bind<&app::TForm1::FormCreate>(form);
    form.OnClose = fw::Bind<&app::TForm1::FormClose>(form);
    form.OnKeyDown = fw::Bind<&app::TForm1::FormKeyDown>(form);

    auto* cool = new skin::TCoolForm(&form);
    cool->SetName("CoolForm1");
    cool->SetParent(&form);
    cool->SetBounds(0, 0, 167, 170);
    cool->SetCursor(fw::crDrag);
    cool->SetAutoSize(true);
    cool->Picture().SetGraphic(Bitmap(stored.skin).get());
    // The region goes in after the picture, whose change would drop it.
    auto holder = std::make_unique<skin::TRegionType>();
    holder->RegionHandle = fw::ExtCreateRegion(
        nullptr, static_cast<std::uint32_t>(stored.mask.size() - 4), stored.mask.data() + 4);
    if (!holder->RegionHandle)
        throw std::runtime_error("the window's region is not valid region data");
    cool->SetMask(std::move(holder));

    auto& play = AddButton(form, kButtons[0], stored.strips[0]);
    play.SetAllowAllUp(true);
    play.SetGroupIndex(2);
    play.OnMouseDown = fw::Bind<&app::TForm1::PlayButtonMouseDown>(form);
    play.OnMouseUp = fw::Bind<&app::TForm1::PlayButtonMouseUp>(form);
    auto& rec = AddButton(form, kButtons[1], stored.strips[1]);
    rec.SetAllowAllUp(true);
    rec.SetGroupIndex(1);
    rec.OnMouseDown = fw::Bind<&app::TForm1::RecButtonMouseDown>(form);
    rec.OnMouseUp = fw::Bind<&app::TForm1::RecButtonMouseUp>(form);
    auto& off = AddButton(form, kButtons[2], stored.strips[2]);
    off.OnClick = fw::Bind<&app::TForm1::OffButtonClick>(form);
    auto& min = AddButton(form, kButtons[3], stored.strips[3]);
    min.SetAllowAllUp(true);
    min.OnClick = fw::Bind<&app::TForm1::MinButtonClick>(form);
    auto& stop = AddButton(form, kButtons[4], stored.strips[4]);
    stop.OnClick = fw::Bind<&app::TForm1::StopButtonClick>(form);

    auto* timer = new fw::TTimer(&form);
    timer->SetName("Timer1");
    timer->SetInterval(10);
    timer->SetOnTimer(fw::Bind<&app::TForm1::Timer1Timer>(form));

    auto* out = new audio::TAudioOut(&form);
    out->SetName("AudioOut1");
    out->SetBufferSize(16384);
    out->SetFrameRate(22050);
    out->SetWaveDevice(0);
    out->OnFillBuffer = fw::Bind<&app::TForm1::AudioOut1FillBuffer>(form);
    auto* in = new audio::TAudioIn(&form);
    in->SetName("AudioIn1");
    in->SetBufferSize(16384);
    in->SetFrameRate(22050);
    in->SetWaveDevice(0);
    in->OnBufferFilled = fw::Bind<&app::TForm1::AudioIn1BufferFilled>(form);

    auto* tray_icon = new tray::TTrayIcon(&form);
    tray_icon->SetName("TrayIcon1");
    tray_icon->SetHint("MIRELO");
    {
        fw::TIcon icon;
        const std::vector<std::byte> file = fw::WriteIcon(stored.tray_icon);
        icon.LoadFromBytes(file);
        tray_icon->SetIcon(icon);
    }
    tray_icon->OnClick = fw::Bind<&app::TForm1::TrayIcon1Click>(form);
    auto* events = new tray::TAppEvents(&form);
    events->SetName("AppEvents1");
    events->OnMinimize = fw::Bind<&app::TForm1::AppEvents1Minimize>(form);
    events->OnRestore = fw::Bind<&app::TForm1::AppEvents1Restore>(form);

    return fw::WriteComponent(form);
}

} // namespace art
