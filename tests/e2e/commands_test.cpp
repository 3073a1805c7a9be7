// Mirelo driven while another window has the focus: commands from the command line (one
// starts it; a take recorded, played at a peak of 30000 and saved as PLAY sends it; fast
// failures), X key grabs (a combination held by another client skipped), and a test portal
// on a private session bus (sd-bus, its own thread) that binds shortcuts and activates them,
// never answers, or is cancelled. GoogleTest first: Xlib's macros would break its templates.
#include <gtest/gtest.h>

#include "../read_file.hpp"
#include "desktop.hpp"
#include "e2e_support.hpp"
#include "os/wave/wav_file.hpp"
#include "sound_support.hpp"

#include <X11/Xlib.h>
#include <systemd/sd-bus.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <mutex>
#include <thread>

using namespace std::chrono_literals;

namespace {

const std::string& kMirelo = e2e::MireloProgram();
constexpr const char* kPath = "/org/freedesktop/portal/desktop";
constexpr const char* kShortcuts = "org.freedesktop.portal.GlobalShortcuts";

// Reads an a{sv} of strings (others skipped) into "key=value" lines.
std::string Dict(sd_bus_message* m) {
    std::string out;
    sd_bus_message_enter_container(m, 'a', "{sv}");
    while (sd_bus_message_enter_container(m, 'e', "sv") > 0) {
        const char *key = nullptr, *value = nullptr;
        sd_bus_message_read(m, "s", &key);
        if (sd_bus_message_read(m, "v", "s", &value) > 0)
            out += std::string(key) + "=" + value + ";";
        else
            sd_bus_message_skip(m, "v");
        sd_bus_message_exit_container(m);
    }
    sd_bus_message_exit_container(m);
    return out;
}

class TestPortal {
public:
    enum class Mode { Answer, Silent, Cancel };
    TestPortal(const std::string& address, Mode mode) : mode_(mode) {
        static const sd_bus_vtable kRegistry[] = {
            SD_BUS_VTABLE_START(0), SD_BUS_METHOD("Register", "sa{sv}", "", OnRegister, 0),
            SD_BUS_VTABLE_END};
        static const sd_bus_vtable kPortal[] = {
            SD_BUS_VTABLE_START(0),
            SD_BUS_METHOD("CreateSession", "a{sv}", "o", OnCreateSession, 0),
            SD_BUS_METHOD("BindShortcuts", "oa(sa{sv})sa{sv}", "o", OnBind, 0),
            SD_BUS_SIGNAL("Activated", "osta{sv}", 0), SD_BUS_VTABLE_END};
        for (int i = 0; i < 500 && !bus_; ++i) {
            sd_bus* bus = nullptr;
            if (sd_bus_new(&bus) >= 0 && sd_bus_set_address(bus, address.c_str()) >= 0 &&
                sd_bus_set_bus_client(bus, 1) >= 0 && sd_bus_start(bus) >= 0 &&
                sd_bus_request_name(bus, "org.freedesktop.portal.Desktop", 0) >= 0)
                bus_ = bus;
            else
                sd_bus_unref(bus), std::this_thread::sleep_for(20ms);
        }
        if (!bus_ ||
            sd_bus_add_object_vtable(bus_, nullptr, kPath, "org.freedesktop.host.portal.Registry",
                                     kRegistry, this) < 0 ||
            sd_bus_add_object_vtable(bus_, nullptr, kPath, kShortcuts, kPortal, this) < 0)
            throw std::runtime_error("the test portal cannot start");
        thread_ = std::thread([this] {
            while (!stop_) {
                {
                    std::lock_guard lock(mutex_);
                    if (!activate_.empty())
                        sd_bus_emit_signal(bus_, kPath, kShortcuts, "Activated", "osta{sv}",
                                           session_.c_str(), activate_.c_str(), 0ull, 0);
                    activate_.clear();
                }
                const int r = sd_bus_process(bus_, nullptr);
                if (r < 0) return;
                if (r == 0) sd_bus_wait(bus_, 20'000);
            }
        });
    }
    ~TestPortal() {
        stop_ = true;
        thread_.join();
        sd_bus_flush_close_unref(bus_);
    }
    std::string Calls() {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    void Activate(const std::string& id) {
        std::lock_guard lock(mutex_);
        activate_ = id;
    }

private:
    // A request's or session's path for the caller of `m`.
    static std::string Handle(sd_bus_message* m, const char* kind, const std::string& token) {
        std::string sender = sd_bus_message_get_sender(m) + 1;
        for (char& c : sender)
            if (c == '.') c = '_';
        return std::string(kPath) + "/" + kind + "/" + sender + "/" + token;
    }
    static int OnRegister(sd_bus_message* m, void* self, sd_bus_error*) {
        auto* p = static_cast<TestPortal*>(self);
        const char* id = nullptr;
        sd_bus_message_read(m, "s", &id);
        std::lock_guard lock(p->mutex_);
        p->calls_ += std::string("Register ") + id + "\n";
        return sd_bus_reply_method_return(m, "");
    }
    static int OnCreateSession(sd_bus_message* m, void* self, sd_bus_error*) {
        auto* p = static_cast<TestPortal*>(self);
        const std::string options = Dict(m);
        std::lock_guard lock(p->mutex_);
        p->calls_ += "CreateSession " + options + "\n";
        if (p->mode_ == Mode::Silent) return 1; // never answered
        const auto token = [&](const std::string& key) {
            const auto at = options.find(key + "=") + key.size() + 1;
            return options.substr(at, options.find(';', at) - at);
        };
        const std::string request = Handle(m, "request", token("handle_token"));
        p->session_ = Handle(m, "session", token("session_handle_token"));
        sd_bus_reply_method_return(m, "o", request.c_str());
        return sd_bus_emit_signal(p->bus_, request.c_str(), "org.freedesktop.portal.Request",
                                  "Response", "ua{sv}", p->mode_ == Mode::Cancel ? 1u : 0u, 1,
                                  "session_handle", "s", p->session_.c_str());
    }
    static int OnBind(sd_bus_message* m, void* self, sd_bus_error*) {
        auto* p = static_cast<TestPortal*>(self);
        const char* session = nullptr;
        sd_bus_message_read(m, "o", &session);
        std::string line = std::string("BindShortcuts ") + session + " ";
        sd_bus_message_enter_container(m, 'a', "(sa{sv})");
        while (sd_bus_message_enter_container(m, 'r', "sa{sv}") > 0) {
            const char* id = nullptr;
            sd_bus_message_read(m, "s", &id);
            line += std::string(id) + "{" + Dict(m) + "}";
            sd_bus_message_exit_container(m);
        }
        sd_bus_message_exit_container(m);
        const char* parent = nullptr;
        sd_bus_message_read(m, "s", &parent);
        const std::string options = Dict(m);
        const std::string request =
            Handle(m, "request", options.substr(13, options.find(';') - 13)); // handle_token=
        std::lock_guard lock(p->mutex_);
        p->calls_ += line + "\n";
        sd_bus_reply_method_return(m, "o", request.c_str());
        return sd_bus_emit_signal(p->bus_, request.c_str(), "org.freedesktop.portal.Request",
                                  "Response", "ua{sv}", 0u, 1, "shortcuts", "a(sa{sv})", 1,
                                  "record", 1, "trigger_description", "s", "Ctrl+Alt+R");
    }

    Mode mode_;
    sd_bus* bus_ = nullptr;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::string calls_, session_, activate_;
    std::thread thread_;
};

class CommandsTest : public ::testing::Test {
protected:
    e2e::Desktop& desktop = e2e::Desktop::Get();
    e2e::SoundServer server;
    std::string dir, address = "unix:path=/nonexistent";
    pid_t pid = 0, xlogo = 0, daemon = 0;

    void SetUp() override {
        if (!e2e::OnPath("pulseaudio")) GTEST_SKIP() << "pulseaudio is not installed";
        dir = desktop.Scratch() + "/commands";
        ASSERT_TRUE(server.Start(dir)) << server.Error();
        std::filesystem::remove_all(desktop.Scratch() + "/config/mirelo");
        xlogo = desktop.Spawn({"xlogo", "-name", "lesson"});
        ASSERT_TRUE(desktop.WaitFor("xdotool search --onlyvisible --classname '^lesson$'", 10));
    }
    void TearDown() override {
        if (pid) desktop.Stop(pid);
        if (xlogo) desktop.Stop(xlogo);
        if (daemon) desktop.Stop(daemon);
        server.Stop();
    }
    const std::string& StartBus() {
        address = "unix:path=" + dir + "/bus";
        daemon = desktop.Spawn(
            {"dbus-daemon", "--session", "--nofork", "--nopidfile", "--address=" + address});
        return address;
    }
    // Mirelo, its standard error in a file, once its window shows.
    void StartMirelo(const std::string& args = "") {
        pid = desktop.Spawn({"sh", "-c",
                             "DBUS_SESSION_BUS_ADDRESS=" + address + " exec " + kMirelo + " " +
                                 args + " 2>" + dir + "/err"});
        ASSERT_TRUE(desktop.WaitFor("xdotool search --onlyvisible --name '^Mirelo$'", 15));
    }
    void FocusLesson() const {
        desktop.Run("xdotool search --onlyvisible --classname '^lesson$' | head -n1 | "
                    "xargs xdotool windowactivate --sync");
    }
    // The exit status of `mirelo ARGS` and what it printed; `seconds` how long it took.
    int Command(const std::string& args, std::string* out = nullptr, double* seconds = nullptr) {
        const auto start = std::chrono::steady_clock::now();
        const std::string o =
            desktop.Run("cd " + dir + " && " + kMirelo + " " + args + " 2>&1; echo \" status=$?\"");
        if (seconds)
            *seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (out) *out = o;
        return std::stoi(o.substr(o.rfind("status=") + 7));
    }
    std::string Err() const { return tests::ReadFile(dir + "/err"); }
    static bool Streams(const std::string& kind, bool open, double seconds = 5) {
        return e2e::Eventually([&] { return e2e::HasStream(kind) == open; }, seconds);
    }
};

} // namespace

TEST_F(CommandsTest, RecordPlayAndSaveFromAnotherWindowAndFailFastWithoutAnAnswer) {
    std::string out;
    EXPECT_EQ(Command("--play", &out), 1);
    EXPECT_NE(out.find("not running"), std::string::npos) << out;

    // --record with none running starts Mirelo, which records.
    StartMirelo("--record");
    ASSERT_TRUE(Streams("source-outputs", true)) << "--record started no recording";
    FocusLesson();
    const auto signal = e2e::PeakedNoise(e2e::kRate * 3 / 2, 5, e2e::kRate * 3 / 4);
    os::WriteWavFile(dir + "/signal.wav", e2e::kRate, 1, signal);
    desktop.Run("paplay -d mic " + dir + "/signal.wav");
    // paplay ends once the server has the sound; its last part is still on its way.
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(Command("--record"), 0);
    ASSERT_TRUE(Streams("source-outputs", false)) << "--record did not stop the recording";

    e2e::SpeakerRecording speaker(dir + "/heard.raw");
    EXPECT_EQ(Command("--play"), 0);
    ASSERT_TRUE(Streams("sink-inputs", true));
    EXPECT_TRUE(Streams("sink-inputs", false, 10));
    const auto heard = speaker.Heard();
    EXPECT_GE(e2e::HeardShare(heard, e2e::Levelled(signal)), 0.8);
    EXPECT_EQ(e2e::Peak(heard), 30000);

    // Saved, relative to the sender's folder: what PLAY sent, the levelled signal in it.
    EXPECT_EQ(Command("--save-take take.wav"), 0);
    const os::WavAudio take = os::ReadWavFile(dir + "/take.wav");
    EXPECT_EQ(take.rate, 22050u);
    EXPECT_EQ(take.channels, 1);
    EXPECT_GE(e2e::HeardShare(take.samples, e2e::Levelled(signal)), 0.8);
    EXPECT_GE(e2e::HeardShare(heard, take.samples), 0.8);
    EXPECT_EQ(e2e::Peak(take.samples), 30000);

    // A holder that cannot answer: the sender gives up after 2 s. A killed one: at once.
    kill(pid, SIGSTOP);
    double took = 0;
    EXPECT_EQ(Command("--stop", &out, &took), 1);
    EXPECT_LT(took, 3.0);
    EXPECT_NE(out.find("did not answer"), std::string::npos) << out;
    kill(pid, SIGKILL);
    kill(pid, SIGCONT);
    desktop.Stop(pid);
    pid = 0;
    EXPECT_EQ(Command("--stop", &out, &took), 1);
    EXPECT_LT(took, 2.0);
}

TEST_F(CommandsTest, KeyGrabsActWithAnotherWindowFocusedAndSkipATakenCombination) {
    // Another client holds Ctrl+Alt+P.
    ::Display* other = XOpenDisplay(desktop.Display().c_str());
    ASSERT_NE(other, nullptr);
    const KeyCode p = XKeysymToKeycode(other, XStringToKeysym("p"));
    for (const unsigned lock :
         {0u, unsigned(LockMask), unsigned(Mod2Mask), unsigned(LockMask | Mod2Mask)})
        XGrabKey(other, p, ControlMask | Mod1Mask | lock, DefaultRootWindow(other), False,
                 GrabModeAsync, GrabModeAsync);
    XSync(other, False);
    StartMirelo();
    FocusLesson();
    desktop.Run("xdotool key ctrl+alt+r");
    EXPECT_TRUE(Streams("source-outputs", true)) << "Ctrl+Alt+R started no recording";
    desktop.Run("xdotool key ctrl+alt+s");
    EXPECT_TRUE(Streams("source-outputs", false)) << "Ctrl+Alt+S did not stop it";
    EXPECT_NE(Err().find("Ctrl+Alt+P is taken by another program"), std::string::npos) << Err();
    // With Russian the group in use, the key labelled R (code 27) types ka; the grab still
    // fires by the key's place.
    desktop.Run("setxkbmap -layout ru,us");
    desktop.Run("xdotool key ctrl+alt+27");
    const bool started = Streams("source-outputs", true);
    desktop.Run("xdotool key ctrl+alt+s");
    EXPECT_TRUE(Streams("source-outputs", false));
    desktop.Run("setxkbmap -layout us");
    EXPECT_TRUE(started) << "Ctrl+Alt+R started no recording under ru,us";
    XCloseDisplay(other);
}

TEST_F(CommandsTest, PortalBoundShortcutsActivateWhileAnotherWindowHasTheFocus) {
    TestPortal portal(StartBus(), TestPortal::Mode::Answer);
    StartMirelo();
    ASSERT_TRUE(desktop.WaitFor("grep -q 'global shortcut record: Ctrl+Alt+R' " + dir + "/err", 10))
        << Err();
    const std::string calls = portal.Calls();
    EXPECT_EQ(calls.find("Register org.example.Mirelo\nCreateSession handle_token="), 0u) << calls;
    EXPECT_NE(calls.find("session_handle_token="), std::string::npos) << calls;
    EXPECT_NE(calls.find("record{description=Start or stop recording a take;preferred_trigger="
                         "CTRL+ALT+r;}play{description=Start or stop playing the take back;"
                         "preferred_trigger=CTRL+ALT+p;}stop{"),
              std::string::npos)
        << calls;
    FocusLesson();
    portal.Activate("record");
    EXPECT_TRUE(Streams("source-outputs", true)) << "Activated(record) started no take";
    portal.Activate("record");
    EXPECT_TRUE(Streams("source-outputs", false));
}

TEST_F(CommandsTest, APortalThatNeverAnswersOrIsCancelledLeavesTheOtherRoadsWorking) {
    StartBus();
    for (const auto mode : {TestPortal::Mode::Silent, TestPortal::Mode::Cancel}) {
        TestPortal portal(address, mode);
        StartMirelo();
        for (int i = 0; i < 500 && portal.Calls().find("CreateSession") == std::string::npos; ++i)
            std::this_thread::sleep_for(10ms);
        EXPECT_NE(portal.Calls().find("CreateSession"), std::string::npos);
        // The window's keys and the commands answer at once.
        desktop.Run("xdotool search --onlyvisible --name '^Mirelo$' | head -n1 | "
                    "xargs -I{} xdotool windowactivate --sync {} key r");
        EXPECT_TRUE(Streams("source-outputs", true));
        FocusLesson();
        desktop.Run("timeout 2 " + kMirelo + " --stop");
        EXPECT_TRUE(Streams("source-outputs", false));
        desktop.Stop(pid);
        pid = 0;
        const std::string err = Err();
        EXPECT_LE(std::count(err.begin(), err.end(), '\n'), 1) << err;
    }
}
