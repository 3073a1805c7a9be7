// epoll-based wait with an eventfd for cross-thread wake-ups.
#include "os/wait/event_wait.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <iterator>
#include <stdexcept>
#include <string>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

namespace os {

PollEventWait::PollEventWait(const Clock& clock) : clock_(clock) {
    wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_fd_ < 0) throw std::runtime_error("eventfd failed: errno " + std::to_string(errno));
    epoll_fd_ = epoll_create1(EPOLL_CLOEXEC);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = wake_fd_;
    if (epoll_fd_ < 0 || epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, wake_fd_, &ev) < 0) {
        const int error = errno;
        if (epoll_fd_ >= 0) close(epoll_fd_);
        close(wake_fd_);
        throw std::runtime_error("epoll failed: errno " + std::to_string(error));
    }
}

PollEventWait::~PollEventWait() {
    close(epoll_fd_);
    close(wake_fd_);
}

void PollEventWait::AddSource(int fd, std::function<void()> on_ready) {
    AddSource(fd, std::move(on_ready), {});
}

void PollEventWait::AddSource(int fd, std::function<void()> on_ready,
                              std::function<Interest()> interest) {
    sources_.push_back(
        {fd, on_ready ? std::make_shared<std::function<void()>>(std::move(on_ready)) : nullptr,
         std::move(interest)});
    try {
        Watch(sources_.back(), EPOLLIN);
    } catch (...) {
        sources_.pop_back();
        throw;
    }
}

void PollEventWait::Watch(Source& source, std::uint32_t events) {
    if (source.registered == events) return;
    epoll_event ev{};
    ev.events = events;
    ev.data.fd = source.fd;
    const int op = source.registered ? EPOLL_CTL_MOD : EPOLL_CTL_ADD;
    if (epoll_ctl(epoll_fd_, op, source.fd, &ev) < 0 &&
        (op != EPOLL_CTL_ADD || errno != EEXIST ||
         epoll_ctl(epoll_fd_, EPOLL_CTL_MOD, source.fd, &ev) < 0))
        throw std::runtime_error("cannot wait on descriptor " + std::to_string(source.fd) +
                                 ": errno " + std::to_string(errno));
    source.registered = events;
}

void PollEventWait::RemoveSource(int fd) {
    // Fails harmlessly when the descriptor was closed first: closing removed it already.
    epoll_ctl(epoll_fd_, EPOLL_CTL_DEL, fd, nullptr);
    std::erase_if(sources_, [fd](const Source& s) { return s.fd == fd; });
}

void PollEventWait::Wake() {
    const std::uint64_t one = 1;
    // A full counter already means a wake-up is pending, so a failed write loses nothing.
    [[maybe_unused]] ssize_t n = write(wake_fd_, &one, sizeof one);
}

[[gnu::hot]] void PollEventWait::Wait(std::optional<TimePoint> deadline) {
    if (before_sleep_) before_sleep_->BeforeSleep();
    // Sources with time-outs of their own say what they wait for, and until when. Only
    // they are asked; the others' interest stays as the kernel holds it.
    timed_.clear(); // keeps its room: an idle turn allocates nothing
    for (Source& s : sources_) {
        if (!s.interest) continue;
        const Interest want = s.interest();
        // poll's bits and epoll's have the same values for reading, writing and priority.
        Watch(s, want.events ? static_cast<std::uint16_t>(want.events) : EPOLLIN);
        if (want.deadline) {
            timed_.emplace_back(s.fd, *want.deadline);
            if (!deadline || *want.deadline < *deadline) deadline = want.deadline;
        }
    }
    int timeout_ms = -1;
    if (deadline) {
        const auto left = *deadline - clock_.Monotonic();
        // Round up, so that a wait never returns just before its deadline.
        const auto ms = (left.count() + 999999) / 1000000;
        timeout_ms = static_cast<int>(std::clamp<long long>(ms, 0, 24 * 3600 * 1000));
    }
    epoll_event ready[8];
    int r;
    do {
        r = epoll_wait(epoll_fd_, ready, std::size(ready), timeout_ms);
    } while (r < 0 && errno == EINTR);
    if (r < 0) r = 0;
    // A time-out with no source of its own waiting for it: the common idle turn.
    if (r == 0 && timed_.empty()) return;
    RunReady(ready, r);
}

[[gnu::noinline]] void PollEventWait::RunReady(const epoll_event* ready, int r) {
    // This turn's deadlines are taken out of the member before any handler runs, since a
    // handler may wait again (a modal loop) and reuse it.
    std::vector<std::pair<int, TimePoint>> timed;
    timed.swap(timed_);
    // The handlers may change the sources: each one is looked up again before it runs.
    const auto run = [this](int fd) {
        const auto it = std::find_if(sources_.begin(), sources_.end(),
                                     [fd](const Source& s) { return s.fd == fd; });
        if (it == sources_.end() || !it->on_ready) return;
        const auto on_ready = it->on_ready; // kept alive should it remove itself
        (*on_ready)();
    };
    for (int i = 0; i < r; ++i) {
        const int fd = ready[i].data.fd;
        if (fd == wake_fd_) {
            std::uint64_t count;
            [[maybe_unused]] ssize_t n = read(wake_fd_, &count, sizeof count);
            continue;
        }
        run(fd);
    }
    // A timed source whose deadline, as it was given, has passed runs too, readable or not:
    // the wait's time-out was its own.
    const TimePoint now = timed.empty() ? TimePoint{} : clock_.Monotonic();
    for (const auto& entry : timed) {
        const int fd = entry.first;
        if (entry.second > now) continue;
        const bool ran =
            std::any_of(ready, ready + r, [fd](const epoll_event& e) { return e.data.fd == fd; });
        if (!ran) run(fd);
    }
    timed.clear();
    if (timed.capacity() > timed_.capacity()) timed.swap(timed_);
}

} // namespace os
