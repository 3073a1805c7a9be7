// The message loop. Posted messages come first, in order; timers are generated when the
// queue is empty, like the platform's low-priority WM_TIMER; idle work runs before sleeping.
//
// [[gnu::hot]], here and elsewhere, marks the code that every turn of an idle program runs
// (the 10 ms timer, the looks for input and paint, the wait): the linker puts it together,
// so that a turn brings back a few pages of code after its sleep rather than one a function.
#include "framework/message_loop.hpp"

#include <algorithm>
#include <cassert>
#include <stdexcept>
#include <tuple>

namespace fw {

namespace {
MessageLoop* g_current = nullptr;
}

MessageLoop::MessageLoop(os::Clock& clock, os::EventWait& wait)
    : clock_(clock), wait_(wait), thread_(std::this_thread::get_id()) {
    if (g_current) throw std::logic_error("a message loop exists already");
    g_current = this;
    // Room for a program's few timers, allocated with the loop rather than at the first timer,
    // so that it tends to sit beside it: every turn of an idle program reads both, and a page
    // less to bring back after each sleep counts.
    timers_.reserve(8);
}

MessageLoop::~MessageLoop() {
    g_current = nullptr;
}

MessageLoop& MessageLoop::Current() {
    if (!g_current) throw std::logic_error("no message loop");
    return *g_current;
}

bool MessageLoop::Exists() {
    return g_current != nullptr;
}

HWND MessageLoop::AllocateHandle(MessageTarget* target) {
    assert(OnLoopThread());
    std::lock_guard lock(mutex_);
    const HWND h = next_handle_++;
    handles_[h].target = target;
    return h;
}

void MessageLoop::DestroyHandle(HWND handle) {
    assert(OnLoopThread());
    std::vector<std::function<void()>> run_now;
    {
        std::lock_guard lock(mutex_);
        auto it = handles_.find(handle);
        if (it == handles_.end() || it->second.destroyed) return;
        it->second.destroyed = true;
        it->second.target = nullptr;
        if (it->second.depth == 0) {
            run_now = std::move(it->second.after_dispatch);
            handles_.erase(it);
        }
    }
    std::erase_if(timers_, [handle](const Timer& t) { return t.handle == handle; });
    next_due_ = EarliestDue();
    for (auto& fn : run_now)
        fn();
}

bool MessageLoop::IsWindow(HWND handle) const {
    std::lock_guard lock(mutex_);
    auto it = handles_.find(handle);
    return it != handles_.end() && !it->second.destroyed;
}

void MessageLoop::ReleaseAfterDispatch(HWND handle, std::function<void()> release) {
    {
        std::lock_guard lock(mutex_);
        auto it = handles_.find(handle);
        if (it != handles_.end() && it->second.depth > 0) {
            it->second.after_dispatch.push_back(std::move(release));
            return;
        }
    }
    release();
}

bool MessageLoop::PostMessage(HWND handle, UINT msg, WPARAM wparam, LPARAM lparam) {
    {
        std::lock_guard lock(mutex_);
        auto it = handles_.find(handle);
        if (it == handles_.end() || it->second.destroyed) return false;
        queue_.push_back({handle, {msg, wparam, lparam, 0}});
        queued_.store(queue_.size(), std::memory_order_release);
    }
    wait_.Wake();
    return true;
}

void MessageLoop::PostQuitMessage(int exit_code) {
    {
        std::lock_guard lock(mutex_);
        if (!quit_.load(std::memory_order_relaxed)) exit_code_ = exit_code;
        quit_.store(true, std::memory_order_release);
    }
    wait_.Wake();
}

bool MessageLoop::QuitPosted() const {
    return quit_.load(std::memory_order_acquire);
}

int MessageLoop::ExitCode() const {
    std::lock_guard lock(mutex_);
    return exit_code_;
}

LRESULT MessageLoop::SendMessage(HWND handle, UINT msg, WPARAM wparam, LPARAM lparam) {
    assert(OnLoopThread());
    TMessage m{msg, wparam, lparam, 0};
    return Dispatch(handle, m);
}

LRESULT MessageLoop::Dispatch(HWND handle, TMessage& message) {
    // Only this thread changes the table of handles, so it reads it without the lock; the
    // lock is for its changes, which other threads' looks must not see half done. An entry's
    // depth and deferred work are this thread's alone.
    assert(OnLoopThread());
    auto found = handles_.find(handle);
    if (found == handles_.end() || found->second.destroyed) return 0;
    return DispatchTo(handle, found->second, message);
}

[[gnu::hot]] LRESULT MessageLoop::DispatchTo(HWND handle, Entry& entry, TMessage& message) {
    // While its depth is above zero the entry stays in the table, at the same address.
    ++entry.depth;
    struct Leave {
        MessageLoop* loop;
        HWND handle;
        Entry& entry;
        [[gnu::hot]] ~Leave() {
            if (--entry.depth == 0 && (entry.destroyed || !entry.after_dispatch.empty()))
                loop->LeftLast(handle);
        }
    } leave{this, handle, entry};
    entry.target->WndProc(message);
    return message.Result;
}

[[gnu::noinline]] void MessageLoop::LeftLast(HWND handle) {
    auto it = handles_.find(handle);
    const auto run_now = std::move(it->second.after_dispatch);
    if (it->second.destroyed) {
        std::lock_guard lock(mutex_);
        handles_.erase(it);
    }
    for (auto& fn : run_now)
        fn();
}

bool MessageLoop::SetTimer(HWND handle, UINT_PTR id, UINT interval_ms) {
    if (!IsWindow(handle)) return false;
    interval_ms = std::max<UINT>(interval_ms, 1);
    // Entries of the table keep their address until erased, and erasing the window's entry
    // drops its timers first.
    const Timer timer{handle, id, clock_.Monotonic() + std::chrono::milliseconds(interval_ms),
                      interval_ms, &handles_.find(handle)->second};
    const auto it = std::find_if(timers_.begin(), timers_.end(),
                                 [&](const Timer& t) { return t.handle == handle && t.id == id; });
    if (it != timers_.end())
        *it = timer;
    else
        timers_.push_back(timer);
    next_due_ = EarliestDue();
    return true;
}

bool MessageLoop::KillTimer(HWND handle, UINT_PTR id) {
    const bool killed = std::erase_if(timers_, [&](const Timer& t) {
                            return t.handle == handle && t.id == id;
                        }) > 0;
    next_due_ = EarliestDue();
    return killed;
}

std::optional<os::TimePoint> MessageLoop::EarliestDue() const {
    std::optional<os::TimePoint> next;
    for (const Timer& t : timers_)
        if (!next || t.due < *next) next = t.due;
    return next;
}

[[gnu::hot]] bool MessageLoop::FireDueTimer() {
    // Every look at the queue asks this: without a timer due, it reads the clock only.
    if (!next_due_) return false;
    const auto now = clock_.Monotonic();
    if (now < *next_due_) return false;
    // The earliest due; of timers due at once, that of the lowest window and id.
    const auto earlier = [](const Timer& a, const Timer& b) {
        return std::tie(a.due, a.handle, a.id) < std::tie(b.due, b.handle, b.id);
    };
    Timer* best = nullptr;
    for (Timer& t : timers_)
        if (t.due <= now && (!best || earlier(t, *best))) best = &t;
    if (!best) return false;
    const HWND handle = best->handle;
    Entry& entry = *best->entry;
    const UINT_PTR id = best->id;
    const auto interval = std::chrono::milliseconds(best->interval_ms);
    // Keep the cadence; a real clock that fell behind skips the missed ticks instead of
    // delivering a burst.
    auto next = best->due + interval;
    if (next <= now) next = now + interval;
    best->due = next;
    next_due_ = EarliestDue();
    TMessage m{WM_TIMER, id, 0, 0};
    DispatchTo(handle, entry, m);
    return true;
}

[[gnu::hot]] bool MessageLoop::PopPosted(Posted& out) {
    // Nothing posted, the common case of every idle turn: no lock.
    if (queued_.load(std::memory_order_acquire) == 0) return false;
    return PopQueued(out);
}

[[gnu::noinline]] bool MessageLoop::PopQueued(Posted& out) {
    std::lock_guard lock(mutex_);
    while (!queue_.empty()) {
        out = queue_.front();
        queue_.pop_front();
        queued_.store(queue_.size(), std::memory_order_release);
        auto it = handles_.find(out.handle);
        if (it != handles_.end() && !it->second.destroyed) return true;
    }
    return false;
}

[[gnu::hot]] bool MessageLoop::ProcessOne() {
    if (hooks_ && hooks_->PumpInput()) return true;
    Posted p;
    if (PopPosted(p)) {
        if (!filter_ || !filter_(p.handle, p.message)) Dispatch(p.handle, p.message);
        return true;
    }
    return FireDueTimer();
}

void MessageLoop::ProcessMessages() {
    while (!QuitPosted() && ProcessOne()) {
    }
}

MessageLoop::IdleId MessageLoop::AddIdleHandler(std::function<void()> handler) {
    const IdleId id = next_idle_++;
    idle_.push_back(std::make_unique<IdleHandler>(IdleHandler{id, std::move(handler)}));
    return id;
}

void MessageLoop::RemoveIdleHandler(IdleId id) {
    for (auto& h : idle_)
        if (h->id == id) h->removed = true;
    // While handlers run, the entries stay where they are; the outermost turn drops them.
    idle_removed_ = true;
    if (idle_depth_ == 0) DropRemovedIdle();
}

[[gnu::noinline]] void MessageLoop::DropRemovedIdle() {
    std::erase_if(idle_, [](const auto& h) { return h->removed; });
    idle_removed_ = false;
}

void MessageLoop::SetMessageFilter(MessageFilter filter) {
    filter_ = std::move(filter);
}

[[gnu::hot]] void MessageLoop::RunIdle() {
    // A handler may add or remove handlers, or run a nested loop that comes back here. Each
    // handler lives on the heap and stays in place until the outermost turn ends, so the
    // list is walked by index without a copy; one added during a turn waits for the next.
    ++idle_depth_;
    struct Leave {
        MessageLoop* loop;
        [[gnu::hot]] ~Leave() {
            if (--loop->idle_depth_ == 0 && loop->idle_removed_) loop->DropRemovedIdle();
        }
    } leave{this};
    if (hooks_) hooks_->Idle();
    const std::size_t count = idle_.size();
    for (std::size_t i = 0; i < count; ++i)
        if (IdleHandler& h = *idle_[i]; !h.removed) h.run();
}

[[gnu::hot]] void MessageLoop::WaitForWork(std::optional<os::TimePoint> limit) {
    auto deadline = next_due_;
    if (limit && (!deadline || *limit < *deadline)) deadline = limit;
    // A post that comes after this look also wakes the wait.
    if (queued_.load(std::memory_order_acquire) != 0 || QuitPosted()) return;
    wait_.Wait(deadline);
}

[[gnu::hot]] bool MessageLoop::HandleMessage() {
    while (!QuitPosted()) {
        if (ProcessOne()) return true;
        RunIdle();
        if (ProcessOne()) return true;
        WaitForWork(std::nullopt);
    }
    return false;
}

int MessageLoop::Run() {
    while (HandleMessage()) {
    }
    return ExitCode();
}

void MessageLoop::RunUntil(const std::function<bool()>& done) {
    while (!done() && !QuitPosted()) {
        if (ProcessOne()) continue;
        RunIdle();
        if (done()) break;
        if (ProcessOne()) continue;
        WaitForWork(std::nullopt);
    }
}

[[gnu::hot]] void MessageLoop::RunFor(os::Nanos span) {
    const auto end = clock_.Monotonic() + span;
    while (!QuitPosted()) {
        if (ProcessOne()) continue;
        RunIdle();
        if (ProcessOne()) continue;
        if (clock_.Monotonic() >= end) break;
        WaitForWork(end);
    }
}

HiddenWindow::HiddenWindow(std::function<void(TMessage&)> proc)
    : proc_(std::move(proc)), handle_(MessageLoop::Current().AllocateHandle(this)) {}

HiddenWindow::~HiddenWindow() {
    if (MessageLoop::Exists()) MessageLoop::Current().DestroyHandle(handle_);
}

void HiddenWindow::WndProc(TMessage& message) {
    proc_(message);
}

} // namespace fw
