// Starting and stopping the test desktop's processes.
//
// Readiness is read from the X server itself rather than from helper commands run in a
// loop: a part counts as started when it has done, on the server, what the tests rely on.
#include "desktop.hpp"

#include "e2e_support.hpp"
#include "x11_query.hpp"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace e2e {

namespace {

using Clock = std::chrono::steady_clock;

// Generous, because only a start that fails waits this long; two busy cores have made
// trayer take over a second.
constexpr std::chrono::seconds kStartLimit{20};
constexpr std::chrono::milliseconds kPollStep{10};

const char* kOpenboxRc = R"(<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <focus><focusNew>yes</focusNew><followMouse>no</followMouse></focus>
  <placement><policy>Smart</policy></placement>
  <desktops><number>1</number></desktops>
  <keyboard></keyboard>
  <mouse></mouse>
</openbox_config>
)";

std::string Hex(unsigned long v) {
    std::ostringstream out;
    out << "0x" << std::hex << v;
    return out.str();
}

// waitpid that survives signals arriving meanwhile.
pid_t Collect(pid_t pid, int* status, int flags) {
    pid_t r;
    do
        r = waitpid(pid, status, flags);
    while (r < 0 && errno == EINTR);
    return r;
}

std::string LogTail(const std::filesystem::path& path, std::size_t lines) {
    std::ifstream in(path);
    std::deque<std::string> last;
    std::string line;
    while (std::getline(in, line)) {
        last.push_back(line);
        if (last.size() > lines) last.pop_front();
    }
    std::string out =
        "--- " + path.filename().string() + " (last " + std::to_string(lines) + " lines) ---\n";
    if (last.empty()) out += "(empty)\n";
    for (const auto& l : last)
        out += l + "\n";
    return out;
}

struct DisplayCloser {
    void operator()(::Display* d) const { XCloseDisplay(d); }
};
using Connection = std::unique_ptr<::Display, DisplayCloser>;

Window WindowProperty(::Display* dpy, Window w, Atom name) {
    const auto v = Property32(dpy, w, name, XA_WINDOW);
    return v.empty() ? None : v[0];
}

std::string Utf8Property(::Display* dpy, Window w, Atom name) {
    Atom actual = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string out;
    const Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
    if (XGetWindowProperty(dpy, w, name, 0, 1024, False, utf8, &actual, &format, &count, &after,
                           &data) == Success &&
        data && actual == utf8 && format == 8)
        out.assign(reinterpret_cast<const char*>(data), count);
    if (data) XFree(data);
    return out;
}

// Knows when openbox handles requests. openbox names itself on the root window
// (_NET_SUPPORTING_WM_CHECK) before its event loop runs, and requests that reach it in
// between can be lost: a tray panel mapped then stayed unmapped for good. An answer to a
// request of our own is the sign that the loop runs; the request is sent again until
// answered because it can be lost in the same way.
class WindowManagerProbe {
public:
    explicit WindowManagerProbe(::Display* dpy)
        : dpy_(dpy), root_(DefaultRootWindow(dpy)),
          check_(XInternAtom(dpy, "_NET_SUPPORTING_WM_CHECK", False)),
          name_(XInternAtom(dpy, "_NET_WM_NAME", False)),
          request_(XInternAtom(dpy, "_NET_REQUEST_FRAME_EXTENTS", False)),
          extents_(XInternAtom(dpy, "_NET_FRAME_EXTENTS", False)),
          window_(XCreateSimpleWindow(dpy, root_, 0, 0, 16, 16, 0, 0, 0)) {}
    ~WindowManagerProbe() { XDestroyWindow(dpy_, window_); }
    WindowManagerProbe(const WindowManagerProbe&) = delete;
    WindowManagerProbe& operator=(const WindowManagerProbe&) = delete;

