// A published class: its name, ancestor, what it publishes and how it is created; and the
// registry of classes that form descriptions may name.
#pragma once

#include "framework/events.hpp"
#include "framework/rtti_prop.hpp"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace fw {

class TPersistent;
class TComponent;

class TClassInfo {
public:
    TClassInfo(std::string name, const TClassInfo* parent);

    const std::string& Name() const { return name_; }
    const TClassInfo* Parent() const { return parent_; }
    bool InheritsFrom(const TClassInfo& other) const;
    bool InheritsFrom(std::string_view class_name) const;

    // Inherited properties first; a redeclared property keeps its ancestor's place.
    const std::vector<TPropInfo>& Properties() const { return props_; }
    const TPropInfo* FindProperty(std::string_view name) const;
    const TMethodInfo* FindMethod(std::string_view name) const;
    const TMethodInfo* FindMethod(TCodePointer code) const;
    const TFieldInfo* FindField(std::string_view name) const;
    // A class named by a published field of this class or its ancestors.
    const TClassInfo* FindFieldClass(std::string_view class_name) const;

    bool IsComponentClass() const { return is_component_; }
    bool CanCreate() const { return component_factory_ || persistent_factory_; }
    // A new component owned by owner.
    TComponent& CreateComponent(TComponent& owner) const;
    // A new component without an owner.
    std::unique_ptr<TComponent> CreateComponent() const;
    // A new persistent object that is not a component.
    std::unique_ptr<TPersistent> CreatePersistent() const;

private:
    template <class C> friend class TClassBuilder;
    template <class C, class P> friend TClassInfo BuildClassInfo(std::string_view name);

    std::string name_;
    const TClassInfo* parent_;
    std::vector<TPropInfo> props_;
    std::vector<TMethodInfo> methods_;
    std::vector<TFieldInfo> fields_;
    bool is_component_ = false;
    TComponent* (*component_factory_)(TComponent* owner) = nullptr;
    std::unique_ptr<TPersistent> (*persistent_factory_)() = nullptr;
};

// The registry of classes that form descriptions may name. Registering a class registers
// its ancestors too; registering another class under a taken name fails.
void RegisterClass(const TClassInfo& info);
template <class... C> void RegisterClasses() {
    (RegisterClass(C::StaticClassInfo()), ...);
}
const TClassInfo* GetClass(std::string_view name);
const TClassInfo& FindClass(std::string_view name); // EClassNotFound when unknown

} // namespace fw
