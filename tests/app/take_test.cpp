// The main window's take on the simulated devices and the virtual clock: placement kept in
// the settings store, recording and playback through the keys and the buttons, the end of a
// take by time and by length, the level of a finished take, the trace, and the failures.
#include "app_test_support.hpp"

#include "framework/graphics/colors.hpp"
#include "framework/message_box.hpp"
#include "framework/registry.hpp"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

namespace {

using namespace std::chrono_literals;
using apptest::MainWindow;
using Dir = os::WaveDirection;

constexpr const char* kKey = "\\Software\\Mirelo";
constexpr int kBlockSamples = 8192;

std::int32_t Stored(os::SimPlatform& p, const char* name) {
    fw::TRegistry reg(p.Settings());
    EXPECT_TRUE(reg.OpenKey(kKey, false));
    return reg.ReadInteger(name);
}

void Store(os::SimPlatform& p, int top, int left, int width, int height) {
    fw::TRegistry reg(p.Settings());
    reg.OpenKey(kKey, true);
    reg.WriteInteger("Top", top);
    reg.WriteInteger("Left", left);
    reg.WriteInteger("ScrWidth", width);
    reg.WriteInteger("ScrHeight", height);
}

// Message boxes caught (and closed at once) from before the window is created.
struct CaughtBoxes {
    std::vector<std::string> boxes;
    fw::TMessageBoxHook old = fw::SetMessageBoxHook([this](const std::string& t) {
        boxes.push_back(t);
        return true;
    });
    ~CaughtBoxes() { fw::SetMessageBoxHook(old); }
};

struct Window : CaughtBoxes, MainWindow {
    explicit Window(const std::function<void(os::SimPlatform&)>& setup = {}) : MainWindow(setup) {}
    os::SimWaveService& Wave() { return platform.SimWave(); }
    // A key press, handled within a millisecond.
    void Key(std::uint16_t vk) {
        platform.Screen().KeyDown(vk);
        platform.Screen().KeyUp(vk);
        Run(1ms);
    }
    void Run(std::chrono::nanoseconds d) { runtime.Loop().RunFor(d); }
    std::int16_t Sample(int i) const { return form->TakeBuffer[static_cast<std::size_t>(i)]; }
};

TEST(Take, PlacementIsCreatedKeptAndDroppedWithTheScreenSize) {
    os::SimSettings kept;
    {
        Window w;
        EXPECT_EQ(w.form->Left(), 1024 - 166);
        EXPECT_EQ(w.form->Top(), 768 - 198);
        EXPECT_EQ(Stored(w.platform, "Top"), 198);
        EXPECT_EQ(Stored(w.platform, "Left"), 166);
        EXPECT_EQ(Stored(w.platform, "ScrWidth"), 1024);
        EXPECT_EQ(Stored(w.platform, "ScrHeight"), 768);
        w.form->SetBounds(300, 200, w.form->Width(), w.form->Height());
        w.Key(fw::VK_ESCAPE);
        EXPECT_TRUE(fw::Application->Terminated());
        EXPECT_EQ(Stored(w.platform, "Left"), 1024 - 300);
        EXPECT_EQ(Stored(w.platform, "Top"), 768 - 200);
        kept = w.platform.Settings();
    }
    {
        Window w([&](os::SimPlatform& p) { p.Settings().keys = kept.keys; });
        EXPECT_EQ(w.form->Left(), 300);
        EXPECT_EQ(w.form->Top(), 200);
    }
    {
        // Stored under another screen size: the default place, and the new size at close.
        Window w([](os::SimPlatform& p) { Store(p, 500, 600, 1280, 1024); });
        EXPECT_EQ(w.form->Left(), 1024 - 166);
        EXPECT_EQ(w.form->Top(), 768 - 198);
        w.form->Close();
        EXPECT_EQ(Stored(w.platform, "ScrWidth"), 1024);
        EXPECT_EQ(Stored(w.platform, "Left"), 166);
    }
    // Edited by hand: offsets past 32 bits' reach, or off every monitor, give the default.
    for (const auto& v : {std::pair{INT32_MIN, -2147483000}, {198, -5000}, {5000, 166}}) {
        Window w([&](os::SimPlatform& p) { Store(p, v.first, v.second, 1024, 768); });
        EXPECT_EQ(w.form->Left(), 1024 - 166);
        EXPECT_EQ(w.form->Top(), 768 - 198);
    }
}

TEST(Take, PlacementIsOnThePrimaryMonitorRightOfAnother) {
    const auto layout = [](os::SimPlatform& p) {
        p.Screen().SetMonitors({{1920, 0, 3840, 1080}, {0, 0, 1920, 1080}});
    };
    {
        Window w(layout);
        EXPECT_EQ(w.form->Left(), 3840 - 166);
        w.form->SetBounds(100, 200, w.form->Width(), w.form->Height());
        w.form->Close();
        EXPECT_EQ(Stored(w.platform, "Left"), 3840 - 100);
    }
    Window w([&](os::SimPlatform& p) {
        layout(p);
        Store(p, 1080 - 200, 3840 - 100, 1920, 1080);
    });
    EXPECT_EQ(w.form->Left(), 100);
}

TEST(Take, RecordThreeSecondsThenPlayItBackNormalised) {
    Window w(
        [](os::SimPlatform& p) { p.SimWave().SetCaptureSource(0, os::ToneSource(441, 6000)); });
    app::TForm1& f = *w.form;
    EXPECT_EQ(f.TakeLength, 0);
    w.Key('R');
    ASSERT_TRUE(f.Recording);
    EXPECT_FALSE(f.PlayButton->Enabled());
    EXPECT_EQ(f.RecButton->State, skin::cbsDown);
    w.Run(1s);
    // The trace: green from column 63 on, over the minimise button's bar.
    const auto shot = w.Shot();
    EXPECT_EQ(shot.At(w.X(63), w.Y(38)), 0x00FF00u);
    EXPECT_EQ(shot.At(w.X(63), w.Y(36)), 0u);
    EXPECT_EQ(shot.At(w.X(63), w.Y(41)), 0u);
    EXPECT_EQ(f.TraceX, 62 + 2); // about one step every 0.43 s
    w.Run(2s);
    w.Key('R');
    EXPECT_FALSE(f.Recording);
    EXPECT_EQ(f.TakeLength, 8);
    // Normalised to a peak of 30000 over exactly the 8 blocks; the rest stays silent.
    int peak = 0;
    for (int i = 0; i < 8 * kBlockSamples; ++i)
        peak = std::max(peak, std::abs(static_cast<int>(w.Sample(i))));
    EXPECT_EQ(peak, 30000);
    EXPECT_EQ(w.Sample(8 * kBlockSamples), 0);
    EXPECT_TRUE(f.PlayButton->Enabled());
    EXPECT_FALSE(f.RecButton->Down());

    w.Key('P');
    ASSERT_TRUE(f.Playing);
    w.Run(500ms);
    EXPECT_EQ(w.Shot().At(w.X(63), w.Y(39)), 0xEFEF00u); // yellow while playing
    // 8 blocks last 2.972 s: the playback ends at the first tick after the 8th returns.
    w.Run(2460ms);
    EXPECT_TRUE(f.Playing);
    w.Run(20ms);
    EXPECT_FALSE(f.Playing);
    EXPECT_EQ(f.PlayedBlocks, 8);
    EXPECT_FALSE(f.AudioOut1->Running());
    const auto played = w.Wave().PlayedBytes(0);
    ASSERT_GE(played.size(), 8u * 16384u);
    for (int i = 0; i < 8 * kBlockSamples; i += 97)
        ASSERT_EQ(static_cast<std::int16_t>(played[2 * i] | played[2 * i + 1] << 8), w.Sample(i));
}

TEST(Take, LimitsOfATake) {
    Window w(
        [](os::SimPlatform& p) { p.SimWave().SetCaptureSource(0, os::ToneSource(300, 20000)); });
    app::TForm1& f = *w.form;
    // Two presses within the first block: an empty take, whose playback ends at once.
    w.Key('R');
    w.Run(200ms);
    w.Key('R');
    EXPECT_EQ(f.TakeLength, 0);
    w.Key('P');
    w.Run(20ms);
    EXPECT_FALSE(f.Playing);
    // Left running, a recording ends at the first tick past 10 s, with 26 blocks.
    w.Key('R');
    w.Run(9990ms);
    EXPECT_TRUE(f.Recording);
    w.Run(20ms);
    EXPECT_FALSE(f.Recording);
    EXPECT_EQ(f.TakeLength, 26);
    EXPECT_FALSE(f.RecButton->Down());
    // A 26-block playback ends at the first tick after the 26th block.
    w.Key('P');
    w.Run(std::chrono::nanoseconds(26ll * kBlockSamples * 1'000'000'000 / 22050 - 15'000'000));
    EXPECT_TRUE(f.Playing);
    w.Run(25ms);
    EXPECT_FALSE(f.Playing);
    EXPECT_EQ(f.PlayedBlocks, 26);
    // With the time limit lifted, capture stops at the end of the take buffer and playback
    // goes on with silence past it.
    w.Key('R');
    f.MaxTakeSeconds = 1000;
    w.Run(16s);
    EXPECT_EQ(f.RecordCursor, f.TakeBuffer.get() + 300000);
    w.Key('S');
    EXPECT_EQ(f.TakeLength, 43);
    w.Key('P');
    f.MaxTakeSeconds = 1000;
    w.Run(15s);
    EXPECT_EQ(f.PlayCursor, f.TakeBuffer.get() + 300000);
    w.Key('S');
    EXPECT_FALSE(f.Playing);
    EXPECT_FALSE(f.AudioOut1->Running());
}

TEST(Take, NormalityScalesToThePeakOrClearsSilence) {
    Window w;
    app::TForm1& f = *w.form;
    f.TakeLength = 1;
    const auto with = [&](std::initializer_list<std::int16_t> samples) {
        std::fill_n(f.TakeBuffer.get(), kBlockSamples, std::int16_t{0});
        std::copy(samples.begin(), samples.end(), f.TakeBuffer.get());
        f.Normality();
        return std::vector<std::int16_t>(f.TakeBuffer.get(), f.TakeBuffer.get() + samples.size());
    };
    EXPECT_EQ(with({999, -999, 500}), (std::vector<std::int16_t>{0, 0, 0}));
    EXPECT_EQ(with({1000, -1000, 1}), (std::vector<std::int16_t>{30000, -30000, 30}));
    EXPECT_EQ(with({-32768, 32767, 100}), (std::vector<std::int16_t>{-30000, 29999, 92}));
    // Gain 1.5: 1.5, 4.5 and -4.5 round to the even neighbour.
    EXPECT_EQ(with({20000, 1, 3, -3}), (std::vector<std::int16_t>{30000, 2, 4, -4}));
    // Samples past the take are left alone; an empty take changes nothing.
    f.TakeBuffer[kBlockSamples] = 5;
    with({2000});
    EXPECT_EQ(f.TakeBuffer[kBlockSamples], 5);
    f.TakeLength = 0;
    EXPECT_EQ(with({500}), (std::vector<std::int16_t>{500}));
}

TEST(Take, TraceKeepsItsPaceWhenTheSystemClockJumps) {
    Window w;
    w.Key('R');
    w.Run(20ms);
    const int first = w.form->TraceX;
    w.platform.Virtual().SetDateTime(w.platform.Virtual().Now() - 1.0 / 24); // an hour back
    w.Run(1s);
    EXPECT_EQ(w.form->TraceX, first + 2);
    w.platform.Virtual().SetDateTime(w.platform.Virtual().Now() + 1.0); // a day ahead
    w.Run(20ms);
    EXPECT_EQ(w.form->TraceX, first + 2);
}

TEST(Take, ACaptureDeviceLostMidTakeKeepsWhatArrived) {
    Window w(
        [](os::SimPlatform& p) { p.SimWave().SetCaptureSource(0, os::ToneSource(300, 3000)); });
    app::TForm1& f = *w.form;
    // A first take of 8 blocks, then a recording whose device goes away after 1.2 s.
    w.Key('R');
    w.Run(3s);
    w.Key('R');
    ASSERT_EQ(f.TakeLength, 8);
    w.Key('R');
    w.Run(1200ms);
    w.Wave().LoseDevice(Dir::In, 0);
    w.Run(100ms);
    EXPECT_FALSE(f.AudioIn1->Running());
    EXPECT_TRUE(f.Recording); // not polled any more: the button stays down until a stop
    w.Key('S');
    EXPECT_FALSE(f.Recording);
    // Three whole blocks and the part of the fourth recorded before the loss, normalised.
    EXPECT_EQ(f.TakeLength, 4);
    const auto recorded = f.RecordCursor - f.TakeBuffer.get();
    EXPECT_GT(recorded, 3 * kBlockSamples);
    EXPECT_LT(recorded, 4 * kBlockSamples);
    int peak = 0;
    for (int i = 0; i < 4 * kBlockSamples; ++i)
        peak = std::max(peak, std::abs(static_cast<int>(w.Sample(i))));
    EXPECT_EQ(peak, 30000);
    EXPECT_EQ(w.Sample(static_cast<int>(recorded)), 0);
    // The device is back: the next take records as usual.
    w.Key('R');
    w.Run(1s);
    w.Key('R');
    EXPECT_EQ(f.TakeLength, 2);
}

TEST(Take, FailuresOfTheDevicesAndTheStore) {
    {
        // A device that cannot start: the message, then the end, without saving the place.
        Window w([](os::SimPlatform& p) {
            p.SimWave().FailAfter(Dir::In, 0, os::SimWaveService::Op::Open, os::MMSYSERR_ALLOCATED);
        });
        w.form->SetBounds(10, 10, w.form->Width(), w.form->Height());
        w.Key('R');
        ASSERT_EQ(w.boxes.size(), 1u);
        EXPECT_EQ(w.boxes[0].rfind("Recording failed because: \r", 0), 0u);
        EXPECT_NE(w.boxes[0].find("\rMIRELO WILL IMMEDIATELY TERMINATED !!!"), std::string::npos);
        EXPECT_TRUE(fw::Application->Terminated());
        EXPECT_EQ(Stored(w.platform, "Left"), 166);
    }
    {
        // Escape during a recording: stopped, not finished as a take.
        Window w(
            [](os::SimPlatform& p) { p.SimWave().SetCaptureSource(0, os::ToneSource(300, 500)); });
        w.Key('R');
        w.Run(1s);
        w.Key(fw::VK_ESCAPE);
        EXPECT_TRUE(w.form->Recording);
        EXPECT_EQ(w.form->TakeLength, 0);
        EXPECT_FALSE(w.form->AudioIn1->Running());
        EXPECT_FALSE(w.form->TakeBuffer);
        EXPECT_TRUE(fw::Application->Terminated());
    }
    {
        // An unreadable store at start: the default place and a working take.
        Window w([](os::SimPlatform& p) {
            Store(p, 10, 10, 1024, 768);
            p.Settings().fail_read = true;
        });
        EXPECT_EQ(w.form->Left(), 1024 - 166);
        ASSERT_EQ(w.boxes.size(), 1u);
        EXPECT_EQ(w.boxes[0], "Failed to get data for 'Top'.");
        w.Key('R');
        w.Run(1s);
        w.Key('R');
        EXPECT_EQ(w.form->TakeLength, 2);
    }
    {
        // A store that cannot be written at close: shown, and the close goes on.
        Window w([](os::SimPlatform& p) { p.Settings().fail_open = true; });
        EXPECT_EQ(w.form->Top(), 768 - 198);
        w.boxes.clear();
        w.Key('P');
        w.Key(fw::VK_ESCAPE);
        ASSERT_EQ(w.boxes.size(), 1u);
        EXPECT_EQ(w.boxes[0], "Failed to set data for 'Top'.");
        EXPECT_FALSE(w.form->AudioOut1->Running());
        EXPECT_FALSE(w.form->TakeBuffer);
        EXPECT_TRUE(fw::Application->Terminated());
    }
}

} // namespace
