// The animation worker: pause, then post the frame step.
#include "tray/timer_thread.hpp"

#include "tray/tray_icon.hpp"

#include <thread>

namespace tray {

TTimerThread::TTimerThread(TTrayIcon* owner_icon, bool create_suspended)
    : fw::TThread(create_suspended), loop_(fw::MessageLoop::Current()),
      window_(owner_icon ? owner_icon->WindowHandle() : 0),
      animation_(owner_icon ? owner_icon->AnimationNumber() : 0), owner_icon_(owner_icon),
      interval_(owner_icon ? owner_icon->Interval() : 150) {
    FreeOnTerminate = true;
}

TTimerThread::~TTimerThread() = default;

bool TTimerThread::WorkerStopped() const {
    if (Terminated()) return true;
    std::lock_guard lock(owner_mutex_);
    return owner_icon_ == nullptr;
}

void TTimerThread::Detach() {
    std::lock_guard lock(owner_mutex_);
    owner_icon_ = nullptr;
}

void TTimerThread::Resume() {
    ++resumes_;
    fw::TThread::Resume();
}

void TTimerThread::PostStep() {
    std::lock_guard lock(owner_mutex_);
    if (!owner_icon_ || step_pending_) return;
    step_pending_ = true;
    if (!loop_.PostMessage(window_, WM_TRAYFRAMESTEP, animation_)) step_pending_ = false;
}

void TTimerThread::Execute() {
    while (!Terminated()) {
        const std::uint64_t resumes = resumes_;
        const unsigned ms = interval_;
        if (ms == 0) std::this_thread::yield();
        // Sleep honours a suspension and ends early on termination.
        if (!Sleep(ms)) break;
        // Resumed during the pause: the icon has just been shown, the pause starts again.
        if (resumes_ != resumes) continue;
        if (!WorkerStopped()) PostStep();
    }
}

} // namespace tray
