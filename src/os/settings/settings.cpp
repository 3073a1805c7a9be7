#include "os/settings/settings.hpp"

namespace os {

SettingValue SettingValue::Integer(std::int32_t v) {
    const auto u = static_cast<std::uint32_t>(v);
    SettingValue value;
    value.type = SettingType::Integer;
    for (int shift = 0; shift < 32; shift += 8)
        value.data.push_back(static_cast<std::byte>((u >> shift) & 0xFFu));
    return value;
}

SettingValue SettingValue::Text(const std::string& s) {
    SettingValue value;
    value.type = SettingType::Text;
    for (char c : s)
        value.data.push_back(static_cast<std::byte>(c));
    return value;
}

namespace {

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string_view TrimBackslashes(std::string_view key) {
    while (!key.empty() && key.front() == '\\')
        key.remove_prefix(1);
    while (!key.empty() && key.back() == '\\')
        key.remove_suffix(1);
    return key;
}

} // namespace

bool SameSettingName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i])) return false;
    return true;
}

bool SameSettingKey(std::string_view a, std::string_view b) {
    return SameSettingName(TrimBackslashes(a), TrimBackslashes(b));
}

bool SettingKeyWithin(std::string_view key, std::string_view parent) {
    key = TrimBackslashes(key);
    parent = TrimBackslashes(parent);
    if (parent.empty()) return true;
    if (key.size() < parent.size()) return false;
    if (!SameSettingName(key.substr(0, parent.size()), parent)) return false;
    return key.size() == parent.size() || key[parent.size()] == '\\';
}

} // namespace os
