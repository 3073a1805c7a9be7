// Passive key grabs on the root window for the global shortcuts.
#include "os/shortcuts/x11_grab_shortcuts.hpp"

#include "os/display/display.hpp"
#include "os/display/x11_display.hpp"
#include "os/display/x11_errors.hpp"

#include <X11/XKBlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cstdio>

namespace os {

namespace {

// The X name of a combination's key: the last part of its portal trigger ("r", "F5").
KeySym KeySymOf(const KeyCombination& c) {
    const std::string trigger = PortalTrigger(c);
    return XStringToKeysym(trigger.substr(trigger.rfind('+') + 1).c_str());
}

KeySym Lower(KeySym sym) {
    KeySym lower = sym, upper = sym;
    XConvertCase(sym, &lower, &upper);
    return lower;
}

} // namespace

X11GrabShortcuts::X11GrabShortcuts(X11Display& display, PostFn post)
    : display_(display), dpy_(display.Connection()), root_(DefaultRootWindow(dpy_)),
      post_(std::move(post)) {}

X11GrabShortcuts::~X11GrabShortcuts() {
    display_.RemoveEventFilter(this);
    UngrabAll();
    XFlush(dpy_);
}

unsigned X11GrabShortcuts::ModifierOf(XModifierKeymap* map, KeySym sym) const {
    const KeyCode code = XKeysymToKeycode(dpy_, sym);
    if (!code || !map) return 0;
    for (int mod = 0; mod < 8; ++mod)
        for (int i = 0; i < map->max_keypermod; ++i)
            if (map->modifiermap[mod * map->max_keypermod + i] == code) return 1u << mod;
    return 0;
}

std::array<unsigned, 4> X11GrabShortcuts::Locks() const {
    return {0, LockMask, num_lock_, LockMask | num_lock_};
}

void X11GrabShortcuts::Ungrab(const Grab& grab) const {
    for (const KeyCode code : grab.codes)
        for (const unsigned lock : Locks())
            XUngrabKey(dpy_, code, grab.modifiers | lock, root_);
}

void X11GrabShortcuts::Start(std::vector<Shortcut> shortcuts, std::uint32_t window,
                             std::uint32_t message) {
    shortcuts_ = std::move(shortcuts);
    window_ = window;
    message_ = message;
    display_.AddEventFilter(this, [this](XEvent& ev) { return Filter(ev); });
    GrabAll(true);
}

void X11GrabShortcuts::GrabAll(bool report) {
    UngrabAll();
    grabs_.clear();
    // One look at the modifier map for all three keys.
    XModifierKeymap* map = XGetModifierMapping(dpy_);
    num_lock_ = ModifierOf(map, XK_Num_Lock);
    const unsigned alt_bit = ModifierOf(map, XK_Alt_L);
    const unsigned super_bit = ModifierOf(map, XK_Super_L);
    if (map) XFreeModifiermap(map);
    const unsigned alt = alt_bit ? alt_bit : Mod1Mask;
    const unsigned super = super_bit ? super_bit : Mod4Mask;
    XkbDescPtr xkb = XkbGetMap(dpy_, XkbKeyTypesMask | XkbKeySymsMask, XkbUseCoreKbd);
    if (!xkb) return;
    for (std::size_t i = 0; i < shortcuts_.size(); ++i) {
        const KeyCombination& c = shortcuts_[i].keys;
        Grab grab{i, Lower(KeySymOf(c)), 0, {}};
        if (c.modifiers & Modifiers::kCtrl) grab.modifiers |= ControlMask;
        if (c.modifiers & Modifiers::kShift) grab.modifiers |= ShiftMask;
        if (c.modifiers & Modifiers::kAlt) grab.modifiers |= alt;
        if (c.modifiers & KeyCombination::kSuper) grab.modifiers |= super;
        // Every key that carries the key in some group and level: under "ru,us" the Latin r
        // lives in the second group of the key that types a Cyrillic letter in the first.
        for (int code = xkb->min_key_code; code <= xkb->max_key_code; ++code) {
            const int groups = XkbKeyNumGroups(xkb, code);
            bool carries = false;
            for (int g = 0; g < groups && !carries; ++g)
                for (int l = 0; l < XkbKeyGroupWidth(xkb, code, g) && !carries; ++l)
                    carries =
                        grab.sym != NoSymbol && Lower(XkbKeySymEntry(xkb, code, l, g)) == grab.sym;
            if (carries) grab.codes.push_back(static_cast<KeyCode>(code));
        }
        const std::string text = ShortcutText(c);
        if (grab.codes.empty()) {
            if (report)
                std::fprintf(stderr, "mirelo: no key types %s on this keyboard; left out\n",
                             text.c_str());
            continue;
        }
        x11::ErrorTrap trap(dpy_);
        for (const KeyCode code : grab.codes)
            for (const unsigned lock : Locks())
                XGrabKey(dpy_, code, grab.modifiers | lock, root_, False, GrabModeAsync,
                         GrabModeAsync);
        if (trap.Sync() != 0) {
            // Held by another program (BadAccess): give back what we got of it.
            Ungrab(grab);
            if (report)
                std::fprintf(stderr,
                             "mirelo: %s is taken by another program; that shortcut is off\n",
                             text.c_str());
            continue;
        }
        grabs_.push_back(std::move(grab));
    }
    XkbFreeKeyboard(xkb, 0, True);
    XFlush(dpy_);
}

void X11GrabShortcuts::UngrabAll() {
    for (const Grab& grab : grabs_)
        Ungrab(grab);
}

bool X11GrabShortcuts::Means(const Grab& grab, KeyCode code, unsigned state) const {
    const int group = XkbGroupForCoreState(state);
    if (Lower(XkbKeycodeToKeysym(dpy_, code, group, 0)) == grab.sym) return true;
    // Another key types it in the active group (as in a second Latin layout): that key is
    // meant, not this one.
    for (const KeyCode other : grab.codes)
        if (Lower(XkbKeycodeToKeysym(dpy_, other, group, 0)) == grab.sym) return false;
    return true;
}

bool X11GrabShortcuts::Filter(XEvent& ev) {
    if (ev.type == MappingNotify && ev.xmapping.request == MappingKeyboard) {
        // A new layout moves the keys: grab again, quietly.
        XRefreshKeyboardMapping(&ev.xmapping);
        GrabAll(false);
        return false;
    }
    if ((ev.type != KeyPress && ev.type != KeyRelease) || ev.xkey.window != root_) return false;
    const unsigned mods = ev.xkey.state & 0xFF & ~(LockMask | num_lock_);
    const auto code = static_cast<KeyCode>(ev.xkey.keycode);
    for (Grab& grab : grabs_) {
        if (std::find(grab.codes.begin(), grab.codes.end(), code) == grab.codes.end()) continue;
        if (ev.type == KeyRelease) {
            grab.held = false;
            continue;
        }
        if (mods != grab.modifiers || grab.held || !Means(grab, code, ev.xkey.state)) continue;
        grab.held = true;
        if (post_) post_(window_, message_, grab.index, 0);
    }
    return true;
}

} // namespace os
