// Starting, using and killing the bare X server.
#include "bare_server.hpp"

#include "e2e_support.hpp"

#include <atomic>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <stdexcept>
#include <unistd.h>

extern char** environ;

namespace e2e {

namespace {

// This process's environment with DISPLAY replaced.
std::vector<std::string> EnvironmentFor(const std::string& display) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "DISPLAY=", 8) != 0) env.emplace_back(*e);
    env.push_back("DISPLAY=" + display);
    return env;
}

pid_t SpawnWith(const std::vector<std::string>& argv, const std::vector<std::string>& env,
                const std::string& log, int close_fd = -1) {
    std::vector<char*> args, envp;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    for (const auto& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (close_fd >= 0) posix_spawn_file_actions_addclose(&actions, close_fd);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + argv[0] + ": " + std::strerror(rc));
    return pid;
}

} // namespace

BareServer::BareServer() {
    namespace fs = std::filesystem;
    static std::atomic<int> count{0};
    const fs::path base = fs::path(MIRELO_BINARY_DIR) / "e2e-scratch" /
                          ("bare-" + std::to_string(getpid()) + "-" + std::to_string(count++));
    fs::remove_all(base);
    fs::create_directories(base);
    scratch_ = base.string();
    // Xvfb picks a free display itself and writes its number to a pipe.
    int fds[2];
    if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
    try {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e)
            env.emplace_back(*e);
        pid_ = SpawnWith({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0",
                          "1024x768x24", "-nolisten", "tcp", "-noreset"},
                         env, scratch_ + "/Xvfb.log", fds[0]);
    } catch (...) {
        close(fds[0]);
        close(fds[1]);
        throw;
    }
    close(fds[1]);
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n')
        number += c;
    close(fds[0]);
    if (number.empty())
        throw std::runtime_error("Xvfb did not report its display; see " + scratch_ + "/Xvfb.log");
    display_ = ":" + number;
    if (!WaitFor("xdpyinfo >/dev/null", 10))
        throw std::runtime_error("Xvfb on " + display_ + " does not answer");
}

BareServer::~BareServer() {
    Kill();
}

void BareServer::Kill() {
    if (pid_ <= 0) return;
    KillChild(pid_);
    pid_ = -1;
}

std::string BareServer::Run(const std::string& command) const {
    return RunShell("DISPLAY=" + ShellQuote(display_) + " ", command);
}

bool BareServer::WaitFor(const std::string& command, double seconds) const {
    return WaitForCommand(*this, command, seconds);
}

pid_t BareServer::Spawn(const std::vector<std::string>& argv, const std::string& log) const {
    return SpawnWith(argv, EnvironmentFor(display_), log);
}

} // namespace e2e
