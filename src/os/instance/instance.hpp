// One running instance of the program per display. The first start holds the display's
// claim, which the display itself gives up when that process ends, however it ends, so a
// crashed instance never blocks the next start. A later start finds the claim held and asks
// the holder to bring its window back instead of running beside it.
//
// A request that reaches the holder comes back up as a posted message to the window set
// with SetActivationTarget: msg = the target message, wparam = the requester's time stamp in
// the display's milliseconds (0 when it has none), lparam = 0.
#pragma once

#include <cstdint>

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
};

} // namespace os
