// Chooses the portal or the grabs. The portal is asked on the program's one session bus
// connection, which is read and timed by its owner.
#include "os/shortcuts/desktop_shortcuts.hpp"

#include "os/bus/session_bus.hpp"
#include "os/display/x11_display.hpp"
#include "os/shortcuts/portal_shortcuts.hpp"
#include "os/shortcuts/x11_grab_shortcuts.hpp"

namespace os {

DesktopShortcuts::DesktopShortcuts(X11Display& display, SessionBus& bus, PostFn post)
    : display_(display), bus_(bus), post_(std::move(post)) {}

DesktopShortcuts::~DesktopShortcuts() {
    if (listening_) bus_.StopListening(listening_);
    portal_.reset();
    grab_.reset();
}

void DesktopShortcuts::Start(std::vector<Shortcut> shortcuts, std::uint32_t window,
                             std::uint32_t message) {
    shortcuts_ = std::move(shortcuts);
    window_ = window;
    message_ = message;
    started_ = true;
    if (!listening_) listening_ = bus_.Listen([this](sd_bus* bus) { OnBus(bus); });
    if (sd_bus* bus = bus_.Bus()) {
        OnBus(bus);
        return;
    }
    bus_.Connect();
    // No bus to be had now (none, or a failed attempt not yet due again): grab the keys.
    if (!bus_.Bus() && !bus_.Connecting()) Grab();
}

void DesktopShortcuts::OnBus(sd_bus* bus) {
    if (!started_) return;
    if (!bus) {
        // The connection went, and the portal's shortcuts with it; the grabs take over.
        portal_.reset();
        Grab();
        return;
    }
    if (portal_ || grab_) return; // already served, by the portal or by the grabs
    portal_ = std::make_unique<PortalShortcuts>(bus, kAppId, post_, [this] {
        // No portal with global shortcuts here: grab the keys instead.
        Grab();
    });
    portal_->Start(shortcuts_, window_, message_);
    bus_.Used();
}

void DesktopShortcuts::Grab() {
    if (grab_) return;
    grab_ = std::make_unique<X11GrabShortcuts>(display_, post_);
    grab_->Start(shortcuts_, window_, message_);
}

} // namespace os
