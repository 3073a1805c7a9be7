// Creates every real service; the display connection becomes a source of the event wait,
// so an idle program sleeps until the X server (or the session bus) has something for it.
#include "os/real_platform.hpp"

#include "os/bus/session_bus.hpp"
#include "os/display/scaled_display.hpp"
#include "os/display/x11_display.hpp"
#include "os/instance/x11_instance.hpp"
#include "os/notify/tray_notify.hpp"
#include "os/notify/xembed_notify.hpp"
#include "os/shortcuts/desktop_shortcuts.hpp"
#include "os/wave/alsa_wave.hpp"

#include <X11/Xlib.h>

#include <cstdlib>

namespace os {

namespace {

// The "Scale" dword under the program's key: 0 or absent lets the desktop decide.
std::optional<std::int32_t> StoredScale(SettingsStore& settings) {
    const auto key = settings.Open("\\Software\\Mirelo", false);
    if (!key) return std::nullopt;
    const auto value = key->Read("Scale");
    if (!value || value->type != SettingType::Integer || value->data.size() != 4)
        return std::nullopt;
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | std::to_integer<std::uint32_t>(value->data[i]);
    return static_cast<std::int32_t>(v);
}

} // namespace

RealPlatform::RealPlatform() = default;

std::unique_ptr<RealPlatform> RealPlatform::Open(const std::string& display_name) {
    std::unique_ptr<RealPlatform> platform(new RealPlatform());
    platform->display_ = X11Display::Open(display_name, platform->clock_);
    X11Display* display = platform->display_.get();
    display->ReportsReadability();
    platform->wait_.AddSource(display->ConnectionFd(),
                              [display] { display->ConnectionReadable(); });
    platform->wait_.SetBeforeSleep(platform.get());
    // Read once: a later change of scale shows as a changed screen at the next start.
    const char* resources = XResourceManagerString(display->Connection());
    platform->scaled_ = std::make_unique<ScaledDisplay>(
        *display, ChooseScale(StoredScale(platform->settings_), std::getenv("GDK_SCALE"),
                              resources ? resources : ""));
    platform->bus_ = std::make_unique<SessionBus>(platform->wait_, platform->clock_);
    platform->notify_ = std::make_unique<TrayNotifyArea>(*platform->display_, *platform->bus_,
                                                         platform->Forwarder());
    return platform;
}

[[gnu::hot]] void RealPlatform::BeforeSleep() {
    display_->FlushBeforeSleep();
}

RealPlatform::~RealPlatform() {
    // Streams still open are closed before the display goes.
    wave_.reset();
    shortcuts_.reset();
    notify_.reset(); // its windows live on the display's connection
    bus_.reset();
    instance_.reset();
    scaled_.reset();
    wait_.SetBeforeSleep(nullptr);
    if (display_) wait_.RemoveSource(display_->ConnectionFd());
}

WaveService& RealPlatform::GetWave() {
    if (!wave_) wave_ = MakeAlsaWave(Forwarder());
    return *wave_;
}

NotifyArea& RealPlatform::GetNotify() {
    return *notify_;
}

XEmbedNotifyArea& RealPlatform::XEmbed() {
    return notify_->XEmbed();
}

InstanceClaim& RealPlatform::GetInstance() {
    if (!instance_) instance_ = std::make_unique<X11InstanceClaim>(*display_, Forwarder());
    return *instance_;
}

GlobalShortcuts& RealPlatform::GetShortcuts() {
    if (!shortcuts_) shortcuts_ = std::make_unique<DesktopShortcuts>(*display_, *bus_, Forwarder());
    return *shortcuts_;
}

Display& RealPlatform::GetDisplay() {
    return *scaled_;
}

} // namespace os
