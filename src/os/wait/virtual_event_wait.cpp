// The wait of the simulated platform: time jumps, callbacks run, nothing sleeps unless
// only another thread can bring work.
#include "os/wait/event_wait.hpp"

namespace os {

void VirtualEventWait::Wake() {
    {
        std::lock_guard lock(mutex_);
        woken_ = true;
    }
    cv_.notify_all();
}

void VirtualEventWait::Wait(std::optional<TimePoint> deadline) {
    for (;;) {
        {
            std::unique_lock lock(mutex_);
            if (woken_) {
                woken_ = false;
                return;
            }
        }
        const auto next = clock_.NextScheduled();
        if (next && (!deadline || *next <= *deadline)) {
            // The callback runs unlocked: it usually posts a message, which wakes us.
            clock_.RunNext(*next);
            continue;
        }
        if (deadline) {
            clock_.AdvanceTo(*deadline);
            return;
        }
        std::unique_lock lock(mutex_);
        cv_.wait(lock, [this] { return woken_; });
        woken_ = false;
        return;
    }
}

} // namespace os
