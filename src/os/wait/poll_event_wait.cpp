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

void PollEventWait::AddSource(int fd, std::function<void()> on_ready) {
    AddSource(fd, std::move(on_ready), {});
}

void PollEventWait::AddSource(int fd, std::function<void()> on_ready,
                              std::function<Interest()> interest) {
    sources_.push_back(
        {fd, on_ready ? std::make_shared<std::function<void()>>(std::move(on_ready)) : nullptr,
         std::move(interest)});
}

void PollEventWait::RemoveSource(int fd) {
    std::erase_if(sources_, [fd](const Source& s) { return s.fd == fd; });
}

void PollEventWait::Wake() {
    const std::uint64_t one = 1;
    // A full counter already means a wake-up is pending, so a failed write loses nothing.
    [[maybe_unused]] ssize_t n = write(wake_fd_, &one, sizeof one);
}

void PollEventWait::Wait(std::optional<TimePoint> deadline) {
    std::vector<pollfd> fds;
    fds.push_back({wake_fd_, POLLIN, 0});
    // The sources with a deadline of their own, by their place in `fds`.
    std::vector<std::pair<std::size_t, TimePoint>> timed;
    for (const Source& s : sources_) {
        short events = POLLIN;
        if (s.interest) {
            const Interest want = s.interest();
            if (want.events) events = want.events;
            if (want.deadline) {
                timed.emplace_back(fds.size(), *want.deadline);
                if (!deadline || *want.deadline < *deadline) deadline = want.deadline;
            }
        }
        fds.push_back({s.fd, events, 0});
    }
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
    if (r < 0) return;
    // A timed source is due when its deadline has passed: the poll's time-out was its own.
    if (!timed.empty()) {
        const TimePoint now = clock_.Monotonic();
        for (const auto& [i, due] : timed)
            if (due <= now) fds[i].revents |= POLLIN;
    }
    // The handlers may change the sources: each one is looked up again before it runs.
    for (std::size_t i = 1; i < fds.size(); ++i) {
        if (!fds[i].revents) continue;
        const auto it = std::find_if(sources_.begin(), sources_.end(),
                                     [&](const Source& s) { return s.fd == fds[i].fd; });
        if (it == sources_.end() || !it->on_ready) continue;
        const auto on_ready = it->on_ready; // kept alive should it remove itself
        (*on_ready)();
    }
}

} // namespace os
