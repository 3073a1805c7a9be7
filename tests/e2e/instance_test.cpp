// One instance per display on the test desktop. The X11 claim: the first connection holds
// the selection, a later one's request reaches the holder, a holder that goes leaves the
// claim free, and a take-over is survived. The real program: a second start brings the
// running window back, even from minimised, and exits 0; a start after the first was killed
// runs. GoogleTest first: Xlib's macros (None, Bool) would break its templates.
#include <gtest/gtest.h>

#include "../read_file.hpp"
#include "desktop.hpp"
#include "e2e_support.hpp"

#include "os/instance/x11_instance.hpp"
#include "os/real_platform.hpp"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <sys/wait.h>
#include <thread>

using namespace std::chrono_literals;

namespace {

constexpr double kLimit = 5.0; // seconds

template <class Check> bool Eventually(Check&& done, double seconds = kLimit) {
    return e2e::Eventually(done, seconds);
}

struct Posted {
    std::uint32_t window, msg;
    std::uintptr_t wparam;
};

// A process of the program as far as the claim goes: a real platform of its own, whose
// display events are read on demand.
struct Start {
    std::unique_ptr<os::RealPlatform> platform;
    std::vector<Posted> posted;

    explicit Start(const std::string& display) : platform(os::RealPlatform::Open(display)) {
        platform->SetPoster(
            [this](std::uint32_t w, std::uint32_t msg, std::uintptr_t wp, std::intptr_t) {
                posted.push_back({w, msg, wp});
                return true;
            });
        platform->GetInstance().SetActivationTarget(7, 0xB060);
    }
    os::InstanceClaim& Claim() { return platform->GetInstance(); }
    void Read() {
        // The display is read once the platform's wait has seen it readable.
        platform->GetWait().Wait(platform->GetClock().Monotonic());
        os::DisplayEvent e;
        while (platform->GetDisplay().NextEvent(e)) {
        }
    }
};

} // namespace

TEST(InstanceClaimX11Test, FirstHoldsLaterAskClosedConnectionsFreeItTakeOverIsSurvived) {
    e2e::Desktop& desktop = e2e::Desktop::Get();
    auto first = std::make_unique<Start>(desktop.Display());
    Start second(desktop.Display());
    ASSERT_TRUE(first->Claim().Claim());
    EXPECT_FALSE(second.Claim().Claim());
    EXPECT_FALSE(second.Claim().Claimed());

    // The request arrives as a client message on the holder's connection and is posted
    // with the requester's server time.
    ASSERT_TRUE(second.Claim().RequestActivation());
    ASSERT_TRUE(Eventually([&] {
        first->Read();
        return !first->posted.empty();
    }));
    ASSERT_EQ(first->posted.size(), 1u);
    EXPECT_EQ(first->posted[0].window, 7u);
    EXPECT_EQ(first->posted[0].msg, 0xB060u);
    EXPECT_NE(first->posted[0].wparam, 0u);

    // Someone asking for the claim's contents is told there are none instead of waiting.
    ::Display* probe = XOpenDisplay(desktop.Display().c_str());
    ASSERT_NE(probe, nullptr);
    const Atom selection = XInternAtom(probe, "_MIRELO_INSTANCE_S0", False);
    const ::Window asker =
        XCreateSimpleWindow(probe, DefaultRootWindow(probe), 0, 0, 1, 1, 0, 0, 0);
    XConvertSelection(probe, selection, XA_STRING, XA_PRIMARY, asker, CurrentTime);
    XFlush(probe);
    XEvent reply{};
    ASSERT_TRUE(Eventually([&] {
        first->Read();
        return XCheckTypedWindowEvent(probe, asker, SelectionNotify, &reply) == True;
    }));
    EXPECT_EQ(reply.xselection.property, static_cast<Atom>(None));

    // A SelectionClear that another client made up takes nothing away.
    XEvent fake{};
    const ::Window owner = XGetSelectionOwner(probe, selection);
    fake.xselectionclear = {SelectionClear, 0, True, probe, owner, selection, CurrentTime};
    XSendEvent(probe, owner, False, NoEventMask, &fake);
    XSync(probe, False);
    std::this_thread::sleep_for(300ms);
    first->Read();
    EXPECT_TRUE(first->Claim().Claimed());

    // The holder goes: a request reaches nobody, and the claim is free.
    first.reset();
    EXPECT_FALSE(second.Claim().RequestActivation());
    ASSERT_TRUE(second.Claim().Claim());

    // Taken over outside the protocol: the holder hears of it and goes on unclaimed.
    XSetSelectionOwner(probe, selection, asker, CurrentTime);
    XSync(probe, False);
    EXPECT_TRUE(Eventually([&] {
        second.Read();
        return !second.Claim().Claimed();
    }));
    XCloseDisplay(probe);
}

