// Playback on the simulated output device: the pre-filled ring, refills in playing order,
// pause, shortened blocks, the ends by refusal, drain and stop, and the failures.
#include "audio_test_support.hpp"

using namespace std::chrono_literals;
using namespace atest;

namespace {

class AudioOut : public AudioTest {
protected:
    audio::TAudioOut& out = MakeOut();
    int offers = 0;
    std::uint16_t next_sample = 0;

    bool Start() { return out.Start(form->AudioOut1); }
    // Fills the block with the next values of a running count.
    bool FillCount(void* buffer, std::int32_t size) {
        auto* s = static_cast<std::int16_t*>(buffer);
        for (std::int32_t i = 0; i < size / 2; ++i)
            s[i] = static_cast<std::int16_t>(next_sample++);
        return true;
    }
    // The owner accepts the first `n` offers (filled with the count) and refuses the rest.
    void AcceptFirst(int n) {
        form->fill = [this, n](void* buffer, std::int32_t& size) {
            return ++offers <= n && FillCount(buffer, size);
        };
    }
    std::vector<std::int16_t> Played() {
        const auto bytes = wave.PlayedBytes(0);
        return Samples(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    }
    static bool IsCount(const std::vector<std::int16_t>& s) {
        for (std::size_t i = 0; i < s.size(); ++i)
            if (s[i] != static_cast<std::int16_t>(i)) return false;
        return true;
    }
};

TEST_F(AudioOut, TheRingIsFilledBeforeTheFirstBlockAndEachPlayedBlockIsRefilled) {
    std::vector<std::int32_t> queued_during_refill;
    form->fill = [&](void* buffer, std::int32_t& size) {
        EXPECT_EQ(size, kBlock);
        if (++offers > 4) queued_during_refill.push_back(out.BlocksQueued());
        return FillCount(buffer, size);
    };
    const auto t0 = Now();
    ASSERT_TRUE(Start()) << out.ErrorText();
    EXPECT_EQ(offers, 4);
    EXPECT_EQ(out.BlocksFilled(), 4);
    EXPECT_EQ(out.BlocksQueued(), 4);
    EXPECT_TRUE(out.Running());

    RunTo(At(10 * kFrames, kRate, t0) + 1ms);
    EXPECT_EQ(out.BlocksDone(), 10);
    EXPECT_EQ(out.BlocksFilled(), 14);
    EXPECT_EQ(out.BlocksQueued(), 4);
    EXPECT_EQ(queued_during_refill, std::vector<std::int32_t>(10, 3));
    // Played without a break, in the order filled, each block when its time came.
    const auto& spans = wave.Played(0);
    ASSERT_GE(spans.size(), 10u);
    for (std::size_t k = 0; k < 10; ++k) {
        EXPECT_EQ(spans[k].block, k);
        EXPECT_EQ(spans[k].end, At((k + 1) * kFrames, kRate, t0)) << "block " << k;
    }
    const auto played = Played();
    EXPECT_GE(played.size(), 10u * kFrames);
    EXPECT_TRUE(IsCount(played));
    EXPECT_NEAR(out.ElapsedSeconds(), (Now() - t0).count() / 1e9, 1.0 / kRate);
    out.StopNow();
}

TEST_F(AudioOut, StartWithoutAHandlerFailsAndClosesTheDevice) {
    out.OnFillBuffer = nullptr;
    out.SetPaused(true);
    EXPECT_FALSE(Start());
    EXPECT_FALSE(out.Paused());
    EXPECT_EQ(out.ErrorText(), "There must be at least one filled buffer");
    EXPECT_FALSE(out.Running());
    EXPECT_FALSE(out.DeviceOpen());
    EXPECT_FALSE(wave.IsOpen(Dir::Out, 0));
    Run(1s);
    EXPECT_TRUE(wave.PlayedBytes(0).empty());
}

TEST_F(AudioOut, ASecondStartIsRefusedAndLeavesTheFirstStreamPlaying) {
    AcceptFirst(1000);
    ASSERT_TRUE(Start());
    Run(1s);
    EXPECT_FALSE(Start());
    EXPECT_EQ(out.ErrorText(), "Wave output device is already open");
    EXPECT_EQ(offers, 4 + 2);
    Run(1s);
    EXPECT_EQ(out.BlocksDone(), 5);
    EXPECT_TRUE(IsCount(Played()));
    out.StopNow();
}

// What the main window does: paused, started, unpaused; the sound begins only then,
// with the whole ring queued.
TEST_F(AudioOut, PausedBeforeStartHoldsTheDeviceUntilUnpaused) {
    AcceptFirst(1000);
    out.SetPaused(true);
    ASSERT_TRUE(Start());
    EXPECT_TRUE(out.Running());
    EXPECT_TRUE(out.Paused());
    Run(1s);
    EXPECT_TRUE(wave.Played(0).empty());
    EXPECT_EQ(out.BlocksDone(), 0);
    EXPECT_EQ(out.ElapsedSeconds(), 0.0);
    const auto t1 = Now();
    out.SetPaused(false);
    RunTo(At(4 * kFrames, kRate, t1));
    const auto& spans = wave.Played(0);
    ASSERT_EQ(spans.size(), 4u);
    EXPECT_EQ(spans[0].start, t1);
    EXPECT_EQ(spans[3].end, At(4 * kFrames, kRate, t1));
    EXPECT_EQ(out.BlocksDone(), 4);
    // Paused while playing: the sound holds, and the close that follows clears it.
    out.SetPaused(true);
    const auto held = wave.PlayedBytes(0).size();
    Run(1s);
    EXPECT_EQ(wave.PlayedBytes(0).size(), held);
    out.StopNow();
    EXPECT_FALSE(out.Paused());
}

TEST_F(AudioOut, AShortenedBlockPlaysShortAndTheSlotIsOfferedWholeAgain) {
    std::vector<std::int32_t> offered;
    form->fill = [&](void* buffer, std::int32_t& size) {
        offered.push_back(size);
        if (offered.size() == 2) size = 100;
        return FillCount(buffer, size);
    };
    ASSERT_TRUE(Start());
    Run(2s);
    ASSERT_GE(offered.size(), 6u);
    EXPECT_EQ(offered, std::vector<std::int32_t>(offered.size(), kBlock));
    const auto& spans = wave.Played(0);
    ASSERT_GE(spans.size(), 5u);
    EXPECT_EQ(spans[0].data.size(), static_cast<std::size_t>(kBlock));
    EXPECT_EQ(spans[1].data.size(), 100u);
    EXPECT_EQ(spans[5].data.size(), static_cast<std::size_t>(kBlock)); // slot 1 again
    EXPECT_TRUE(IsCount(Played()));
    out.StopNow();
}

TEST_F(AudioOut, ABlockSizeOutsideTheBufferIsKeptWithinIt) {
    int n = 0;
    form->fill = [&](void* buffer, std::int32_t& size) {
        FillCount(buffer, size);
        ++n;
        if (n == 1) size = 4 * kBlock;
        if (n == 2) size = -5;
        return true;
    };
    ASSERT_TRUE(Start());
    Run(2s);
    // The device plays nothing of the empty block, and never more than a buffer.
    const auto& spans = wave.Played(0);
    ASSERT_GE(spans.size(), 3u);
    EXPECT_EQ(spans[0].block, 0u);
    EXPECT_EQ(spans[0].data.size(), static_cast<std::size_t>(kBlock));
    EXPECT_EQ(spans[1].block, 2u);
    for (const auto& span : spans)
        EXPECT_LE(span.data.size(), static_cast<std::size_t>(kBlock));
    out.StopNow();
}

TEST_F(AudioOut, AnOwnerThatStopsAfterSixBlocksHearsSixAndTheStreamClosesItself) {
    AcceptFirst(6);
    const auto t0 = Now();
    ASSERT_TRUE(Start());
    RunTo(At(6 * kFrames, kRate, t0) - 1ns);
    EXPECT_TRUE(out.Running());
    EXPECT_EQ(out.BlocksDone(), 5);
    RunTo(At(6 * kFrames, kRate, t0));
    EXPECT_FALSE(out.Running());
    EXPECT_FALSE(wave.IsOpen(Dir::Out, 0));
    EXPECT_EQ(out.BlocksDone(), 6);
    EXPECT_EQ(out.BlocksFilled(), 6);
    const auto played = Played();
    EXPECT_EQ(played.size(), 6u * kFrames);
    EXPECT_TRUE(IsCount(played));
    // Asked again for each returning slot until the last accepted block was back.
    EXPECT_EQ(offers, 4 + 6);
}

TEST_F(AudioOut, StopWhenDrainedPlaysTheQueuedBlocksWithoutAskingAgain) {
    AcceptFirst(1000);
    const auto t0 = Now();
    ASSERT_TRUE(Start());
    out.StopWhenDrained();
    RunTo(At(4 * kFrames, kRate, t0) - 1ns);
    EXPECT_TRUE(out.Running());
    RunTo(At(4 * kFrames, kRate, t0));
    EXPECT_FALSE(out.Running());
    EXPECT_FALSE(wave.IsOpen(Dir::Out, 0));
    EXPECT_EQ(offers, 4);
    EXPECT_EQ(Played().size(), 4u * kFrames);
}

TEST_F(AudioOut, StopNowEndsThePlaybackAtOnce) {
    AcceptFirst(1000);
    ASSERT_TRUE(Start());
    Run(500ms);
    out.StopNow();
    EXPECT_FALSE(out.Running());
    EXPECT_EQ(out.ElapsedSeconds(), 0.0);
    EXPECT_FALSE(wave.IsOpen(Dir::Out, 0));
    const auto heard = Played().size();
    EXPECT_EQ(heard, kRate / 2);
    const int asked = offers;
    Run(2s);
    EXPECT_EQ(Played().size(), heard);
    EXPECT_EQ(offers, asked);
}

// A slot that the owner did not fill is never played, and the stream that ends after
// the filled one closes its device completely.
TEST_F(AudioOut, ARefusedPreFillSlotIsNotPlayedAndTheDeviceClosesAfterTheFilledOnes) {
    for (int filled = 1; filled <= 3; ++filled) {
        offers = 0;
        next_sample = 0;
        wave.ClearPlayed(0);
        AcceptFirst(filled);
        ASSERT_TRUE(Start());
        EXPECT_EQ(offers, filled + 1) << "the pre-fill goes on after a refusal";
        Run(2s);
        EXPECT_FALSE(out.Running());
        EXPECT_FALSE(wave.IsOpen(Dir::Out, 0)) << filled << " filled";
        const auto played = Played();
        EXPECT_EQ(played.size(), static_cast<std::size_t>(filled) * kFrames);
        EXPECT_TRUE(IsCount(played));
    }
}

// The owner refuses three returns and accepts the fourth, which ends the count of
// accepted blocks: the stream closes, and must not leave that block with the device.
TEST_F(AudioOut, ABlockAcceptedAtTheClosingReturnDoesNotKeepTheDeviceOpen) {
    form->fill = [this](void* buffer, std::int32_t& size) {
        ++offers;
        return (offers <= 4 || offers == 8) && FillCount(buffer, size);
    };
    ASSERT_TRUE(Start());
    Run(3s);
    EXPECT_EQ(offers, 8);
    EXPECT_FALSE(out.Running());
    EXPECT_FALSE(out.DeviceOpen());
    EXPECT_FALSE(wave.IsOpen(Dir::Out, 0));
    EXPECT_EQ(Played().size(), 4u * kFrames);
    // The device is free for the next stream.
    offers = 0;
    AcceptFirst(1000);
    EXPECT_TRUE(Start()) << out.ErrorText();
    out.StopNow();
}

// The owner may stop playback and start it again from inside its handler, during the
// pre-fill as well as at a refill: the new stream plays as if started from outside.
TEST_F(AudioOut, AnOwnerMayRestartPlaybackFromInsideItsHandler) {
    int restart_at = 2;
    form->fill = [&](void* buffer, std::int32_t& size) {
        FillCount(buffer, size);
        if (++offers == restart_at) {
            restart_at = 0;
            form->AudioOut1->StopNow();
            next_sample = 0;
            wave.ClearPlayed(0);
            EXPECT_TRUE(form->AudioOut1->Start(form->AudioOut1)) << form->AudioOut1->ErrorText();
        }
        return true;
    };
    ASSERT_TRUE(Start()) << out.ErrorText();
    EXPECT_EQ(offers, 2 + 4);
    EXPECT_EQ(out.BlocksQueued(), 4);
    Run(2s);
    EXPECT_EQ(out.ErrorText(), "");
    EXPECT_EQ(out.BlocksDone(), 5);
    EXPECT_EQ(out.BlocksQueued(), 4);
    EXPECT_EQ(Played().size(), 5u * kFrames);
    EXPECT_TRUE(IsCount(Played()));

    // At a refill.
    restart_at = offers + 3;
    Run(2s);
    EXPECT_EQ(restart_at, 0);
    EXPECT_EQ(out.ErrorText(), "");
    EXPECT_TRUE(out.Running());
    EXPECT_EQ(out.BlocksQueued(), 4);
    ASSERT_GE(out.BlocksDone(), 2);
    EXPECT_EQ(Played().size(), static_cast<std::size_t>(out.BlocksDone()) * kFrames);
    EXPECT_TRUE(IsCount(Played()));
    out.StopNow();
}

TEST_F(AudioOut, AnOwnerMayDestroyTheComponentFromInsideItsHandler) {
    int destroy_at = 2;
    form->fill = [&](void* buffer, std::int32_t& size) {
        if (++offers == destroy_at) {
            delete form->AudioOut1;
            form->AudioOut1 = nullptr;
            return false;
        }
        return FillCount(buffer, size);
    };
    // During the pre-fill: Start answers false and leaves nothing open.
    EXPECT_FALSE(out.Start(form->AudioOut1));
    EXPECT_EQ(form->AudioOut1, nullptr);
    EXPECT_FALSE(wave.IsOpen(Dir::Out, 0));
    // At a refill.
    MakeOut();
    offers = 0;
    destroy_at = 6;
    ASSERT_TRUE(form->AudioOut1->Start(form->AudioOut1));
    Run(3s);
    EXPECT_EQ(offers, 6);
    EXPECT_FALSE(wave.IsOpen(Dir::Out, 0));
    EXPECT_EQ(form->ComponentCount(), 0);
    EXPECT_EQ(form->ControlCount(), 0);
}

TEST_F(AudioOut, EachRefusedDeviceStepFailsStartWithItsTextAndLeavesNothingOpen) {
    AcceptFirst(1000);
    struct Case {
        Op op;
        os::MMRESULT code;
        unsigned after;
    };
    const Case cases[] = {
        {Op::Open, os::MMSYSERR_BADDEVICEID, 0},
        {Op::Prepare, os::MMSYSERR_NOMEM, 3},
        {Op::Write, os::MMSYSERR_INVALPARAM, 0},
    };
    for (const auto& c : cases) {
        wave.FailAfter(Dir::Out, 0, c.op, c.code, c.after);
        EXPECT_FALSE(Start());
        EXPECT_EQ(out.ErrorText(), wave.ErrorText(c.code));
        EXPECT_FALSE(out.Running());
        EXPECT_FALSE(wave.IsOpen(Dir::Out, 0));
        wave.ClearFailures();
    }
    Run(1s);
    EXPECT_TRUE(wave.PlayedBytes(0).empty());
}

// A hand-over that fails after the first: Start still succeeds, the owner is not asked
// again, and the stream waits with its lost block until the owner stops it.
TEST_F(AudioOut, ALaterRefusedHandOverStopsTheRefillsButNotTheStart) {
    AcceptFirst(1000);
    wave.FailAfter(Dir::Out, 0, Op::Write, os::MMSYSERR_NOMEM, 2);
    ASSERT_TRUE(Start());
    EXPECT_EQ(out.ErrorText(), wave.ErrorText(os::MMSYSERR_NOMEM));
    Run(3s);
    EXPECT_EQ(offers, 4);
    EXPECT_EQ(out.BlocksDone(), 2);
    EXPECT_TRUE(out.Running());
    EXPECT_EQ(Played().size(), 2u * kFrames);
    out.StopNow();
    EXPECT_FALSE(wave.IsOpen(Dir::Out, 0));
}

TEST_F(AudioOut, AThrowingHandlerCountsAsARefusalAndTheExceptionIsReported) {
    form->fill = [this](void* buffer, std::int32_t& size) -> bool {
        if (++offers == 6) throw fw::Exception("take buffer gone");
        return offers <= 6 && FillCount(buffer, size);
    };
    ASSERT_TRUE(Start());
    Run(3s);
    EXPECT_EQ(exceptions, std::vector<std::string>{"take buffer gone"});
    EXPECT_FALSE(out.Running());
    EXPECT_EQ(out.BlocksFilled(), 5);
    EXPECT_EQ(Played().size(), 5u * kFrames);
}

} // namespace
