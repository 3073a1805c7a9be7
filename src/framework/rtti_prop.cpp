// Published properties: typed access with range and identifier checks, and whether a
// description stores a value.
#include "framework/rtti_prop.hpp"

#include "framework/exceptions.hpp"

#include <string>

namespace fw {

namespace {

std::string Range(std::int64_t lo, std::int64_t hi) {
    return std::to_string(lo) + " to " + std::to_string(hi);
}

} // namespace

void TPropInfo::CheckKind(bool ok, std::string_view wanted) const {
    if (!ok)
        throw EInvalidOperation("property " + name_ + " is " + std::string(KindName(kind_)) +
                                ", not " + std::string(wanted));
}

std::int64_t TPropInfo::GetOrd(const TPersistent& obj) const {
    CheckKind(static_cast<bool>(get_ord_), "ordinal");
    return get_ord_(obj);
}

void TPropInfo::SetOrd(TPersistent& obj, std::int64_t value) const {
    CheckKind(static_cast<bool>(set_ord_), "ordinal");
    switch (kind_) {
    case TPropKind::Integer:
    case TPropKind::Boolean:
        if (value < min_ || value > max_)
            throw EConvertError(std::to_string(value) + " is out of range for " + name_ + " (" +
                                Range(min_, max_) + ")");
        break;
    case TPropKind::Enum:
        if (!idents_->NameOf(value) || value < min_ || value > max_)
            throw EConvertError(std::to_string(value) + " is not a value of " + name_);
        break;
    case TPropKind::Set: {
        std::uint64_t known = 0;
        for (const auto& i : idents_->Idents())
            if (i.Value >= 0 && i.Value < 64) known |= std::uint64_t{1} << i.Value;
        if ((static_cast<std::uint64_t>(value) & ~known) != 0)
            throw EConvertError("the set holds elements that " + name_ + " does not know");
        break;
    }
    default:
        break;
    }
    set_ord_(obj, value);
}

std::string TPropInfo::GetStr(const TPersistent& obj) const {
    CheckKind(static_cast<bool>(get_str_), "string");
    return get_str_(obj);
}

void TPropInfo::SetStr(TPersistent& obj, const std::string& value) const {
    CheckKind(static_cast<bool>(set_str_), "string");
    set_str_(obj, value);
}

double TPropInfo::GetFloat(const TPersistent& obj) const {
    CheckKind(static_cast<bool>(get_float_), "floating-point");
    return get_float_(obj);
}

void TPropInfo::SetFloat(TPersistent& obj, double value) const {
    CheckKind(static_cast<bool>(set_float_), "floating-point");
    set_float_(obj, value);
}

TMethod TPropInfo::GetMethod(const TPersistent& obj) const {
    CheckKind(static_cast<bool>(get_method_), "event");
    return get_method_(obj);
}

void TPropInfo::SetMethod(TPersistent& obj, const TMethod& value) const {
    CheckKind(static_cast<bool>(set_method_), "event");
    set_method_(obj, value);
}

TPersistent* TPropInfo::GetObject(const TPersistent& obj) const {
    CheckKind(static_cast<bool>(get_object_), "object");
    return get_object_(obj);
}

TComponent* TPropInfo::GetComponent(const TPersistent& obj) const {
    CheckKind(static_cast<bool>(get_component_), "component reference");
    return get_component_(obj);
}

bool TPropInfo::SetComponent(TPersistent& obj, TComponent* value) const {
    CheckKind(static_cast<bool>(set_component_), "component reference");
    return set_component_(obj, value);
}

bool TPropInfo::IsStored(const TPersistent& obj) const {
    if (!stored_) return false;
    if (stored_if_ && !stored_if_(obj)) return false;
    switch (kind_) {
    case TPropKind::Integer:
    case TPropKind::Boolean:
    case TPropKind::Enum:
    case TPropKind::Set:
        return !has_default_ || GetOrd(obj) != ord_default_;
    case TPropKind::String:
        return GetStr(obj) != str_default_;
    case TPropKind::Float:
        return GetFloat(obj) != float_default_;
    case TPropKind::Event:
        return GetMethod(obj).Assigned();
    case TPropKind::Object:
        return GetObject(obj) != nullptr;
    case TPropKind::Component:
        return GetComponent(obj) != nullptr;
    }
    return false;
}

TPropInfo& TPropInfo::Stored(bool stored) {
    stored_ = stored;
    return *this;
}

TPropInfo& TPropInfo::StoredIf(std::function<bool(const TPersistent&)> predicate) {
    stored_if_ = std::move(predicate);
    return *this;
}

TPropInfo& TPropInfo::NoDefault() {
    has_default_ = false;
    return *this;
}

TPropInfo& TPropInfo::WithIdents(const TEnumInfo& idents) {
    if (kind_ != TPropKind::Integer)
        throw EInvalidOperation("only integer properties take identifiers: " + name_);
    idents_ = &idents;
    return *this;
}

} // namespace fw
