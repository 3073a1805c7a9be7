// Wave playback: the output stream, its pre-filled ring and its notification window.
#include "audio/audio_io.hpp"

#include "framework/exception_guard.hpp"

#include <algorithm>
#include <utility>

namespace audio {

namespace {
constexpr std::uint32_t kOpenFlags = os::CALLBACK_WINDOW | os::WAVE_ALLOWSYNC;
} // namespace

void TCallBackWinOut::Dispatch(fw::TMessage& message) {
    TAudioOut* component = OwnerRef ? *OwnerRef : nullptr;
    switch (message.Msg) {
    case os::MM_WOM_OPEN:
        if (component && component->OnStart) component->OnStart(this);
        return;
    case os::MM_WOM_CLOSE:
        // The stream is over: this window goes once OnStop has returned.
        if (keeper_) std::exchange(keeper_, nullptr)->ReleaseClosed(this);
        if (component && component->OnStop) component->OnStop(this);
        return;
    case os::MM_WOM_DONE:
        // Blocks that a closing stream's reset gave back reach only its retired window.
        if (component && component->notify_window_.get() == this) component->BlockPlayed();
        return;
    default:
        TWinControl::Dispatch(message);
    }
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
    if (!device_open_) return;
    running_ = false;
    streaming_ = false;
    wave_->Reset(wave_handle_);
    with_device_ = 0;
    CloseDevice();
}

void TAudioOut::StopWhenDrained() {
    if (device_open_) streaming_ = false;
}

double TAudioOut::ElapsedSeconds() const {
    return running_ && device_open_ ? PositionSeconds(wave_handle_) : 0.0;
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
    if (device_open_) {
        error_text_ = "Wave output device is already open";
        return false;
    }
    os::WaveService* wave = FindWaveService();
    if (!wave || !MemoryReady()) return false;
    wave_ = wave;
    next_slot_ = 0;
    ++stream_;
    notify_window_ = std::make_unique<TCallBackWinOut>(nullptr);
    AdoptNotifyWindow(*notify_window_);
    notify_window_->OwnerRef = &OwnerRef;
    const fw::HWND window = notify_window_->Handle();
    const os::MMRESULT opened = wave_->Open(os::WaveDirection::Out, wave_device_, wave_format_,
                                            window, kOpenFlags, wave_handle_);
    if (opened != os::MMSYSERR_NOERROR) {
        error_text_ = OutputErrorText(opened);
        fw::ReleaseWindowLater(std::move(notify_window_));
        return false;
    }
    device_open_ = true;
    with_device_ = 0;
    ResetHeaders();
    for (int slot = 0; slot < ring_; ++slot) {
        const os::MMRESULT r = wave_->PrepareHeader(wave_handle_, headers_[slot], os::kWaveHdrSize);
        if (r != os::MMSYSERR_NOERROR) {
            error_text_ = OutputErrorText(r);
            CloseDevice();
            return false;
        }
    }
    blocks_queued_ = blocks_done_ = blocks_filled_ = 0;
    streaming_ = true;
    running_ = true;
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
    os::WaveHdr* header = headers_[next_slot_];
    header->dwFlags = os::WHDR_PREPARED;
    const os::MMRESULT r = wave_->Write(wave_handle_, header, os::kWaveHdrSize);
    if (r != os::MMSYSERR_NOERROR) {
        error_text_ = OutputErrorText(r);
        StopWhenDrained();
        return false;
    }
    next_slot_ = (next_slot_ + 1) % ring_;
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

void TAudioOut::BlockPlayed() {
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
    for (int slot = 0; slot < ring_; ++slot)
        wave_->UnprepareHeader(wave_handle_, headers_[slot], os::kWaveHdrSize);
    const bool closed = wave_->Close(wave_handle_) == os::MMSYSERR_NOERROR;
    device_open_ = false;
    streaming_ = false;
    wave_handle_ = 0;
    ++stream_;
    // The close notification is still to come, and OnStop with it.
    if (closed && notify_window_) notify_window_->keeper_ = this;
    RetireNotifyWindow(std::move(notify_window_), closed);
    ApplyDeferredMemory();
}

} // namespace audio
