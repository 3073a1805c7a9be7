// Published metadata: identifiers, property access with range checks, class lookup and the
// registry of classes that form descriptions may name.
#include "framework/rtti.hpp"

#include "framework/classes.hpp"
#include "framework/components.hpp"

#include <algorithm>
#include <mutex>

namespace fw {

namespace {

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsIdentStart(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

std::string Range(std::int64_t lo, std::int64_t hi) {
    return std::to_string(lo) + " to " + std::to_string(hi);
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

// --- TPropInfo --------------------------------------------------------------------------

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

bool TPropInfo::SetObject(TPersistent& obj, std::unique_ptr<TPersistent> value) const {
    CheckKind(static_cast<bool>(set_object_), "assignable object");
    return set_object_(obj, std::move(value));
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

// --- TClassInfo -------------------------------------------------------------------------

TClassInfo::TClassInfo(std::string name, const TClassInfo* parent)
    : name_(std::move(name)), parent_(parent) {}

bool TClassInfo::InheritsFrom(const TClassInfo& other) const {
    for (const TClassInfo* c = this; c; c = c->parent_)
        if (c == &other) return true;
    return false;
}

bool TClassInfo::InheritsFrom(std::string_view class_name) const {
    for (const TClassInfo* c = this; c; c = c->parent_)
        if (SameIdent(c->name_, class_name)) return true;
    return false;
}

const TPropInfo* TClassInfo::FindProperty(std::string_view name) const {
    for (const auto& p : props_)
        if (SameIdent(p.Name(), name)) return &p;
    return nullptr;
}

const TMethodInfo* TClassInfo::FindMethod(std::string_view name) const {
    for (const TClassInfo* c = this; c; c = c->parent_)
        for (const auto& m : c->methods_)
            if (SameIdent(m.Name, name)) return &m;
    return nullptr;
}

const TMethodInfo* TClassInfo::FindMethod(TCodePointer code) const {
    for (const TClassInfo* c = this; c; c = c->parent_)
        for (const auto& m : c->methods_)
            if (m.Code == code) return &m;
    return nullptr;
}

const TFieldInfo* TClassInfo::FindField(std::string_view name) const {
    for (const TClassInfo* c = this; c; c = c->parent_)
        for (const auto& f : c->fields_)
            if (SameIdent(f.Name, name)) return &f;
    return nullptr;
}

const TClassInfo* TClassInfo::FindFieldClass(std::string_view class_name) const {
    for (const TClassInfo* c = this; c; c = c->parent_) {
        for (const auto& f : c->fields_) {
            const TClassInfo& fc = f.Class();
            if (SameIdent(fc.Name(), class_name)) return &fc;
        }
    }
    return nullptr;
}

TComponent& TClassInfo::CreateComponent(TComponent& owner) const {
    if (!component_factory_) throw EInvalidOperation("cannot create a " + name_);
    return *component_factory_(&owner);
}

std::unique_ptr<TComponent> TClassInfo::CreateComponent() const {
    if (!component_factory_) throw EInvalidOperation("cannot create a " + name_);
    return std::unique_ptr<TComponent>(component_factory_(nullptr));
}

std::unique_ptr<TPersistent> TClassInfo::CreatePersistent() const {
    if (!persistent_factory_) throw EInvalidOperation("cannot create a " + name_);
    return persistent_factory_();
}

// --- registry ---------------------------------------------------------------------------

namespace {

struct Registry {
    std::mutex mutex;
    std::vector<const TClassInfo*> classes;

    const TClassInfo* Find(std::string_view name) const {
        for (const TClassInfo* c : classes)
            if (SameIdent(c->Name(), name)) return c;
        return nullptr;
    }
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

} // namespace

void RegisterClass(const TClassInfo& info) {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    for (const TClassInfo* c = &info; c; c = c->Parent()) {
        const TClassInfo* known = r.Find(c->Name());
        if (known == c) continue;
        if (known) throw EFilerError("Class " + c->Name() + " is registered already");
        r.classes.push_back(c);
    }
}

const TClassInfo* GetClass(std::string_view name) {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    return r.Find(name);
}

const TClassInfo& FindClass(std::string_view name) {
    if (const TClassInfo* c = GetClass(name)) return *c;
    throw EClassNotFound("Class " + std::string(name) + " not found");
}

} // namespace fw
