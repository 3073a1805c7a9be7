// The display service: top-level windows on one screen, their shapes and pixels, and the
// input that reaches them. One interface, implemented in memory (SimDisplay) and on X11.
//
// Coordinates. Screen coordinates have their origin at the top-left pixel of the screen,
// x to the right and y downwards. A window's bounds are its client area in screen
// coordinates (for an undecorated window, the whole window). Window coordinates have their
// origin at the window's top-left pixel. Every Rect is half-open: `right` and `bottom` are
// one past the last pixel. A shape is a list of rectangles in window coordinates; the window
// is seen and takes input only where at least one of them covers it.
//
// Pixels are 0x00RRGGBB, rows top-down, `width` pixels per row with no padding.
//
// Window ids are the display's own and are never reused; 0 is no window. Calls with an id
// that does not exist (any more) do nothing, as a window may vanish at any time on a real
// display. The service is used from the user-interface thread only.
#pragma once

#include "os/clock/clock.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace os {

struct Point {
    int x = 0, y = 0;
    bool operator==(const Point&) const = default;
};

struct Size {
    int width = 0, height = 0;
    bool operator==(const Size&) const = default;
};

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    bool Empty() const { return right <= left || bottom <= top; }
    bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
    Rect Intersect(const Rect& o) const;
    Rect Offset(int dx, int dy) const { return {left + dx, top + dy, right + dx, bottom + dy}; }
    bool operator==(const Rect&) const = default;
};

struct PixelBuffer {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    // Device pixels to a logical one, each way: a window drawn at the display's scale holds
    // width / scale by height / scale logical pixels.
    int scale = 1;

    PixelBuffer() = default;
    PixelBuffer(int w, int h, std::uint32_t fill = 0);
    std::uint32_t At(int x, int y) const { return pixels[Index(x, y)]; }
    void Set(int x, int y, std::uint32_t c) { pixels[Index(x, y)] = c; }
    // True when `pixels` holds exactly width * height entries and neither is negative.
    bool Consistent() const;
    bool operator==(const PixelBuffer&) const = default;

private:
    std::size_t Index(int x, int y) const {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(width) +
               static_cast<std::size_t>(x);
    }
};

// A window's icon for the taskbar and the window switcher: `argb` holds width * height
// pixels 0xAARRGGBB (straight alpha), rows top-down with no padding. 0 x 0 is no icon.
struct IconPixels {
    static constexpr int kMaxDimension = 1024;
    int width = 0, height = 0;
    std::vector<std::uint32_t> argb;
    // Sizes from 0 to kMaxDimension and width * height pixels.
    bool Consistent() const;
    bool operator==(const IconPixels&) const = default;
};
// Throws std::invalid_argument naming the sizes when the icon is not Consistent().
void CheckIcon(const IconPixels& icon);

using WindowId = std::uint32_t;
constexpr WindowId kNoWindow = 0;

// Bits of DisplayEvent::modifiers and Display::ModifierState().
struct Modifiers {
    static constexpr std::uint32_t kShift = 1u << 0;
    static constexpr std::uint32_t kCtrl = 1u << 1;
    static constexpr std::uint32_t kAlt = 1u << 2;
    static constexpr std::uint32_t kLeftButton = 1u << 3;
    static constexpr std::uint32_t kMiddleButton = 1u << 4;
    static constexpr std::uint32_t kRightButton = 1u << 5;
    static constexpr std::uint32_t kKeys = kShift | kCtrl | kAlt;
    static constexpr std::uint32_t kButtons = kLeftButton | kMiddleButton | kRightButton;
};

enum class MouseButton : std::uint8_t { NoButton = 0, Left = 1, Middle = 2, Right = 3 };
// The Modifiers bit of a held button (0 for None).
std::uint32_t ButtonModifier(MouseButton b);

// Platform virtual-key codes. Letters are their upper-case codes ('A'..'Z'), digits '0'..'9'.
struct VirtualKey {
    static constexpr std::uint16_t kReturn = 13;
    static constexpr std::uint16_t kShift = 16;
    static constexpr std::uint16_t kControl = 17;
    static constexpr std::uint16_t kMenu = 18; // Alt
    static constexpr std::uint16_t kEscape = 27;
    static constexpr std::uint16_t kSpace = 32;
};
// The Modifiers bit of a modifier key (Shift, Control, Alt), 0 for any other key.
std::uint32_t KeyModifier(std::uint16_t vk);

enum class PointerCursor : std::uint8_t { Default, Hand, Drag };

enum class EventKind : std::uint8_t {
    PointerMove,
    ButtonDown,
    ButtonUp,
    KeyDown,
    KeyUp,
    Exposed,      // `area` of the window must be presented again
    CloseRequest, // the user asked to close the window (its close button, the taskbar)
    MoveEnded,    // a StartMove has finished; `area` holds the window's new bounds
    FocusGained,
    FocusLost,
    Iconified,
    Restored,
    PointerLeave, // the pointer left the window (reported while no button grab is held)
};

