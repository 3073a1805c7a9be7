// What a class publishes, one item at a time: a property with its access and declared
// default, a method that form descriptions bind by name, a field that the reader fills in.
#pragma once

#include "framework/events.hpp"
#include "framework/rtti_types.hpp"

#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <string_view>

namespace fw {

class TPersistent;
class TComponent;
class TClassInfo;

// One published property. Values travel type-erased: ordinals (integers, Booleans,
// enumerations, set bits) as int64, strings, doubles, events as TMethod, nested persistent
// objects and component references as pointers.
class TPropInfo {
public:
    const std::string& Name() const { return name_; }
    TPropKind Kind() const { return kind_; }
    std::int64_t MinValue() const { return min_; }
    std::int64_t MaxValue() const { return max_; }
    const TEnumInfo* Idents() const { return idents_; }
    const void* EventType() const { return event_type_; }
    // The declared class of a component reference (nullptr for other kinds).
    const TClassInfo* ReferenceClass() const { return ref_class_ ? &ref_class_() : nullptr; }

    std::int64_t GetOrd(const TPersistent& obj) const;
    void SetOrd(TPersistent& obj, std::int64_t value) const; // checks range and identifiers
    std::string GetStr(const TPersistent& obj) const;
    void SetStr(TPersistent& obj, const std::string& value) const;
    double GetFloat(const TPersistent& obj) const;
    void SetFloat(TPersistent& obj, double value) const;
    TMethod GetMethod(const TPersistent& obj) const;
    void SetMethod(TPersistent& obj, const TMethod& value) const; // unchecked signature
    TPersistent* GetObject(const TPersistent& obj) const;
    // Hands a new object to a property whose class takes one in place of its own; false
    // (and the object dropped) when it is not of the property's class.
    bool SetObject(TPersistent& obj, std::unique_ptr<TPersistent> value) const;
    TComponent* GetComponent(const TPersistent& obj) const;
    // False (and nothing changed) when the component is not of the declared class.
    bool SetComponent(TPersistent& obj, TComponent* value) const;

    // Whether a form description holds this property's value: the property is stored and
    // its value differs from the declared default.
    bool IsStored(const TPersistent& obj) const;

    // Declaration modifiers, chained after TClassBuilder::Prop.
    TPropInfo& Stored(bool stored);
    TPropInfo& StoredIf(std::function<bool(const TPersistent&)> predicate);
    TPropInfo& NoDefault();
    TPropInfo& WithIdents(const TEnumInfo& idents); // an integer named by identifiers

private:
    template <class C> friend class TClassBuilder;

    void CheckKind(bool ok, std::string_view wanted) const;

    std::string name_;
    TPropKind kind_ = TPropKind::Integer;
    std::int64_t min_ = std::numeric_limits<std::int64_t>::min();
    std::int64_t max_ = std::numeric_limits<std::int64_t>::max();
    const TEnumInfo* idents_ = nullptr;
    const void* event_type_ = nullptr;
    const TClassInfo& (*ref_class_)() = nullptr;

    bool stored_ = true;
    std::function<bool(const TPersistent&)> stored_if_;
    bool has_default_ = false;
    std::int64_t ord_default_ = 0;
    std::string str_default_;
    double float_default_ = 0.0;

    std::function<std::int64_t(const TPersistent&)> get_ord_;
    std::function<void(TPersistent&, std::int64_t)> set_ord_;
    std::function<std::string(const TPersistent&)> get_str_;
    std::function<void(TPersistent&, const std::string&)> set_str_;
    std::function<double(const TPersistent&)> get_float_;
    std::function<void(TPersistent&, double)> set_float_;
    std::function<TMethod(const TPersistent&)> get_method_;
    std::function<void(TPersistent&, const TMethod&)> set_method_;
    std::function<TPersistent*(const TPersistent&)> get_object_;
    std::function<bool(TPersistent&, std::unique_ptr<TPersistent>)> set_object_;
    std::function<TComponent*(const TPersistent&)> get_component_;
    std::function<bool(TPersistent&, TComponent*)> set_component_;
};

// A published method: a handler that a form description names.
struct TMethodInfo {
    std::string Name;
    TCodePointer Code = nullptr;
    const void* EventType = nullptr;
};

// A published field: the member of an owner that points at its component of that name.
struct TFieldInfo {
    std::string Name;
    const TClassInfo& (*Class)() = nullptr;
    // Stores value (or clears with nullptr); false when value is not of the field's class.
    std::function<bool(TComponent& owner, TComponent* value)> Set;
    std::function<bool(TComponent& value)> Accepts;
};

} // namespace fw
