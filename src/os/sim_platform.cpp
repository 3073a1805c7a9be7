// Creates every simulated service.
#include "os/platform.hpp"

namespace os {

SimPlatform::SimPlatform() = default;
SimPlatform::~SimPlatform() = default;

} // namespace os
