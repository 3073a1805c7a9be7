// What every platform shares: the services a back end may lack, and the poster that the
// services' notifications go through.
#include "os/platform.hpp"

#include <stdexcept>

namespace os {

WaveService& Platform::GetWave() {
    throw std::runtime_error("this platform has no wave devices");
}

InstanceClaim& Platform::GetInstance() {
    throw std::runtime_error("this platform has no instance claim");
}

GlobalShortcuts& Platform::GetShortcuts() {
    throw std::runtime_error("this platform has no global shortcuts");
}

void Platform::SetPoster(PostFn poster) {
    std::lock_guard lock(*poster_mutex_);
    *poster_ = std::move(poster);
}

PostFn Platform::Forwarder() {
    // Shared state, so that a service's worker thread may still post safely while the
    // platform is being torn down.
    return [m = poster_mutex_, p = poster_](std::uint32_t w, std::uint32_t msg, std::uintptr_t wp,
                                            std::intptr_t lp) {
        std::lock_guard lock(*m);
        return *p ? (*p)(w, msg, wp, lp) : false;
    };
}

} // namespace os
