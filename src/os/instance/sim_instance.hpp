// The instance claim in memory. A SimInstanceSeat plays the display: it knows who holds the
// claim and gives it up when the holder is destroyed, as the X server does when a process
// ends. Each SimInstanceClaim on the same seat plays one process of the program.
#pragma once

#include "os/clock/clock.hpp"
#include "os/instance/instance.hpp"
#include "os/post.hpp"

#include <map>
#include <memory>

namespace os {

class SimInstanceClaim;

class SimInstanceSeat {
public:
    SimInstanceClaim* Holder() const { return holder_; }
    // The holder ends (as a killed process would, without a word) right before the next
    // activation request is delivered: the race between a requester's Claim and its request.
    void EndHolderBeforeNextRequest() { end_holder_before_request_ = true; }

private:
    friend class SimInstanceClaim;
    SimInstanceClaim* holder_ = nullptr;
    bool end_holder_before_request_ = false;
    // Answers by the sender's number: a sender may end before its answer comes.
    std::map<int, InstanceClaim::Answer> answers_;
    int next_sender_ = 1;
};

class SimInstanceClaim final : public InstanceClaim {
public:
    SimInstanceClaim(std::shared_ptr<SimInstanceSeat> seat, const Clock& clock, PostFn post);
    // Gives the claim up, as the end of a process does.
    ~SimInstanceClaim() override;
    SimInstanceClaim(const SimInstanceClaim&) = delete;
    SimInstanceClaim& operator=(const SimInstanceClaim&) = delete;

    bool Claim() override;
    bool Claimed() const override;
    bool RequestActivation() override;
    void SetActivationTarget(std::uint32_t window, std::uint32_t message) override;
    bool SendCommand(const std::string& command) override;
    // No time passes: the answer is there when the holder's loop has run.
    std::optional<Answer> AwaitAnswer(std::chrono::milliseconds limit) override;
    std::string Command(std::uintptr_t serial) const override;
    void AnswerCommand(std::uintptr_t serial, const Answer& answer) override;

    const std::shared_ptr<SimInstanceSeat>& Seat() const { return seat_; }
    // The holder's process ends: the claim is free, and requests no longer reach us.
    void End();
    // Requests that reached us, posted or dropped for want of a target.
    int RequestsReceived() const { return received_; }

private:
    void Receive(std::uintptr_t stamp, std::uintptr_t serial = 0);
    struct Pending {
        int sender; // 0: sent to ourselves
        std::string text;
    };

    std::shared_ptr<SimInstanceSeat> seat_;
    const Clock& clock_;
    PostFn post_;
    std::uint32_t target_window_ = 0;
    std::uint32_t target_message_ = 0;
    int received_ = 0;
    bool ended_ = false;
    int number_;
    std::map<std::uintptr_t, Pending> pending_;
    std::uintptr_t next_serial_ = 1;
};

} // namespace os
