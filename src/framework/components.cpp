// TComponent: ownership, names and published-field references, notices, design state.
#include "framework/components.hpp"

#include <algorithm>

namespace fw {

// Here, where a component is complete enough to be destroyed.
std::unique_ptr<TComponent> TClassInfo::CreateComponent() const {
    if (!component_factory_) throw EInvalidOperation("cannot create a " + name_);
    return std::unique_ptr<TComponent>(component_factory_(nullptr));
}

void TComponent::Describe(TClassBuilder<TComponent>& c) {
    c.Prop("Name", &TComponent::Name, &TComponent::SetName).Stored(false);
    c.Prop("Tag", &TComponent::Tag, 0);
}

TComponent::TComponent(TComponent* owner) {
    if (!owner) return;
    // Reserve first: once the owner holds this object, nothing in here may fail without
    // taking it back, or the owner would free it a second time.
    owner->components_.reserve(owner->components_.size() + 1);
    owner->components_.emplace_back(this);
    owner_ = owner;
    try {
        if (owner->state_.contains(csDesigning)) SetDesigning(true);
        owner->Notification(this, opInsert);
    } catch (...) {
        owner->Release(*this, false).release();
        throw;
    }
}

TComponent::~TComponent() {
    Destroying();
    while (!free_notifies_.empty()) {
        TComponent* other = free_notifies_.back();
        Unlink(other);
        other->Notification(this, opRemove);
    }
    DestroyComponents();
    if (owner_) owner_->Release(*this, true).release();
}

void TComponent::Destroying() {
    if (state_.contains(csDestroying)) return;
    state_.insert(csDestroying);
    for (auto& c : components_)
        c->Destroying();
}

void TComponent::DestroyComponents() {
    while (!components_.empty()) {
        TComponent& last = *components_.back();
        // Siblings only learn of the removal when the component asked for notices; the
        // owner is going away anyway.
        Release(last, last.wants_free_notice_).reset();
    }
}

TComponent* TComponent::Components(int index) const {
    if (index < 0 || index >= ComponentCount())
        throw EListError("List index out of bounds (" + std::to_string(index) + ")");
    return components_[static_cast<std::size_t>(index)].get();
}

int TComponent::ComponentIndex() const {
    if (!owner_) return -1;
    const auto& list = owner_->components_;
    for (std::size_t i = 0; i < list.size(); ++i)
        if (list[i].get() == this) return static_cast<int>(i);
    return -1;
}

TComponent* TComponent::FindComponent(std::string_view name) const {
    if (name.empty()) return nullptr;
    for (const auto& c : components_)
        if (SameIdent(c->name_, name)) return c.get();
    return nullptr;
}

void TComponent::ValidateRename(TComponent* component, std::string_view current_name,
                                std::string_view new_name) const {
    if (component && !new_name.empty() && !SameIdent(current_name, new_name) &&
        FindComponent(new_name))
        throw EComponentError("A component named " + std::string(new_name) + " already exists");
}

void TComponent::SetName(std::string_view name) {
    if (name == name_) return;
    if (!name.empty() && !IsValidIdent(name))
        throw EComponentError("'" + std::string(name) + "' is not a valid component name");
    if (owner_) {
        owner_->ValidateRename(this, name_, name);
        const TFieldInfo* field = name.empty() ? nullptr : owner_->ClassInfo().FindField(name);
        if (field && !field->Accepts(*this))
            throw EComponentError("Field " + field->Name + " of " +
                                  std::string(owner_->ClassName()) + " cannot hold a " +
                                  std::string(ClassName()));
    }
    SetReference(false);
    name_ = std::string(name);
    SetReference(true);
}

void TComponent::SetReference(bool enable) {
    if (!owner_ || name_.empty()) return;
    if (const TFieldInfo* field = owner_->ClassInfo().FindField(name_))
        field->Set(*owner_, enable ? this : nullptr);
}

void TComponent::InsertComponent(std::unique_ptr<TComponent>&& component) {
    if (!component) return;
    if (component->owner_) throw EComponentError(component->name_ + " has an owner already");
    ValidateRename(component.get(), "", component->name_);
    if (!component->name_.empty()) {
        const TFieldInfo* field = ClassInfo().FindField(component->name_);
        if (field && !field->Accepts(*component))
            throw EComponentError("Field " + field->Name + " of " + std::string(ClassName()) +
                                  " cannot hold a " + std::string(component->ClassName()));
    }
    Adopt(std::move(component));
}

void TComponent::Adopt(std::unique_ptr<TComponent> component) {
    TComponent& c = *component;
    components_.push_back(std::move(component));
    c.owner_ = this;
    c.SetReference(true);
    if (state_.contains(csDesigning)) c.SetDesigning(true);
    Notification(&c, opInsert);
}

std::unique_ptr<TComponent> TComponent::RemoveComponent(TComponent& component) {
    if (component.owner_ != this)
        throw EComponentError(component.name_ + " is not owned by " + name_);
    return Release(component, true);
}

std::unique_ptr<TComponent> TComponent::Release(TComponent& component, bool notify) {
    auto it = std::find_if(components_.begin(), components_.end(),
                           [&](const auto& p) { return p.get() == &component; });
    if (it == components_.end()) return nullptr;
    component.SetReference(false);
    std::unique_ptr<TComponent> owned = std::move(*it);
    components_.erase(it);
    owned->owner_ = nullptr;
    if (notify) Notification(owned.get(), opRemove);
    return owned;
}

void TComponent::SetDesigning(bool designing, bool set_children) {
    if (designing)
        state_.insert(csDesigning);
    else
        state_.erase(csDesigning);
    if (set_children)
        for (auto& c : components_)
            c->SetDesigning(designing, true);
}

void TComponent::FreeNotification(TComponent* component) {
    if (!component || component == this) return;
    // Components of one owner hear of each other's removal through the owner.
    if (!owner_ || component->owner_ != owner_) {
        if (std::find(free_notifies_.begin(), free_notifies_.end(), component) ==
            free_notifies_.end()) {
            free_notifies_.push_back(component);
            component->free_notifies_.push_back(this);
        }
    }
    wants_free_notice_ = true;
}

void TComponent::RemoveFreeNotification(TComponent* component) {
    if (component) Unlink(component);
}

void TComponent::Unlink(TComponent* component) {
    std::erase(free_notifies_, component);
    std::erase(component->free_notifies_, this);
}

void TComponent::Notification(TComponent* component, TOperation operation) {
    if (operation == opRemove && component) Unlink(component);
    // Back to front by index: a handler may free components of this list.
    for (std::size_t i = components_.size(); i-- > 0;)
        if (i < components_.size()) components_[i]->Notification(component, operation);
}

void TComponent::Loaded() {
    state_.erase(csLoading);
}

void TComponent::SetParentComponent(TComponent*) {}

void TComponent::GetChildren(const TGetChildProc& proc, TComponent*) {
    for (std::size_t i = 0; i < components_.size(); ++i)
        if (!components_[i]->HasParent()) proc(*components_[i]);
}

} // namespace fw
