// TComponent: an object with an owner that frees it, a name unique among its owner's
// components, a component state, destruction notices, and an after-loading step.
//
// A component with an owner is created with new and belongs to the owner from its
// constructor on (fw::New<TTimer>(form) says so); deleting it earlier removes it from the
// owner first. A component without an owner belongs to whoever created it.
#pragma once

#include "framework/classes.hpp"

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace fw {

enum TComponentStateItem { csLoading, csReading, csWriting, csDestroying, csDesigning };
using TComponentState = TSet<TComponentStateItem>;
enum TOperation { opInsert, opRemove };

namespace detail {
class FormReader;
class FormWriter;
} // namespace detail

class TComponent : public TPersistent {
    FW_CLASS(TComponent, TPersistent)
public:
    explicit TComponent(TComponent* owner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    static void Describe(TClassBuilder<TComponent>& c);

    TComponent* Owner() const { return owner_; }
    const std::string& Name() const { return name_; }
    // A valid identifier (or empty), unique among the owner's components regardless of case.
    // Sets the owner's published field of the new name to this component.
    virtual void SetName(std::string_view name);
    std::int32_t Tag = 0;

    int ComponentCount() const { return static_cast<int>(components_.size()); }
    TComponent* Components(int index) const; // EListError outside 0 .. count-1
    int ComponentIndex() const;              // place in the owner's list, -1 without owner
    TComponent* FindComponent(std::string_view name) const;

    // Moves ownership: InsertComponent takes a component that has no owner (and leaves it
    // with the caller when it fails); RemoveComponent gives an owned one back to the caller.
    void InsertComponent(std::unique_ptr<TComponent>&& component);
    std::unique_ptr<TComponent> RemoveComponent(TComponent& component);

    TComponentState ComponentState() const { return state_; }
    void SetDesigning(bool designing, bool set_children = true);

    // Asks for Notification(this component, opRemove) on `component` when this one is
    // destroyed, and the other way round.
    void FreeNotification(TComponent* component);
    void RemoveFreeNotification(TComponent* component);
    // Sent to the owner and all its components when a component is inserted or removed,
    // and to those that asked for a free notice. The default forwards to owned components.
    virtual void Notification(TComponent* component, TOperation operation);

    // The after-loading step, run once the whole description has been read. The default
    // ends the csLoading state; overrides call it first.
    virtual void Loaded();

    // Nesting in form descriptions: a component with a parent (a control on a container)
    // is written inside its parent's block and is given its parent before any of its
    // properties is read.
    virtual bool HasParent() const { return false; }
    virtual TComponent* GetParentComponent() const { return nullptr; }
    virtual void SetParentComponent(TComponent* parent);
    using TGetChildProc = std::function<void(TComponent& child)>;
    // The components written inside this one's block, in order. The default gives the
    // owned components that have no parent.
    virtual void GetChildren(const TGetChildProc& proc, TComponent* root);

    // Marks this component and everything it owns as being destroyed. Owned components are
    // marked before any of their destructors runs; a destructor that needs the mark on its
    // own object when it is deleted directly calls this first.
    void Destroying();

protected:
    // Frees the owned components, newest first. A class whose components still use its
    // own members calls this at the start of its destructor.
    void DestroyComponents();
    virtual void ValidateRename(TComponent* component, std::string_view current_name,
                                std::string_view new_name) const;

private:
    friend class detail::FormReader;
    friend class detail::FormWriter;

    void Include(TComponentStateItem item) { state_.insert(item); }
    void Exclude(TComponentStateItem item) { state_.erase(item); }
    void Adopt(std::unique_ptr<TComponent> component);
    std::unique_ptr<TComponent> Release(TComponent& component, bool notify);
    void SetReference(bool enable);
    void Unlink(TComponent* component);

    TComponent* owner_ = nullptr;
    std::string name_;
    TComponentState state_;
    bool wants_free_notice_ = false;
    std::vector<std::unique_ptr<TComponent>> components_;
    std::vector<TComponent*> free_notifies_;
};

// Creates a component owned by `owner`; the owner frees it.
template <class T, class... Args> T* New(TComponent& owner, Args&&... args) {
    return new T(&owner, std::forward<Args>(args)...);
}

} // namespace fw
