// A worker thread object: created suspended or running, suspended and resumed (the
// thread stops at its next safe point, since the system cannot freeze a thread from
// outside), told to terminate, waited for, and optionally freeing itself when it ends.
#pragma once

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <utility>

namespace fw {

class TThread {
public:
    // The system thread starts only once the whole object exists: create threads with
    // NewThread<T>(...), which calls AfterConstruction, or call Resume yourself.
    explicit TThread(bool CreateSuspended);
    // Starts the thread unless it was created suspended.
    void AfterConstruction();
    // Terminates, resumes and waits for a thread that is still running. Called from the
    // thread itself (self-freeing), it only lets go of the system thread. By then the
    // derived part is gone: a class whose Execute uses its own members calls
    // TerminateAndWait in its destructor.
    virtual ~TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;

    // Starts a thread created suspended, or lets a suspended one go on.
    void Resume();
    // Asks the thread to stop at its next safe point (CheckSuspended or Sleep).
    void Suspend();
    bool Suspended() const;
    // Sets Terminated and wakes a sleeping or suspended thread so that it can see it.
    void Terminate();
    bool Terminated() const;
    // Blocks until Execute has returned or thrown; gives ReturnValue. Not for
    // self-freeing threads.
    int WaitFor();
    bool Finished() const;
    // What Execute threw, kept for the owner once the thread has finished; empty when it
    // returned normally. A self-freeing thread reports it on standard error instead.
    std::exception_ptr FatalException() const;
    // Terminate, let a suspended thread go on, and wait for it (not from the thread itself).
    void TerminateAndWait();

    // When true, the object deletes itself once Execute returns. Set it before Resume;
    // after that the owner must not touch the object.
    bool FreeOnTerminate = false;

protected:
    virtual void Execute() = 0;
    // A safe point: blocks here while suspended.
    void CheckSuspended();
    // Sleeps for `ms` milliseconds unless terminated first; honours suspension. Returns
    // false when woken by Terminate.
    bool Sleep(unsigned ms);
    int ReturnValue = 0;

private:
    void Run();

    mutable std::mutex mutex_;
    std::condition_variable cv_;
    std::thread thread_;
    bool started_ = false;
    bool suspended_;
    bool terminated_ = false;
    bool finished_ = false;
    bool create_suspended_;
    std::exception_ptr fatal_exception_;
};

template <class T, class... Args> T* NewThread(Args&&... args) {
    T* thread = new T(std::forward<Args>(args)...);
    thread->AfterConstruction();
    return thread;
}

} // namespace fw
