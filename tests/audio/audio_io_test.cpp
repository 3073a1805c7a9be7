// What both components share: the settings and their bounds, the format record, the
// ring's memory whatever the order of assignments, allocation failures, the stops of an
// idle component, destruction with an open stream, and loading from a form description.
#include "audio_test_support.hpp"

#include "framework/form_reader.hpp"

#include <algorithm>
#include <array>

using namespace std::chrono_literals;
using namespace atest;

namespace {

class AudioIO : public AudioTest {};

// The constructor's values are the published defaults: a fresh component stores nothing
// in a form description.
TEST_F(AudioIO, AFreshComponentHasTheDeclaredDefaults) {
    auto* in = fw::New<audio::TAudioIn>(*form);
    auto* out = fw::New<audio::TAudioOut>(*form);
    for (fw::TComponent* c : {static_cast<fw::TComponent*>(in), static_cast<fw::TComponent*>(out)})
        for (const auto& p : c->ClassInfo().Properties())
            EXPECT_FALSE(p.IsStored(*c)) << c->ClassInfo().Name() << "." << p.Name();
    EXPECT_EQ(in->BufferSize(), 8192);
    EXPECT_EQ(in->WaveDevice(), os::WAVE_MAPPER);
    EXPECT_EQ(in->ErrorText(), "");
    EXPECT_FALSE(out->Running());
    EXPECT_EQ(in->ElapsedSeconds(), 0.0);
    EXPECT_EQ(out->ElapsedSeconds(), 0.0);
}

// The record's fields in order: tag, channels, rate, bytes per second, frame size, bits
// per sample, extra size (read by value: the record is packed).
using Fields = std::array<std::uint32_t, 7>;
Fields FieldsOf(const os::WaveFormatEx& f) {
    return {f.wFormatTag,  f.nChannels,      f.nSamplesPerSec, f.nAvgBytesPerSec,
            f.nBlockAlign, f.wBitsPerSample, f.cbSize};
}

TEST_F(AudioIO, TheFormatRecordFollowsTheSettings) {
    static_assert(sizeof(os::WaveFormatEx) == 18);
    auto& c = MakeIn();
    EXPECT_EQ(FieldsOf(c.WaveFormat()), (Fields{1, 1, 22050, 44100, 2, 16, 0}));
    c.SetStereo(true);
    EXPECT_TRUE(c.Stereo());
    EXPECT_EQ(FieldsOf(c.WaveFormat()), (Fields{1, 2, 22050, 88200, 4, 16, 0}));
    c.SetQuantization(8);
    EXPECT_EQ(FieldsOf(c.WaveFormat()), (Fields{1, 2, 22050, 44100, 2, 8, 0}));
    // The rate is taken as it comes; frame size and buffer size do not depend on it.
    c.SetBufferSize(1001);
    c.SetFrameRate(0);
    EXPECT_EQ(c.FrameRate(), 0);
    EXPECT_EQ(FieldsOf(c.WaveFormat()), (Fields{1, 2, 0, 0, 2, 8, 0}));
    EXPECT_EQ(c.BufferSize(), 1000);
    c.SetFrameRate(-5);
    EXPECT_EQ(c.FrameRate(), -5);
    EXPECT_EQ(c.BufferSize(), 1000);
}

TEST_F(AudioIO, SettingsAreKeptWithinTheirBounds) {
    auto& c = MakeIn();
    struct SizeCase {
        std::int32_t requested;
        std::uint16_t bits;
        bool stereo;
        std::int32_t expected;
    };
    const SizeCase sizes[] = {
        {100, 16, false, 512},    {-7, 8, false, 512},    {1001, 16, false, 1000},
        {16383, 16, true, 16380}, {1001, 8, false, 1001}, {1001, 8, true, 1000},
        {16384, 16, true, 16384}, {513, 16, true, 512},
    };
    for (const auto& s : sizes) {
        c.SetQuantization(s.bits);
        c.SetStereo(s.stereo);
        c.SetBufferSize(s.requested);
        EXPECT_EQ(c.BufferSize(), s.expected) << s.requested << " " << s.bits << " " << s.stereo;
    }
    // The floor is a multiple of every frame size.
    c.SetBufferSize(100);
    for (std::uint16_t bits : {8, 16})
        for (bool stereo : {false, true}) {
            c.SetQuantization(bits);
            c.SetStereo(stereo);
            EXPECT_EQ(c.BufferSize(), 512);
        }
    const std::pair<std::int32_t, std::int32_t> counts[] = {{0, 2}, {9, 4}, {3, 3}, {-1, 2}};
    for (auto [value, stored] : counts) {
        c.SetNumBuffers(value);
        EXPECT_EQ(c.NumBuffers(), stored) << value;
    }
    const std::pair<std::uint16_t, std::uint16_t> bits[] = {
        {12, 16}, {0, 8}, {8, 8}, {9, 16}, {65535, 16}};
    for (auto [value, stored] : bits) {
        c.SetQuantization(value);
        EXPECT_EQ(c.Quantization(), stored) << value;
    }
}

// A smaller frame after a size that is no multiple of 4 makes the block larger than the
// memory first allocated for it; the device must still find a whole block of memory.
TEST_F(AudioIO, ABlockThatGrowsWithTheFormatGetsBuffersThatHoldIt) {
    auto& in = MakeIn();
    in.SetBufferSize(1001);
    CountingAllocator counting;
    in.SetQuantization(8);
    ASSERT_EQ(in.BufferSize(), 1001);
    ASSERT_FALSE(counting.sizes.empty());
    for (std::size_t bytes : counting.sizes)
        EXPECT_EQ(bytes, 1001u);
    wave.SetCaptureSource(0, std::make_shared<FrameCounter>());
    std::vector<std::uint8_t> taken;
    form->filled = [&](void* buffer, std::int32_t& size) {
        EXPECT_EQ(size, 1001);
        const auto* b = static_cast<const std::uint8_t*>(buffer);
        taken.insert(taken.end(), b, b + size);
        return true;
    };
    ASSERT_TRUE(in.Start(form->AudioIn1)) << in.ErrorText();
    Run(1s);
    in.StopNow();
    ASSERT_GE(taken.size(), 10u * 1001);
    for (std::size_t f = 0; f < taken.size(); ++f) {
        const auto v = static_cast<std::int16_t>(static_cast<std::uint16_t>(f));
        ASSERT_EQ(taken[f], static_cast<std::uint8_t>((v >> 8) + 128)) << "frame " << f;
    }
}

TEST_F(AudioIO, RaisingNumBuffersGivesEverySlotInUseABuffer) {
    auto& in = MakeIn();
    in.SetNumBuffers(2);
    in.SetBufferSize(4096);
    in.SetNumBuffers(4);
    wave.SetCaptureSource(0, std::make_shared<FrameCounter>());
    std::vector<std::int16_t> taken;
    form->filled = [&](void* buffer, std::int32_t& size) {
        const auto s = Samples(buffer, size);
        taken.insert(taken.end(), s.begin(), s.end());
        return true;
    };
    ASSERT_TRUE(in.Start(form->AudioIn1)) << in.ErrorText();
    EXPECT_EQ(in.BlocksQueued(), 4);
    Run(1s);
    in.StopNow();
    ASSERT_EQ(taken.size(), 10u * 2048);
    for (std::size_t f = 0; f < taken.size(); ++f)
        ASSERT_EQ(taken[f], static_cast<std::int16_t>(f)) << "frame " << f;
}

TEST_F(AudioIO, AllocationFailuresAreReportedAndStartTriesAgain) {
    CountingAllocator counting;
    counting.refuse = [](std::size_t) { return true; };
    audio::TAudioIn* in = fw::New<audio::TAudioIn>(*form);
    form->AudioIn1 = in;
    // Construction tries both; the later failure is the one that stays.
    EXPECT_EQ(in->ErrorText(), "Error allocating wave buffer memory");
    EXPECT_FALSE(in->Start(form->AudioIn1));
    EXPECT_EQ(in->ErrorText(), "Error allocating wave header memory");
    EXPECT_FALSE(wave.IsOpen(Dir::In, 0));

    // Headers, but no data buffers.
    counting.refuse = [](std::size_t bytes) { return bytes != os::kWaveHdrSize; };
    EXPECT_FALSE(in->Start(form->AudioIn1));
    EXPECT_EQ(in->ErrorText(), "Error allocating wave buffer memory");
    EXPECT_FALSE(wave.IsOpen(Dir::In, 0));
    auto* out = fw::New<audio::TAudioOut>(*form);
    form->AudioOut1 = out;
    EXPECT_EQ(out->ErrorText(), "Error allocating wave buffer memory");
    out->SetBufferSize(4096);
    EXPECT_EQ(out->ErrorText(), "Error allocating wave buffer memory");
    out->OnFillBuffer = fw::Bind<&TAudioForm::AudioOut1FillBuffer>(*form);
    form->fill = [](void*, std::int32_t&) { return true; };
    EXPECT_FALSE(out->Start(form->AudioOut1));
    EXPECT_FALSE(wave.IsOpen(Dir::Out, 0));

    counting.refuse = nullptr;
    EXPECT_TRUE(in->Start(form->AudioIn1)) << in->ErrorText();
    EXPECT_TRUE(out->Start(form->AudioOut1)) << out->ErrorText();
    in->StopNow();
    out->StopNow();
}

TEST_F(AudioIO, StopsOfAComponentWithoutADeviceChangeNothing) {
    auto& in = MakeIn();
    auto& out = MakeOut();
    form->fill = [](void*, std::int32_t&) { return true; };
    ASSERT_TRUE(out.Start(form->AudioOut1));
    ASSERT_TRUE(in.Start(form->AudioIn1));
    Run(1s);
    out.StopNow();
    in.StopNow();
    wave.FailAfter(Dir::In, 0, Op::Open, os::MMSYSERR_NOMEM);
    EXPECT_FALSE(in.Start(form->AudioIn1));
    const std::string text = in.ErrorText();
    for (audio::TAudioIO* c :
         {static_cast<audio::TAudioIO*>(&in), static_cast<audio::TAudioIO*>(&out)}) {
        const auto done = c->BlocksDone(), filled = c->BlocksFilled(), queued = c->BlocksQueued();
        ASSERT_GT(done, 0);
        c->StopNow();
        c->StopWhenDrained();
        EXPECT_FALSE(c->Running());
        EXPECT_EQ(c->BlocksDone(), done);
        EXPECT_EQ(c->BlocksFilled(), filled);
        EXPECT_EQ(c->BlocksQueued(), queued);
    }
    EXPECT_EQ(in.ErrorText(), text);
}

// The device holds the buffers while a stream is open: a new size waits for the next one.
TEST_F(AudioIO, ABufferSizeAssignedDuringAStreamTakesEffectAtTheNextOpen) {
    auto& in = MakeIn();
    wave.SetCaptureSource(0, std::make_shared<FrameCounter>());
    std::vector<std::int32_t> sizes;
    std::vector<std::int16_t> first;
    form->filled = [&](void* buffer, std::int32_t& size) {
        sizes.push_back(size);
        first.push_back(Samples(buffer, size).front());
        return true;
    };
    ASSERT_TRUE(in.Start(form->AudioIn1));
    CountingAllocator counting;
    in.SetBufferSize(4096);
    in.SetNumBuffers(2);
    in.SetStereo(true);
    in.SetStereo(false);
    EXPECT_EQ(in.BufferSize(), 4096);
    EXPECT_EQ(counting.allocations, 0);
    Run(1s);
    EXPECT_EQ(sizes, std::vector<std::int32_t>(2, kBlock));
    EXPECT_EQ(first[1], static_cast<std::int16_t>(kFrames));
    in.StopNow();
    EXPECT_EQ(counting.allocations, 2);
    sizes.clear();
    ASSERT_TRUE(in.Start(form->AudioIn1));
    EXPECT_EQ(in.BlocksQueued(), 2);
    Run(1s);
    EXPECT_EQ(sizes, std::vector<std::int32_t>(10, 4096));
    in.StopNow();
}

TEST_F(AudioIO, AComponentDestroyedWithAnOpenStreamClosesItsDevice) {
    auto& in = MakeIn();
    auto& out = MakeOut();
    int blocks = 0;
    form->filled = [&](void*, std::int32_t&) { return ++blocks > 0; };
    form->fill = [&](void*, std::int32_t&) { return ++blocks > 0; };
    ASSERT_TRUE(in.Start(form->AudioIn1));
    ASSERT_TRUE(out.Start(form->AudioOut1));
    Run(1s);
    delete form->AudioIn1;
    form->AudioIn1 = nullptr;
    EXPECT_FALSE(wave.IsOpen(Dir::In, 0));
    EXPECT_TRUE(wave.IsOpen(Dir::Out, 0));
    const int seen = blocks;
    // The owner goes with the playback stream still open.
    form.reset();
    EXPECT_FALSE(wave.IsOpen(Dir::Out, 0));
    Run(2s);
    EXPECT_EQ(blocks, seen);
}

// Every stream that closes, however it closes, says so once: OnStop comes from the message
// loop with the stream's hidden window as Sender, the one that OnStart had, and the window
// goes after it.
TEST_F(AudioIO, OnStopReportsEveryClosedStreamWithItsHiddenWindow) {
    auto& in = MakeIn();
    auto& out = MakeOut();
    for (audio::TAudioIO* c :
         {static_cast<audio::TAudioIO*>(&in), static_cast<audio::TAudioIO*>(&out)}) {
        c->OnStart = fw::Bind<&TAudioForm::AudioStart>(*form);
        c->OnStop = fw::Bind<&TAudioForm::AudioStop>(*form);
    }
    // What each OnStop saw: which window, and whether its component was still running.
    std::string seen;
    form->stop = [&](fw::TObject* sender) {
        if (dynamic_cast<audio::TCallBackWinIn*>(sender))
            seen += in.Running() ? "I" : "i";
        else if (dynamic_cast<audio::TCallBackWinOut*>(sender))
            seen += out.Running() ? "O" : "o";
        else
            seen += "?";
    };
    auto start_both = [&] {
        form->started.clear();
        form->stopped.clear();
        seen.clear();
        ASSERT_TRUE(in.Start(form->AudioIn1));
        ASSERT_TRUE(out.Start(form->AudioOut1));
        Run(1ms);
        ASSERT_EQ(form->started.size(), 2u);
    };

    form->fill = [](void*, std::int32_t&) { return true; };
    start_both();
    Run(1s);
    in.StopNow();
    out.StopNow();
    EXPECT_TRUE(form->stopped.empty()); // not from inside the stop
    Run(1ms);
    EXPECT_EQ(seen, "io");
    EXPECT_EQ(form->stopped, form->started);
    EXPECT_EQ(form->ControlCount(), 0);

    // Streams that end by themselves: the owner refuses what is recorded and has nothing
    // more to play.
    int offers = 0;
    form->filled = [](void*, std::int32_t&) { return false; };
    form->fill = [&](void*, std::int32_t&) { return ++offers <= 4; };
    start_both();
    Run(3s);
    EXPECT_FALSE(in.Running());
    EXPECT_FALSE(out.Running());
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, "io");
    ASSERT_EQ(form->stopped.size(), 2u);
    EXPECT_TRUE(
        std::is_permutation(form->stopped.begin(), form->stopped.end(), form->started.begin()));
    EXPECT_EQ(form->ControlCount(), 0);

