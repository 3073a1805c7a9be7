// The main window: the placement kept in the settings store, the record and playback
// controller with its trace, the level of a finished take, and the keys.
#include "Unit1.hpp"

#include "framework/application.hpp"
#include "framework/graphics/canvas.hpp"
#include "framework/message_box.hpp"
#include "framework/registry.hpp"
#include "framework/sysutils.hpp"
#include "framework/window_calls.hpp"
#include "os/wave/wav_file.hpp"
#include "skin/register.hpp"
#include "tray/register.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <new>
#include <string>
#include <vector>

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
    c.Method<&TForm1::RegInit>("RegInit");
    c.Method<&TForm1::FormClose>("FormClose");
    c.Method<&TForm1::StopButtonClick>("StopButtonClick");
    c.Method<&TForm1::FormKeyDown>("FormKeyDown");
    c.Method<&TForm1::MinButtonClick>("MinButtonClick");
    c.Method<&TForm1::AppEvents1Minimize>("AppEvents1Minimize");
    c.Method<&TForm1::AppEvents1Restore>("AppEvents1Restore");
    c.Method<&TForm1::TrayIcon1Click>("TrayIcon1Click");
    c.Field("CoolForm1", &TForm1::CoolForm1);
    c.Field("PlayButton", &TForm1::PlayButton);
    c.Field("RecButton", &TForm1::RecButton);
    c.Field("OffButton", &TForm1::OffButton);
    c.Field("MinButton", &TForm1::MinButton);
    c.Field("Timer1", &TForm1::Timer1);
    c.Field("AudioOut1", &TForm1::AudioOut1);
    c.Field("AudioIn1", &TForm1::AudioIn1);
    c.Field("StopButton", &TForm1::StopButton);
    c.Field("TrayIcon1", &TForm1::TrayIcon1);
    c.Field("AppEvents1", &TForm1::AppEvents1);
}

namespace {

constexpr std::int32_t kDefaultLeftOffset = 166;
constexpr std::int32_t kDefaultTopOffset = 198;
constexpr const char* kSettingsKey = "\\Software\\Mirelo";
constexpr const char* kFailureTail = "MIRELO WILL IMMEDIATELY TERMINATED !!!";
constexpr char CR = '\r';

// Trace colours, handed to the pixel write as they are.
constexpr fw::TColor kRecordingColor = 0x0000FF00;
constexpr fw::TColor kPlaybackColor = 0x0200EFEF;

// The window is placed on the primary monitor, which need not stand at the screen's origin;
// the screen size kept with the placement is that monitor's.
fw::TRect PrimaryMonitor() {
    return fw::Screen->MonitorRects().front();
}
int ScreenWidth() {
    return PrimaryMonitor().Width();
}
int ScreenHeight() {
    return PrimaryMonitor().Height();
}

// Whether a window at (left, top) of the given size shows on any of `monitors`. In 64 bits,
// as a place computed from stored offsets may lie far outside what 32 bits hold.
bool OnSomeMonitor(const std::vector<fw::TRect>& monitors, std::int64_t left, std::int64_t top,
                   std::int64_t width, std::int64_t height) {
    for (const fw::TRect& m : monitors)
        if (left < m.Right && left + width > m.Left && top < m.Bottom && top + height > m.Top)
            return true;
    return false;
}

// The distance stored for a window edge: from the monitor's edge, within 32 bits.
std::int32_t DistanceFrom(std::int32_t edge, std::int32_t position) {
    return static_cast<std::int32_t>(
        std::clamp<std::int64_t>(std::int64_t{edge} - position, INT32_MIN, INT32_MAX));
}

void ReleaseButton(skin::TCoolButton* b) {
    b->State = skin::cbsUp;
    b->SetDown(false);
}

void PushButton(skin::TCoolButton* b) {
    b->State = skin::cbsDown;
    b->SetDown(true);
}

// Shows the button pressed, as a click on it would.
void Press(skin::TCoolButton* b) {
    PushButton(b);
    b->Refresh();
}

// After a mouse release over it: released when it was down, else pushed; repainted.
void FlipButton(skin::TCoolButton* b) {
    if (b->Down())
        ReleaseButton(b);
    else
        PushButton(b);
    b->Refresh();
}

} // namespace

double LastTraceStep = 0.0;
std::int32_t LeftOffset = kDefaultLeftOffset;
std::int32_t TopOffset = kDefaultTopOffset;
std::int32_t StoredScreenWidth = 0;
std::int32_t StoredScreenHeight = 0;

// ---- Start-up and close -------------------------------------------------------------------

