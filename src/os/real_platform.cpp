// Creates every real service; the display connection becomes a source of the event wait,
// so an idle program sleeps until the X server (or the session bus) has something for it.
#include "os/real_platform.hpp"

#include "os/display/x11_display.hpp"
#include "os/instance/x11_instance.hpp"
#include "os/notify/tray_notify.hpp"
#include "os/notify/xembed_notify.hpp"
#include "os/wave/alsa_wave.hpp"

namespace os {

RealPlatform::RealPlatform() = default;

std::unique_ptr<RealPlatform> RealPlatform::Open(const std::string& display_name) {
    std::unique_ptr<RealPlatform> platform(new RealPlatform());
    platform->display_ = X11Display::Open(display_name, platform->clock_);
    X11Display* display = platform->display_.get();
    display->ReportsReadability();
    platform->wait_.AddSource(display->ConnectionFd(),
                              [display] { display->ConnectionReadable(); });
    platform->wait_.SetBeforeSleep([display] { display->FlushBeforeSleep(); });
    platform->notify_ = std::make_unique<TrayNotifyArea>(*platform->display_, platform->wait_,
                                                         platform->Forwarder());
    return platform;
}

RealPlatform::~RealPlatform() {
    // Streams still open are closed before the display goes.
    wave_.reset();
    notify_.reset(); // its windows live on the display's connection
    instance_.reset();
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

Display& RealPlatform::GetDisplay() {
    return *display_;
}

} // namespace os