    bool Ready(std::string& seen) {
        const Window check = WindowProperty(dpy_, root_, check_);
        if (check == None) {
            seen = "no _NET_SUPPORTING_WM_CHECK on the root window";
            return false;
        }
        // A stale property may name a window that is gone or not the manager's own.
        const std::string name = Utf8Property(dpy_, check, name_);
        if (WindowProperty(dpy_, check, check_) != check || name.empty()) {
            seen = "_NET_SUPPORTING_WM_CHECK names " + Hex(check) +
                   ", which does not point to itself with a _NET_WM_NAME";
            return false;
        }
        if (Property32(dpy_, window_, extents_, XA_CARDINAL).size() == 4) return true;
        const auto now = Clock::now();
        if (now - sent_ >= std::chrono::milliseconds(100)) {
            XEvent e{};
            e.xclient.type = ClientMessage;
            e.xclient.window = window_;
            e.xclient.message_type = request_;
            e.xclient.format = 32;
            XSendEvent(dpy_, root_, False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
            XFlush(dpy_);
            sent_ = now;
        }
        seen = "window manager \"" + name +
               "\" has not yet answered _NET_REQUEST_FRAME_EXTENTS with _NET_FRAME_EXTENTS";
        return false;
    }

private:
    ::Display* dpy_;
    Window root_;
    Atom check_, name_, request_, extents_;
    Window window_;
    Clock::time_point sent_{};
};

// The tray host is up when it owns the tray selection of the screen and the window manager
// shows its panel; an icon docked into a panel that is not shown is not seen either.
bool TrayHostReady(::Display* dpy, pid_t host, std::string& seen) {
    const std::string selection = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(dpy));
    const Window owner = XGetSelectionOwner(dpy, XInternAtom(dpy, selection.c_str(), False));
    if (owner == None) {
        seen = "no owner of " + selection;
        return false;
    }
    const Atom pid_atom = XInternAtom(dpy, "_NET_WM_PID", False);
    const auto clients = Property32(dpy, DefaultRootWindow(dpy),
                                    XInternAtom(dpy, "_NET_CLIENT_LIST", False), XA_WINDOW);
    for (const unsigned long client : clients) {
        const auto pid = Property32(dpy, client, pid_atom, XA_CARDINAL);
        if (!pid.empty() && static_cast<pid_t>(pid[0]) == host && Viewable(dpy, client))
            return true;
    }
    seen = selection + " is owned by " + Hex(owner) + ", but none of the " +
           std::to_string(clients.size()) +
           " windows in _NET_CLIENT_LIST is a viewable panel of process " + std::to_string(host);
    return false;
}

} // namespace

Desktop& Desktop::Get() {
    // Destroyed at exit, which stops the processes.
    static std::unique_ptr<Desktop> desktop;
    static std::string failure;
    if (!desktop) {
        if (!failure.empty())
            throw std::runtime_error("the test desktop failed to start: " + failure);
        try {
            desktop = StartOwn("");
        } catch (const std::exception& e) {
            failure = e.what();
            throw;
        }
    }
    return *desktop;
}

std::unique_ptr<Desktop> Desktop::StartOwn(const std::string& name, const WindowManagerHook& hook) {
    // A failed start throws from here, and the destructor stops what did start.
    std::unique_ptr<Desktop> d(new Desktop(name));
    d->Start(hook);
    return d;
}

Desktop::Desktop(const std::string& name) {
    namespace fs = std::filesystem;
    const fs::path base = fs::path(MIRELO_BINARY_DIR) / "e2e-scratch" /
                          (std::to_string(getpid()) + (name.empty() ? "" : "-" + name));
    fs::remove_all(base);
    for (const char* sub : {"home", "cache", "config", "runtime"})
        fs::create_directories(base / sub);
    fs::permissions(base / "runtime", fs::perms::owner_all, fs::perm_options::replace);
    scratch_ = base.string();
    std::ofstream(base / "openbox-rc.xml") << kOpenboxRc;
}

std::vector<std::string> Desktop::Environment() const {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        const std::string v = *e;
        bool dropped = false;
        for (const char* drop : {"DISPLAY=", "HOME=", "XDG_CACHE_HOME=", "XDG_CONFIG_HOME=",
                                 "XDG_RUNTIME_DIR=", "WAYLAND_DISPLAY="})
            dropped = dropped || v.rfind(drop, 0) == 0;
        if (!dropped) env.push_back(v);
    }
    env.push_back("DISPLAY=" + display_);
    env.push_back("HOME=" + scratch_ + "/home");
    env.push_back("XDG_CACHE_HOME=" + scratch_ + "/cache");
    env.push_back("XDG_CONFIG_HOME=" + scratch_ + "/config");
    env.push_back("XDG_RUNTIME_DIR=" + scratch_ + "/runtime");
    return env;
}

