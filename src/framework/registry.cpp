#include "framework/registry.hpp"

#include "framework/platform_access.hpp"

namespace fw {

namespace {

[[noreturn]] void Fail(const char* what, const std::string& name) {
    throw ERegistryException(std::string(what) + " for '" + name + "'");
}

} // namespace

TRegistry::TRegistry() : store_(GetPlatform().GetSettings()) {}

bool TRegistry::OpenKey(const std::string& key, bool CanCreate) {
    CloseKey();
    key_ = store_.Open(key, CanCreate);
    return key_ != nullptr;
}

bool TRegistry::ValueExists(const std::string& name) {
    return key_ && key_->ValueExists(name);
}

std::int32_t TRegistry::ReadInteger(const std::string& name) {
    std::optional<os::SettingValue> value;
    if (key_) value = key_->Read(name);
    // The value is fetched into 4 bytes: anything longer does not arrive at all.
    if (!value || value->data.size() > 4) Fail("Failed to get data", name);
    if (value->type != os::SettingType::Integer) Fail("Invalid data type", name);
    std::uint32_t u = 0;
    for (std::size_t i = value->data.size(); i-- > 0;)
        u = u << 8 | std::to_integer<std::uint32_t>(value->data[i]);
    return static_cast<std::int32_t>(u);
}

void TRegistry::WriteInteger(const std::string& name, std::int32_t value) {
    if (!key_ || !key_->Write(name, os::SettingValue::Integer(value)))
        Fail("Failed to set data", name);
}

std::string TRegistry::ReadString(const std::string& name) {
    std::optional<os::SettingValue> value;
    if (key_) value = key_->Read(name);
    if (!value) Fail("Failed to get data", name);
    if (value->type != os::SettingType::Text) Fail("Invalid data type", name);
    std::string text;
    for (const std::byte b : value->data)
        text += static_cast<char>(b);
    return text;
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
    if (!key_ || !key_->Write(name, os::SettingValue::Text(value)))
        Fail("Failed to set data", name);
}

} // namespace fw
