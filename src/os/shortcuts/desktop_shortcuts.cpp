// Chooses the portal or the grabs, and reads the bus connection the portal talks on.
#include "os/shortcuts/desktop_shortcuts.hpp"

#include "os/display/x11_display.hpp"
#include "os/shortcuts/portal_shortcuts.hpp"
#include "os/shortcuts/x11_grab_shortcuts.hpp"
#include "os/wait/event_wait.hpp"

#include <systemd/sd-bus.h>

namespace os {

DesktopShortcuts::DesktopShortcuts(X11Display& display, PollEventWait& wait, PostFn post)
    : display_(display), wait_(wait), post_(std::move(post)) {
    // Connecting is local and does not wait for the daemon's greeting.
    if (sd_bus_open_user(&bus_) < 0) {
        bus_ = nullptr;
        return;
    }
    bus_fd_ = sd_bus_get_fd(bus_);
    if (bus_fd_ < 0) {
        CloseBus();
        return;
    }
    wait_.AddSource(bus_fd_, [this] { OnBusReadable(); });
    portal_ = std::make_unique<PortalShortcuts>(bus_, kAppId, post_, [this] {
        // No portal with global shortcuts here: grab the keys instead.
        if (!grab_) {
            grab_ = std::make_unique<X11GrabShortcuts>(display_, post_);
            grab_->Start(shortcuts_, window_, message_);
        }
    });
}

DesktopShortcuts::~DesktopShortcuts() {
    portal_.reset();
    grab_.reset();
    CloseBus();
}

void DesktopShortcuts::Start(std::vector<Shortcut> shortcuts, std::uint32_t window,
                             std::uint32_t message) {
    shortcuts_ = std::move(shortcuts);
    window_ = window;
    message_ = message;
    if (portal_) {
        portal_->Start(shortcuts_, window, message);
        return;
    }
    grab_ = std::make_unique<X11GrabShortcuts>(display_, post_);
    grab_->Start(shortcuts_, window, message);
}

void DesktopShortcuts::OnBusReadable() {
    int r;
    do
        r = sd_bus_process(bus_, nullptr);
    while (r > 0);
    if (r < 0 || sd_bus_is_open(bus_) <= 0) {
        // The bus is gone; so are the portal's shortcuts. The grabs, if any, stay.
        wait_.RemoveSource(bus_fd_);
        bus_fd_ = -1;
    }
}

void DesktopShortcuts::CloseBus() {
    if (bus_fd_ >= 0) wait_.RemoveSource(bus_fd_);
    bus_fd_ = -1;
    if (bus_) sd_bus_flush_close_unref(bus_);
    bus_ = nullptr;
}

} // namespace os