void TForm1::FormCreate(fw::TObject*) {
    if (TrayIcon1) TrayIcon1->SetActive(false);
    LeftOffset = kDefaultLeftOffset;
    TopOffset = kDefaultTopOffset;
    StoredScreenWidth = ScreenWidth();
    StoredScreenHeight = ScreenHeight();
    LastTraceStep = 0.0;
    try {
        RegInit();
    } catch (...) {
        // An unreadable store is reported; the window still starts, at the default place.
        LeftOffset = kDefaultLeftOffset;
        TopOffset = kDefaultTopOffset;
        StoredScreenWidth = ScreenWidth();
        StoredScreenHeight = ScreenHeight();
        fw::Application->HandleException(this, std::current_exception());
    }
    // The offsets may be any 32-bit values: the place is reckoned in 64 bits, and one that
    // no monitor shows counts as a changed screen.
    // The monitors are asked for once: the X server answers each look.
    const std::vector<fw::TRect> monitors = fw::Screen->MonitorRects();
    const fw::TRect primary = monitors.front();
    if (primary.Width() != StoredScreenWidth || primary.Height() != StoredScreenHeight ||
        !OnSomeMonitor(monitors, std::int64_t{primary.Right} - LeftOffset,
                       std::int64_t{primary.Bottom} - TopOffset, Width(), Height())) {
        LeftOffset = kDefaultLeftOffset;
        TopOffset = kDefaultTopOffset;
    }
    SetLeft(static_cast<int>(std::int64_t{primary.Right} - LeftOffset));
    SetTop(static_cast<int>(std::int64_t{primary.Bottom} - TopOffset));
    Recording = false;
    Playing = false;
    TakeBufferSize = 600000;
    TakeBuffer.reset(static_cast<std::int16_t*>(
        std::calloc(static_cast<std::size_t>(TakeBufferSize) / 2, sizeof(std::int16_t))));
    if (!TakeBuffer) throw std::bad_alloc();
    MaxTakeSeconds = 10.0;
    TraceDivisor = 20.0;
    TraceStepThreshold = MaxTakeSeconds / TraceDivisor;
    FeedStopped = false;
    PlayCursor = TakeBuffer.get();
    RecordCursor = TakeBuffer.get();
}

void TForm1::RegInit() {
    fw::TRegistry reg;
    const auto read_or_default = [&reg](const char* name, std::int32_t& value,
                                        std::int32_t fallback) {
        if (reg.ValueExists(name))
            value = reg.ReadInteger(name);
        else
            reg.WriteInteger(name, fallback);
    };
    if (reg.OpenKey(kSettingsKey, false)) {
        read_or_default("Top", TopOffset, kDefaultTopOffset);
        read_or_default("Left", LeftOffset, kDefaultLeftOffset);
        read_or_default("ScrWidth", StoredScreenWidth, ScreenWidth());
        read_or_default("ScrHeight", StoredScreenHeight, ScreenHeight());
    } else {
        reg.OpenKey(kSettingsKey, true);
        reg.WriteInteger("Top", kDefaultTopOffset);
        reg.WriteInteger("Left", kDefaultLeftOffset);
        reg.WriteInteger("ScrWidth", ScreenWidth());
        reg.WriteInteger("ScrHeight", ScreenHeight());
    }
    reg.CloseKey();
}

void TForm1::WritePlacement() {
    fw::TRegistry reg;
    reg.OpenKey(kSettingsKey, true);
    const fw::TRect primary = PrimaryMonitor();
    reg.WriteInteger("Top", DistanceFrom(primary.Bottom, Top()));
    reg.WriteInteger("Left", DistanceFrom(primary.Right, Left()));
    reg.WriteInteger("ScrWidth", primary.Width());
    reg.WriteInteger("ScrHeight", primary.Height());
}

void TForm1::FormClose(fw::TObject*, fw::TCloseAction&) {
    try {
        WritePlacement();
    } catch (...) {
        // Shown, and then the close goes on: a store that cannot be written must not keep
        // the recorder running behind a window that cannot be closed.
        fw::Application->HandleException(this, std::current_exception());
    }
    if (AudioIn1 && AudioIn1->Running()) AudioIn1->StopNow();
    if (AudioOut1 && AudioOut1->Running()) {
        FeedStopped = true;
        if (AudioOut1->Running()) AudioOut1->StopNow();
    }
    TakeBuffer.reset();
    NormalizeCursor = CaptureCursor = RecordCursor = PlayCursor = FillCursor = nullptr;
}

void TForm1::OffButtonClick(fw::TObject*) {
    Close();
}

