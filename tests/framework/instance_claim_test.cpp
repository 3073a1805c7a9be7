// One instance per display, on the simulated seat: the first start holds the claim and
// hears later starts through OnActivateRequest; a later start asks the holder and ends; a
// holder that ended, even between a start's look and its request, never blocks a start.
#include "framework/application.hpp"
#include "os/sim_platform.hpp"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

struct Requests : fw::TObject {
    std::vector<fw::TObject*> senders;
    void ActivateRequest(fw::TObject* sender) { senders.push_back(sender); }
};

class InstanceClaimTest : public ::testing::Test {
protected:
    os::SimPlatform platform;
    fw::Runtime runtime{platform};
    Requests requests;

    // Another process of the program on the same display.
    std::unique_ptr<os::SimInstanceClaim> OtherStart() {
        return std::make_unique<os::SimInstanceClaim>(platform.Instance().Seat(),
                                                      platform.Virtual(), nullptr);
    }
};

} // namespace

TEST_F(InstanceClaimTest, TheFirstStartHearsEveryLaterOneUntilItEnds) {
    ASSERT_TRUE(fw::Application->ClaimInstance());
    fw::Application->OnActivateRequest = fw::Bind<&Requests::ActivateRequest>(requests);

    for (int i = 0; i < 2; ++i) {
        auto later = OtherStart();
        EXPECT_FALSE(later->Claim());
        EXPECT_TRUE(later->RequestActivation());
    }
    // Posted, so heard from the message loop, once per start.
    EXPECT_TRUE(requests.senders.empty());
    runtime.Loop().RunFor(1ms);
    EXPECT_EQ(requests.senders, (std::vector<fw::TObject*>{fw::Application, fw::Application}));

    // The holder's process ends without a word: the next start is the first again.
    platform.Instance().End();
    auto next = OtherStart();
    EXPECT_TRUE(next->Claim());
    auto after = OtherStart();
    EXPECT_FALSE(after->Claim());
    EXPECT_TRUE(after->RequestActivation());
    runtime.Loop().RunFor(1ms);
    EXPECT_EQ(next->RequestsReceived(), 1);
    EXPECT_EQ(requests.senders.size(), 2u);
}

TEST_F(InstanceClaimTest, ALaterStartAsksTheHolderAndAStartRacingTheHoldersEndRuns) {
    auto running = OtherStart();
    ASSERT_TRUE(running->Claim());
    EXPECT_FALSE(fw::Application->ClaimInstance());
    EXPECT_EQ(running->RequestsReceived(), 1);
    EXPECT_FALSE(platform.Instance().Claimed());

    // The holder dies after this start has seen the claim held and before its request
    // arrives: the request reaches nobody, and the claim is free to take.
    platform.Instance().Seat()->EndHolderBeforeNextRequest();
    EXPECT_TRUE(fw::Application->ClaimInstance());
    EXPECT_EQ(running->RequestsReceived(), 1);
    EXPECT_TRUE(platform.Instance().Claimed());
}
