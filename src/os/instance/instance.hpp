// One running instance of the program per display. The first start holds the display's
// claim, which the display itself gives up when that process ends, however it ends, so a
// crashed instance never blocks the next start. A later start finds the claim held and asks
// the holder to bring its window back instead of running beside it.
//
// A request that reaches the holder comes back up as a posted message to the window set
// with SetActivationTarget: msg = the target message, wparam = the requester's time stamp in
// the display's milliseconds (0 when it has none), lparam = 0.
//
// A later start may instead send a command ("record", "save-take\n/path/take.wav"). It comes
// up as the same message with lparam = the command's serial (never 0); the holder reads it
// with Command, acts, and Answers, and the sender, waiting in AwaitAnswer, learns the status.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace os {

class InstanceClaim {
public:
    virtual ~InstanceClaim() = default;
    // True when we hold the claim now: nobody held it and it is ours until we end, or we
    // held it already. False when another instance holds it.
    virtual bool Claim() = 0;
    // False before a successful Claim, and again if someone took the claim away (we keep
    // running then: one process cannot end another).
    virtual bool Claimed() const = 0;
    // Asks the holder of the claim to bring its window back. False when there is nobody to
    // ask any more, because the holder ended after our Claim: then claim again.
    virtual bool RequestActivation() = 0;
    // Where requests from later starts are posted while we hold the claim; a window of 0
    // drops them.
    virtual void SetActivationTarget(std::uint32_t window, std::uint32_t message) = 0;

    // The sender's side, without claiming: false when nobody holds the claim. Sent to
    // ourselves, the command is posted to our own target and its answer goes nowhere.
    virtual bool SendCommand(const std::string& command) = 0;
    struct Answer {
        int status = 0;
        std::string text; // one line for the sender to print, or empty
    };
    // The holder's answer to the last command sent; nothing when none came within `limit`.
    virtual std::optional<Answer> AwaitAnswer(std::chrono::milliseconds limit) = 0;
    // The holder's side: the text of a command that arrived and is not answered yet (empty
    // for an unknown serial), and its answer, sent back to whoever is waiting for it.
    virtual std::string Command(std::uintptr_t serial) const = 0;
    virtual void AnswerCommand(std::uintptr_t serial, const Answer& answer) = 0;
    // The longest command accepted, in bytes.
    static constexpr std::size_t kMaxCommand = 8192;
};

} // namespace os
