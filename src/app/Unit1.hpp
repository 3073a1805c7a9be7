// The main window, TForm1 (instance Form1): a skinned, shaped, always-on-top window with
// five skinned buttons, a 10 ms timer and the two wave components, all created from the
// form description compiled into the program.
#pragma once

#include "audio/audio_io.hpp"
#include "framework/forms.hpp"
#include "framework/timer.hpp"
#include "skin/cool_button.hpp"
#include "skin/cool_form.hpp"

#include <cstdint>
#include <string_view>

namespace app {

class TForm1 : public fw::TForm {
    FW_CLASS(TForm1, fw::TForm)
public:
    explicit TForm1(fw::TComponent* owner) : fw::TForm(owner) {}
    static void Describe(fw::TClassBuilder<TForm1>& c);

    skin::TCoolForm* CoolForm1 = nullptr;
    skin::TCoolButton* PlayButton = nullptr;
    skin::TCoolButton* RecButton = nullptr;
    skin::TCoolButton* OffButton = nullptr;
    skin::TCoolButton* MinButton = nullptr;
    fw::TTimer* Timer1 = nullptr;
    audio::TAudioOut* AudioOut1 = nullptr;
    audio::TAudioIn* AudioIn1 = nullptr;
    skin::TCoolButton* StopButton = nullptr;

    // Handlers bound by the description.
    void OffButtonClick(fw::TObject* Sender);
    void Timer1Timer(fw::TObject* Sender);
    void Normality();
    bool AudioIn1BufferFilled(void* Buffer, std::int32_t& Size);
    bool AudioOut1FillBuffer(void* Buffer, std::int32_t& Size);
    void RecButtonMouseDown(fw::TObject* Sender, fw::TMouseButton Button, fw::TShiftState Shift,
                            int X, int Y);
    void RecButtonMouseUp(fw::TObject* Sender, fw::TMouseButton Button, fw::TShiftState Shift,
                          int X, int Y);
    void PlayButtonMouseDown(fw::TObject* Sender, fw::TMouseButton Button, fw::TShiftState Shift,
                             int X, int Y);
    void PlayButtonMouseUp(fw::TObject* Sender, fw::TMouseButton Button, fw::TShiftState Shift,
                           int X, int Y);
    void FormCreate(fw::TObject* Sender);
    void FormClose(fw::TObject* Sender, fw::TCloseAction& Action);
    void StopButtonClick(fw::TObject* Sender);
    void FormKeyDown(fw::TObject* Sender, std::uint16_t& Key, fw::TShiftState Shift);
    void MinButtonClick(fw::TObject* Sender);
};

// The main window, set by the application's CreateForm.
extern TForm1* Form1;

// The window's description as compiled into the program.
std::string_view Unit1Description();
// Makes the window's component classes and its description known, so that creating a
// TForm1 loads it; calling it again does no harm.
void RegisterUnit1();

} // namespace app
