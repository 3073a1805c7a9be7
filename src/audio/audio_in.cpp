// Wave capture: the input stream, its ring of buffers and its notification window.
#include "audio/audio_io.hpp"

#include "framework/exception_guard.hpp"

#include <algorithm>
#include <utility>

namespace audio {

TCallBackWinIn::TCallBackWinIn(fw::TComponent* owner)
    : TCallBackWin(owner, {os::MM_WIM_OPEN, os::MM_WIM_CLOSE, os::MM_WIM_DATA}) {}

TAudioIO* TCallBackWinIn::Component() const {
    return OwnerRef ? *OwnerRef : nullptr;
}

void TAudioIn::Describe(fw::TClassBuilder<TAudioIn>& c) {
    c.Prop("OnBufferFilled", &TAudioIn::OnBufferFilled);
}

TAudioIn::TAudioIn(fw::TComponent* owner) : TAudioIO(owner) {}

TAudioIn::~TAudioIn() {
    // The device must not go on writing into buffers that are about to be freed.
    try {
        StopNow();
    } catch (...) {
    }
}

bool TAudioIn::Start(TAudioIn*& OwnerRef) {
    if (!OpenDevice(OwnerRef)) return false;
    return StartDevice();
}

void TAudioIn::StopNow() {
    if (ResetDevice()) CloseDevice();
}

bool TAudioIn::OpenDevice(TAudioIn*& OwnerRef) {
    return OpenStream(os::WaveDirection::In, "Wave Input device is already open", [&] {
        auto window = std::make_unique<TCallBackWinIn>(nullptr);
        window->OwnerRef = &OwnerRef;
        return window;
    });
}

bool TAudioIn::StartDevice() {
    const os::MMRESULT r = wave_->Start(wave_handle_);
    if (r != os::MMSYSERR_NOERROR) {
        CloseDevice();
        error_text_ = "Error starting wave record: " + InputErrorText(r);
        return false;
    }
    running_ = true;
    for (int i = 0; i < ring_; ++i) {
        if (!QueueNextBuffer()) {
            CloseDevice();
            return false;
        }
    }
    return true;
}

bool TAudioIn::QueueNextBuffer() {
    if (!HandNextBuffer(&os::WaveService::AddBuffer)) return false;
    ++blocks_queued_;
    return true;
}

void TAudioIn::BlockReturned() {
    // The buffers with the device are the ones just before NextSlot in ring order, so the
    // oldest of them is the one that came back. After a refusal that is no longer the
    // buffer at NextSlot, which stays free for the next hand-back.
    const std::int32_t with_device = std::max(blocks_queued_, 1);
    const std::int32_t slot = ((next_slot_ - with_device) % ring_ + ring_) % ring_;
    --blocks_queued_;
    running_ = blocks_queued_ > 0;
    // Only what the device recorded is sound. A lost device gives back the block it was
    // recording cut short and the ones it had not begun empty; an empty one is no block
    // for the owner and goes straight back, where a lost device refuses it.
    const std::int32_t recorded = RecordedBytes(*headers_[slot]);
    bool hand_back = streaming_;
    if (recorded > 0) {
        ++blocks_done_;
        const StreamGuard guard(*this);
        hand_back = DeliverBlock(buffers_[slot], recorded);
        // The owner may have destroyed the component, or stopped or restarted the stream,
        // from inside its handler.
        if (guard.Lost(*this)) return;
    }
    if (hand_back) QueueNextBuffer();
    if (!running_) {
        streaming_ = false;
        CloseDevice();
    }
}

bool TAudioIn::DeliverBlock(void* Buffer, std::int32_t Size) {
    if (!streaming_) return false;
    bool result = true;
    if (OnBufferFilled) {
        std::int32_t size = Size;
        const StreamGuard guard(*this);
        // A handler that throws has not taken the block: it counts as refused.
        result = false;
        fw::Guarded(this, [&] { result = OnBufferFilled(Buffer, size); });
        // Not a block of the stream open now, if any is.
        if (guard.Lost(*this)) return false;
    }
    if (result) ++blocks_filled_;
    return result;
}

void TAudioIn::CloseDevice() {
    if (!device_open_) return;
    running_ = false;
    UnprepareHeaders();
    wave_->Reset(wave_handle_);
    CloseStream();
}

} // namespace audio
