// Threads on std::thread; suspension is cooperative.
#include "framework/thread.hpp"

#include "framework/exception_guard.hpp"

namespace fw {

TThread::TThread(bool CreateSuspended)
    : suspended_(CreateSuspended), create_suspended_(CreateSuspended) {}

void TThread::AfterConstruction() {
    if (!create_suspended_) Resume();
}

TThread::~TThread() {
    if (!thread_.joinable()) return;
    if (thread_.get_id() == std::this_thread::get_id()) {
        thread_.detach();
        return;
    }
    TerminateAndWait();
    thread_.join();
}

void TThread::TerminateAndWait() {
    {
        std::lock_guard lock(mutex_);
        terminated_ = true;
        suspended_ = false;
        cv_.notify_all();
    }
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) WaitFor();
}

// Notifications are sent with the lock held: a self-freeing thread may delete the object
// as soon as the lock is released.
void TThread::Resume() {
    std::lock_guard lock(mutex_);
    suspended_ = false;
    if (!started_) {
        started_ = true;
        thread_ = std::thread([this] { Run(); });
    }
    cv_.notify_all();
}

void TThread::Suspend() {
    std::lock_guard lock(mutex_);
    suspended_ = true;
}

bool TThread::Suspended() const {
    std::lock_guard lock(mutex_);
    return suspended_;
}

void TThread::Terminate() {
    std::lock_guard lock(mutex_);
    terminated_ = true;
    cv_.notify_all();
}

bool TThread::Terminated() const {
    std::lock_guard lock(mutex_);
    return terminated_;
}

bool TThread::Finished() const {
    std::lock_guard lock(mutex_);
    return finished_;
}

int TThread::WaitFor() {
    std::unique_lock lock(mutex_);
    if (!started_) {
        // Never started: there is nothing to wait for.
        return ReturnValue;
    }
    cv_.wait(lock, [this] { return finished_; });
    return ReturnValue;
}

void TThread::CheckSuspended() {
    std::unique_lock lock(mutex_);
    cv_.wait(lock, [this] { return !suspended_ || terminated_; });
}

bool TThread::Sleep(unsigned ms) {
    std::unique_lock lock(mutex_);
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!terminated_) {
        if (suspended_) {
            cv_.wait(lock, [this] { return !suspended_ || terminated_; });
            continue;
        }
        if (cv_.wait_until(lock, until) == std::cv_status::timeout) break;
    }
    return !terminated_;
}

std::exception_ptr TThread::FatalException() const {
    std::lock_guard lock(mutex_);
    return fatal_exception_;
}

void TThread::Run() {
    std::exception_ptr error;
    // An exception leaving a thread's function would end the whole process.
    try {
        CheckSuspended();
        Execute();
    } catch (...) {
        error = std::current_exception();
    }
    bool free_self;
    {
        std::lock_guard lock(mutex_);
        finished_ = true;
        fatal_exception_ = error;
        free_self = FreeOnTerminate;
        cv_.notify_all();
    }
    if (!free_self) return;
    // No owner is left to look at it.
    if (error) PrintException(error);
    delete this;
}

} // namespace fw
