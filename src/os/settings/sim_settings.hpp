// The simulated settings store: keys and values in memory, with failures a test can ask for.
#pragma once

#include "os/settings/settings.hpp"

#include <map>
#include <string>

namespace os {

class SimSettings final : public SettingsStore {
public:
    std::unique_ptr<SettingsKey> Open(const std::string& path, bool create) override;

    // Failures to inject: opening any key, reading any value, writing any value.
    bool fail_open = false;
    bool fail_read = false;
    bool fail_write = false;

    // What is stored, for tests to set up and inspect: key path -> value name -> value.
    std::map<std::string, std::map<std::string, SettingValue>> keys;
};

} // namespace os
