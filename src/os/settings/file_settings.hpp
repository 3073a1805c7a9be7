// The real settings store: one human-readable text file with a section per key and a typed
// line per value, rewritten atomically at every change.
#pragma once

#include "os/settings/settings.hpp"

#include <map>
#include <string>

namespace os {

class FileSettings final : public SettingsStore {
public:
    // The file to use; its folder is made when the first value is written.
    explicit FileSettings(std::string path);
    // $XDG_CONFIG_HOME/mirelo/settings.ini, or ~/.config/mirelo/settings.ini.
    static std::string DefaultPath();

    std::unique_ptr<SettingsKey> Open(const std::string& path, bool create) override;
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

} // namespace os