// ---- Record and playback ------------------------------------------------------------------

void TForm1::ResetTrace() {
    TraceX = 62;
    TraceY = 36;
}

void TForm1::TraceStep(fw::TColor color) {
    const double units = (fw::MonotonicNow() - LastTraceStep) * 100000.0;
    if (!(units > TraceStepThreshold)) return;
    LastTraceStep = fw::MonotonicNow();
    ++TraceX;
    const fw::TColor column[6] = {0, 0, color, color, 0, 0};
    fw::TCanvas& canvas = Canvas();
    for (int i = 0; i < 6; ++i)
        canvas.SetPixel(TraceX, TraceY + i, column[i]);
}

void TForm1::ToggleRecording() {
    if (Recording) {
        Recording = false;
        if (AudioIn1->Running()) {
            TakeLength = AudioIn1->BlocksDone();
            AudioIn1->StopNow();
            Normality();
        } else if (TakeBuffer) {
            // The stream ended by itself (the device was lost): the take is what arrived
            // before, a last partial block included.
            const std::int32_t per_block = std::max(1, AudioIn1->BufferSize() / 2);
            const auto recorded = static_cast<std::int32_t>(RecordCursor - TakeBuffer.get());
            TakeLength = (recorded + per_block - 1) / per_block;
            Normality();
        }
        ReleaseButton(RecButton);
        PlayButton->SetEnabled(true);
        MinButton->SetEnabled(true);
        MinButton->Refresh();
        RecButton->Refresh();
        return;
    }
    Recording = true;
    MaxTakeSeconds = 10.0;
    TraceStepThreshold = MaxTakeSeconds / TraceDivisor;
    if (!AudioIn1->Start(AudioIn1)) {
        fw::ShowMessage(std::string("Recording failed because: ") + CR + AudioIn1->ErrorText() +
                        CR + kFailureTail);
        fw::Application->Terminate();
        return;
    }
    std::fill_n(TakeBuffer.get(), TakeBufferSize / 2, std::int16_t{0});
    RecordCursor = TakeBuffer.get();
    ResetTrace();
    PlayButton->SetEnabled(false);
    MinButton->SetEnabled(false);
    MinButton->Refresh();
}

void TForm1::TogglePlayback() {
    if (Playing) {
        Playing = false;
        if (AudioOut1->Running()) {
            FeedStopped = true;
            AudioOut1->StopNow();
        }
        ResetTrace();
        ReleaseButton(PlayButton);
        RecButton->SetEnabled(true);
        MinButton->SetEnabled(true);
        PlayButton->Refresh();
        MinButton->Refresh();
        RecButton->Refresh();
        MinButton->Refresh();
        return;
    }
    Playing = true;
    FeedStopped = false;
    AudioOut1->SetPaused(true);
    PlayCursor = TakeBuffer.get();
    if (!AudioOut1->Running() && !AudioOut1->Start(AudioOut1)) {
        fw::ShowMessage(std::string("Playing failed because: ") + CR + AudioOut1->ErrorText() + CR +
                        kFailureTail);
        fw::Application->Terminate();
    }
    AudioOut1->SetPaused(false);
    ResetTrace();
    RecButton->SetEnabled(false);
    MinButton->SetEnabled(false);
    RecButton->Refresh();
    MinButton->Refresh();
}

void TForm1::StopAll() {
    if (Playing) {
        // The stop branch of TogglePlayback.
        TogglePlayback();
    }
    if (Recording) ToggleRecording();
}

void TForm1::FreeTake::operator()(std::int16_t* p) const {
    std::free(p);
}

[[gnu::hot]] void TForm1::Timer1Timer(fw::TObject*) {
    // A stream never runs without its flag: each is set before its stream starts and cleared
    // when it stops. Looked at first, they spare an idle tick the streams' own objects, and
    // the work of a running take stays out of the idle tick's code.
    if (Recording) RecordingTick();
    if (Playing) PlaybackTick();
}

[[gnu::noinline]] void TForm1::RecordingTick() {
    if (!AudioIn1 || !AudioIn1->Running()) return;
    if (AudioIn1->ElapsedSeconds() > MaxTakeSeconds) {
        TakeLength = AudioIn1->BlocksDone();
        Recording = false;
        AudioIn1->StopNow();
        ReleaseButton(RecButton);
        RecButton->Refresh();
        MinButton->Refresh();
        PlayButton->SetEnabled(true);
        MinButton->SetEnabled(true);
        ResetTrace();
        Normality();
        LastTraceStep = fw::MonotonicNow();
    }
    TraceStep(kRecordingColor);
}

