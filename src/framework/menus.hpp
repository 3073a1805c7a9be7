// Menus: items with a caption, a default mark, an enabled state, a click handler and items
// of their own; the popup menu, shown modally at a screen point as a window of its items
// (on X11 one that the window manager leaves alone); and the cancel-mode request that a
// form gets before a menu opens.
#pragma once

#include "framework/components.hpp"
#include "framework/events.hpp"
#include "framework/graphics/geometry.hpp"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fw {

class TMenu;
class TCustomForm;

class TMenuItem : public TComponent {
    FW_CLASS(TMenuItem, TComponent)
public:
    explicit TMenuItem(TComponent* owner);
    ~TMenuItem() override;
    static void Describe(TClassBuilder<TMenuItem>& c);

    std::string Caption; // "-" is a separator line
    bool Default = false;
    bool Enabled = true;
    bool Visible = true;
    TNotifyEvent OnClick;

    // Raises OnClick when the item is enabled.
    virtual void Click();
    bool IsLine() const { return Caption == "-"; }

    // The items of this item's sub-menu. An item without owner that is added belongs to
    // this item from then on; one with an owner stays its owner's.
    int Count() const { return static_cast<int>(items_.size()); }
    TMenuItem* Items(int index) const; // EListError outside 0 .. count-1
    void Add(TMenuItem* item);
    void Remove(TMenuItem* item);
    TMenuItem* Parent() const { return parent_; }

    // Menu items are written inside their menu or parent item.
    bool HasParent() const override { return true; }
    TComponent* GetParentComponent() const override;
    void SetParentComponent(TComponent* parent) override;
    void GetChildren(const TGetChildProc& proc, TComponent* root) override;

private:
    friend class TMenu;
    TMenuItem* parent_ = nullptr;
    TMenu* menu_ = nullptr; // set on a menu's root item
    std::vector<TMenuItem*> items_;
    std::vector<std::unique_ptr<TMenuItem>> owned_;
};

class TMenu : public TComponent {
    FW_CLASS(TMenu, TComponent)
public:
    explicit TMenu(TComponent* owner);
    ~TMenu() override;
    static void Describe(TClassBuilder<TMenu>&) {}

    // The menu's item tree: the root, whose items are the top-level ones.
    TMenuItem* Items() const { return items_.get(); }
    void GetChildren(const TGetChildProc& proc, TComponent* root) override;

private:
    std::unique_ptr<TMenuItem> items_;
};

class TPopupMenu : public TMenu {
    FW_CLASS(TPopupMenu, TMenu)
public:
    explicit TPopupMenu(TComponent* owner);
    ~TPopupMenu() override;
    static void Describe(TClassBuilder<TPopupMenu>& c);

    // Whether a right click on the component that has this menu shows it.
    bool AutoPopup = true;
    // The component that showed the menu last; cleared when it is destroyed.
    TComponent* PopupComponent() const { return popup_component_; }
    void SetPopupComponent(TComponent* value);
    TNotifyEvent OnPopup;

    // Raises OnPopup, shows the top-level items with their top-left corner at the screen
    // point (moved to stay on the screen) and returns once the menu is dismissed; the item
    // chosen, if any, is clicked before it returns.
    virtual void Popup(int x, int y);

    void Notification(TComponent* component, TOperation operation) override;

private:
    TComponent* popup_component_ = nullptr;
};

// Shows the items of `menu` at a screen point until the user chooses one (returned) or
// dismisses the menu (nullptr): a left or right release over an enabled item chooses it,
// a press outside the menu or Escape dismisses it, the arrow keys and Enter work too.
TMenuItem* TrackPopupMenu(const TMenuItem& menu, int x, int y);

// The menu window's layout.
inline constexpr int kMenuItemHeight = 20;
inline constexpr int kMenuLineHeight = 8;
inline constexpr int kMenuMargin = 2;
// Where an item of the menu on view is on the screen; none when no menu shows it.
std::optional<TRect> ShownMenuItemRect(const TMenuItem& item);

// Asks the form to leave any mouse mode it is in (a capture, a press being tracked).
void SendCancelMode(TCustomForm& form);

} // namespace fw
