// The settings store: keys (paths such as "\Software\Mirelo") holding named values of a
// type, as the program's placement needs them. The real back end keeps one text file per
// user, the simulated one keeps everything in memory and can be told to fail.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace os {

enum class SettingType : std::uint32_t { Text = 1, Binary = 3, Integer = 4 };

// A stored value: its type and its bytes (an integer is 4 bytes, little-endian; text is
// its characters without a terminator).
struct SettingValue {
    SettingType type = SettingType::Binary;
    std::vector<std::byte> data;

    static SettingValue Integer(std::int32_t v);
    static SettingValue Text(const std::string& s);
};

// Keys and value names compare as the platform's registry does: without regard to (ASCII)
// case; a key path's leading and trailing backslashes do not count.
bool SameSettingName(std::string_view a, std::string_view b);
bool SameSettingKey(std::string_view a, std::string_view b);
// Whether `key` is `parent` or lies beneath it (a key exists while it has subkeys).
bool SettingKeyWithin(std::string_view key, std::string_view parent);

// An open key. Every operation answers whether it worked; nothing here throws.
class SettingsKey {
public:
    virtual ~SettingsKey() = default;
    virtual bool ValueExists(const std::string& name) = 0;
    // The value, or nothing when it is absent or cannot be read.
    virtual std::optional<SettingValue> Read(const std::string& name) = 0;
    // Stores the value; false when it cannot be stored (nothing is then changed).
    virtual bool Write(const std::string& name, const SettingValue& value) = 0;
};

class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    // Opens a key; with `create` a missing key is made. Null when the key is absent (and not
    // to be created) or the store cannot be reached. Closing is releasing the key.
    virtual std::unique_ptr<SettingsKey> Open(const std::string& path, bool create) = 0;
};

} // namespace os
