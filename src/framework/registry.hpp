// The settings store object the program uses: open a key, test, read and write integer
// values, close. Failures to read or write raise ERegistryException with the value's name.
#pragma once

#include "framework/exceptions.hpp"
#include "os/settings/settings.hpp"

#include <cstdint>
#include <memory>
#include <string>

namespace fw {

class ERegistryException : public Exception {
public:
    using Exception::Exception;
};

class TRegistry {
public:
    // Works on the platform's settings store.
    TRegistry();
    explicit TRegistry(os::SettingsStore& store) : store_(store) {}
    ~TRegistry() { CloseKey(); }
    TRegistry(const TRegistry&) = delete;
    TRegistry& operator=(const TRegistry&) = delete;

    // Opens `key` (closing any key open before); with CanCreate a missing key is made.
    bool OpenKey(const std::string& key, bool CanCreate);
    void CloseKey() { key_.reset(); }
    bool ValueExists(const std::string& name);
    // "Failed to get data for '%s'" when absent or unreadable (also a value longer than
    // 4 bytes); "Invalid data type for '%s'" when it is not an integer.
    std::int32_t ReadInteger(const std::string& name);
    // "Failed to set data for '%s'", also when no key is open.
    void WriteInteger(const std::string& name, std::int32_t value);
    // The same for text values.
    std::string ReadString(const std::string& name);
    void WriteString(const std::string& name, const std::string& value);

private:
    os::SettingsStore& store_;
    std::unique_ptr<os::SettingsKey> key_;
};

} // namespace fw
