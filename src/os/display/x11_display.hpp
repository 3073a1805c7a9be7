// The display service on an X server: undecorated, stay-on-top top-level windows with
// shapes, their pixels kept in server-side pixmaps, and the server's input events turned
// into the display's own. Xlib with the Shape, RandR and MIT-SHM extensions; no toolkit.
//
// Our window ids are our own, never X window ids, and are never reused. The window manager
// places, stacks and maps asynchronously: what we ask for is assumed done at once, and its
// later reports (ConfigureNotify, WM_STATE) update our idea of a window.
#pragma once

#include "os/display/display.hpp"

#include <X11/Xlib.h>

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

namespace os {

namespace x11 {
class Atoms;
class PixelUploader;
} // namespace x11

struct X11Options {
    // Upload pixels through MIT-SHM when the server offers it.
    bool shared_memory = true;
    // Double clicks: the longest time between the presses and the largest distance between
    // them, in x and in y.
    Nanos double_click_time = std::chrono::milliseconds(500);
    int double_click_distance = 4;
};

class X11Display final : public Display {
public:
    // Connects to the named display ("" for $DISPLAY). Throws std::runtime_error
    // "cannot open display <name>" when that fails.
    static std::unique_ptr<X11Display> Open(const std::string& name, const Clock& clock,
                                            const X11Options& options = {});
    ~X11Display() override;
    X11Display(const X11Display&) = delete;
    X11Display& operator=(const X11Display&) = delete;

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
    // _NET_WM_ICON, with every size given.
    void SetIcon(WindowId w, const IconPixels& icon) override;
    void SetIcons(WindowId w, const std::vector<IconPixels>& icons) override;
    void Iconify(WindowId w) override;
    void Restore(WindowId w) override;
    bool IsIconic(WindowId w) const override;
    void Activate(WindowId w) override;
    WindowId ActiveWindow() const override;
    void Raise(WindowId w) override;
    void SetCursor(WindowId w, PointerCursor shape) override;
    void Present(WindowId w, const PixelBuffer& pixels, const Rect& damaged) override;
    void SetCapture(WindowId w) override;
    void ReleaseCapture() override;
    void StartMove(WindowId w) override;
    WindowId WindowAt(Point screen) const override;
    Point PointerPosition() const override;
    std::uint32_t ModifierState() const override;
    Size ScreenSize() const override;
    std::vector<Rect> Monitors() const override;

    // Readable when the server has sent something: a source for the event wait.
    int ConnectionFd() const;
    // For other services on the same connection (the tray icon).
    ::Display* Connection() const { return dpy_; }
    // The X window behind one of ours; 0 when there is none.
    ::Window NativeWindow(WindowId w) const;
    bool UsesSharedMemory() const;
    // Filters see every X event first, in the order they were added; one that returns true
    // keeps it from the later ones and from the display. For services that own windows of
    // their own on this connection; each adds and removes its filter under its own address.
    using EventFilter = std::function<bool(XEvent&)>;
    void AddEventFilter(const void* owner, EventFilter filter);
    void RemoveEventFilter(const void* owner);

    // Sends the requests Xlib holds, if any were made since the last time: the event wait
    // calls it once before it sleeps.
    void FlushBeforeSleep();

protected:
    // What Xlib already holds; never reads the connection.
    bool TakeReceived(DisplayEvent& event) override;
    // Flushes, then reads what the server has sent.
    void ReadConnection() override;

private:
    struct Win {
        WindowId id = kNoWindow;
        ::Window xid = 0;
        Rect bounds;
        bool topmost = false;
        bool skip_taskbar = false;
        bool wants_double_clicks = false;
        bool visible = false;
        bool iconic = false;
        bool focused = false;
        bool reparented = false; // inside a window manager's frame
        bool mapped = false;     // as we last asked: mapped, or withdrawn
        // A state we asked the window manager for: until it has acted on it (or a while has
        // passed), WM_STATE that still says otherwise is stale.
        std::optional<bool> expect_iconic;
        TimePoint expect_until{0};
        std::optional<std::vector<Rect>> shape;
        Pixmap pixmap = 0; // the last presented image, window-sized
        Size pixmap_size;
        Rect exposed; // Expose rectangles gathered until the last of a series
    };