[[gnu::noinline]] void TForm1::PlaybackTick() {
    if (!AudioOut1 || !AudioOut1->Running()) return;
    PlayedBlocks = AudioOut1->BlocksDone();
    if (AudioOut1->ElapsedSeconds() > MaxTakeSeconds || PlayedBlocks >= TakeLength) {
        Playing = false;
        FeedStopped = true;
        if (AudioOut1->Running()) {
            AudioOut1->SetPaused(true);
            AudioOut1->StopNow();
        }
        ReleaseButton(PlayButton);
        PlayButton->Refresh();
        MinButton->Refresh();
        RecButton->SetEnabled(true);
        MinButton->SetEnabled(true);
        RecButton->Refresh();
        MinButton->Refresh();
        ResetTrace();
        LastTraceStep = fw::MonotonicNow();
    }
    TraceStep(kPlaybackColor);
}

bool TForm1::AudioIn1BufferFilled(void* Buffer, std::int32_t& Size) {
    CaptureCursor = static_cast<std::int16_t*>(Buffer);
    // Whatever the timer does, nothing is written past the end of the take.
    const std::int16_t* end = TakeBuffer ? TakeEnd() : RecordCursor;
    for (std::int32_t i = 0; i < Size / 2 && RecordCursor < end; ++i)
        *RecordCursor++ = *CaptureCursor++;
    return true;
}

bool TForm1::AudioOut1FillBuffer(void* Buffer, std::int32_t& Size) {
    if (FeedStopped) return false;
    FillCursor = static_cast<std::int16_t*>(Buffer);
    // Past the end of the take buffer the device gets silence.
    const std::int16_t* end = TakeBuffer ? TakeEnd() : PlayCursor;
    for (std::int32_t i = 0; i < Size / 2; ++i)
        *FillCursor++ = PlayCursor < end ? *PlayCursor++ : std::int16_t{0};
    return true;
}

// Once a take: cold, so that its event's thunk, grouped with the idle turn's code, stays a jump.
[[gnu::cold]] void TForm1::Normality() {
    if (!TakeBuffer) return;
    std::int32_t n =
        static_cast<std::int32_t>(static_cast<std::int64_t>(AudioIn1->BufferSize()) * TakeLength) /
        2;
    n = std::clamp(n, std::int32_t{0}, TakeBufferSize / 2);
    if (n == 0) return;
    NormalizeCursor = TakeBuffer.get();
    std::int32_t peak = std::abs(static_cast<std::int32_t>(*NormalizeCursor));
    for (std::int32_t i = 0; i < n; ++i, ++NormalizeCursor)
        peak = std::max(peak, std::abs(static_cast<std::int32_t>(*NormalizeCursor)));
    NormalizeCursor = TakeBuffer.get();
    if (peak < 1000) {
        std::fill_n(NormalizeCursor, n, std::int16_t{0});
        return;
    }
    const double gain = 30000.0 / peak;
    for (std::int32_t i = 0; i < n; ++i, ++NormalizeCursor)
        *NormalizeCursor = static_cast<std::int16_t>(std::nearbyint(*NormalizeCursor * gain));
}

void TForm1::RecButtonMouseDown(fw::TObject*, fw::TMouseButton, fw::TShiftState, int, int) {
    RecordAction(false);
}

void TForm1::RecButtonMouseUp(fw::TObject*, fw::TMouseButton, fw::TShiftState, int, int) {
    if (AudioIn1->Running()) return;
    FlipButton(RecButton);
}

void TForm1::PlayButtonMouseDown(fw::TObject*, fw::TMouseButton, fw::TShiftState, int, int) {
    PlayAction(false);
}

void TForm1::PlayButtonMouseUp(fw::TObject*, fw::TMouseButton, fw::TShiftState, int, int) {
    if (AudioOut1->Running()) return;
    FlipButton(PlayButton);
}

void TForm1::StopButtonClick(fw::TObject*) {
    StopAction(false);
}

// ---- The verbs ----------------------------------------------------------------------------

void TForm1::RecordAction(bool press) {
    if (press) Press(RecButton);
    ToggleRecording();
}

void TForm1::PlayAction(bool press) {
    if (press) Press(PlayButton);
    TogglePlayback();
}

void TForm1::StopAction(bool press) {
    if (press) Press(StopButton);
    StopAll();
    if (!press) return;
    ReleaseButton(StopButton);
    StopButton->Refresh();
}

void TForm1::ShowAction() {
    fw::Application->Restore();
    Show();
    BringToFront();
    fw::SetForegroundWindow(Handle());
}

