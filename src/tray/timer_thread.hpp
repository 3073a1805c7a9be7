// TTimerThread: the worker of a tray icon's animation. It pauses for the icon's interval
// and then hands the frame step to the user-interface thread as a message posted to the
// icon's hidden window, so the step never runs beside the icon's other work and a worker
// that has been detached never reaches the icon again. It frees itself when it ends.
#pragma once

#include "framework/message_loop.hpp"
#include "framework/thread.hpp"

#include <atomic>
#include <cstdint>
#include <mutex>

namespace tray {

class TTrayIcon;

// Posted to the tray icon's window for each frame step; WParam tells the worker apart.
inline constexpr fw::UINT WM_TRAYFRAMESTEP = fw::WM_USER + 0x54;

class TTimerThread : public fw::TThread {
public:
    // Create with fw::NewThread<TTimerThread>(icon, suspended) on the user-interface thread:
    // it takes the icon's window, interval and animation number there.
    TTimerThread(TTrayIcon* owner_icon, bool create_suspended);
    ~TTimerThread() override;

    // Terminated, or detached from its icon.
    bool WorkerStopped() const;

    // For the icon, on the user-interface thread, while the worker is its current one:
    // OwnerIcon := none (no step is posted from now on); a new interval for the next pause;
    // the step posted last has been handled (one step is in flight at most); resume, which
    // also starts the pause anew.
    void Detach();
    void SetInterval(std::uint16_t ms) { interval_ = ms; }
    void StepHandled() { step_pending_ = false; }
    void Resume();

protected:
    void Execute() override;

private:
    void PostStep();

    fw::MessageLoop& loop_;
    const fw::HWND window_;
    const fw::WPARAM animation_;
    mutable std::mutex owner_mutex_; // guards owner_icon_ against a step posted meanwhile
    TTrayIcon* owner_icon_;
    std::atomic<std::uint16_t> interval_;
    std::atomic<std::uint64_t> resumes_{0};
    std::atomic<bool> step_pending_{false};
};

} // namespace tray