pid_t Desktop::Spawn(const std::vector<std::string>& argv) {
    if (argv.empty()) throw std::invalid_argument("Spawn needs a program");
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const auto env_strings = Environment();
    std::vector<char*> env;
    for (const auto& e : env_strings)
        env.push_back(const_cast<char*>(e.c_str()));
    env.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string log =
        scratch_ + "/" + std::filesystem::path(argv[0]).filename().string() + ".log";
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = 0;
    const int rc = posix_spawnp(&pid, argv[0].c_str(), &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
    pids_.push_back(pid);
    return pid;
}

int Desktop::Stop(pid_t pid) {
    // Only our own children: a pid collected earlier may belong to someone else by now.
    if (std::find(pids_.begin(), pids_.end(), pid) == pids_.end()) return -1;
    std::erase(pids_, pid);
    int status = 0;
    // Not yet collected, so the pid is still ours even when the process has ended.
    kill(pid, SIGTERM);
    const auto end = Clock::now() + std::chrono::seconds(3);
    while (Clock::now() < end) {
        if (Collect(pid, &status, WNOHANG) == pid) return status;
        std::this_thread::sleep_for(kPollStep);
    }
    kill(pid, SIGKILL);
    return Collect(pid, &status, 0) == pid ? status : -1;
}

std::string Desktop::Run(const std::string& command) const {
    std::string prefix;
    for (const auto& e : Environment())
        if (e.rfind("DISPLAY=", 0) == 0 || e.rfind("HOME=", 0) == 0 || e.rfind("XDG_", 0) == 0)
            prefix += e.substr(0, e.find('=') + 1) + ShellQuote(e.substr(e.find('=') + 1)) + " ";
    return RunShell(prefix, command);
}

std::pair<int, int> Desktop::WindowOrigin(const std::string& window) const {
    const std::string info = Run("xwininfo -id " + window);
    int x = 0, y = 0;
    std::sscanf(info.c_str() + info.find("Absolute upper-left X:"), "Absolute upper-left X: %d",
                &x);
    std::sscanf(info.c_str() + info.find("Absolute upper-left Y:"), "Absolute upper-left Y: %d",
                &y);
    return {x, y};
}

bool Desktop::WaitFor(const std::string& command, double seconds) const {
    return WaitForCommand(*this, command, seconds);
}

std::string Desktop::LogTails() const {
    std::vector<std::filesystem::path> logs;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(scratch_, ec))
        if (entry.path().extension() == ".log") logs.push_back(entry.path());
    std::sort(logs.begin(), logs.end());
    std::string out;
    for (const auto& log : logs)
        out += LogTail(log, 15);
    return out;
}

