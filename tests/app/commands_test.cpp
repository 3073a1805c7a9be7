// Commands from a later start and global shortcuts end in the same verbs as the keys: on the
// simulated instance claim, shortcuts and devices.
#include "app_test_support.hpp"

#include "app/commands.hpp"
#include "framework/registry.hpp"
#include "os/wave/wav_file.hpp"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using namespace std::chrono_literals;

struct Commanded : apptest::MainWindow {
    Commanded(const std::function<void(os::SimPlatform&)>& setup = {}) : MainWindow(setup) {
        fw::Application->ClaimInstance();
        fw::Application->OnCommandRequest = &app::RunCommand;
    }
    // Another process of the program on the same display.
    os::SimInstanceClaim sender{platform.Instance().Seat(), platform.Virtual(), {}};
    os::InstanceClaim::Answer Send(const std::string& command) {
        EXPECT_TRUE(sender.SendCommand(command));
        runtime.Loop().RunFor(1ms);
        return sender.AwaitAnswer(0ms).value_or(os::InstanceClaim::Answer{-1, "no answer"});
    }
};

TEST(Commands, ActAsTheKeysWhileRecordingPlayingAndMinimised) {
    Commanded w(
        [](os::SimPlatform& p) { p.SimWave().SetCaptureSource(0, os::ToneSource(441, 6000)); });
    app::TForm1& f = *w.form;
    const std::string file = ::testing::TempDir() + "/mirelo-take.wav";
    std::filesystem::remove(file);
    EXPECT_EQ(w.Send("save-take\n" + file).status, 1); // no take yet
    fw::Application->Minimize();
    EXPECT_EQ(w.Send("record").status, 0);
    EXPECT_TRUE(f.Recording);
    EXPECT_EQ(f.RecButton->State, skin::cbsDown);
    EXPECT_TRUE(fw::Application->Minimized()); // a take started while minimised stays so
    const auto busy = w.Send("save-take\n" + file);
    EXPECT_EQ(busy.status, 1);
    EXPECT_NE(busy.text.find("recorded"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(file));
    w.runtime.Loop().RunFor(3s);
    // P while recording plays as the key does; S stops both.
    EXPECT_EQ(w.Send("play").status, 0);
    EXPECT_TRUE(f.Playing && f.Recording);
    EXPECT_EQ(w.Send("stop").status, 0);
    EXPECT_FALSE(f.Playing || f.Recording);
    EXPECT_EQ(f.TakeLength, 8);
    // The saved take is exactly the 8 normalised blocks PLAY sends.
    EXPECT_EQ(w.Send("save-take\n" + file).status, 0);
    const os::WavAudio wav = os::ReadWavFile(file);
    EXPECT_EQ(wav.rate, 22050u);
    EXPECT_EQ(wav.channels, 1);
    ASSERT_EQ(wav.samples.size(), 8u * 8192u);
    for (std::size_t i = 0; i < wav.samples.size(); ++i)
        ASSERT_EQ(wav.samples[i], f.TakeBuffer[i]);
    const auto denied = w.Send("save-take\n/nonexistent-dir/take.wav");
    EXPECT_EQ(denied.status, 1);
    EXPECT_NE(denied.text.find("No such file or directory"), std::string::npos);
    EXPECT_EQ(w.Send("show").status, 0);
    EXPECT_FALSE(fw::Application->Minimized());
    EXPECT_EQ(w.Send("dance").status, 2);
}

TEST(Commands, ShortcutsFromTheSettingsReachTheVerbs) {
    Commanded w([](os::SimPlatform& p) {
        fw::TRegistry reg(p.Settings());
        reg.OpenKey("\\Software\\Mirelo", true);
        reg.WriteString("RecordShortcut", "super + shift+F5");
        reg.WriteString("PlayShortcut", "");            // off
        reg.WriteString("StopShortcut", "Ctrl+Banana"); // reported and left out
    });
    app::StartShortcuts();
    const auto& asked = w.platform.Shortcuts().Asked();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].id, "record");
    EXPECT_EQ(os::PortalTrigger(asked[0].keys), "SHIFT+LOGO+F5");
    ASSERT_TRUE(w.platform.Shortcuts().Press("record"));
    w.runtime.Loop().RunFor(1ms);
    EXPECT_TRUE(w.form->Recording);
    EXPECT_EQ(w.form->RecButton->State, skin::cbsDown);

    std::string error;
    EXPECT_EQ(os::PortalTrigger(*os::ParseKeyCombination("ctrl+ALT+r", &error)), "CTRL+ALT+r");
    EXPECT_EQ(os::ShortcutText(*os::ParseKeyCombination("Control+PageUp", &error)), "Ctrl+PageUp");
    for (const char* bad : {"R", "Ctrl+", "Ctrl+Alt", "Hyper+R", "Ctrl+F25", "Ctrl+R+P"})
        EXPECT_FALSE(os::ParseKeyCombination(bad, &error)) << bad;
}

} // namespace
