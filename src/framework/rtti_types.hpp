// What published values are: identifiers, the identifiers of enumerations, and the kinds
// of published properties.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fw {

// Identifier comparison is case-insensitive, as everywhere in form descriptions.
bool SameIdent(std::string_view a, std::string_view b);
bool IsValidIdent(std::string_view name);

struct TIdent {
    std::string Name;
    std::int64_t Value;
};

// The identifiers of an enumeration. A closed enumeration only takes its identifiers; an
// integer-like one (cursors, colours) takes any number and names some of them.
class TEnumInfo {
public:
    enum TKind { Closed, IntegerLike };
    // Identifiers of the values 0, 1, 2, ...
    TEnumInfo(std::initializer_list<std::string_view> names);
    TEnumInfo(std::initializer_list<TIdent> idents, TKind kind);

    bool IsIntegerLike() const { return kind_ == IntegerLike; }
    const std::vector<TIdent>& Idents() const { return idents_; }
    const std::string* NameOf(std::int64_t value) const;
    std::optional<std::int64_t> ValueOf(std::string_view name) const;

private:
    std::vector<TIdent> idents_;
    TKind kind_;
};

#define FW_ENUM_IDENTS(Enum, ...)                                                                  \
    inline const ::fw::TEnumInfo& EnumIdents(Enum) {                                               \
        static const ::fw::TEnumInfo info{__VA_ARGS__};                                            \
        return info;                                                                               \
    }

enum class TPropKind { Integer, Boolean, Enum, Set, String, Float, Event, Object, Component };
std::string_view KindName(TPropKind kind);

} // namespace fw
