#include "os/settings/sim_settings.hpp"

namespace os {

namespace {

using Values = std::map<std::string, SettingValue>;

// Looks its key up at every call, so that a test may change `keys` while a key is open.
class SimKey final : public SettingsKey {
public:
    SimKey(SimSettings& store, std::string path) : store_(store), path_(std::move(path)) {}

    bool ValueExists(const std::string& name) override {
        Values* values = Find();
        return values && FindValue(*values, name) != values->end();
    }

    std::optional<SettingValue> Read(const std::string& name) override {
        Values* values = Find();
        if (!values || store_.fail_read) return std::nullopt;
        auto it = FindValue(*values, name);
        if (it == values->end()) return std::nullopt;
        return it->second;
    }

    bool Write(const std::string& name, const SettingValue& value) override {
        Values* values = Find();
        if (!values || store_.fail_write) return false;
        auto it = FindValue(*values, name);
        if (it != values->end())
            it->second = value;
        else
            (*values)[name] = value;
        return true;
    }

private:
    Values* Find() {
        for (auto& [path, values] : store_.keys)
            if (SameSettingKey(path, path_)) return &values;
        return nullptr;
    }
    static Values::iterator FindValue(Values& values, const std::string& name) {
        for (auto it = values.begin(); it != values.end(); ++it)
            if (SameSettingName(it->first, name)) return it;
        return values.end();
    }

    SimSettings& store_;
    std::string path_;
};

} // namespace

std::unique_ptr<SettingsKey> SimSettings::Open(const std::string& path, bool create) {
    if (fail_open) return nullptr;
    for (const auto& entry : keys) {
        if (SameSettingKey(entry.first, path)) return std::make_unique<SimKey>(*this, entry.first);
    }
    bool parent_of_existing = false;
    for (const auto& entry : keys)
        parent_of_existing = parent_of_existing || SettingKeyWithin(entry.first, path);
    if (!parent_of_existing && !create) return nullptr;
    keys[path]; // a parent key that only has subkeys gets its own entry once opened
    return std::make_unique<SimKey>(*this, path);
}

} // namespace os
