// The main window: its published handlers and the placement at creation.
#include "Unit1.hpp"

#include "framework/application.hpp"
#include "skin/register.hpp"

#include <string>

namespace app {

TForm1* Form1 = nullptr;

void TForm1::Describe(fw::TClassBuilder<TForm1>& c) {
    c.Method<&TForm1::OffButtonClick>("OffButtonClick");
    c.Method<&TForm1::Timer1Timer>("Timer1Timer");
    c.Method<&TForm1::Normality>("Normality");
    c.Method<&TForm1::AudioIn1BufferFilled>("AudioIn1BufferFilled");
    c.Method<&TForm1::AudioOut1FillBuffer>("AudioOut1FillBuffer");
    c.Method<&TForm1::RecButtonMouseDown>("RecButtonMouseDown");
    c.Method<&TForm1::RecButtonMouseUp>("RecButtonMouseUp");
    c.Method<&TForm1::PlayButtonMouseDown>("PlayButtonMouseDown");
    c.Method<&TForm1::PlayButtonMouseUp>("PlayButtonMouseUp");
    c.Method<&TForm1::FormCreate>("FormCreate");
    c.Method<&TForm1::FormClose>("FormClose");
    c.Method<&TForm1::StopButtonClick>("StopButtonClick");
    c.Method<&TForm1::FormKeyDown>("FormKeyDown");
    c.Method<&TForm1::MinButtonClick>("MinButtonClick");
    c.Field("CoolForm1", &TForm1::CoolForm1);
    c.Field("PlayButton", &TForm1::PlayButton);
    c.Field("RecButton", &TForm1::RecButton);
    c.Field("OffButton", &TForm1::OffButton);
    c.Field("MinButton", &TForm1::MinButton);
    c.Field("Timer1", &TForm1::Timer1);
    c.Field("AudioOut1", &TForm1::AudioOut1);
    c.Field("AudioIn1", &TForm1::AudioIn1);
    c.Field("StopButton", &TForm1::StopButton);
}

void TForm1::FormCreate(fw::TObject*) {
    // The default place: 166 pixels left of the screen's right edge, 198 above its bottom.
    SetLeft(fw::GetSystemMetrics(fw::SM_CXSCREEN) - 166);
    SetTop(fw::GetSystemMetrics(fw::SM_CYSCREEN) - 198);
}

void TForm1::FormClose(fw::TObject*, fw::TCloseAction&) {
    if (AudioIn1 && AudioIn1->Running()) AudioIn1->StopNow();
    if (AudioOut1 && AudioOut1->Running()) AudioOut1->StopNow();
}

void TForm1::OffButtonClick(fw::TObject*) {
    Close();
}

void TForm1::FormKeyDown(fw::TObject*, std::uint16_t& Key, fw::TShiftState) {
    if (Key == fw::VK_ESCAPE) {
        Key = 0;
        Close();
    }
}

// Wired here; the record and playback controller fills them in.
void TForm1::Timer1Timer(fw::TObject*) {}
void TForm1::Normality() {}
bool TForm1::AudioIn1BufferFilled(void*, std::int32_t&) {
    return true; // the block goes back to the device
}
bool TForm1::AudioOut1FillBuffer(void*, std::int32_t&) {
    return false; // nothing to play yet
}
void TForm1::RecButtonMouseDown(fw::TObject*, fw::TMouseButton, fw::TShiftState, int, int) {}
void TForm1::RecButtonMouseUp(fw::TObject*, fw::TMouseButton, fw::TShiftState, int, int) {}
void TForm1::PlayButtonMouseDown(fw::TObject*, fw::TMouseButton, fw::TShiftState, int, int) {}
void TForm1::PlayButtonMouseUp(fw::TObject*, fw::TMouseButton, fw::TShiftState, int, int) {}
void TForm1::StopButtonClick(fw::TObject*) {}
// Wired here; minimising to the notification area comes with the tray icon.
void TForm1::MinButtonClick(fw::TObject*) {}

void RegisterUnit1() {
    skin::Register();
    audio::Register();
    fw::RegisterClasses<fw::TTimer>();
    if (!fw::FindFormDescription("TForm1"))
        fw::RegisterFormDescription("TForm1", std::string(Unit1Description()));
}

} // namespace app
