// Starting and stopping the test desktop's processes.
#include "desktop.hpp"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace e2e {

namespace {

const char* kOpenboxRc = R"(<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <focus><focusNew>yes</focusNew><followMouse>no</followMouse></focus>
  <placement><policy>Smart</policy></placement>
  <desktops><number>1</number></desktops>
  <keyboard></keyboard>
  <mouse></mouse>
</openbox_config>
)";

std::string ShellQuote(const std::string& s) {
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

} // namespace

Desktop& Desktop::Get() {
    // Destroyed at exit, which stops the processes.
    static std::unique_ptr<Desktop> desktop = [] {
        std::unique_ptr<Desktop> d(new Desktop());
        d->Start();
        return d;
    }();
    return *desktop;
}

Desktop::Desktop() {
    namespace fs = std::filesystem;
    const fs::path base = fs::path(MIRELO_BINARY_DIR) / "e2e-scratch" / std::to_string(getpid());
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
        for (const char* drop : {"DISPLAY=", "HOME=", "XDG_CACHE_HOME=", "XDG_CONFIG_HOME=",
                                 "XDG_RUNTIME_DIR=", "WAYLAND_DISPLAY="})
            if (v.rfind(drop, 0) == 0) goto skip;
        env.push_back(v);
    skip:;
    }
    env.push_back("DISPLAY=" + display_);
    env.push_back("HOME=" + scratch_ + "/home");
    env.push_back("XDG_CACHE_HOME=" + scratch_ + "/cache");
    env.push_back("XDG_CONFIG_HOME=" + scratch_ + "/config");
    env.push_back("XDG_RUNTIME_DIR=" + scratch_ + "/runtime");
    return env;
}

pid_t Desktop::Spawn(const std::vector<std::string>& argv) {
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
    std::erase(pids_, pid);
    int status = 0;
    if (kill(pid, SIGTERM) != 0) return -1;
    for (int i = 0; i < 300; ++i) {
        if (waitpid(pid, &status, WNOHANG) == pid) return status;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return status;
}

std::string Desktop::Run(const std::string& command) const {
    std::string prefix;
    for (const auto& e : Environment())
        if (e.rfind("DISPLAY=", 0) == 0 || e.rfind("HOME=", 0) == 0 || e.rfind("XDG_", 0) == 0)
            prefix += e.substr(0, e.find('=') + 1) + ShellQuote(e.substr(e.find('=') + 1)) + " ";
    const std::string full = "env " + prefix + "sh -c " + ShellQuote(command) + " 2>/dev/null";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(full.c_str(), "r"), pclose);
    if (!pipe) throw std::runtime_error("cannot run: " + command);
    std::string out;
    std::array<char, 4096> buf{};
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), pipe.get())) > 0)
        out.append(buf.data(), n);
    const int status = pclose(pipe.release());
    if (status != 0)
        throw std::runtime_error("command failed (" + std::to_string(status) + "): " + command);
    return out;
}

bool Desktop::WaitFor(const std::string& command, double seconds) const {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (std::chrono::steady_clock::now() < end) {
        try {
            Run(command);
            return true;
        } catch (const std::exception&) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void Desktop::Start() {
    // Xvfb picks a free display itself and writes its number to a pipe.
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    const std::string fd = std::to_string(fds[1]);
    {
        std::vector<std::string> argv = {"Xvfb",        "-displayfd", fd,    "-screen", "0",
                                         "1024x768x24", "-nolisten",  "tcp", "-noreset"};
        std::vector<char*> args;
        for (auto& a : argv)
            args.push_back(a.data());
        args.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        const std::string log = scratch_ + "/Xvfb.log";
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT, 0644);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        pid_t pid;
        const int rc = posix_spawnp(&pid, "Xvfb", &actions, nullptr, args.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(fds[1]);
        if (rc != 0)
            throw std::runtime_error(std::string("cannot start Xvfb: ") + std::strerror(rc));
        pids_.push_back(pid);
    }
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    if (number.empty())
        throw std::runtime_error("Xvfb did not report its display; see " + scratch_ + "/Xvfb.log");
    display_ = ":" + number;
    if (!WaitFor("xdpyinfo", 10))
        throw std::runtime_error("Xvfb on " + display_ + " does not answer");

    Spawn({"openbox", "--config-file", scratch_ + "/openbox-rc.xml"});
    if (!WaitFor("xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'", 10))
        throw std::runtime_error("openbox did not start; see " + scratch_ + "/openbox.log");
    Spawn({"trayer", "--edge", "bottom", "--align", "right", "--widthtype", "pixel", "--width",
           "120", "--height", "24", "--SetDockType", "true", "--transparent", "false"});
    if (!WaitFor("xdotool search --onlyvisible --name '^panel$'", 10))
        throw std::runtime_error("trayer did not start; see " + scratch_ + "/trayer.log");
}

Desktop::~Desktop() {
    while (!pids_.empty())
        Stop(pids_.back());
}

os::PixelBuffer Desktop::Screenshot(int x, int y, int w, int h) const {
    ::Display* dpy = XOpenDisplay(display_.c_str());
    if (!dpy) throw std::runtime_error("cannot open display " + display_);
    const Window root = DefaultRootWindow(dpy);
    XWindowAttributes attrs;
    XGetWindowAttributes(dpy, root, &attrs);
    if (w < 0) w = attrs.width - x;
    if (h < 0) h = attrs.height - y;
    XImage* img = XGetImage(dpy, root, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h),
                            AllPlanes, ZPixmap);
    if (!img) {
        XCloseDisplay(dpy);
        throw std::runtime_error("XGetImage failed");
    }
    os::PixelBuffer out(w, h);
    for (int yy = 0; yy < h; ++yy)
        for (int xx = 0; xx < w; ++xx)
            out.Set(xx, yy, static_cast<std::uint32_t>(XGetPixel(img, xx, yy)) & 0xFFFFFFu);
    XDestroyImage(img);
    XCloseDisplay(dpy);
    return out;
}

} // namespace e2e
