// Starts a program on the current X display and measures, from the moment it is started,
// when its first window is mapped and when that window first shows painted (non-uniform)
// pixels; then its resident and proportional memory once it has settled. One line of results
// per run, then a line with the program's five largest mappings by proportional memory (the
// pieces of one file added up).
//
//   first_frame SETTLE_MS COMMAND [ARGS...]
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

std::vector<Window> ClientList(Display* dpy) {
    const Atom list = XInternAtom(dpy, "_NET_CLIENT_LIST", False);
    Atom type;
    int format;
    unsigned long n = 0, after = 0;
    unsigned char* data = nullptr;
    std::vector<Window> out;
    if (XGetWindowProperty(dpy, DefaultRootWindow(dpy), list, 0, 1024, False, XA_WINDOW, &type,
                           &format, &n, &after, &data) == Success &&
        data) {
        auto* w = reinterpret_cast<Window*>(data);
        out.assign(w, w + n);
        XFree(data);
    }
    return out;
}

// Reads the window's pixels from the root, clipped to the screen: a window may reach past
// the screen's edge, and then XGetImage on the window itself fails.
bool Painted(Display* dpy, Window w) {
    XWindowAttributes a;
    if (!XGetWindowAttributes(dpy, w, &a) || a.map_state != IsViewable) return false;
    const Window root = DefaultRootWindow(dpy);
    XWindowAttributes r;
    XGetWindowAttributes(dpy, root, &r);
    int x = 0, y = 0;
    Window child;
    XTranslateCoordinates(dpy, w, root, 0, 0, &x, &y, &child);
    const int x0 = std::max(x, 0), y0 = std::max(y, 0);
    const int x1 = std::min(x + a.width, r.width), y1 = std::min(y + a.height, r.height);
    if (x1 <= x0 || y1 <= y0) return false;
    XImage* img = XGetImage(dpy, root, x0, y0, static_cast<unsigned>(x1 - x0),
                            static_cast<unsigned>(y1 - y0), AllPlanes, ZPixmap);
    if (!img) return false;
    const unsigned long first = XGetPixel(img, 0, 0);
    bool varied = false;
    for (int yy = 0; yy < y1 - y0 && !varied; yy += 2)
        for (int xx = 0; xx < x1 - x0 && !varied; xx += 2)
            varied = XGetPixel(img, xx, yy) != first;
    XDestroyImage(img);
    return varied;
}

long RssKiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return -1;
}

long PssKiB(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/smaps_rollup");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("Pss:", 0) == 0) return std::atol(line.c_str() + 4);
    return -1;
}

std::string LargestMappings(pid_t pid, std::size_t count) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/smaps");
    std::map<std::string, long> pss;
    std::string line, name;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string first;
        fields >> first;
        if (first.find('-') != std::string::npos && first.back() != ':') {
            // A mapping's header: range, permissions, offset, device, inode, then its name.
            std::string skip;
            for (int i = 0; i < 4; ++i)
                fields >> skip;
            name.clear();
            fields >> name;
            if (name.empty()) name = "[anonymous]";
            name = name.substr(name.rfind('/') + 1);
        } else if (first == "Pss:") {
            long kib = 0;
            fields >> kib;
            pss[name] += kib;
        }
    }
    std::vector<std::pair<long, std::string>> order;
    for (const auto& [n, kib] : pss)
        order.emplace_back(kib, n);
    std::sort(order.rbegin(), order.rend());
    std::string out;
    for (std::size_t i = 0; i < order.size() && i < count; ++i)
        out += (i ? " " : "") + order[i].second + "=" + std::to_string(order[i].first);
    return out;
}

int IgnoreErrors(Display*, XErrorEvent*) { return 0; }

} // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s SETTLE_MS COMMAND [ARGS...]\n", argv[0]);
        return 2;
    }
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fprintf(stderr, "cannot open display\n");
        return 1;
    }
    XSetErrorHandler(IgnoreErrors);
    const auto before = ClientList(dpy);
    const std::set<Window> old(before.begin(), before.end());
    using Clock = std::chrono::steady_clock;
    const auto t0 = Clock::now();
    pid_t pid;
    if (posix_spawnp(&pid, argv[2], nullptr, nullptr, argv + 2, environ) != 0) {
        std::fprintf(stderr, "cannot start %s\n", argv[2]);
        return 1;
    }
    double mapped_ms = -1, painted_ms = -1;
    Window win = 0;
    while (Clock::now() - t0 < std::chrono::seconds(20)) {
        if (!win)
            for (Window w : ClientList(dpy))
                if (!old.count(w)) win = w;
        if (win) {
            XWindowAttributes a;
            if (mapped_ms < 0 && XGetWindowAttributes(dpy, win, &a) && a.map_state == IsViewable)
                mapped_ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
            if (mapped_ms >= 0 && Painted(dpy, win)) {
                painted_ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
                break;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(argv[1])));
    const long rss = RssKiB(pid);
    const long pss = PssKiB(pid);
    const std::string largest = LargestMappings(pid, 5);
    kill(pid, SIGTERM);
    int status;
    waitpid(pid, &status, 0);
    XCloseDisplay(dpy);
    std::printf("program=%s mapped_ms=%.1f first_frame_ms=%.1f rss_kib=%ld pss_kib=%ld\n", argv[2],
                mapped_ms, painted_ms, rss, pss);
    std::printf("mappings program=%s pss_kib: %s\n", argv[2], largest.c_str());
    return painted_ms < 0 ? 1 : 0;
}