namespace {

class ProgramInstanceTest : public ::testing::Test {
protected:
    e2e::Desktop& desktop = e2e::Desktop::Get();
    std::vector<pid_t> running;

    void SetUp() override {
        std::filesystem::remove_all(desktop.Scratch() + "/config/mirelo");
        std::filesystem::remove(desktop.Scratch() + "/mirelo.log");
    }
    void TearDown() override {
        for (pid_t pid : running)
            desktop.Stop(pid);
    }
    pid_t Spawn() {
        const pid_t pid = desktop.Spawn({e2e::MireloProgram()});
        running.push_back(pid);
        return pid;
    }
    // The exit status of a process that ended within `seconds`; -1 when it still runs.
    // Looked at without collecting it, so that the desktop collects it and forgets it.
    int ExitCode(pid_t pid, double seconds) {
        siginfo_t info{};
        if (!Eventually([&] { return e2e::Ended(pid, info); }, seconds)) return -1;
        std::erase(running, pid);
        desktop.Stop(pid);
        return info.si_code == CLD_EXITED ? info.si_status : 128 + info.si_status;
    }
    int WindowCount() const {
        const std::string ids = desktop.Run("xdotool search --name '^Mirelo$' || true");
        return static_cast<int>(std::count(ids.begin(), ids.end(), '\n'));
    }
    bool Viewable(const std::string& window) const {
        return desktop.Run("xwininfo -id " + window).find("IsViewable") != std::string::npos;
    }
    std::string ActiveWindow() const {
        return std::to_string(std::stoul(desktop.Run("xdotool getactivewindow")));
    }
    std::string Log() const { return tests::ReadFile(desktop.Scratch() + "/mirelo.log"); }
};

} // namespace

TEST_F(ProgramInstanceTest, ASecondStartBringsTheFirstBackAndExitsAStartAfterAKillRuns) {
    const pid_t first = Spawn();
    const std::string window = e2e::ShownWindow(desktop, "^Mirelo$", 15);
    ASSERT_FALSE(window.empty());

    // Beside the running one, a second start ends at once with status 0 and no window.
    EXPECT_EQ(ExitCode(Spawn(), 10), 0);
    EXPECT_EQ(WindowCount(), 1);
    EXPECT_TRUE(e2e::Alive(first));
    EXPECT_NE(Log().find("mirelo: already running; brought its window back"), std::string::npos)
        << Log();

    // Minimised to the notification area (its M key), the first comes back in front with
    // the keys when another start is tried.
    desktop.Run("xdotool windowactivate --sync " + window + " key m");
    ASSERT_TRUE(Eventually([&] { return !Viewable(window); })) << "not minimised";
    EXPECT_EQ(ExitCode(Spawn(), 10), 0);
    EXPECT_TRUE(Eventually([&] { return Viewable(window); })) << "not restored";
    EXPECT_TRUE(Eventually([&] { return ActiveWindow() == window; })) << "not active";
    EXPECT_EQ(WindowCount(), 1);

    // Killed, the first leaves no claim behind: the next start runs and shows its window,
    // and holds the claim in turn.
    kill(first, SIGKILL);
    EXPECT_EQ(ExitCode(first, 5), 128 + SIGKILL);
    ASSERT_TRUE(desktop.WaitFor("! xdotool search --name '^Mirelo$'", 5));
    const pid_t next = Spawn();
    ASSERT_TRUE(desktop.WaitFor("xdotool search --onlyvisible --name '^Mirelo$'", 15));
    EXPECT_EQ(ExitCode(Spawn(), 10), 0);
    EXPECT_TRUE(e2e::Alive(next));
    EXPECT_EQ(WindowCount(), 1);
    // The keys reach it: Escape closes it.
    const std::string shown = e2e::ShownWindow(desktop, "^Mirelo$", 15);
    desktop.Run("xdotool windowactivate --sync " + shown + " key Escape");
    EXPECT_EQ(ExitCode(next, 10), 0);
}
