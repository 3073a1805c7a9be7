// Creates every simulated service.
#include "os/platform.hpp"

namespace os {

SimPlatform::SimPlatform() {
    display_.SetEventListener([this] { wait_.Wake(); });
}
SimPlatform::~SimPlatform() = default;

} // namespace os
