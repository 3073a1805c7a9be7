// poll()-based wait with an eventfd for cross-thread wake-ups.
#include "os/wait/event_wait.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/eventfd.h>
#include <unistd.h>

namespace os {

PollEventWait::PollEventWait(const Clock& clock) : clock_(clock) {
    wake_fd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (wake_fd_ < 0) throw std::runtime_error("eventfd failed: errno " + std::to_string(errno));
}

PollEventWait::~PollEventWait() {
    if (wake_fd_ >= 0) close(wake_fd_);
}

void PollEventWait::AddSource(int fd) {
    sources_.push_back(fd);
}

void PollEventWait::RemoveSource(int fd) {
    std::erase(sources_, fd);
}

void PollEventWait::Wake() {
    const std::uint64_t one = 1;
    // A full counter already means a wake-up is pending, so a failed write loses nothing.
    [[maybe_unused]] ssize_t n = write(wake_fd_, &one, sizeof one);
}

void PollEventWait::Wait(std::optional<TimePoint> deadline) {
    std::vector<pollfd> fds;
    fds.push_back({wake_fd_, POLLIN, 0});
    for (int fd : sources_)
        fds.push_back({fd, POLLIN, 0});
    int timeout_ms = -1;
    if (deadline) {
        const auto left = *deadline - clock_.Monotonic();
        // Round up, so that a wait never returns just before its deadline.
        const auto ms = (left.count() + 999999) / 1000000;
        timeout_ms = static_cast<int>(std::clamp<long long>(ms, 0, 24 * 3600 * 1000));
    }
    int r;
    do {
        r = poll(fds.data(), fds.size(), timeout_ms);
    } while (r < 0 && errno == EINTR);
    if (r > 0 && (fds[0].revents & POLLIN)) {
        std::uint64_t count;
        [[maybe_unused]] ssize_t n = read(wake_fd_, &count, sizeof count);
    }
}

} // namespace os
