// The instance claim in memory: one holder per seat, released when it ends.
#include "os/instance/sim_instance.hpp"

#include <chrono>

namespace os {

SimInstanceClaim::SimInstanceClaim(std::shared_ptr<SimInstanceSeat> seat, const Clock& clock,
                                   PostFn post)
    : seat_(std::move(seat)), clock_(clock), post_(std::move(post)),
      number_(seat_->next_sender_++) {}

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

void SimInstanceClaim::Receive(std::uintptr_t stamp, std::uintptr_t serial) {
    ++received_;
    if (target_window_ && post_)
        post_(target_window_, target_message_, stamp, static_cast<std::intptr_t>(serial));
}

bool SimInstanceClaim::SendCommand(const std::string& command) {
    SimInstanceClaim* holder = seat_->holder_;
    if (!holder || command.size() > kMaxCommand) return false;
    seat_->answers_.erase(number_);
    const std::uintptr_t serial = holder->next_serial_++;
    holder->pending_[serial] = Pending{holder == this ? 0 : number_, command};
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(clock_.Monotonic());
    holder->Receive(static_cast<std::uintptr_t>(ms.count()), serial);
    return true;
}

std::optional<InstanceClaim::Answer> SimInstanceClaim::AwaitAnswer(std::chrono::milliseconds) {
    const auto it = seat_->answers_.find(number_);
    if (it == seat_->answers_.end()) return std::nullopt;
    Answer answer = it->second;
    seat_->answers_.erase(it);
    return answer;
}

std::string SimInstanceClaim::Command(std::uintptr_t serial) const {
    const auto it = pending_.find(serial);
    return it == pending_.end() ? std::string() : it->second.text;
}

void SimInstanceClaim::AnswerCommand(std::uintptr_t serial, const Answer& answer) {
    const auto it = pending_.find(serial);
    if (it == pending_.end()) return;
    if (it->second.sender) seat_->answers_[it->second.sender] = answer;
    pending_.erase(it);
}

} // namespace os
