// Key combinations that reach the program whatever window has the focus: the desktop
// portal's global shortcuts where the session offers them, else key grabs on the X root
// window. The program only learns which of its shortcuts was pressed.
#pragma once

#include "os/post.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace os {

// A combination such as "Ctrl+Alt+R": modifiers (Modifiers::kShift, kCtrl, kAlt, or
// kSuper) and one key, named as "R", "7", "F5" or "Space".
struct KeyCombination {
    static constexpr std::uint32_t kSuper = 1u << 8;
    std::uint32_t modifiers = 0;
    std::string key;
    bool operator==(const KeyCombination&) const = default;
};

// Parses a combination written as modifiers and a key joined by '+', in any case
// ("ctrl+alt+r", "Shift+Super+F5"). Nothing, with the reason in `error`, for text that is
// not one.
std::optional<KeyCombination> ParseKeyCombination(std::string_view text, std::string* error);
// The combination as the portal's preferred trigger: "CTRL+ALT+r".
std::string PortalTrigger(const KeyCombination& combination);
// The combination as a user writes it: "Ctrl+Alt+R".
std::string ShortcutText(const KeyCombination& combination);

struct Shortcut {
    std::string id; // "record", "play", "stop"
    std::string description;
    KeyCombination keys;
};

class GlobalShortcuts {
public:
    virtual ~GlobalShortcuts() = default;
    // Asks for the shortcuts; each press comes up as a posted message to `window`:
    // msg = `message`, wparam = the shortcut's index in `shortcuts`, lparam = 0. What the
    // desktop refuses is reported on standard error (once) and left out. Called once.
    virtual void Start(std::vector<Shortcut> shortcuts, std::uint32_t window,
                       std::uint32_t message) = 0;
};

// In memory: what was asked for, and presses made by a test.
class SimGlobalShortcuts final : public GlobalShortcuts {
public:
    explicit SimGlobalShortcuts(PostFn post) : post_(std::move(post)) {}
    void Start(std::vector<Shortcut> shortcuts, std::uint32_t window,
               std::uint32_t message) override;
    const std::vector<Shortcut>& Asked() const { return shortcuts_; }
    // The user presses the shortcut with this id; false when none was asked for.
    bool Press(const std::string& id);

private:
    PostFn post_;
    std::vector<Shortcut> shortcuts_;
    std::uint32_t window_ = 0;
    std::uint32_t message_ = 0;
};

} // namespace os
