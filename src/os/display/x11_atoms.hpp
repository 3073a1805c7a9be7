// Every atom the X11 display uses, in one table interned with a single round trip.
#pragma once

#include <X11/Xlib.h>

#include <array>

namespace os::x11 {

enum AtomId : int {
    kWmProtocols,
    kWmDeleteWindow,
    kWmState,
    kMotifWmHints,
    kNetSupportingWmCheck,
    kNetActiveWindow,
    kNetWmState,
    kNetWmStateAbove,
    kNetWmStateSkipTaskbar,
    kNetWmStateHidden,
    kNetClientListStacking,
    kNetWmName,
    kNetWmPid,
    kNetWmIcon,
    kUtf8String,
    kAtomCount
};

inline constexpr std::array<const char*, kAtomCount> kAtomNames = {
    "WM_PROTOCOLS",
    "WM_DELETE_WINDOW",
    "WM_STATE",
    "_MOTIF_WM_HINTS",
    "_NET_SUPPORTING_WM_CHECK",
    "_NET_ACTIVE_WINDOW",
    "_NET_WM_STATE",
    "_NET_WM_STATE_ABOVE",
    "_NET_WM_STATE_SKIP_TASKBAR",
    "_NET_WM_STATE_HIDDEN",
    "_NET_CLIENT_LIST_STACKING",
    "_NET_WM_NAME",
    "_NET_WM_PID",
    "_NET_WM_ICON",
    "UTF8_STRING",
};

class Atoms {
public:
    explicit Atoms(::Display* dpy) {
        XInternAtoms(dpy, const_cast<char**>(kAtomNames.data()), kAtomCount, False, atoms_.data());
    }
    Atom operator[](AtomId id) const { return atoms_[id]; }

private:
    std::array<Atom, kAtomCount> atoms_{};
};

} // namespace os::x11