    X11Display(::Display* dpy, const Clock& clock, const X11Options& options);
    Win* Find(WindowId w);
    const Win* Find(WindowId w) const;
    Win* FindX(::Window xid);
    DisplayEvent* Post(EventKind kind, const Win& win);
    void Flush() const;
    // A width or height for Xlib, which refuses 0.
    static unsigned Dim(int v) { return static_cast<unsigned>(v < 1 ? 1 : v); }

    // Window properties and requests to the window manager (x11_display.cpp).
    void WriteNormalHints(const Win& win);
    void WriteNetWmState(const Win& win);
    void ChangeNetWmState(const Win& win, bool add, Atom state);
    void SendToRoot(::Window about, Atom type, long l0, long l1 = 0, long l2 = 0, long l3 = 0);
    bool WindowManagerRunning() const;
    void ResizePixmap(Win& win);
    void PresentFromPixmap(const Win& win, const Rect& area);
    void SetIconic(Win& win, bool iconic);
    // Maps the window with its hints stated again; takes it off the screen (ICCCM withdraw).
    void Map(Win& win);
    void Withdraw(Win& win);
    void Expect(Win& win, bool iconic);

    // Event handlers (x11_events.cpp), one per event type.
    bool Filtered(XEvent& ev);
    void Dispatch(XEvent& ev);
    void OnButtonPress(Win& win, const XButtonEvent& e);
    void OnButtonRelease(Win& win, const XButtonEvent& e);
    void OnMotion(Win& win, const XMotionEvent& e);
    void OnKey(Win& win, const XKeyEvent& e);
    void OnLeave(Win& win, const XCrossingEvent& e);
    void OnFocus(Win& win, const XFocusChangeEvent& e);
    void OnExpose(Win& win, const XExposeEvent& e);
    void OnConfigure(Win& win, const XConfigureEvent& e);
    void OnProperty(Win& win, const XPropertyEvent& e);
    void OnClientMessage(Win& win, const XClientMessageEvent& e);
    void OnMapChange(Win& win, bool unmapped);
    void ReadWmState(Win& win);
    void EndMove();

    ::Display* dpy_;
    const Clock& clock_;
    X11Options options_;
    int screen_;
    ::Window root_;
    GC gc_;
    std::unique_ptr<x11::Atoms> atoms_;
    std::unique_ptr<x11::PixelUploader> uploader_;
    bool has_shape_ = false;
    bool has_input_shape_ = false;
    bool has_randr_ = false;
    bool has_monitors_ = false; // RandR 1.5: monitors as the desktop defines them
    int randr_event_base_ = -1;
    // The monitors as last asked of the server; dropped when it says the screen changed.
    mutable std::optional<std::vector<Rect>> monitors_;
    // The monitors, primary first, from the server: RandR 1.5, else the lit CRTCs, else the
    // whole screen.
    std::vector<Rect> AskMonitors() const;
    Cursor hand_cursor_ = 0;
    Cursor drag_cursor_ = 0;
    std::vector<std::pair<const void*, EventFilter>> filters_;

    std::map<WindowId, Win> windows_;
    std::unordered_map<::Window, WindowId> by_xid_;
    WindowId next_id_ = 1;
    unsigned long flushed_before_ = 0; // NextRequest at the last FlushBeforeSleep
    WindowId capture_ = kNoWindow;
    // Buttons held as of the last pointer event read, and where it was on the screen.
    std::uint32_t buttons_ = 0;
    Point last_root_;

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
        Time time;
    };
    std::optional<LastPress> last_press_;

    std::deque<DisplayEvent> events_;
};

} // namespace os
