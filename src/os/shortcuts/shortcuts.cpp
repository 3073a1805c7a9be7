// Key combinations as text, and the in-memory shortcuts.
#include "os/shortcuts/shortcuts.hpp"

#include "os/display/display.hpp"

#include <cctype>

namespace os {

namespace {

std::string Upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

struct NamedModifier {
    const char* name;
    std::uint32_t bit;
};
constexpr NamedModifier kModifiers[] = {
    {"CTRL", Modifiers::kCtrl},        {"CONTROL", Modifiers::kCtrl},
    {"ALT", Modifiers::kAlt},          {"SHIFT", Modifiers::kShift},
    {"SUPER", KeyCombination::kSuper}, {"LOGO", KeyCombination::kSuper},
    {"META", KeyCombination::kSuper},  {"WIN", KeyCombination::kSuper},
};

// Keys with names beside letters, digits and F1 to F24; as written by a user and as the
// portal's trigger (an X key name).
struct NamedKey {
    const char* name;
    const char* trigger;
};
constexpr NamedKey kKeys[] = {
    {"Space", "space"},   {"Pause", "Pause"},   {"Insert", "Insert"}, {"Home", "Home"},
    {"End", "End"},       {"PageUp", "Prior"},  {"PageDown", "Next"}, {"Print", "Print"},
    {"Delete", "Delete"}, {"Return", "Return"}, {"Tab", "Tab"},
};

// The key's one spelling, or empty when it is no key we know.
std::string CanonicalKey(std::string_view key) {
    const std::string up = Upper(key);
    if (up.size() == 1 && std::isalnum(static_cast<unsigned char>(up[0]))) return up;
    if (up.size() >= 2 && up.size() <= 3 && up[0] == 'F') {
        int n = 0;
        for (std::size_t i = 1; i < up.size(); ++i) {
            if (!std::isdigit(static_cast<unsigned char>(up[i]))) return {};
            n = n * 10 + (up[i] - '0');
        }
        if (n >= 1 && n <= 24 && up[1] != '0') return up;
        return {};
    }
    for (const NamedKey& k : kKeys)
        if (Upper(k.name) == up) return k.name;
    return {};
}

} // namespace

std::optional<KeyCombination> ParseKeyCombination(std::string_view text, std::string* error) {
    const auto fail = [error, text](const std::string& why) -> std::optional<KeyCombination> {
        if (error) *error = "'" + std::string(text) + "': " + why;
        return std::nullopt;
    };
    KeyCombination combination;
    std::size_t start = 0;
    for (;;) {
        const std::size_t plus = text.find('+', start);
        std::string_view part = text.substr(
            start, plus == std::string_view::npos ? std::string_view::npos : plus - start);
        while (!part.empty() && part.front() == ' ')
            part.remove_prefix(1);
        while (!part.empty() && part.back() == ' ')
            part.remove_suffix(1);
        if (part.empty()) return fail("an empty part");
        if (plus == std::string_view::npos) {
            combination.key = CanonicalKey(part);
            if (combination.key.empty()) return fail("no key named '" + std::string(part) + "'");
            break;
        }
        const std::string up = Upper(part);
        std::uint32_t bit = 0;
        for (const NamedModifier& m : kModifiers)
            if (up == m.name) bit = m.bit;
        if (!bit) return fail("no modifier named '" + std::string(part) + "'");
        combination.modifiers |= bit;
        start = plus + 1;
    }
    // A letter or digit alone would take the key from every other program.
    if (!(combination.modifiers & ~Modifiers::kShift) && combination.key.size() == 1)
        return fail("a letter or digit needs Ctrl, Alt or Super");
    return combination;
}

namespace {
std::string Joined(const KeyCombination& c, const char* const names[4], const std::string& key) {
    std::string out;
    const std::uint32_t bits[4] = {Modifiers::kCtrl, Modifiers::kAlt, Modifiers::kShift,
                                   KeyCombination::kSuper};
    for (int i = 0; i < 4; ++i)
        if (c.modifiers & bits[i]) out += std::string(names[i]) + "+";
    return out + key;
}
} // namespace

std::string PortalTrigger(const KeyCombination& c) {
    static const char* const names[4] = {"CTRL", "ALT", "SHIFT", "LOGO"};
    std::string key = c.key;
    if (key.size() == 1)
        key[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(key[0])));
    for (const NamedKey& k : kKeys)
        if (key == k.name) key = k.trigger;
    return Joined(c, names, key);
}

std::string ShortcutText(const KeyCombination& c) {
    static const char* const names[4] = {"Ctrl", "Alt", "Shift", "Super"};
    return Joined(c, names, c.key);
}

void SimGlobalShortcuts::Start(std::vector<Shortcut> shortcuts, std::uint32_t window,
                               std::uint32_t message) {
    shortcuts_ = std::move(shortcuts);
    window_ = window;
    message_ = message;
}

bool SimGlobalShortcuts::Press(const std::string& id) {
    for (std::size_t i = 0; i < shortcuts_.size(); ++i)
        if (shortcuts_[i].id == id) return post_ && post_(window_, message_, i, 0);
    return false;
}

} // namespace os
