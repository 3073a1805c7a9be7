// The services of the operating system, created together by one back end: the real one
// (X11, ALSA, files) or the simulated one (in memory, virtual time). Choosing a back end is
// one call in the entry or in a test.
#pragma once

#include "os/clock/clock.hpp"
#include "os/display/display.hpp"
#include "os/instance/instance.hpp"
#include "os/notify/notify.hpp"
#include "os/post.hpp"
#include "os/settings/settings.hpp"
#include "os/shortcuts/shortcuts.hpp"
#include "os/wait/event_wait.hpp"
#include "os/wave/wave.hpp"

#include <memory>
#include <mutex>

namespace os {

class Platform {
public:
    virtual ~Platform() = default;
    virtual Clock& GetClock() = 0;
    virtual EventWait& GetWait() = 0;
    virtual Display& GetDisplay() = 0;
    // The wave devices, created on first use (a sound server must be reachable by then).
    virtual WaveService& GetWave();
    // The notification area (system tray).
    virtual NotifyArea& GetNotify() = 0;
    // The settings store (the window placement).
    virtual SettingsStore& GetSettings() = 0;
    // The claim of the display by one instance of the program.
    virtual InstanceClaim& GetInstance();
    // Key combinations that reach us whatever has the focus.
    virtual GlobalShortcuts& GetShortcuts();

    // Where services post their notifications: the framework's message loop sets it for
    // its lifetime. Safe from any thread; posts with no poster set are dropped.
    void SetPoster(PostFn poster);

protected:
    // A PostFn for services, forwarding to whatever poster is set at the time.
    PostFn Forwarder();

private:
    std::shared_ptr<std::mutex> poster_mutex_ = std::make_shared<std::mutex>();
    std::shared_ptr<PostFn> poster_ = std::make_shared<PostFn>();
};

} // namespace os
