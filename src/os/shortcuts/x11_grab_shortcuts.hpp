// Global shortcuts as passive key grabs on the X root window: they fire whatever window has
// the focus on a plain X11 session (under XWayland only while an X11 window has it). Each
// combination is grabbed on every key that carries its key in some keyboard group, so it
// works whatever layout is active, and once per combination of Lock and NumLock.
#pragma once

#include "os/shortcuts/shortcuts.hpp"

#include <X11/Xlib.h>

#include <array>
#include <vector>

namespace os {

class X11Display;

class X11GrabShortcuts final : public GlobalShortcuts {
public:
    X11GrabShortcuts(X11Display& display, PostFn post);
    ~X11GrabShortcuts() override;
    X11GrabShortcuts(const X11GrabShortcuts&) = delete;
    X11GrabShortcuts& operator=(const X11GrabShortcuts&) = delete;

    // A combination that another program holds is reported on standard error and left out.
    void Start(std::vector<Shortcut> shortcuts, std::uint32_t window,
               std::uint32_t message) override;

private:
    struct Grab {
        std::size_t index; // in the shortcuts asked for
        KeySym sym;        // lower case for letters
        unsigned modifiers;
        std::vector<KeyCode> codes;
        bool held = false; // pressed and not yet released: key repeats are not presses
    };
    void GrabAll(bool report);
    void UngrabAll();
    // Gives back a grab's keys, with every lock combination.
    void Ungrab(const Grab& grab) const;
    // The lock modifiers that may be on while a shortcut is pressed, in every combination.
    std::array<unsigned, 4> Locks() const;
    bool Filter(XEvent& ev);
    // The modifier bit `map` gives a key (Alt_L, Num_Lock), 0 when it has none.
    unsigned ModifierOf(XModifierKeymap* map, KeySym sym) const;
    // Whether a press of `code` in the event's group means `grab`'s key.
    bool Means(const Grab& grab, KeyCode code, unsigned state) const;

    X11Display& display_;
    ::Display* dpy_;
    ::Window root_;
    PostFn post_;
    std::vector<Shortcut> shortcuts_;
    std::vector<Grab> grabs_;
    std::uint32_t window_ = 0;
    std::uint32_t message_ = 0;
    unsigned num_lock_ = 0;
};

} // namespace os
