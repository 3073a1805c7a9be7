// Class lookup, what a class publishes, creating its objects, and the registry of classes
// that form descriptions may name.
#include "framework/rtti_class.hpp"

#include "framework/exceptions.hpp"

#include <mutex>

namespace fw {

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
