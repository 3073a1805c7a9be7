// The real global shortcuts: the desktop portal where the session bus has one, else key
// grabs on the X root window.
#pragma once

#include "os/shortcuts/shortcuts.hpp"

#include <memory>

struct sd_bus;

namespace os {

class X11Display;
class PollEventWait;
class PortalShortcuts;
class X11GrabShortcuts;

class DesktopShortcuts final : public GlobalShortcuts {
public:
    static constexpr const char* kAppId = "org.example.Mirelo";

    // Opens a session-bus connection of its own, read by `wait`; without a bus only the
    // grabs are tried.
    DesktopShortcuts(X11Display& display, PollEventWait& wait, PostFn post);
    ~DesktopShortcuts() override;
    DesktopShortcuts(const DesktopShortcuts&) = delete;
    DesktopShortcuts& operator=(const DesktopShortcuts&) = delete;

    void Start(std::vector<Shortcut> shortcuts, std::uint32_t window,
               std::uint32_t message) override;

private:
    void OnBusReadable();
    void CloseBus();

    X11Display& display_;
    PollEventWait& wait_;
    PostFn post_;
    sd_bus* bus_ = nullptr;
    int bus_fd_ = -1;
    std::vector<Shortcut> shortcuts_;
    std::uint32_t window_ = 0;
    std::uint32_t message_ = 0;
    std::unique_ptr<PortalShortcuts> portal_;
    std::unique_ptr<X11GrabShortcuts> grab_;
};

} // namespace os
