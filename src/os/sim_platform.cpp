// Creates every simulated service.
#include "os/sim_platform.hpp"

namespace os {

SimPlatform::SimPlatform() {
    display_.ReportsReadability();
    display_.SetEventListener([this] { wait_.Wake(); });
}
SimPlatform::~SimPlatform() = default;

SimWaveService& SimPlatform::SimWave() {
    if (!wave_) wave_ = MakeSimWave(clock_, Forwarder());
    return *wave_;
}

} // namespace os
