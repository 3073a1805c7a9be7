// The display in memory: a screen of pixels, windows composed with their shapes in
// stacking order, and input that a test injects at screen points. Event times come from
// the clock it is given, so runs on a virtual clock are identical every time.
//
// It behaves as a desktop with a window manager does: a window is mapped on top of the
// others; topmost windows stay above all normal ones; a press on a window that is not
// active activates and raises it before the press is reported, and a press on the bare
// desktop deactivates ours; showing, restoring and resizing a window ask for its pixels
// (Exposed), while being uncovered does not, since each window keeps its presented image.
#pragma once

#include "os/display/display.hpp"
#include "os/display/keyboard.hpp"

#include <chrono>
#include <deque>
#include <functional>
#include <map>

namespace os {

// What the simulated display knows of one window.
struct SimWindow {
    WindowId id = kNoWindow;
    Rect bounds;
    std::string title;
    bool visible = false;
    bool topmost = false;
    bool undecorated = false;
    bool skip_taskbar = false;
    bool iconic = false;
    bool wants_double_clicks = false;
    std::optional<std::vector<Rect>> shape;
    PointerCursor cursor = PointerCursor::Default;
    IconPixels icon;                      // as the taskbar would show it; 0 x 0 for none
    std::vector<IconPixels> larger_icons; // the larger artwork given beside it
    PixelBuffer pixels;                   // the presented image; black until the first Present

    bool Drawn() const { return visible && !iconic; }
    // Whether the window's shape covers a point in window coordinates.
    bool Covers(int x, int y) const;
};

class SimDisplay final : public Display {
public:
    static constexpr std::uint32_t kDefaultBackground = 0x3A6EA5;
    static constexpr Nanos kDoubleClickTime = std::chrono::milliseconds(500);
    // Two presses at most this many pixels apart, in x and in y, may form a double click.
    static constexpr int kDoubleClickDistance = 4;

    explicit SimDisplay(const Clock& clock, Size screen = {1024, 768});

    WindowId CreateWindow(const WindowParams& params) override;
    void DestroyWindow(WindowId w) override;
    void SetBounds(WindowId w, const Rect& bounds) override;
    Rect GetBounds(WindowId w) const override;
    void Show(WindowId w, bool visible) override;
    bool IsVisible(WindowId w) const override;
    void SetTopmost(WindowId w, bool topmost) override;
    void SetShape(WindowId w, const std::optional<std::vector<Rect>>& shape) override;
    void SetTitle(WindowId w, const std::string& title) override;
    void SetSkipTaskbar(WindowId w, bool skip) override;
    void SetIcon(WindowId w, const IconPixels& icon) override;
    void SetIcons(WindowId w, const std::vector<IconPixels>& icons) override;
    void Iconify(WindowId w) override;
    void Restore(WindowId w) override;
    bool IsIconic(WindowId w) const override;
    void Activate(WindowId w) override;
    WindowId ActiveWindow() const override { return active_; }
    void Raise(WindowId w) override;
    void SetCursor(WindowId w, PointerCursor shape) override;
    void Present(WindowId w, const PixelBuffer& pixels, const Rect& damaged) override;
    void SetCapture(WindowId w) override;
    void ReleaseCapture() override;
    void StartMove(WindowId w) override;
    WindowId WindowAt(Point screen) const override;
    Point PointerPosition() const override { return pointer_; }
    std::uint32_t ModifierState() const override { return keys_ | buttons_; }
    Size ScreenSize() const override;
    std::vector<Rect> Monitors() const override;

