// Capture on the simulated input device: the ring and its counters, the blocks' content
// and timing, the stops, the refusals, the failures and the notification window.
#include "audio_test_support.hpp"

using namespace std::chrono_literals;
using namespace atest;

namespace {

class AudioIn : public AudioTest {
protected:
    audio::TAudioIn& in = MakeIn();
    void SetUp() override { wave.SetCaptureSource(0, std::make_shared<FrameCounter>()); }
    bool Start() { return in.Start(form->AudioIn1); }
};

// Every block arrives whole, in recording order, at the moment its last frame was
// recorded, with three buffers still recording during the owner's call.
TEST_F(AudioIn, FourBuffersCirculateWithExactCountersContentAndTiming) {
    std::vector<std::int16_t> taken;
    std::vector<os::TimePoint> when;
    form->filled = [&](void* buffer, std::int32_t& size) {
        EXPECT_EQ(size, kBlock);
        EXPECT_EQ(in.BlocksQueued(), 3);
        EXPECT_EQ(in.BlocksDone(), static_cast<std::int32_t>(when.size()) + 1);
        const auto s = Samples(buffer, size);
        taken.insert(taken.end(), s.begin(), s.end());
        when.push_back(Now());
        return true;
    };
    const auto t0 = Now();
    ASSERT_TRUE(Start()) << in.ErrorText();
    EXPECT_TRUE(in.Running());
    EXPECT_EQ(in.BlocksQueued(), 4);
    EXPECT_EQ(in.BlocksDone(), 0);

    RunTo(At(10 * kFrames, kRate, t0) + 1ms);
    ASSERT_EQ(when.size(), 10u);
    EXPECT_EQ(in.BlocksDone(), 10);
    EXPECT_EQ(in.BlocksFilled(), 10);
    EXPECT_EQ(in.BlocksQueued(), 4);
    for (std::size_t k = 0; k < when.size(); ++k)
        EXPECT_EQ(when[k], At((k + 1) * kFrames, kRate, t0)) << "block " << k;
    for (std::size_t f = 0; f < taken.size(); ++f)
        ASSERT_EQ(taken[f], static_cast<std::int16_t>(f)) << "frame " << f;
    EXPECT_EQ(wave.LostFrames(0), 0u);
    // The position counts frames since the open.
    EXPECT_NEAR(in.ElapsedSeconds(), (Now() - t0).count() / 1e9, 1.0 / kRate);
    in.StopNow();
}

TEST_F(AudioIn, ASecondStartIsRefusedAndLeavesTheFirstStreamRunning) {
    int blocks = 0;
    form->filled = [&](void*, std::int32_t&) { return ++blocks > 0; };
    ASSERT_TRUE(Start());
    Run(1s);
    EXPECT_FALSE(Start());
    EXPECT_EQ(in.ErrorText(), "Wave Input device is already open");
    EXPECT_TRUE(in.Running());
    Run(1s);
    EXPECT_EQ(blocks, 5); // 2 s hold five whole blocks
    EXPECT_EQ(in.BlocksQueued(), 4);
    in.StopNow();
}

TEST_F(AudioIn, StopNowRightAfterStartEndsEverythingAtOnce) {
    int calls = 0;
    form->filled = [&](void*, std::int32_t&) { return ++calls > 0; };
    ASSERT_TRUE(Start());
    EXPECT_TRUE(wave.IsOpen(Dir::In, 0));
    in.StopNow();
    EXPECT_FALSE(in.Running());
    EXPECT_FALSE(in.DeviceOpen());
    EXPECT_FALSE(wave.IsOpen(Dir::In, 0));
    EXPECT_EQ(in.BlocksDone(), 0);
    EXPECT_EQ(in.ElapsedSeconds(), 0.0);
    Run(2s);
    EXPECT_EQ(calls, 0);
    // The component is ready for the next stream, and the position starts again.
    ASSERT_TRUE(Start());
    Run(1s);
    EXPECT_EQ(calls, 2);
    EXPECT_NEAR(in.ElapsedSeconds(), 1.0, 1.0 / kRate);
    in.StopNow();
    EXPECT_EQ(in.ElapsedSeconds(), 0.0);
}

TEST_F(AudioIn, StopWhenDrainedLetsTheQueuedBuffersComeBackWithoutTheOwner) {
    int calls = 0;
    form->filled = [&](void*, std::int32_t&) { return ++calls > 0; };
    const auto t0 = Now();
    ASSERT_TRUE(Start());
    RunTo(At(2 * kFrames, kRate, t0));
    ASSERT_EQ(calls, 2);
    in.StopWhenDrained();
    for (int k = 3; k <= 5; ++k) {
        RunTo(At(k * kFrames, kRate, t0));
        EXPECT_TRUE(in.Running()) << "after block " << k;
        EXPECT_EQ(in.BlocksQueued(), 6 - k);
    }
    RunTo(At(6 * kFrames, kRate, t0));
    EXPECT_FALSE(in.Running());
    EXPECT_FALSE(wave.IsOpen(Dir::In, 0));
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(in.BlocksDone(), 6);
    EXPECT_EQ(in.BlocksFilled(), 2);
}

TEST_F(AudioIn, AHandlerThatChangesSizeDoesNotChangeTheNextBlock) {
    std::vector<std::int32_t> sizes;
    form->filled = [&](void*, std::int32_t& size) {
        sizes.push_back(size);
        size = 100;
        return true;
    };
    ASSERT_TRUE(Start());
    Run(1500ms);
    EXPECT_EQ(sizes, std::vector<std::int32_t>(4, kBlock));
    in.StopNow();
}

TEST_F(AudioIn, AnOwnerThatAlwaysRefusesIsAskedOncePerBufferAndTheStreamClosesItself) {
    int calls = 0;
    form->filled = [&](void*, std::int32_t&) {
        ++calls;
        return false;
    };
    const auto t0 = Now();
    ASSERT_TRUE(Start());
    RunTo(At(3 * kFrames, kRate, t0));
    EXPECT_TRUE(in.Running());
    EXPECT_EQ(in.BlocksQueued(), 1);
    RunTo(At(4 * kFrames, kRate, t0));
    EXPECT_EQ(calls, 4);
    EXPECT_FALSE(in.Running());
    EXPECT_FALSE(wave.IsOpen(Dir::In, 0));
    EXPECT_EQ(in.BlocksFilled(), 0);
    EXPECT_EQ(in.BlocksDone(), 4);
    Run(2s);
    EXPECT_EQ(calls, 4);
}

// After a refusal the owner still gets the blocks that really came back, in order.
TEST_F(AudioIn, BlocksAfterARefusalAreTheOnesRecordedNotTheRefusedBuffer) {
    std::vector<std::int16_t> first_samples;
    form->filled = [&](void* buffer, std::int32_t& size) {
        first_samples.push_back(Samples(buffer, size).front());
        return first_samples.size() != 2;
    };
    ASSERT_TRUE(Start());
    Run(3s);
    ASSERT_GE(first_samples.size(), 6u);
    for (std::size_t k = 0; k < first_samples.size(); ++k)
        EXPECT_EQ(first_samples[k], static_cast<std::int16_t>(k * kFrames)) << "block " << k;
    // One buffer fewer goes round, and nothing was lost while three remained.
    EXPECT_EQ(in.BlocksQueued(), 3);
    EXPECT_EQ(wave.LostFrames(0), 0u);
    in.StopNow();
}

TEST_F(AudioIn, WithoutAHandlerEveryBlockCountsAsTakenAndCaptureRunsOn) {
    in.OnBufferFilled = nullptr;
    ASSERT_TRUE(Start());
    Run(3s);
    EXPECT_TRUE(in.Running());
    EXPECT_EQ(in.BlocksDone(), 8);
    EXPECT_EQ(in.BlocksFilled(), 8);
    in.StopNow();
}

TEST_F(AudioIn, EachRefusedDeviceStepFailsStartWithItsTextAndLeavesNothingOpen) {
    const std::string invalid = wave.ErrorText(os::MMSYSERR_INVALPARAM);
    const std::string nomem = wave.ErrorText(os::MMSYSERR_NOMEM);
    struct Case {
        Op op;
        os::MMRESULT code;
        unsigned after;
        std::string text;
    };
    const Case cases[] = {
        {Op::Open, os::MMSYSERR_ALLOCATED, 0, wave.ErrorText(os::MMSYSERR_ALLOCATED)},
        {Op::Prepare, os::MMSYSERR_INVALPARAM, 2, invalid},
        {Op::Start, os::MMSYSERR_NOMEM, 0, "Error starting wave record: " + nomem},
        {Op::AddBuffer, os::MMSYSERR_INVALPARAM, 1, invalid},
    };
    for (const auto& c : cases) {
        wave.FailAfter(Dir::In, 0, c.op, c.code, c.after);
        EXPECT_FALSE(Start());
        EXPECT_EQ(in.ErrorText(), c.text);
        EXPECT_FALSE(in.Running());
        EXPECT_FALSE(in.DeviceOpen());
        EXPECT_FALSE(wave.IsOpen(Dir::In, 0)) << c.text;
        wave.ClearFailures();
        // The component recovers; the old text stays until the next failure.
        ASSERT_TRUE(Start());
        EXPECT_EQ(in.ErrorText(), c.text);
        in.StopNow();
    }
}

TEST_F(AudioIn, ARefusedHandBackDrainsTheRingAndClosesTheStream) {
    int calls = 0;
    form->filled = [&](void*, std::int32_t&) { return ++calls > 0; };
    const auto t0 = Now();
    wave.FailAfter(Dir::In, 0, Op::AddBuffer, os::MMSYSERR_NOMEM, 4 + 2);
    ASSERT_TRUE(Start());
    RunTo(At(3 * kFrames, kRate, t0));
    EXPECT_EQ(calls, 3); // the third hand-back failed
    EXPECT_EQ(in.ErrorText(), wave.ErrorText(os::MMSYSERR_NOMEM));
    EXPECT_TRUE(in.Running());
    RunTo(At(6 * kFrames, kRate, t0));
    EXPECT_FALSE(in.Running());
    EXPECT_FALSE(wave.IsOpen(Dir::In, 0));
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(in.BlocksDone(), 6);
}

// The last buffer's notification closes the stream and frees its own window while its
// handler runs; the window is a hidden child of the owner and is gone afterwards.
TEST_F(AudioIn, TheNotificationWindowGoesAwayFromInsideItsOwnHandler) {
    in.OnStart = fw::Bind<&TAudioForm::AudioStart>(*form);
    form->filled = [](void*, std::int32_t&) { return false; };
    ASSERT_TRUE(Start());
    Run(1ms);
    ASSERT_EQ(form->started.size(), 1u) << "OnStart was not raised";
    auto* window = dynamic_cast<audio::TCallBackWinIn*>(form->started[0]);
    ASSERT_NE(window, nullptr) << "OnStart's sender is not the hidden window";
    EXPECT_EQ(window->Parent(), form.get());
    EXPECT_FALSE(window->Visible());
    const fw::HWND handle = window->Handle();
    EXPECT_TRUE(fw::IsWindow(handle));
    Run(2s);
    EXPECT_FALSE(in.Running());
    EXPECT_FALSE(fw::IsWindow(handle));
    EXPECT_EQ(form->ControlCount(), 0);
}

TEST_F(AudioIn, AThrowingHandlerCountsAsARefusalAndTheExceptionIsReported) {
    int calls = 0;
    form->filled = [&](void*, std::int32_t&) -> bool {
        if (++calls == 1) throw fw::Exception("copy failed");
        return true;
    };
    ASSERT_TRUE(Start());
    Run(2s);
    EXPECT_EQ(exceptions, std::vector<std::string>{"copy failed"});
    EXPECT_TRUE(in.Running());
    EXPECT_EQ(in.BlocksQueued(), 3);
    EXPECT_EQ(in.BlocksFilled(), in.BlocksDone() - 1);
    in.StopNow();
}

TEST_F(AudioIn, AnOwnerMayStopTheStreamFromInsideItsHandler) {
    int calls = 0;
    form->filled = [&](void*, std::int32_t&) {
        if (++calls == 2) form->AudioIn1->StopNow();
        return true;
    };
    ASSERT_TRUE(Start());
    Run(3s);
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(in.Running());
    EXPECT_FALSE(wave.IsOpen(Dir::In, 0));
    EXPECT_EQ(in.ErrorText(), "");
}

// A device lost mid-stream (a sound server restart, a microphone unplugged) hands back the
// block it was recording cut short and the others empty. The owner gets exactly the sound
// that was recorded, nothing stale, and the stream ends with the device's reason.
TEST_F(AudioIn, ALostDeviceDeliversOnlyWhatWasRecordedAndEndsTheStream) {
    std::vector<std::int32_t> sizes;
    std::vector<std::int16_t> take;
    form->filled = [&](void* buffer, std::int32_t& size) {
        sizes.push_back(size);
        const auto s = Samples(buffer, size);
        take.insert(take.end(), s.begin(), s.end());
        return true;
    };
    auto take_is_count = [&] {
        for (std::size_t f = 0; f < take.size(); ++f)
            if (take[f] != static_cast<std::int16_t>(f)) return false;
        return true;
    };
    auto t0 = Now();
    ASSERT_TRUE(Start());
    RunTo(At(2 * kFrames + kFrames / 2, kRate, t0));
    ASSERT_EQ(sizes.size(), 2u);
    wave.LoseDevice(Dir::In, 0);
    Run(1ms);
    EXPECT_EQ(sizes, (std::vector<std::int32_t>{kBlock, kBlock, kBlock / 2}));
    EXPECT_EQ(take.size(), 2u * kFrames + kFrames / 2);
    EXPECT_TRUE(take_is_count());
    EXPECT_EQ(in.BlocksDone(), 3);
    EXPECT_EQ(in.BlocksFilled(), 3);
    EXPECT_FALSE(in.Running());
    EXPECT_FALSE(wave.IsOpen(Dir::In, 0));
    EXPECT_EQ(in.ErrorText(), wave.ErrorText(os::MMSYSERR_ERROR));

    // Lost between two blocks: the buffer it had just begun holds nothing and is no block.
    sizes.clear();
    take.clear();
    t0 = Now();
    ASSERT_TRUE(Start());
    RunTo(At(2 * kFrames, kRate, t0));
    wave.LoseDevice(Dir::In, 0, os::MMSYSERR_NODRIVER);
    Run(1ms);
    EXPECT_EQ(sizes, std::vector<std::int32_t>(2, kBlock));
    EXPECT_TRUE(take_is_count());
    EXPECT_EQ(in.BlocksDone(), 2);
    EXPECT_FALSE(in.Running());
    EXPECT_EQ(in.ErrorText(), wave.ErrorText(os::MMSYSERR_NODRIVER));
}

// The owner may stop the stream and start the next one from inside its handler: the new
// stream runs as if started from outside.
TEST_F(AudioIn, AnOwnerMayRestartTheStreamFromInsideItsHandler) {
    std::vector<std::int16_t> first_samples;
    form->filled = [&](void* buffer, std::int32_t& size) {
        first_samples.push_back(Samples(buffer, size).front());
        if (first_samples.size() == 2) {
            form->AudioIn1->StopNow();
            EXPECT_TRUE(form->AudioIn1->Start(form->AudioIn1));
        }
        return true;
    };
    const auto t0 = Now();
    ASSERT_TRUE(Start());
    RunTo(At(2 * kFrames, kRate, t0));
    ASSERT_EQ(first_samples.size(), 2u);
    const auto t1 = Now();
    RunTo(At(6 * kFrames, kRate, t1));
    EXPECT_EQ(in.ErrorText(), "");
    EXPECT_TRUE(in.Running());
    EXPECT_EQ(in.BlocksDone(), 6);
    EXPECT_EQ(in.BlocksFilled(), 6);
    EXPECT_EQ(in.BlocksQueued(), 4);
    // The new take begins at its own first frame and goes on block after block.
    ASSERT_EQ(first_samples.size(), 2u + 6);
    for (std::size_t k = 0; k < 6; ++k)
        EXPECT_EQ(first_samples[2 + k], static_cast<std::int16_t>(k * kFrames)) << "block " << k;
    EXPECT_EQ(wave.LostFrames(0), 0u);
    in.StopNow();
}

TEST_F(AudioIn, AnOwnerMayDestroyTheComponentFromInsideItsHandler) {
    int calls = 0;
    form->filled = [&](void*, std::int32_t&) {
        if (++calls == 2) {
            delete form->AudioIn1;
            form->AudioIn1 = nullptr;
        }
        return true;
    };
    ASSERT_TRUE(Start());
    Run(3s);
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(wave.IsOpen(Dir::In, 0));
    EXPECT_EQ(form->ComponentCount(), 0);
    EXPECT_EQ(form->ControlCount(), 0); // the hidden window went with it
}

TEST_F(AudioIn, NoMemoryIsAllocatedWhileBlocksCirculate) {
    CountingAllocator counting;
    ASSERT_TRUE(Start());
    Run(5s);
    in.StopNow();
    ASSERT_TRUE(Start());
    Run(1s);
    in.StopNow();
    EXPECT_EQ(counting.allocations, 0);
}

} // namespace
