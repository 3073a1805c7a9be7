// Mirelo's entry: the command line, then the real platform, the application object and the
// main window.
#include "Unit1.hpp"

#include "framework/application.hpp"
#include "framework/graphics/icon.hpp"
#include "os/real_platform.hpp"

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

namespace {

void PrintHelp() {
    std::printf("Usage: mirelo [--help | --version]\n"
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
                "Drag the window by its skin; its place is kept for the next start.\n");
}

// One instance per display: a later start brings this one's window back, from the tray or
// the taskbar, in front and taking the keys.
void BringMainFormBack(fw::TObject*, fw::TObject*) {
    fw::Application->Restore();
    fw::TCustomForm* form = fw::Application->MainForm();
    if (!form) return;
    form->Show();
    form->BringToFront();
    fw::SetForegroundWindow(form->Handle());
}

} // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("%s %s (file version %s)\n", app::kProgramName, app::kProductVersion,
                        app::kFileVersion);
            return 0;
        }
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            PrintHelp();
            return 0;
        }
        std::fprintf(stderr, "mirelo: unknown option '%s'\nUsage: mirelo [--help | --version]\n",
                     argv[i]);
        return 2;
    }
    std::unique_ptr<os::RealPlatform> platform;
    try {
        platform = os::RealPlatform::Open();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mirelo: %s\n", e.what());
        return 1;
    }
    try {
        fw::Runtime runtime(*platform);
        if (!fw::Application->ClaimInstance()) {
            std::fprintf(stderr, "mirelo: already running; brought its window back\n");
            return 0;
        }
        fw::Application->OnActivateRequest = fw::TNotifyEvent(&BringMainFormBack, nullptr);
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
        fw::Application->Run();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mirelo: %s\n", e.what());
        return 1;
    }
    return 0;
}
