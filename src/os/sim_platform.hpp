// The simulated platform: a virtual clock and the in-memory back ends, for the tests.
#pragma once

#include "os/display/sim_display.hpp"
#include "os/instance/sim_instance.hpp"
#include "os/notify/sim_notify.hpp"
#include "os/platform.hpp"
#include "os/settings/sim_settings.hpp"
#include "os/shortcuts/shortcuts.hpp"
#include "os/wave/sim_wave.hpp"

#include <memory>

namespace os {

class SimPlatform : public Platform {
public:
    SimPlatform();
    ~SimPlatform() override;
    Clock& GetClock() override { return clock_; }
    EventWait& GetWait() override { return wait_; }
    Display& GetDisplay() override { return display_; }
    WaveService& GetWave() override { return SimWave(); }
    NotifyArea& GetNotify() override { return notify_; }
    SimNotifyArea& Notify() { return notify_; }
    SettingsStore& GetSettings() override { return settings_; }
    SimSettings& Settings() { return settings_; }
    InstanceClaim& GetInstance() override { return instance_; }
    // This process's claim; other processes are SimInstanceClaims on its seat.
    SimInstanceClaim& Instance() { return instance_; }
    GlobalShortcuts& GetShortcuts() override { return shortcuts_; }
    SimGlobalShortcuts& Shortcuts() { return shortcuts_; }
    VirtualClock& Virtual() { return clock_; }
    SimDisplay& Screen() { return display_; }
    SimWaveService& SimWave();

private:
    VirtualClock clock_;
    VirtualEventWait wait_{clock_};
    SimDisplay display_{clock_};
    std::unique_ptr<SimWaveService> wave_;
    SimNotifyArea notify_{Forwarder(), &display_};
    SimSettings settings_;
    SimInstanceClaim instance_{std::make_shared<SimInstanceSeat>(), clock_, Forwarder()};
    SimGlobalShortcuts shortcuts_{Forwarder()};
};

} // namespace os