struct DisplayEvent {
    EventKind kind = EventKind::PointerMove;
    WindowId window = kNoWindow;
    int x = 0, y = 0;               // pointer in window coordinates (may lie outside it)
    int screen_x = 0, screen_y = 0; // pointer in screen coordinates
    MouseButton button = MouseButton::NoButton;
    bool double_click = false; // a press that completes a double click
    std::uint16_t key = 0;     // virtual-key code
    // Keys and buttons held after the event: a press includes its own button, a release no
    // longer does; the Shift key down includes kShift.
    std::uint32_t modifiers = 0;
    TimePoint time{0};
    Rect area;
};

struct WindowParams {
    Rect bounds{0, 0, 100, 100};
    std::string title;
    bool undecorated = false;
    bool topmost = false;
    bool wants_double_clicks = false; // two quick presses give a press with double_click
    bool skip_taskbar = false;
    // A menu or tip: placed by us, not managed by the window manager (no frame, no
    // taskbar entry); it takes the pointer with a capture.
    bool popup = false;
};

class Display {
public:
    virtual ~Display() = default;

    // Windows start hidden. Sizes below 1 x 1 are raised to 1 x 1.
    virtual WindowId CreateWindow(const WindowParams& params) = 0;
    virtual void DestroyWindow(WindowId w) = 0;
    virtual void SetBounds(WindowId w, const Rect& bounds) = 0;
    virtual Rect GetBounds(WindowId w) const = 0;
    virtual void Show(WindowId w, bool visible) = 0;
    virtual bool IsVisible(WindowId w) const = 0;
    virtual void SetTopmost(WindowId w, bool topmost) = 0;
    // nullopt makes the window rectangular again.
    virtual void SetShape(WindowId w, const std::optional<std::vector<Rect>>& shape) = 0;
    virtual void SetTitle(WindowId w, const std::string& title) = 0;
    virtual void SetSkipTaskbar(WindowId w, bool skip) = 0;
    // Throws std::invalid_argument when the icon is not Consistent().
    virtual void SetIcon(WindowId w, const IconPixels& icon) = 0;
    // The icon at several sizes, for taskbars that want more than 32 x 32: `icons[0]` is the
    // one SetIcon would take, the others larger artwork. A display uses those it can show;
    // by default only the first.
    virtual void SetIcons(WindowId w, const std::vector<IconPixels>& icons);
    virtual void Iconify(WindowId w) = 0;
    virtual void Restore(WindowId w) = 0;
    virtual bool IsIconic(WindowId w) const = 0;
    // Raises the window and gives it the keyboard focus.
    virtual void Activate(WindowId w) = 0;
    // The foreground window if it is one of ours, else kNoWindow.
    virtual WindowId ActiveWindow() const = 0;
    virtual void Raise(WindowId w) = 0;
    virtual void SetCursor(WindowId w, PointerCursor shape) = 0;
    // Copies `damaged` (window coordinates) of the window's whole image to the screen.
    // Throws std::invalid_argument when the buffer's size does not match its pixels.
    virtual void Present(WindowId w, const PixelBuffer& pixels, const Rect& damaged) = 0;
    // Device pixels to a window's logical one: a window's image drawn at this scale (its
    // PixelBuffer::scale) is shown as it is, with text rasterised sharp; one at scale 1 is
    // enlarged.
    virtual int Scale() const { return 1; }

    // Pointer. While a capture is set, or while a button that was pressed on one of our
    // windows is held, pointer events go to that window wherever the pointer is.
    // ReleaseCapture ends both kinds.
    virtual void SetCapture(WindowId w) = 0;
    virtual void ReleaseCapture() = 0;
    // Lets the user drag the window: it follows the pointer until the held button is
    // released, then MoveEnded is reported. With no button held it ends at once.
    virtual void StartMove(WindowId w) = 0;
    // The topmost of our visible windows whose shape covers the screen point.
    virtual WindowId WindowAt(Point screen) const = 0;
    virtual Point PointerPosition() const = 0;
    virtual std::uint32_t ModifierState() const = 0;
    // The primary monitor's size.
    virtual Size ScreenSize() const = 0;
    // The monitors' rectangles in screen coordinates, the primary one first; never empty (a
    // screen that tells of no monitors is one monitor covering it). The primary monitor
    // need not stand at the origin.
    virtual std::vector<Rect> Monitors() const = 0;

    // Takes the oldest pending event; false when there is none. Never blocks. Once the
    // owner of the event wait has called ReportsReadability, the connection is read only
    // after ConnectionReadable, once per report: a loop that looks for input many times
    // per turn then costs no system call when nothing has arrived.
    bool NextEvent(DisplayEvent& event);
    void ReportsReadability() { gated_ = true; }
    // The connection has something to read (the wait saw it readable).
    void ConnectionReadable() { readable_ = true; }

protected:
    // An event already received, without reading the connection.
    virtual bool TakeReceived(DisplayEvent& event) = 0;
    // Reads what the connection holds, once, without blocking.
    virtual void ReadConnection() = 0;

private:
    bool gated_ = false;
    bool readable_ = false;
};

} // namespace os
