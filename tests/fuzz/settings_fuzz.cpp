// Arbitrary bytes as a settings file. A file that is accepted must write back byte for byte,
// and must take values of every type (named and filled from the input, so that escaping
// sees every byte) that read back unchanged without disturbing the other values.
#include "os/settings/settings_file_format.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sf = os::settings_file;

namespace {

void Check(bool ok) {
    if (!ok) __builtin_trap();
}

bool SameValue(const os::SettingValue& a, const os::SettingValue& b) {
    return a.type == b.type && a.data == b.data;
}

// Every readable value of the file, with its key, in file order.
std::vector<std::pair<std::string, sf::Line>> Values(const sf::Document& doc) {
    std::vector<std::pair<std::string, sf::Line>> out;
    std::string key;
    for (const sf::Line& line : doc.lines) {
        if (line.kind == sf::Line::Kind::Section) key = line.name;
        if (line.kind == sf::Line::Kind::Value) out.emplace_back(key, line);
    }
    return out;
}

void SetAndReadBack(const sf::Document& original, const std::string& key, const std::string& name,
                    const os::SettingValue& value) {
    sf::Document doc = original;
    if (!doc.Set(key, name, value)) {
        Check(name.empty());
        return;
    }
    const sf::Parsed again = sf::Parse(sf::Render(doc));
    Check(!again.error);
    const auto got = again.document.Get(key, name);
    Check(got && SameValue(*got, value));
    for (const auto& [k, line] : Values(original)) {
        if (os::SameSettingKey(k, key) && os::SameSettingName(line.name, name)) continue;
        const auto kept = again.document.Get(k, line.name);
        Check(kept && SameValue(*kept, line.value));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const sf::Parsed parsed = sf::Parse(text);
    if (parsed.error) {
        for (char c : parsed.error->reason)
            Check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7f);
        Check(!parsed.error->reason.empty());
        return 0;
    }
    const sf::Document& doc = parsed.document;
    std::string expected(text);
    if (!expected.empty() && expected.back() != '\n') expected += '\n';
    Check(sf::Render(doc) == expected);

    // The input's own bytes as a name and as values, into the file's first key or a new one.
    std::string key = "\\Software\\Mirelo";
    for (const sf::Line& line : doc.lines)
        if (line.kind == sf::Line::Kind::Section) {
            key = line.name;
            break;
        }
    const std::string name(text.substr(0, 6));
    os::SettingValue binary;
    for (std::size_t i = 0; i < size && i < 64; ++i)
        binary.data.push_back(static_cast<std::byte>(data[i]));
    SetAndReadBack(doc, key, name, binary);
    SetAndReadBack(doc, key, name, os::SettingValue::Text(std::string(text.substr(0, 64))));
    const std::int32_t number =
        size >= 4
            ? static_cast<std::int32_t>(std::uint32_t{data[0]} | std::uint32_t{data[1]} << 8 |
                                        std::uint32_t{data[2]} << 16 | std::uint32_t{data[3]} << 24)
            : -1;
    SetAndReadBack(doc, "\\New\\Key", name.empty() ? "x" : name, os::SettingValue::Integer(number));
    return 0;
}
