// Identifiers, the identifiers of enumerations, and the names of property kinds.
#include "framework/rtti_types.hpp"

#include <algorithm>

namespace fw {

namespace {

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsIdentStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

} // namespace

bool SameIdent(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}

bool IsValidIdent(std::string_view name) {
    if (name.empty() || !IsIdentStart(name.front())) return false;
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return IsIdentStart(c) || (c >= '0' && c <= '9'); });
}

TEnumInfo::TEnumInfo(std::initializer_list<std::string_view> names) : kind_(Closed) {
    std::int64_t value = 0;
    for (auto n : names)
        idents_.push_back({std::string(n), value++});
}

TEnumInfo::TEnumInfo(std::initializer_list<TIdent> idents, TKind kind)
    : idents_(idents), kind_(kind) {}

const std::string* TEnumInfo::NameOf(std::int64_t value) const {
    for (const auto& i : idents_)
        if (i.Value == value) return &i.Name;
    return nullptr;
}

std::optional<std::int64_t> TEnumInfo::ValueOf(std::string_view name) const {
    for (const auto& i : idents_)
        if (SameIdent(i.Name, name)) return i.Value;
    return std::nullopt;
}

std::string_view KindName(TPropKind kind) {
    switch (kind) {
    case TPropKind::Integer:
        return "integer";
    case TPropKind::Boolean:
        return "Boolean";
    case TPropKind::Enum:
        return "enumeration";
    case TPropKind::Set:
        return "set";
    case TPropKind::String:
        return "string";
    case TPropKind::Float:
        return "floating-point";
    case TPropKind::Event:
        return "event";
    case TPropKind::Object:
        return "object";
    case TPropKind::Component:
        return "component reference";
    }
    return "unknown";
}

} // namespace fw