    // Input, as the user gives it. Pointer positions are clamped to the screen.
    void MovePointer(int x, int y);
    void Press(MouseButton button);
    void Release(MouseButton button);
    void Click(int x, int y, MouseButton button = MouseButton::Left);
    // Keys go to the active window. `modifiers` (Shift, Ctrl, Alt) are the modifier keys
    // held from now on; without it they stay as they are. The Shift, Control and Alt keys
    // themselves also set and clear their own bit.
    void KeyDown(std::uint16_t vk, std::optional<std::uint32_t> modifiers = std::nullopt);
    void KeyUp(std::uint16_t vk, std::optional<std::uint32_t> modifiers = std::nullopt);
    // A keyboard of layouts: the symbols of each key code, and the group the user types in.
    void SetKeyboard(std::map<unsigned, KeyGroups> keys) { keyboard_ = std::move(keys); }
    void LockGroup(std::size_t group) { group_ = group; }
    // Presses and releases the key of a key code as the X server reports it: its first-level
    // symbol in the locked group becomes a virtual key; a key that gives none sends nothing.
    void TypeKey(unsigned keycode);
    // The user asks to close the window (title-bar button, taskbar menu).
    void RequestClose(WindowId w);

    // Lays the monitors out, the primary one first; the screen grows to cover them all
    // (from its origin). Without a layout the whole screen is one monitor.
    void SetMonitors(std::vector<Rect> monitors);

    // What is on the screen.
    PixelBuffer Screenshot() const;
    void SavePng(const std::string& path) const;
    void SetBackground(std::uint32_t colour) { background_ = colour; }
    // Called whenever an event is queued: the simulated platform wakes its event wait, so
    // that input injected while the loop waits (from a scheduled callback) is seen.
    void SetEventListener(std::function<void()> listener) { listener_ = std::move(listener); }
    // Throws std::out_of_range for a window that does not exist.
    const SimWindow& Window(WindowId w) const;
    bool Exists(WindowId w) const { return windows_.count(w) != 0; }
    // Every window, hidden ones included, from the bottom of the stack to the top.
    std::vector<WindowId> StackingOrder() const;
    // The window that receives pointer events whatever is under the pointer, if any.
    WindowId PointerGrabWindow() const { return capture_ ? capture_ : grab_; }
    bool Moving() const { return move_.has_value(); }
    std::size_t PendingEvents() const { return sent_.size() + events_.size(); }
    // Reads of the connection, and the times it became readable: events are sent to it and
    // taken in by a read, as from a server.
    std::uint64_t Reads() const { return reads_; }
    std::uint64_t ReadableReports() const { return readable_reports_; }

protected:
    bool TakeReceived(DisplayEvent& event) override;
    void ReadConnection() override;

private:
    SimWindow* Find(WindowId w);
    const SimWindow* Find(WindowId w) const;
    // Queues an event for an existing window with the pointer and modifiers of now; the
    // caller may fill in the rest.
    DisplayEvent* Post(EventKind kind, WindowId w);
    void RaiseToTop(WindowId w);
    void SetFocus(WindowId w);
    // A window that stops being drawn loses the focus, the pointer grabs and a move.
    void Withdraw(WindowId w);
    // Reports PointerLeave when the window under the pointer changed (not during a grab).
    void UpdateHover();
    WindowId PointerTarget() const;
    void EndMove();

    const Clock& clock_;
    std::function<void()> listener_;
    Size screen_;
    std::vector<Rect> monitors_;
    std::uint32_t background_ = kDefaultBackground;
    std::map<WindowId, SimWindow> windows_;
    std::vector<WindowId> raise_order_; // bottom to top, ignoring the topmost layer
    WindowId next_id_ = 1;
    WindowId active_ = kNoWindow;
    WindowId capture_ = kNoWindow; // set by SetCapture
    WindowId grab_ = kNoWindow;    // the window a held button was pressed on
    WindowId hover_ = kNoWindow;   // the window under the pointer when last looked
    Point pointer_;
    std::uint32_t buttons_ = 0;
    std::uint32_t keys_ = 0;
    std::map<unsigned, KeyGroups> keyboard_;
    std::size_t group_ = 0;

    struct Move {
        WindowId window;
        Point start_pointer;
        Rect start_bounds;
    };
    std::optional<Move> move_;

    struct LastPress {
        WindowId window;
        MouseButton button;
        Point at;
        TimePoint time;
    };
    std::optional<LastPress> last_press_;

    std::deque<DisplayEvent> sent_;   // not read yet
    std::deque<DisplayEvent> events_; // read
    std::uint64_t reads_ = 0;
    std::uint64_t readable_reports_ = 0;
};

} // namespace os
