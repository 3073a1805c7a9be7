// Posting a notification to a window: how the services, from their own threads, reach the
// framework's message loop.
#pragma once

#include <cstdint>
#include <functional>

namespace os {

// Posts a notification to a window; true when it was queued. The framework's
// MessageLoop::PostMessage fits. Services call it from their own threads and while they
// hold their locks: it must queue, never call back into the service.
using PostFn = std::function<bool(std::uint32_t window, std::uint32_t msg, std::uintptr_t wparam,
                                  std::intptr_t lparam)>;

} // namespace os
