// The message loop: window handles, posted and sent messages, timers, idle work and the
// one blocking wait. Everything above runs on the thread that owns the loop; only
// PostMessage, PostQuitMessage and IsWindow may be called from other threads.
#pragma once

#include "framework/messages.hpp"
#include "os/clock/clock.hpp"
#include "os/wait/event_wait.hpp"

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

namespace fw {

// Whatever receives the messages of a window handle.
class MessageTarget {
public:
    virtual void WndProc(TMessage& message) = 0;

protected:
    ~MessageTarget() = default;
};

// The program's side of every turn: its input, read and turned into messages, and the work
// of an empty queue (painting). Virtual calls rather than stored functions, because even an
// idle program makes them a hundred times a second: each layer less is code and data that
// need not come back into the cache after the sleep.
class TurnHooks {
public:
    // Reads pending input and turns it into messages; true when it delivered anything.
    // Called before every look at the queue.
    virtual bool PumpInput() = 0;
    // Runs before the idle handlers, each time the queue is found empty.
    virtual void Idle() = 0;

protected:
    ~TurnHooks() = default;
};

class MessageLoop {
public:
    MessageLoop(os::Clock& clock, os::EventWait& wait);
    ~MessageLoop();
    MessageLoop(const MessageLoop&) = delete;
    MessageLoop& operator=(const MessageLoop&) = delete;

    // The loop of the process; there is one at a time.
    static MessageLoop& Current();
    static bool Exists();

    os::Clock& Clock() const { return clock_; }
    bool OnLoopThread() const { return std::this_thread::get_id() == thread_; }
    std::thread::id Thread() const { return thread_; }

    // Handles. A destroyed handle is never issued again.
    HWND AllocateHandle(MessageTarget* target);
    // The handle stops existing at once; messages still queued for it are dropped. If a
    // handler of this window is on the stack, its entry lives until that handler returns.
    void DestroyHandle(HWND handle);
    bool IsWindow(HWND handle) const;
    // Runs `release` once no handler of `handle` is on the stack (at once if none is).
    // For objects that destroy their own window from inside one of its handlers.
    void ReleaseAfterDispatch(HWND handle, std::function<void()> release);

    // Messages.
    bool PostMessage(HWND handle, UINT msg, WPARAM wparam = 0, LPARAM lparam = 0);
    void PostQuitMessage(int exit_code);
    LRESULT SendMessage(HWND handle, UINT msg, WPARAM wparam = 0, LPARAM lparam = 0);
    LRESULT Dispatch(HWND handle, TMessage& message);

    // Timers: WM_TIMER with the timer's id as WParam, every `interval_ms` (at least 1) on
    // the loop's clock. Setting an existing id restarts it.
    bool SetTimer(HWND handle, UINT_PTR id, UINT interval_ms);
    bool KillTimer(HWND handle, UINT_PTR id);

    // Work done when the queue is empty, before the loop sleeps (painting).
    using IdleId = std::uint64_t;
    IdleId AddIdleHandler(std::function<void()> handler);
    void RemoveIdleHandler(IdleId id);
    // The program's input and idle work (null for none); the loop does not own them.
    void SetTurnHooks(TurnHooks* hooks) { hooks_ = hooks; }
    // Sees every posted message before its window does and may change it; true keeps it
    // from the window (the application's OnMessage).
    using MessageFilter = std::function<bool(HWND handle, TMessage& message)>;
    void SetMessageFilter(MessageFilter filter);

    // Dispatches one pending message or due timer; false when there was none.
    bool ProcessOne();
    // Dispatches everything pending without waiting.
    void ProcessMessages();
    // Waits for and dispatches one message (idle work first). False once quit was posted.
    bool HandleMessage();
    // Runs until quit is posted; returns the exit code.
    int Run();
    // A nested loop: runs until `done` answers true or quit is posted (left pending for
    // the outer loop). Modal windows and the window move use it.
    void RunUntil(const std::function<bool()>& done);
    // Runs for `span` of the loop's clock: everything due within it is dispatched in time
    // order, including what falls exactly at its end. Returns early on quit.
    void RunFor(os::Nanos span);

    bool QuitPosted() const;
    int ExitCode() const;

private:
    struct Entry {
        MessageTarget* target = nullptr;
        int depth = 0;
        bool destroyed = false;
        std::vector<std::function<void()>> after_dispatch;
    };
    struct Posted {
        HWND handle;
        TMessage message;
    };
    struct Timer {
        HWND handle;
        UINT_PTR id;
        os::TimePoint due;
        UINT interval_ms;
        Entry* entry; // the window's, looked up once rather than at every tick
    };

    struct IdleHandler {
        IdleId id;
        std::function<void()> run;
        bool removed = false;
    };

    std::optional<os::TimePoint> EarliestDue() const;
    bool FireDueTimer();
    LRESULT DispatchTo(HWND handle, Entry& entry, TMessage& message);
    bool PopPosted(Posted& out);
    // The rare halves of the idle turn's steps, kept out of its code: a queue with messages,
    // the last handler of a window ending with work left for it, idle handlers removed.
    bool PopQueued(Posted& out);
    void LeftLast(HWND handle);
    void DropRemovedIdle();
    void RunIdle();
    void WaitForWork(std::optional<os::TimePoint> limit);

    os::Clock& clock_;
    os::EventWait& wait_;
    std::thread::id thread_;

    // Guards queue_, next_handle_, exit_code_ and changes to handles_: only the loop's thread
    // changes handles_, and it alone reads it without the lock.
    mutable std::mutex mutex_;
    std::unordered_map<HWND, Entry> handles_;
    std::deque<Posted> queue_;
    // Written under the mutex, read without it: the idle turn looks at them without locking.
    std::atomic<std::size_t> queued_{0}; // queue_.size()
    std::atomic<bool> quit_{false};
    HWND next_handle_ = 1;
    int exit_code_ = 0;

    // A window has a timer or two: a plain array, looked through, beats a tree.
    std::vector<Timer> timers_;
    std::optional<os::TimePoint> next_due_; // the earliest of timers_, kept as they change
    std::vector<std::unique_ptr<IdleHandler>> idle_;
    int idle_depth_ = 0;        // idle turns on the stack
    bool idle_removed_ = false; // an entry of idle_ waits to be dropped
    IdleId next_idle_ = 1;
    TurnHooks* hooks_ = nullptr;
    MessageFilter filter_;
};

// Shorthands for the current loop, named as the window system names them.
inline bool IsWindow(HWND h) {
    return MessageLoop::Exists() && MessageLoop::Current().IsWindow(h);
}
inline bool PostMessage(HWND h, UINT m, WPARAM w = 0, LPARAM l = 0) {
    return MessageLoop::Current().PostMessage(h, m, w, l);
}
inline LRESULT SendMessage(HWND h, UINT m, WPARAM w = 0, LPARAM l = 0) {
    return MessageLoop::Current().SendMessage(h, m, w, l);
}

// A hidden window whose messages go to a function: for objects that need a handle but
// are no control (the timer, the application). Destroys its handle with itself.
class HiddenWindow final : public MessageTarget {
public:
    explicit HiddenWindow(std::function<void(TMessage&)> proc);
    ~HiddenWindow();
    HiddenWindow(const HiddenWindow&) = delete;
    HiddenWindow& operator=(const HiddenWindow&) = delete;
    HWND Handle() const { return handle_; }
    void WndProc(TMessage& message) override;

private:
    std::function<void(TMessage&)> proc_;
    HWND handle_;
};

} // namespace fw
