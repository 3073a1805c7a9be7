// The real platform: the system clock, a poll()-based event wait and the X11 display.
// Kept free of X11 headers, so that the entry may include it.
#pragma once

#include "os/platform.hpp"
#include "os/settings/file_settings.hpp"

#include <memory>
#include <string>

namespace os {

class X11Display;
class SessionBus;
class ScaledDisplay;
class TrayNotifyArea;
class XEmbedNotifyArea;
class X11InstanceClaim;

class RealPlatform final : public Platform, private PollEventWait::SleepHook {
public:
    // Connects to the named X display ("" for $DISPLAY). Throws std::runtime_error
    // "cannot open display <name>" when there is none to be had.
    static std::unique_ptr<RealPlatform> Open(const std::string& display_name = "");
    ~RealPlatform() override;
    RealPlatform(const RealPlatform&) = delete;
    RealPlatform& operator=(const RealPlatform&) = delete;

    Clock& GetClock() override { return clock_; }
    EventWait& GetWait() override { return wait_; }
    // The X display at the device scale: the program sees logical pixels only.
    Display& GetDisplay() override;
    // ALSA's devices; "default" is device 0, so the desktop's sound server is used.
    WaveService& GetWave() override;
    // A StatusNotifierItem where a watcher is on the session bus, else the system tray of
    // the X display (XEmbed).
    NotifyArea& GetNotify() override;
    TrayNotifyArea& Tray() { return *notify_; }
    XEmbedNotifyArea& XEmbed();
    // $XDG_CONFIG_HOME/mirelo/settings.ini.
    SettingsStore& GetSettings() override { return settings_; }
    // The selection _MIRELO_INSTANCE_S<screen> of the X display, made on first use.
    InstanceClaim& GetInstance() override;
    // The desktop portal's global shortcuts, else key grabs; made on first use.
    GlobalShortcuts& GetShortcuts() override;
    X11Display& X11() { return *display_; }
    // The program's one session bus connection, for every client on it; opened on first
    // need (Connect), without waiting.
    SessionBus& Bus() { return *bus_; }
    ScaledDisplay& Scaled() { return *scaled_; }

private:
    RealPlatform();
    void BeforeSleep() override;
    RealClock clock_;
    PollEventWait wait_{clock_};
    std::unique_ptr<X11Display> display_;
    std::unique_ptr<ScaledDisplay> scaled_;
    std::unique_ptr<WaveService> wave_;
    std::unique_ptr<SessionBus> bus_; // outlives its clients below
    std::unique_ptr<TrayNotifyArea> notify_;
    std::unique_ptr<X11InstanceClaim> instance_;
    std::unique_ptr<GlobalShortcuts> shortcuts_;
    FileSettings settings_{FileSettings::DefaultPath()};
};

} // namespace os
