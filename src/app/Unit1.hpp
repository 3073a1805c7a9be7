// The main window, TForm1 (instance Form1): a skinned, shaped, always-on-top window with
// five skinned buttons, a 10 ms timer and the two wave components, all created from the
// form description compiled into the program.
#pragma once

#include "audio/audio_io.hpp"
#include "framework/forms.hpp"
#include "framework/timer.hpp"
#include "skin/cool_button.hpp"
#include "skin/cool_form.hpp"
#include "tray/app_events.hpp"
#include "tray/tray_icon.hpp"

#include <cstdint>
#include <memory>
#include <span>
#include <string>
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
    tray::TTrayIcon* TrayIcon1 = nullptr;
    tray::TAppEvents* AppEvents1 = nullptr;

    // The take and the controller's state; all zero until FormCreate.
    std::int16_t* NormalizeCursor = nullptr;
    // Zeroed by calloc, which has fresh pages zeroed by the system: the take's memory is
    // only resident once something is recorded into it.
    struct FreeTake {
        void operator()(std::int16_t* p) const;
    };
    std::unique_ptr<std::int16_t[], FreeTake> TakeBuffer;
    std::int16_t* CaptureCursor = nullptr;
    std::int16_t* RecordCursor = nullptr;
    std::int16_t* PlayCursor = nullptr;
    std::int16_t* FillCursor = nullptr;
    double MaxTakeSeconds = 0.0;
    double TraceDivisor = 0.0;
    std::int32_t TraceX = 0;
    std::int32_t TraceY = 0;
    double TraceStepThreshold = 0.0;
    std::int32_t TakeBufferSize = 0;
    // Length of the take in device blocks; 0 until the first recording.
    std::int32_t TakeLength = 0;
    std::int32_t PlayedBlocks = 0;
    bool FeedStopped = false;
    bool Recording = false;
    bool Playing = false;

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
    void RegInit();
    void FormClose(fw::TObject* Sender, fw::TCloseAction& Action);
    void StopButtonClick(fw::TObject* Sender);
    void FormKeyDown(fw::TObject* Sender, std::uint16_t& Key, fw::TShiftState Shift);
    void MinButtonClick(fw::TObject* Sender);
    void AppEvents1Minimize(fw::TObject* Sender);
    void AppEvents1Restore(fw::TObject* Sender);
    void TrayIcon1Click(fw::TObject* Sender, fw::TMouseButton Button, fw::TShiftState Shift, int X,
                        int Y);

    // One action per verb, whatever road it comes by: a key, a click, a command from a later
    // start, a global shortcut. `press` first shows the button pressed, as a key does (a
    // click has pressed it already).
    void RecordAction(bool press = true);
    void PlayAction(bool press = true);
    void StopAction(bool press = true);
    // Brings the window back from the tray or the taskbar, in front and taking the keys.
    void ShowAction();
    // Writes the take, as PLAY would play it, to `path` as a WAV file: whole or not at all.
    // False, with the reason in `why`, with no take yet, while recording, or when the file
    // cannot be written.
    bool SaveTakeAction(const std::string& path, std::string& why);

    void ToggleRecording();
    void TogglePlayback();
    void StopAll();
    // Switches the system's minimise animation off, or back to what the user had.
    void SetMinimizeAnimation(bool on);
    // Brings a window to the front with the keyboard; true when it is in front.
    bool ForceForeground(fw::HWND Wnd);

private:
    // The tick's work while a take is recorded or played.
    void RecordingTick();
    void PlaybackTick();
    void TraceStep(fw::TColor color);
    void ResetTrace();
    void WritePlacement();
    // The first sample past the take buffer.
    std::int16_t* TakeEnd() const { return TakeBuffer.get() + TakeBufferSize / 2; }
};

// The main window, set by the application's CreateForm.
extern TForm1* Form1;
// Time of the last trace step or take end, in days of the monotonic clock.
extern double LastTraceStep;
// Distances of the window's left edge from the screen's right edge and of its top edge from
// the screen's bottom edge, and the screen size they were stored under.
extern std::int32_t LeftOffset;
extern std::int32_t TopOffset;
extern std::int32_t StoredScreenWidth;
extern std::int32_t StoredScreenHeight;

// What the program is called and its versions, as the executable reports them.
inline constexpr const char* kProgramName = "Mirelo";
inline constexpr const char* kProductVersion = "2.15.0";
inline constexpr const char* kFileVersion = "2.15.0.159";

// The window's description as compiled into the program.
std::string_view Unit1Description();
// The application's icon file (.ico, with its 32 x 32 image) as compiled into the program.
std::span<const std::byte> ApplicationIconFile();
// The same icon from the icon theme at 48, 64 and 128 pixels (PNG files).
std::span<const std::byte> ApplicationIcon48Png();
std::span<const std::byte> ApplicationIcon64Png();
std::span<const std::byte> ApplicationIcon128Png();
// Makes the window's component classes and its description known, so that creating a
// TForm1 loads it; calling it again does no harm.
void RegisterUnit1();

} // namespace app
