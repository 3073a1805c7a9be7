// Mirelo's entry: the command line, then the real platform, the application object and the
// main window.
#include "Unit1.hpp"
#include "commands.hpp"

#include "framework/application.hpp"
#include "framework/graphics/icon.hpp"
#include "framework/message_loop.hpp"
#include "os/real_platform.hpp"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>

namespace {

void PrintHelp() {
    std::printf("Usage: mirelo [--help | --version]\n"
                "       mirelo --record | --play | --stop | --show | --save-take FILE\n"
                "\n"
                "Mirelo is a tiny always-on-top recorder for practising pronunciation: record a\n"
                "phrase, play it back at a fixed loudness, compare, repeat.\n"
                "\n"
                "Keys (on the Mirelo window):\n"
                "  R       start or stop recording (a take ends by itself after 10 seconds)\n"
                "  P       start or stop playing the take back\n"
                "  S       stop recording and playing\n"
                "  M       hide the window in the notification area\n"
                "  Escape  close Mirelo\n"
                "\n"
                "Drag the window by its skin; its place is kept for the next start.\n"
                "\n"
                "Commands to the Mirelo running on this display, from any window or a desktop\n"
                "keyboard shortcut (they exit 0 once it has acted):\n"
                "  --record          as R: start or stop recording (starts Mirelo if needed)\n"
                "  --play            as P: start or stop playing the take back\n"
                "  --stop            as S: stop recording and playing\n"
                "  --show            bring the window back, in front\n"
                "  --save-take FILE  write the take as a WAV file (22050 Hz, 16-bit, mono)\n"
                "\n"
                "Ctrl+Alt+R, Ctrl+Alt+P and Ctrl+Alt+S record, play and stop from anywhere\n"
                "(through the desktop portal, else as X key grabs); see mirelo(1).\n");
}

constexpr const char* kUsage = "Usage: mirelo [--help | --version | --record | --play | --stop | "
                               "--show | --save-take FILE]\n";

// Sends a command to the running Mirelo and waits for it to act. Returns the exit status;
// -1 when nobody holds the claim.
int SendCommand(os::InstanceClaim& claim, const std::string& command) {
    if (!claim.SendCommand(command)) return -1;
    const auto answer = claim.AwaitAnswer(std::chrono::seconds(2));
    if (!answer) {
        std::fprintf(stderr, "mirelo: the running Mirelo did not answer within 2 s\n");
        return 1;
    }
    if (!answer->text.empty())
        std::fprintf(answer->status ? stderr : stdout, "mirelo: %s\n", answer->text.c_str());
    return answer->status;
}

// One instance per display: a later start brings this one's window back, from the tray or
// the taskbar, in front and taking the keys.
void BringMainFormBack(fw::TObject*, fw::TObject*) {
    if (app::Form1) app::Form1->ShowAction();
}

} // namespace

int main(int argc, char** argv) {
    std::string command;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--save-take") {
            if (i + 1 >= argc || argv[i + 1][0] == '\0') {
                std::fprintf(stderr, "mirelo: --save-take needs a file name\n%s", kUsage);
                return 2;
            }
            std::error_code error;
            const auto path = std::filesystem::absolute(argv[++i], error);
            command = app::CommandForOption(option, error ? argv[i] : path.string());
            continue;
        }
        if (!app::CommandForOption(option).empty() && command.empty()) {
            command = app::CommandForOption(option);
            continue;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s %s (file version %s)\n", app::kProgramName, app::kProductVersion,
                        app::kFileVersion);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            PrintHelp();
            return 0;
        }
        std::fprintf(stderr, "mirelo: unknown option '%s'\n%s", argv[i], kUsage);
        return 2;
    }
    std::unique_ptr<os::RealPlatform> platform;
    try {
        platform = os::RealPlatform::Open();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mirelo: %s\n", e.what());
        return 1;
    }
    if (!command.empty()) {
        // Only --record starts Mirelo; a holder that ends between our look and our send has
        // left the claim free, so look again.
        os::InstanceClaim& claim = platform->GetInstance();
        for (int round = 0; round < 3; ++round) {
            if (command == "record" && claim.Claim()) break;
            const int status = SendCommand(claim, command);
            if (status >= 0) return status;
            if (command != "record") {
                std::fprintf(stderr, "mirelo: Mirelo is not running on this display\n");
                return 1;
            }
        }
        if (!claim.Claimed()) return 1;
    }
    try {
        fw::Runtime runtime(*platform);
        if (!fw::Application->ClaimInstance()) {
            std::fprintf(stderr, "mirelo: already running; brought its window back\n");
            return 0;
        }
        fw::Application->OnActivateRequest = fw::TNotifyEvent(&BringMainFormBack, nullptr);
        fw::Application->OnCommandRequest = &app::RunCommand;
        app::RegisterUnit1();
        fw::Application->Initialize();
        fw::Application->SetTitle(app::kProgramName);
        {
            fw::TIcon icon;
            icon.LoadFromBytes(app::ApplicationIconFile());
            fw::Application->SetIcon(icon);
            for (const auto png : {app::ApplicationIcon48Png(), app::ApplicationIcon64Png(),
                                   app::ApplicationIcon128Png()})
                fw::Application->AddLargerIcon(png);
        }
        fw::Application->CreateForm(app::Form1);
        // The desktop's shortcuts go through the session bus: asked for once the window is up
        // and the loop first idle, so that the first frame waits on nothing it does not show.
        static fw::MessageLoop::IdleId start_shortcuts = 0;
        start_shortcuts = fw::MessageLoop::Current().AddIdleHandler([] {
            fw::MessageLoop::Current().RemoveIdleHandler(start_shortcuts);
            app::StartShortcuts();
        });
        // Started by --record: the take begins once the window is up.
        if (!command.empty()) platform->GetInstance().SendCommand(command);
        fw::Application->Run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mirelo: %s\n", e.what());
        return 1;
    }
    return 0;
}
