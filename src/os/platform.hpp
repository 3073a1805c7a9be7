// The services of the operating system, created together by one back end: the real one
// (X11, ALSA, files) or the simulated one (in memory, virtual time). Choosing a back end is
// one call in the entry or in a test.
#pragma once

#include "os/clock/clock.hpp"
#include "os/display/sim_display.hpp"
#include "os/wait/event_wait.hpp"

#include <memory>

namespace os {

class Platform {
public:
    virtual ~Platform() = default;
    virtual Clock& GetClock() = 0;
    virtual EventWait& GetWait() = 0;
    virtual Display& GetDisplay() = 0;
};

// The simulated platform: a virtual clock and the in-memory back ends.
class SimPlatform : public Platform {
public:
    SimPlatform();
    ~SimPlatform() override;
    Clock& GetClock() override { return clock_; }
    EventWait& GetWait() override { return wait_; }
    Display& GetDisplay() override { return display_; }
    VirtualClock& Virtual() { return clock_; }
    SimDisplay& Screen() { return display_; }

private:
    VirtualClock clock_;
    VirtualEventWait wait_{clock_};
    SimDisplay display_{clock_};
};

} // namespace os
