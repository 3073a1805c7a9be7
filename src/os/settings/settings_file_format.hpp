// The text of the settings file, apart from the disk: parsing into lines, changing values,
// and writing back every line that was not changed exactly as it stood.
//
//     # Mirelo settings
//     [\Software\Mirelo]
//     Top=dword:198              signed decimal (0 to 4294967295 are read too)
//     Name=text:two\nlines       \\ \n \r \t \xHH for a backslash and control characters
//     Blob=hex:01,ff,20          two hex digits per byte, comma-separated; may be empty
//
// Blanks around names, types and numbers do not count; text is taken as it stands after the
// colon. Blank lines and lines starting with '#' or ';' are comments. Value names use the escapes
// of text plus \= for '='. A value of a type other than dword, text and hex is kept and counts as
// present, but cannot be read. Keys and value names compare without regard to case; each may appear
// only once.
#pragma once

#include "os/settings/settings.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace os::settings_file {

// Files larger than this are refused as bad.
inline constexpr std::size_t kMaxFileSize = 1u << 20;

struct Line {
    enum class Kind {
        Other,   // blank or comment
        Section, // "[key]"
        Value,   // "name=type:data" of a known type
        Foreign, // "name=type:data" of a type this program does not know
    };
    Kind kind = Kind::Other;
    std::string text; // as it stands in the file, without the line end
    std::string name; // the key of a section, the name of a value
    SettingValue value;
};

// A comment line of the given text.
inline Line CommentLine(std::string text) {
    Line line;
    line.text = std::move(text);
    return line;
}

class Document {
public:
    std::vector<Line> lines;

    // Whether the key has a section, or lies above one that has.
    bool HasKey(std::string_view key) const;
    bool Exists(std::string_view key, std::string_view name) const;
    // The value, or nothing when absent or of a foreign type.
    std::optional<SettingValue> Get(std::string_view key, std::string_view name) const;
    // Adds the key's section at the end when it is missing. False for a key that the file
    // cannot hold (empty, or with control characters).
    bool AddKey(const std::string& key);
    // Replaces the line of that value (whatever its type) or adds one at the end of the
    // key's section, adding the section when missing. False when the name or value cannot
    // be written (an empty name, an integer that is not 4 bytes).
    bool Set(const std::string& key, const std::string& name, const SettingValue& value);

private:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);
    std::size_t FindSection(std::string_view key) const;
    std::size_t FindValue(std::size_t section, std::string_view name) const;
};

struct ParseError {
    std::size_t line = 0; // 1-based; 0 for the file as a whole
    std::string reason;   // one line, without control characters
};

struct Parsed {
    Document document;
    std::optional<ParseError> error;
};

Parsed Parse(std::string_view text);
// Every line followed by "\n".
std::string Render(const Document& document);

} // namespace os::settings_file