    // A capture device lost mid-stream.
    form->filled = [](void*, std::int32_t&) { return true; };
    form->fill = [](void*, std::int32_t&) { return true; };
    start_both();
    Run(1s);
    wave.LoseDevice(Dir::In, 0);
    Run(1ms);
    EXPECT_EQ(seen, "i");
    EXPECT_EQ(form->stopped, std::vector<fw::TObject*>{form->started[0]});
    out.StopNow();
    Run(1ms);
    EXPECT_EQ(seen, "io");

    // A handler of OnStop may start the next stream at once.
    form->stop = [&](fw::TObject*) {
        if (form->stopped.size() == 1) EXPECT_TRUE(in.Start(form->AudioIn1));
    };
    form->started.clear();
    form->stopped.clear();
    ASSERT_TRUE(in.Start(form->AudioIn1));
    in.StopNow();
    Run(1s);
    EXPECT_TRUE(in.Running());
    EXPECT_EQ(in.BlocksDone(), 2);
    EXPECT_EQ(form->started.size(), 2u);
    EXPECT_EQ(form->stopped.size(), 1u);
    in.StopNow();
}

const char* kFormText = "object AudioForm: TAudioForm\n"
                        "  object AudioIn1: TAudioIn\n"
                        "    BufferSize = 16384\n"
                        "    FrameRate = 22050\n"
                        "    WaveDevice = 0\n"
                        "    OnBufferFilled = AudioIn1BufferFilled\n"
                        "  end\n"
                        "  object AudioOut1: TAudioOut\n"
                        "    BufferSize = 16384\n"
                        "    NumBuffers = 3\n"
                        "    Quantization = 8\n"
                        "    WaveDevice = 0\n"
                        "    OnFillBuffer = AudioOut1FillBuffer\n"
                        "  end\n"
                        "end\n";

