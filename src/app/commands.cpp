// Commands from later starts and global shortcuts, mapped onto the main window's verbs.
#include "app/commands.hpp"

#include "app/Unit1.hpp"
#include "framework/application.hpp"
#include "framework/registry.hpp"
#include "os/shortcuts/shortcuts.hpp"

#include <cstdio>
#include <exception>
#include <vector>

namespace app {

int RunCommand(const std::string& command, std::string& reply) {
    if (!Form1) {
        reply = "Mirelo is starting or closing";
        return 1;
    }
    if (command == "record") {
        Form1->RecordAction();
    } else if (command == "play") {
        Form1->PlayAction();
    } else if (command == "stop") {
        Form1->StopAction();
    } else if (command == "show") {
        Form1->ShowAction();
    } else if (command.starts_with("save-take\n")) {
        const std::string path = command.substr(10);
        std::string why;
        if (path.empty() || !Form1->SaveTakeAction(path, why)) {
            reply = path.empty() ? "no file to save the take to" : "take not saved: " + why;
            return 1;
        }
    } else {
        reply = "unknown command";
        return 2;
    }
    return 0;
}

std::string CommandForOption(const std::string& option, const std::string& file) {
    if (option == "--record" || option == "--play" || option == "--stop" || option == "--show")
        return option.substr(2);
    if (option == "--save-take") return "save-take\n" + file;
    return {};
}

namespace {

constexpr fw::UINT kShortcutMessage = fw::WM_USER + 0x151;

struct ShortcutSetting {
    const char* id;
    const char* value;
    const char* fallback;
    const char* description;
};
constexpr ShortcutSetting kShortcuts[] = {
    {"record", "RecordShortcut", "Ctrl+Alt+R", "Start or stop recording a take"},
    {"play", "PlayShortcut", "Ctrl+Alt+P", "Start or stop playing the take back"},
    {"stop", "StopShortcut", "Ctrl+Alt+S", "Stop recording and playing"},
};

// The ids of the shortcuts asked for, by their index in the request.
std::vector<std::string>& AskedIds() {
    static std::vector<std::string> ids;
    return ids;
}

bool ShortcutHook(fw::TObject*, fw::TMessage& m) {
    if (m.Msg != kShortcutMessage) return false;
    if (m.WParam < AskedIds().size()) {
        std::string reply;
        RunCommand(AskedIds()[m.WParam], reply);
    }
    return true;
}

std::string ReadShortcut(fw::TRegistry& reg, const ShortcutSetting& s) {
    try {
        if (reg.ValueExists(s.value)) return reg.ReadString(s.value);
        reg.WriteString(s.value, s.fallback);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mirelo: %s; using %s\n", e.what(), s.fallback);
    }
    return s.fallback;
}

} // namespace

void StartShortcuts() {
    std::vector<os::Shortcut> shortcuts;
    AskedIds().clear();
    {
        fw::TRegistry reg;
        const bool open = reg.OpenKey("\\Software\\Mirelo", true);
        for (const ShortcutSetting& s : kShortcuts) {
            const std::string text = open ? ReadShortcut(reg, s) : s.fallback;
            if (text.empty()) continue;
            std::string error;
            const auto keys = os::ParseKeyCombination(text, &error);
            if (!keys) {
                std::fprintf(stderr, "mirelo: %s is not a key combination (%s); left out\n",
                             s.value, error.c_str());
                continue;
            }
            shortcuts.push_back({s.id, s.description, *keys});
            AskedIds().push_back(s.id);
        }
    }
    fw::Application->HookMainWindow(fw::TWindowHook(&ShortcutHook, nullptr));
    fw::GetPlatform().GetShortcuts().Start(std::move(shortcuts), fw::Application->Handle(),
                                           kShortcutMessage);
}

} // namespace app
