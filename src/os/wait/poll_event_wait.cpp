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
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.fd = fd;
    if (epoll_ctl(epoll_fd_, EPOLL_CTL_ADD, fd, &ev) < 0 &&
        (errno != EEXIST || epoll_ctl(epoll_fd_, EPOLL_CTL_MOD, fd, &ev) < 0))
        throw std::runtime_error("cannot wait on descriptor " + std::to_string(fd) + ": errno " +
                                 std::to_string(errno));
    sources_.push_back(
        {fd, on_ready ? std::make_shared<std::function<void()>>(std::move(on_ready)) : nullptr});
}

void PollEventWait::RemoveSource(int fd) {
    // Fails harmlessly when the descriptor was closed first: closing removed it already.
    epoll_ctl(epoll_fd_, EPOLL_CTL_DEL, fd, nullptr);
    std::erase_if(sources_, [fd](const Source& s) { return s.fd == fd; });
}

void PollEventWait::SetBeforeSleep(std::function<void()> before_sleep) {
    before_sleep_ = std::move(before_sleep);
}

void PollEventWait::Wake() {
    const std::uint64_t one = 1;
    // A full counter already means a wake-up is pending, so a failed write loses nothing.
    [[maybe_unused]] ssize_t n = write(wake_fd_, &one, sizeof one);
}

void PollEventWait::Wait(std::optional<TimePoint> deadline) {
    if (before_sleep_) before_sleep_();
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
    // The handlers may change the sources: each one is looked up again before it runs.
    for (int i = 0; i < r; ++i) {
        const int fd = ready[i].data.fd;
        if (fd == wake_fd_) {
            std::uint64_t count;
            [[maybe_unused]] ssize_t n = read(wake_fd_, &count, sizeof count);
            continue;
        }
        const auto it = std::find_if(sources_.begin(), sources_.end(),
                                     [fd](const Source& s) { return s.fd == fd; });
        if (it == sources_.end() || !it->on_ready) continue;
        const auto on_ready = it->on_ready; // kept alive should it remove itself
        (*on_ready)();
    }
}

} // namespace os