void Desktop::Start(const WindowManagerHook& hook) {
    // Xvfb picks a free display itself and writes its number to a pipe once it listens.
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0)
        throw std::runtime_error(std::string("pipe failed: ") + std::strerror(errno));
    const std::string fd = std::to_string(fds[1]);
    pid_t xvfb = 0;
    {
        std::vector<std::string> argv = {"Xvfb",        "-displayfd", fd,    "-screen", "0",
                                         "1024x768x24", "-nolisten",  "tcp", "-noreset"};
        std::vector<char*> args;
        for (auto& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        // Duplicating onto itself clears close-on-exec for Xvfb alone.
        posix_spawn_file_actions_adddup2(&actions, fds[1], fds[1]);
        const std::string log = scratch_ + "/Xvfb.log";
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        const int rc = posix_spawnp(&xvfb, "Xvfb", &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (rc != 0) {
            close(fds[0]);
            throw std::runtime_error(std::string("cannot start Xvfb: ") + std::strerror(rc));
        }
        pids_.push_back(xvfb);
    }
    std::string number;
    bool line_done = false;
    const auto xvfb_end = Clock::now() + kStartLimit;
    while (!line_done && Clock::now() < xvfb_end) {
        pollfd p{fds[0], POLLIN, 0};
        const int ready = poll(&p, 1, 100);
        if (ready < 0 && errno != EINTR) break;
        if (ready <= 0) continue;
        char c;
        const ssize_t n = read(fds[0], &c, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n != 1) break; // Xvfb closed the pipe without a number: it has ended.
        if (c == '\n')
            line_done = true;
        else
            number += c;
    }
    close(fds[0]);
    if (!line_done || number.empty())
        throw std::runtime_error("Xvfb did not report its display number within " +
                                 std::to_string(kStartLimit.count()) + " s\n" + LogTails());
    display_ = ":" + number;

    XErrorsIgnored ignore_errors; // outlives the connection, whose closing syncs
    Connection x(XOpenDisplay(display_.c_str()));
    if (!x)
        throw std::runtime_error("Xvfb reported display " + display_ +
                                 " but it does not accept a connection\n" + LogTails());

    // Polls `ready` until it holds; fails with what was seen last when time runs out or
    // when one of the desktop's processes has ended.
    const auto wait_until = [&](const std::string& part, const std::string& what,
                                const std::function<bool(std::string&)>& ready) {
        const auto end = Clock::now() + kStartLimit;
        std::string seen;
        for (;;) {
            if (ready(seen)) return;
            for (const pid_t pid : pids_) {
                int status = 0;
                if (Collect(pid, &status, WNOHANG) == pid) {
                    std::erase(pids_, pid);
                    throw std::runtime_error(
                        part + " did not start: process " + std::to_string(pid) + " ended (" +
                        DescribeStatus(status) + ") while waiting for " + what + " on " + display_ +
                        "; last seen: " + seen + "\n" + LogTails());
                }
            }
            if (Clock::now() >= end)
                throw std::runtime_error(part + " did not start within " +
                                         std::to_string(kStartLimit.count()) + " s: waited for " +
                                         what + " on " + display_ + "; last seen: " + seen + "\n" +
                                         LogTails());
            std::this_thread::sleep_for(kPollStep);
        }
    };

    const pid_t openbox = Spawn({"openbox", "--config-file", scratch_ + "/openbox-rc.xml"});
    if (hook) hook(*this, openbox);
    {
        WindowManagerProbe probe(x.get());
        wait_until("openbox", "the window manager to answer a request",
                   [&](std::string& seen) { return probe.Ready(seen); });
    }

    const pid_t trayer = Spawn(TrayerCommand());
    wait_until("trayer", "an owner of the tray selection and trayer's panel shown",
               [&](std::string& seen) { return TrayHostReady(x.get(), trayer, seen); });
}

Desktop::~Desktop() {
    while (!pids_.empty())
        Stop(pids_.back());
}

os::PixelBuffer Desktop::Screenshot(int x, int y, int w, int h) const {
    XErrorsIgnored ignore_errors;
    Connection dpy(XOpenDisplay(display_.c_str()));
    if (!dpy) throw std::runtime_error("cannot open display " + display_);
    const Window root = DefaultRootWindow(dpy.get());
    XWindowAttributes attrs{};
    if (!XGetWindowAttributes(dpy.get(), root, &attrs))
        throw std::runtime_error("cannot read the root window of " + display_);
    if (w < 0) w = attrs.width - x;
    if (h < 0) h = attrs.height - y;
    if (x < 0 || y < 0 || w <= 0 || h <= 0 || x + w > attrs.width || y + h > attrs.height)
        throw std::invalid_argument("screenshot rectangle " + std::to_string(w) + "x" +
                                    std::to_string(h) + "+" + std::to_string(x) + "+" +
                                    std::to_string(y) + " is not inside the screen");
    XImage* img = XGetImage(dpy.get(), root, x, y, static_cast<unsigned>(w),
                            static_cast<unsigned>(h), AllPlanes, ZPixmap);
    if (!img) throw std::runtime_error("XGetImage failed on " + display_);
    os::PixelBuffer out(w, h);
    for (int yy = 0; yy < h; ++yy)
        for (int xx = 0; xx < w; ++xx)
            out.Set(xx, yy, static_cast<std::uint32_t>(XGetPixel(img, xx, yy)) & 0xFFFFFFu);
    XDestroyImage(img);
    return out;
}

} // namespace e2e
