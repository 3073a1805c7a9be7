// Wave playback: the output stream, its pre-filled ring and its notification window.
#include "audio/audio_io.hpp"

#include "framework/exception_guard.hpp"

#include <algorithm>
#include <utility>

namespace audio {

TCallBackWinOut::TCallBackWinOut(fw::TComponent* owner)
    : TCallBackWin(owner, {os::MM_WOM_OPEN, os::MM_WOM_CLOSE, os::MM_WOM_DONE}) {}

TAudioIO* TCallBackWinOut::Component() const {
    return OwnerRef ? *OwnerRef : nullptr;
}

void TAudioOut::Describe(fw::TClassBuilder<TAudioOut>& c) {
    c.Prop("Paused", &TAudioOut::Paused, &TAudioOut::SetPaused, false);
    c.Prop("OnFillBuffer", &TAudioOut::OnFillBuffer);
}

TAudioOut::TAudioOut(fw::TComponent* owner) : TAudioIO(owner) {}

TAudioOut::~TAudioOut() {
    // The device must not go on reading buffers that are about to be freed.
    try {
        StopNow();
    } catch (...) {
    }
}

bool TAudioOut::Start(TAudioOut*& OwnerRef) {
    const std::uint64_t before = stream_;
    if (!OpenDevice(OwnerRef)) return false;
    // The owner restarted the playback from inside its pre-fill handler: that Start has
    // already handed the new ring to the device.
    if (stream_ != before + 1) return device_open_;
    return StartDevice();
}

void TAudioOut::StopNow() {
    if (!ResetDevice()) return;
    // The reset has taken every block back.
    with_device_ = 0;
    CloseDevice();
}

void TAudioOut::SetPaused(bool value) {
    paused_ = value;
    if (!running_ || !device_open_) return;
    if (value)
        wave_->Pause(wave_handle_);
    else
        wave_->Restart(wave_handle_);
}

bool TAudioOut::OpenDevice(TAudioOut*& OwnerRef) {
    const bool opened =
        OpenStream(os::WaveDirection::Out, "Wave output device is already open", [&] {
            auto window = std::make_unique<TCallBackWinOut>(nullptr);
            window->OwnerRef = &OwnerRef;
            return window;
        });
    if (!opened) return false;
    prefilled_ = 0;
    const StreamGuard guard(*this);
    if (!FillSlot(0, block_)) {
        if (guard.Lost(*this)) return guard.Alive() && PrefillInterrupted(guard);
        CloseDevice();
        error_text_ = "There must be at least one filled buffer";
        return false;
    }
    // The pre-fill ends at the owner's first refusal: a slot it did not fill is never
    // played, and the filled ones stay in ring order.
    prefilled_ = 1;
    while (prefilled_ < ring_ && FillSlot(prefilled_, block_))
        ++prefilled_;
    if (guard.Lost(*this)) return guard.Alive() && PrefillInterrupted(guard);
    return true;
}

bool TAudioOut::PrefillInterrupted(const StreamGuard& guard) {
    // The owner started playback again, and that stream is open.
    if (device_open_) return true;
    // It only stopped; a failed restart has left its own reason.
    if (stream_ == guard.Stream() + 1)
        error_text_ = "Playback was stopped while its buffers were filled";
    return false;
}

bool TAudioOut::StartDevice() {
    running_ = true;
    if (paused_) wave_->Pause(wave_handle_);
    if (!QueueNextBuffer()) {
        CloseDevice();
        return false;
    }
    for (int i = 1; i < prefilled_; ++i)
        QueueNextBuffer();
    return true;
}

bool TAudioOut::QueueNextBuffer() {
    if (!HandNextBuffer(&os::WaveService::Write)) return false;
    ++with_device_;
    return true;
}

bool TAudioOut::FillSlot(std::int32_t Slot, std::int32_t Size) {
    if (!streaming_) return false;
    bool result = false;
    if (OnFillBuffer) {
        std::int32_t size = Size;
        const StreamGuard guard(*this);
        // A handler that throws has filled nothing: it counts as a refusal.
        fw::Guarded(this, [&] { result = OnFillBuffer(buffers_[Slot], size); });
        // The owner destroyed the component or ended its stream: the slot is not ours to
        // describe any more, and may be with the device for a new stream.
        if (guard.Lost(*this)) return false;
        // Never more than the buffer holds, whatever the handler left.
        headers_[Slot]->dwBufferLength =
            static_cast<std::uint32_t>(std::clamp<std::int32_t>(size, 0, Size));
    }
    if (result) ++blocks_filled_;
    blocks_queued_ = blocks_filled_ - blocks_done_;
    return result;
}

void TAudioOut::BlockReturned() {
    if (with_device_ > 0) --with_device_;
    ++blocks_done_;
    blocks_queued_ = blocks_filled_ - blocks_done_;
    running_ = blocks_queued_ > 0;
    const StreamGuard guard(*this);
    const bool filled = FillSlot(next_slot_, block_);
    // The owner may have destroyed the component, or stopped or restarted the stream,
    // from inside its handler.
    if (guard.Lost(*this)) return;
    if (filled) QueueNextBuffer();
    if (!running_) {
        streaming_ = false;
        CloseDevice();
    }
}

void TAudioOut::CloseDevice() {
    if (!device_open_) return;
    running_ = false;
    SetPaused(false);
    // Blocks can still be with the device here (a refill accepted at the very return that
    // ended the stream): they are taken back, so that the close is not refused.
    if (with_device_ > 0) {
        wave_->Reset(wave_handle_);
        with_device_ = 0;
    }
    UnprepareHeaders();
    CloseStream();
}

} // namespace audio
