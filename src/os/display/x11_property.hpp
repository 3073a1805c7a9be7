// Reading X window properties of 32-bit items (windows, atoms, cardinals, WM_STATE) with the
// checks every reader needs: the property exists, has the expected type and format, and the
// window has not gone meanwhile. Xlib hands 32-bit items out as longs, whatever their type.
#pragma once

#include <X11/Xlib.h>

#include <type_traits>
#include <vector>

namespace os::x11 {

// Up to `max_items` items of the property; empty when it is missing, of another type or
// format, or the window is gone (its BadWindow is one the error handler expects).
template <class T>
std::vector<T> ReadProperty32(::Display* dpy, ::Window window, Atom property, Atom type,
                              long max_items = 1) {
    static_assert(std::is_integral_v<T> && sizeof(T) == sizeof(long),
                  "32-bit property items come as longs");
    Atom actual_type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<T> items;
    if (XGetWindowProperty(dpy, window, property, 0, max_items, False, type, &actual_type, &format,
                           &count, &after, &data) == Success &&
        data && actual_type == type && format == 32) {
        // Xlib may sign-extend them into its longs: only the low 32 bits are the item.
        const auto* values = reinterpret_cast<const unsigned long*>(data);
        for (unsigned long i = 0; i < count; ++i)
            items.push_back(static_cast<T>(values[i] & 0xFFFFFFFFul));
    }
    if (data) XFree(data);
    return items;
}

} // namespace os::x11