bool TForm1::SaveTakeAction(const std::string& path, std::string& why) {
    if (Recording) {
        why = "a take is being recorded";
        return false;
    }
    if (TakeLength <= 0 || !TakeBuffer) {
        why = "there is no take yet";
        return false;
    }
    // The blocks PLAY sends, already normalised when the take ended.
    const std::int64_t samples = std::min<std::int64_t>(
        static_cast<std::int64_t>(AudioIn1->BufferSize()) * TakeLength / 2, TakeBufferSize / 2);
    try {
        os::WriteWavFileAtomically(path, static_cast<std::uint32_t>(AudioIn1->FrameRate()), 1,
                                   {TakeBuffer.get(), static_cast<std::size_t>(samples)});
    } catch (const std::exception& e) {
        why = e.what();
        return false;
    }
    return true;
}

// ---- Keys ---------------------------------------------------------------------------------

void TForm1::FormKeyDown(fw::TObject*, std::uint16_t& Key, fw::TShiftState) {
    switch (Key) {
    case fw::VK_ESCAPE:
        Press(OffButton);
        Key = 0;
        Close();
        break;
    case 'P':
        Key = 0;
        PlayAction();
        break;
    case 'R':
        Key = 0;
        RecordAction();
        break;
    case 'M':
        Press(MinButton);
        Key = 0;
        MinButtonClick(MinButton);
        ReleaseButton(MinButton);
        MinButton->Refresh();
        break;
    case 'S':
        Key = 0;
        StopAction();
        break;
    default:
        break;
    }
}

// ---- Minimise to the notification area and back -------------------------------------------

namespace {
// The minimise animation as the user had it before the program switched it off.
std::int32_t SavedMinAnimate = 1;
} // namespace

void TForm1::SetMinimizeAnimation(bool on) {
    fw::ANIMATIONINFO info;
    if (!on) {
        if (fw::SystemParametersInfo(fw::SPI_GETANIMATION, sizeof info, &info, 0))
            SavedMinAnimate = info.iMinAnimate;
        info.iMinAnimate = 0;
    } else {
        info.iMinAnimate = SavedMinAnimate;
    }
    fw::SystemParametersInfo(fw::SPI_SETANIMATION, sizeof info, &info, 0);
}

void TForm1::MinButtonClick(fw::TObject*) {
    SetMinimizeAnimation(false);
    fw::SetActiveWindow(fw::Application->Handle());
    MinButton->Refresh();
    fw::Application->Minimize();
    SetMinimizeAnimation(true);
}

void TForm1::AppEvents1Minimize(fw::TObject*) {
    TrayIcon1->SetActive(true);
    // Without a notification area to show the icon, the taskbar entry stays: the window
    // must remain reachable.
    if (fw::NewStyleControls() && TrayIcon1->Added())
        fw::ShowWindow(fw::Application->Handle(), fw::SW_HIDE);
}

void TForm1::AppEvents1Restore(fw::TObject*) {
    TrayIcon1->SetActive(false);
    if (fw::NewStyleControls()) fw::ShowWindow(fw::Application->Handle(), fw::SW_SHOWDEFAULT);
}

void TForm1::TrayIcon1Click(fw::TObject*, fw::TMouseButton, fw::TShiftState, int, int) {
    fw::Application->Restore();
    ForceForeground(fw::Application->Handle());
    ForceForeground(Handle());
}

bool TForm1::ForceForeground(fw::HWND Wnd) {
    if (!fw::IsWindow(Wnd)) return false;
    const fw::HWND fg = fw::GetForegroundWindow();
    if (Wnd == fg) return true;
    if (static_cast<std::uint32_t>(fw::GetWindowLong(Wnd, fw::GWL_STYLE)) & fw::WS_MINIMIZE)
        fw::ShowWindow(Wnd, fw::SW_SHOWNOACTIVATE);
    const std::uint32_t fg_thread = fw::GetWindowThreadProcessId(fg, nullptr);
    fw::AttachThreadInput(fg_thread, fw::GetCurrentThreadId(), true);
    fw::Application->ProcessMessages();
    fw::SetForegroundWindow(Wnd);
    fw::AttachThreadInput(fg_thread, fw::GetCurrentThreadId(), false);
    return Wnd == fw::GetForegroundWindow();
}

void RegisterUnit1() {
    skin::Register();
    tray::Register();
    audio::Register();
    fw::RegisterClasses<fw::TTimer>();
    if (!fw::FindFormDescription("TForm1"))
        fw::RegisterFormDescription("TForm1", Unit1Description());
}

} // namespace app
