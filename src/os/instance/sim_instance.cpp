// The instance claim in memory: one holder per seat, released when it ends.
#include "os/instance/sim_instance.hpp"

#include <chrono>

namespace os {

SimInstanceClaim::SimInstanceClaim(std::shared_ptr<SimInstanceSeat> seat, const Clock& clock,
                                   PostFn post)
    : seat_(std::move(seat)), clock_(clock), post_(std::move(post)) {}

SimInstanceClaim::~SimInstanceClaim() {
    End();
}

void SimInstanceClaim::End() {
    ended_ = true;
    if (seat_->holder_ == this) seat_->holder_ = nullptr;
}

bool SimInstanceClaim::Claim() {
    if (ended_) return false;
    if (!seat_->holder_) seat_->holder_ = this;
    return seat_->holder_ == this;
}

bool SimInstanceClaim::Claimed() const {
    return seat_->holder_ == this;
}

bool SimInstanceClaim::RequestActivation() {
    if (seat_->end_holder_before_request_) {
        seat_->end_holder_before_request_ = false;
        if (seat_->holder_) seat_->holder_->End();
    }
    SimInstanceClaim* holder = seat_->holder_;
    if (!holder) return false;
    if (holder == this) return true; // asking ourselves: our window is already ours to show
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(clock_.Monotonic());
    holder->Receive(static_cast<std::uintptr_t>(ms.count()));
    return true;
}

void SimInstanceClaim::SetActivationTarget(std::uint32_t window, std::uint32_t message) {
    target_window_ = window;
    target_message_ = message;
}

void SimInstanceClaim::Receive(std::uintptr_t stamp) {
    ++received_;
    if (target_window_ && post_) post_(target_window_, target_message_, stamp, 0);
}

} // namespace os
