// The real global shortcuts: the desktop portal where the session bus has one, else key
// grabs on the X root window.
#pragma once

#include "os/shortcuts/shortcuts.hpp"

#include <memory>

struct sd_bus;

namespace os {

class X11Display;
class SessionBus;
class PortalShortcuts;
class X11GrabShortcuts;

class DesktopShortcuts final : public GlobalShortcuts {
public:
    static constexpr const char* kAppId = "org.example.Mirelo";

    // Talks to the portal on the program's shared bus connection; without a bus, or
    // without a portal on it, the keys are grabbed instead.
    DesktopShortcuts(X11Display& display, SessionBus& bus, PostFn post);
    ~DesktopShortcuts() override;
    DesktopShortcuts(const DesktopShortcuts&) = delete;
    DesktopShortcuts& operator=(const DesktopShortcuts&) = delete;

    void Start(std::vector<Shortcut> shortcuts, std::uint32_t window,
               std::uint32_t message) override;

private:
    // The shared connection came (bus) or went or could not be had (null).
    void OnBus(sd_bus* bus);
    void Grab();

    X11Display& display_;
    SessionBus& bus_;
    int listening_ = 0;
    PostFn post_;
    bool started_ = false;
    std::vector<Shortcut> shortcuts_;
    std::uint32_t window_ = 0;
    std::uint32_t message_ = 0;
    std::unique_ptr<PortalShortcuts> portal_;
    std::unique_ptr<X11GrabShortcuts> grab_;
};

} // namespace os
