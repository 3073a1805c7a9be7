#include "os/settings/settings_file_format.hpp"

#include <cstdint>
#include <unordered_set>

namespace os::settings_file {

namespace {

constexpr char kHex[] = "0123456789abcdef";

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}
bool IsControl(unsigned char c) {
    return c < 0x20 || c == 0x7f;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && IsBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The form in which two names compare equal exactly when SameSettingName (or, for keys,
// SameSettingKey) says so.
std::string Fold(std::string_view s, bool key) {
    if (key) {
        while (!s.empty() && s.front() == '\\')
            s.remove_prefix(1);
        while (!s.empty() && s.back() == '\\')
            s.remove_suffix(1);
    }
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// A piece of the file quoted in an error: short, and without control characters.
std::string Quote(std::string_view s) {
    std::string out = "'";
    for (std::size_t i = 0; i < s.size() && i < 40; ++i)
        out += IsControl(static_cast<unsigned char>(s[i])) ? '?' : s[i];
    if (s.size() > 40) out += "...";
    return out + "'";
}

void AppendHexEscape(std::string& out, unsigned char c) {
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 15];
}

// Text with the escapes the file uses. Names also escape '=' and whatever would make the
// line look like a comment or a section; both escape blanks at the ends, which an editor
// may strip.
std::string Escape(std::string_view s, bool name) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        const bool at_end = i == 0 || i + 1 == s.size();
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else if (c == '\t')
            out += "\\t";
        else if (IsControl(c) || (c == ' ' && at_end) ||
                 (name && i == 0 && (c == '#' || c == ';' || c == '[')))
            AppendHexEscape(out, c);
        else if (name && c == '=')
            out += "\\=";
        else
            out += static_cast<char>(c);
    }
    return out;
}

std::optional<std::string> Unescape(std::string_view s, std::string& error) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\') {
            out += s[i];
            continue;
        }
        if (++i == s.size()) {
            error = "a lone backslash at the end";
            return std::nullopt;
        }
        switch (s[i]) {
        case '\\':
            out += '\\';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case 't':
            out += '\t';
            break;
        case '=':
            out += '=';
            break;
        case 'x': {
            const int hi = i + 1 < s.size() ? HexDigit(s[i + 1]) : -1;
            const int lo = i + 2 < s.size() ? HexDigit(s[i + 2]) : -1;
            if (hi < 0 || lo < 0) {
                error = "\\x needs two hex digits";
                return std::nullopt;
            }
            out += static_cast<char>(hi * 16 + lo);
            i += 2;
            break;
        }
        default:
            error = "unknown escape " + Quote(s.substr(i - 1, 2));
            return std::nullopt;
        }
    }
    return out;
}

std::optional<std::int32_t> ParseDword(std::string_view s) {
    const bool negative = !s.empty() && s.front() == '-';
    if (negative) s.remove_prefix(1);
    if (s.empty() || s.size() > 10) return std::nullopt;
    std::uint64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + static_cast<std::uint64_t>(c - '0');
    }
    if (negative) {
        if (v > 0x80000000u) return std::nullopt;
        return static_cast<std::int32_t>(-static_cast<std::int64_t>(v));
    }
    if (v > 0xFFFFFFFFu) return std::nullopt;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
}

std::optional<std::vector<std::byte>> ParseHex(std::string_view s, std::string& error) {
    std::vector<std::byte> bytes;
    s = Trim(s);
    if (s.empty()) return bytes;
    for (;;) {
        const std::size_t comma = s.find(',');
        const std::string_view item = Trim(s.substr(0, comma));
        const int hi = item.size() == 2 ? HexDigit(item[0]) : -1;
        const int lo = item.size() == 2 ? HexDigit(item[1]) : -1;
        if (hi < 0 || lo < 0) {
            error = "bad byte " + Quote(item) + " in hex data (two hex digits each)";
            return std::nullopt;
        }
        bytes.push_back(static_cast<std::byte>(hi * 16 + lo));
        if (comma == std::string_view::npos) return bytes;
        s.remove_prefix(comma + 1);
    }
}