TEST_F(AudioIO, TheComponentsLoadFromAFormDescription) {
    audio::Register();
    ASSERT_NE(fw::GetClass("TAudioIn"), nullptr);
    ASSERT_NE(fw::GetClass("TAudioOut"), nullptr);
    auto loose = fw::ReadNewComponent("object AudioIn2: TAudioIn\n  BufferSize = 4095\nend\n");
    auto* in2 = dynamic_cast<audio::TAudioIn*>(loose.get());
    ASSERT_NE(in2, nullptr);
    EXPECT_EQ(in2->BufferSize(), 4094);

    fw::ReadComponent(kFormText, *form);
    audio::TAudioIn* in = form->AudioIn1;
    audio::TAudioOut* out = form->AudioOut1;
    ASSERT_NE(in, nullptr);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(in->Owner(), form.get());
    EXPECT_EQ(in->BufferSize(), 16384);
    EXPECT_EQ(in->FrameRate(), 22050);
    EXPECT_EQ(in->WaveDevice(), 0u);
    EXPECT_EQ(in->OnBufferFilled, fw::Bind<&TAudioForm::AudioIn1BufferFilled>(*form));
    EXPECT_EQ(out->NumBuffers(), 3);
    EXPECT_EQ(out->Quantization(), 8);
    EXPECT_EQ(out->OnFillBuffer, fw::Bind<&TAudioForm::AudioOut1FillBuffer>(*form));

    int sizes_ok = 0;
    form->filled = [&](void*, std::int32_t& size) { return size == 16384 && ++sizes_ok > 0; };
    form->fill = [](void*, std::int32_t&) { return true; };
    ASSERT_TRUE(in->Start(form->AudioIn1)) << in->ErrorText();
    ASSERT_TRUE(out->Start(form->AudioOut1)) << out->ErrorText();
    EXPECT_EQ(out->BlocksQueued(), 3);
    Run(1s);
    EXPECT_EQ(sizes_ok, 2);
    EXPECT_EQ(out->BlocksDone(), 1); // 16384 bytes of 8-bit sound last 0.74 s
    in->StopNow();
    out->StopNow();
}

} // namespace
