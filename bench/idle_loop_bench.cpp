// Runs the real message loop for a number of seconds, with or without a 10 ms timer,
// and prints the CPU time the process used: an idle program must not spin. The mode
// "poll" is the floor to compare with: a bare loop that only sleeps in poll() until the next
// 10 ms mark, the least a program woken every 10 ms can cost on the machine. The mode "epoll"
// is the same bare loop sleeping in epoll_wait() on one eventfd, as the event wait sleeps: what
// the kernel's side of that wait adds to the floor.
#include "framework/message_loop.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>

namespace {
double CpuSeconds() {
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}
} // namespace

int BarePoll(double seconds, bool with_epoll) {
    const int efd = with_epoll ? epoll_create1(EPOLL_CLOEXEC) : -1;
    if (with_epoll) {
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (efd < 0 || ev.data.fd < 0 || epoll_ctl(efd, EPOLL_CTL_ADD, ev.data.fd, &ev) < 0) {
            std::perror("epoll");
            return 1;
        }
    }
    const double cpu0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    const auto end = t0 + std::chrono::duration<double>(seconds);
    long ticks = 0;
    // Every 10 ms by the clock, as a timer is: a plain poll(10) after each wake-up would drift
    // by the wake-up's own delay and wake less often than the timer it is the floor of. The
    // time-out is rounded up to whole milliseconds, as the event wait rounds its own.
    auto next = t0;
    for (auto now = t0; now < end; now = std::chrono::steady_clock::now()) {
        next += std::chrono::milliseconds(10);
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(next - now).count();
        const int ms = static_cast<int>(std::max<long long>(left, 0));
        if (with_epoll) {
            epoll_event ready[8];
            epoll_wait(efd, ready, 8, ms);
        } else {
            poll(nullptr, 0, ms);
        }
        ++ticks;
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    const double cpu = CpuSeconds() - cpu0;
    std::printf("mode=%s wall=%.2fs cpu=%.3fs share=%.3f%% ticks=%ld\n",
                with_epoll ? "epoll" : "poll", wall, cpu, 100.0 * cpu / wall, ticks);
    return 0;
}

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "timer") != 0 && std::strcmp(argv[1], "none") != 0 &&
                      std::strcmp(argv[1], "poll") != 0 && std::strcmp(argv[1], "epoll") != 0)) {
        std::fprintf(stderr, "usage: %s timer|none|poll|epoll SECONDS\n", argv[0]);
        return 2;
    }
    const double seconds = std::atof(argv[2]);
    if (std::strcmp(argv[1], "poll") == 0 || std::strcmp(argv[1], "epoll") == 0)
        return BarePoll(seconds, std::strcmp(argv[1], "epoll") == 0);
    const bool with_timer = std::strcmp(argv[1], "timer") == 0;
    os::RealClock clock;
    os::PollEventWait wait(clock);
    fw::MessageLoop loop(clock, wait);
    // The timer's window is a target of its own, as the program's timer component is.
    struct TickCounter final : fw::MessageTarget {
        long ticks = 0;
        [[gnu::hot]] void WndProc(fw::TMessage& m) override {
            if (m.Msg == fw::WM_TIMER) ++ticks;
        }
    } window;
    const auto handle = loop.AllocateHandle(&window);
    long& ticks = window.ticks;
    if (with_timer) loop.SetTimer(handle, 1, 10);
    const double cpu0 = CpuSeconds();
    const auto t0 = clock.Monotonic();
    loop.RunFor(std::chrono::duration_cast<os::Nanos>(std::chrono::duration<double>(seconds)));
    const double wall = std::chrono::duration<double>(clock.Monotonic() - t0).count();
    const double cpu = CpuSeconds() - cpu0;
    loop.DestroyHandle(handle);
    std::printf("mode=%s wall=%.2fs cpu=%.3fs share=%.3f%% ticks=%ld\n", argv[1], wall, cpu,
                100.0 * cpu / wall, ticks);
    return 0;
}