std::optional<std::string> ValueLine(const std::string& name, const SettingValue& value) {
    if (name.empty()) return std::nullopt;
    std::string line = Escape(name, true) + "=";
    switch (value.type) {
    case SettingType::Integer: {
        if (value.data.size() != 4) return std::nullopt;
        std::uint32_t u = 0;
        for (int i = 3; i >= 0; --i)
            u = u << 8 | std::to_integer<std::uint32_t>(value.data[static_cast<std::size_t>(i)]);
        return line + "dword:" + std::to_string(static_cast<std::int32_t>(u));
    }
    case SettingType::Text:
        return line + "text:" +
               Escape(std::string_view(reinterpret_cast<const char*>(value.data.data()),
                                       value.data.size()),
                      false);
    case SettingType::Binary:
        line += "hex:";
        for (std::size_t i = 0; i < value.data.size(); ++i) {
            const auto b = std::to_integer<unsigned>(value.data[i]);
            if (i > 0) line += ',';
            line += kHex[b >> 4];
            line += kHex[b & 15];
        }
        return line;
    }
    return std::nullopt;
}

bool KeyFits(std::string_view key) {
    bool has_name = false;
    for (char c : key) {
        if (IsControl(static_cast<unsigned char>(c))) return false;
        has_name = has_name || c != '\\';
    }
    return has_name && !IsBlank(key.front()) && !IsBlank(key.back());
}

// Classifies one line (without its line end); on failure says why in `error`.
std::optional<Line> ParseLine(std::string_view text, std::string& error) {
    Line line;
    line.text = std::string(text);
    // A Windows line end is not part of the line.
    if (!text.empty() && text.back() == '\r') text.remove_suffix(1);
    const std::string_view t = Trim(text);
    if (t.empty() || t.front() == '#' || t.front() == ';') return line;
    if (t.front() == '[') {
        if (t.back() != ']' || t.size() < 3 || !KeyFits(t.substr(1, t.size() - 2))) {
            error = "a section line must be [key]";
            return std::nullopt;
        }
        line.kind = Line::Kind::Section;
        line.name = std::string(t.substr(1, t.size() - 2));
        return line;
    }
    std::size_t eq = 0;
    while (eq < t.size() && t[eq] != '=')
        eq += t[eq] == '\\' ? 2 : 1;
    if (eq >= t.size()) {
        error = "expected name=type:data, a [key] or a # comment";
        return std::nullopt;
    }
    const std::string_view raw_name = Trim(t.substr(0, eq));
    auto name = Unescape(raw_name, error);
    if (!name) return std::nullopt;
    if (name->empty()) {
        error = "a value without a name";
        return std::nullopt;
    }
    line.name = *name;
    // The data keep their blanks.
    const std::string_view rest =
        text.substr(static_cast<std::size_t>(t.data() - text.data()) + eq + 1);
    const std::size_t colon = rest.find(':');
    const std::string_view type = Trim(rest.substr(0, colon));
    bool type_ok = colon != std::string_view::npos && !type.empty();
    for (char c : type)
        type_ok = type_ok && ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') ||
                              (c >= 'A' && c <= 'Z') || c == '_' || c == '-');
    if (!type_ok) {
        error = "expected type:data after '=' in value " + Quote(line.name);
        return std::nullopt;
    }
    const std::string_view data = rest.substr(colon + 1);
    line.kind = Line::Kind::Value;
    if (SameSettingName(type, "dword")) {
        const auto v = ParseDword(Trim(data));
        if (!v) {
            error = Quote(Trim(data)) + " is not a 32-bit integer";
            return std::nullopt;
        }
        line.value = SettingValue::Integer(*v);
    } else if (SameSettingName(type, "text")) {
        auto s = Unescape(data, error);
        if (!s) return std::nullopt;
        line.value = SettingValue::Text(*s);
    } else if (SameSettingName(type, "hex")) {
        auto bytes = ParseHex(data, error);
        if (!bytes) return std::nullopt;
        line.value.type = SettingType::Binary;
        line.value.data = std::move(*bytes);
    } else {
        line.kind = Line::Kind::Foreign;
    }
    return line;
}

} // namespace

Parsed Parse(std::string_view text) {
    Parsed result;
    if (text.size() > kMaxFileSize) {
        result.error = ParseError{0, "larger than " + std::to_string(kMaxFileSize) + " bytes"};
        return result;
    }
    Document& doc = result.document;
    std::size_t section = std::string_view::npos;
    // Folded names seen, for finding repeats without scanning the lines each time.
    std::unordered_set<std::string> keys;
    std::unordered_set<std::string> names;
    for (std::size_t number = 1; !text.empty(); ++number) {
        const std::size_t end = text.find('\n');
        const std::string_view raw = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        std::string error;
        if (raw.find('\0') != std::string_view::npos) error = "a NUL byte";
        std::optional<Line> line;
        if (error.empty()) line = ParseLine(raw, error);
        if (line && line->kind == Line::Kind::Section) {
            if (!keys.insert(Fold(line->name, true)).second)
                error = "key [" + line->name + "] appears twice";
            section = doc.lines.size();
            names.clear();
        } else if (line && line->kind != Line::Kind::Other) {
            if (section == std::string_view::npos)
                error = "value " + Quote(line->name) + " before any [key] line";
            else if (!names.insert(Fold(line->name, false)).second)
                error = "value " + Quote(line->name) + " appears twice in [" +
                        doc.lines[section].name + "]";
        }
        if (!error.empty()) {
            result.error = ParseError{number, error};
            return result;
        }
        doc.lines.push_back(std::move(*line));
    }
    return result;
}

std::string Render(const Document& document) {
    std::string out;
    for (const Line& line : document.lines)
        out += line.text + "\n";
    return out;
}

std::size_t Document::FindSection(std::string_view key) const {
    for (std::size_t i = 0; i < lines.size(); ++i)
        if (lines[i].kind == Line::Kind::Section && SameSettingKey(lines[i].name, key)) return i;
    return npos;
}

std::size_t Document::FindValue(std::size_t section, std::string_view name) const {
    for (std::size_t i = section + 1; i < lines.size(); ++i) {
        if (lines[i].kind == Line::Kind::Section) break;
        if (lines[i].kind != Line::Kind::Other && SameSettingName(lines[i].name, name)) return i;
    }
    return npos;
}

bool Document::HasKey(std::string_view key) const {
    for (const Line& line : lines)
        if (line.kind == Line::Kind::Section && SettingKeyWithin(line.name, key)) return true;
    return false;
}

bool Document::Exists(std::string_view key, std::string_view name) const {
    const std::size_t section = FindSection(key);
    return section != npos && FindValue(section, name) != npos;
}

std::optional<SettingValue> Document::Get(std::string_view key, std::string_view name) const {
    const std::size_t section = FindSection(key);
    const std::size_t at = section == npos ? npos : FindValue(section, name);
    if (at == npos || lines[at].kind != Line::Kind::Value) return std::nullopt;
    return lines[at].value;
}

bool Document::AddKey(const std::string& key) {
    if (!KeyFits(key)) return false;
    if (FindSection(key) != npos) return true;
    // A blank line between sections; a heading comment stays on the first one.
    bool values = false;
    for (const Line& line : lines)
        values = values || line.kind != Line::Kind::Other;
    if (values && !Trim(lines.back().text).empty()) lines.push_back(Line{});
    Line section;
    section.kind = Line::Kind::Section;
    section.name = key;
    section.text = "[" + key + "]";
    lines.push_back(std::move(section));
    return true;
}

bool Document::Set(const std::string& key, const std::string& name, const SettingValue& value) {
    const std::size_t existing = FindSection(key);
    const std::size_t at = existing == npos ? npos : FindValue(existing, name);
    Line line;
    line.kind = Line::Kind::Value;
    line.name = at == npos ? name : lines[at].name; // the stored spelling stays
    line.value = value;
    const auto text = ValueLine(line.name, value);
    if (!text || !AddKey(key)) return false;
    line.text = *text;
    if (at != npos) {
        lines[at] = std::move(line);
        return true;
    }
    // After the section's last value, so that comments leading into the next section stay
    // with it.
    const std::size_t section = FindSection(key);
    std::size_t insert = section + 1;
    for (std::size_t i = section + 1; i < lines.size() && lines[i].kind != Line::Kind::Section; ++i)
        if (lines[i].kind != Line::Kind::Other) insert = i + 1;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insert), std::move(line));
    return true;
}

} // namespace os::settings_file
