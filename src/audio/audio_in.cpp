// Wave capture: the input stream, its ring of buffers and its notification window.
#include "audio/audio_io.hpp"

#include "framework/exception_guard.hpp"

#include <algorithm>
#include <utility>

namespace audio {

namespace {
constexpr std::uint32_t kOpenFlags = os::CALLBACK_WINDOW | os::WAVE_ALLOWSYNC;
} // namespace

void TCallBackWinIn::Dispatch(fw::TMessage& message) {
    TAudioIn* component = OwnerRef ? *OwnerRef : nullptr;
    switch (message.Msg) {
    case os::MM_WIM_OPEN:
        if (component && component->OnStart) component->OnStart(this);
        return;
    case os::MM_WIM_CLOSE:
        // The stream is over: this window goes once OnStop has returned.
        if (keeper_) std::exchange(keeper_, nullptr)->ReleaseClosed(this);
        if (component && component->OnStop) component->OnStop(this);
        return;
    case os::MM_WIM_DATA:
        // Buffers that a closing stream's reset gave back reach only its retired window.
        if (component && component->notify_window_.get() == this) component->BufferFull();
        return;
    default:
        TWinControl::Dispatch(message);
    }
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
    if (!device_open_) return;
    running_ = false;
    streaming_ = false;
    wave_->Reset(wave_handle_);
    CloseDevice();
}

void TAudioIn::StopWhenDrained() {
    if (device_open_) streaming_ = false;
}

double TAudioIn::ElapsedSeconds() const {
    return running_ && device_open_ ? PositionSeconds(wave_handle_) : 0.0;
}

bool TAudioIn::OpenDevice(TAudioIn*& OwnerRef) {
    if (device_open_) {
        error_text_ = "Wave Input device is already open";
        return false;
    }
    os::WaveService* wave = FindWaveService();
    if (!wave || !MemoryReady()) return false;
    wave_ = wave;
    next_slot_ = 0;
    ++stream_;
    notify_window_ = std::make_unique<TCallBackWinIn>(nullptr);
    AdoptNotifyWindow(*notify_window_);
    notify_window_->OwnerRef = &OwnerRef;
    const fw::HWND window = notify_window_->Handle();
    const os::MMRESULT opened = wave_->Open(os::WaveDirection::In, wave_device_, wave_format_,
                                            window, kOpenFlags, wave_handle_);
    if (opened != os::MMSYSERR_NOERROR) {
        error_text_ = InputErrorText(opened);
        fw::ReleaseWindowLater(std::move(notify_window_));
        return false;
    }
    device_open_ = true;
    ResetHeaders();
    for (int slot = 0; slot < ring_; ++slot) {
        const os::MMRESULT r = wave_->PrepareHeader(wave_handle_, headers_[slot], os::kWaveHdrSize);
        if (r != os::MMSYSERR_NOERROR) {
            error_text_ = InputErrorText(r);
            CloseDevice();
            return false;
        }
    }
    blocks_queued_ = blocks_done_ = blocks_filled_ = 0;
    streaming_ = true;
    running_ = true;
    return true;
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
    os::WaveHdr* header = headers_[next_slot_];
    header->dwFlags = os::WHDR_PREPARED;
    const os::MMRESULT r = wave_->AddBuffer(wave_handle_, header, os::kWaveHdrSize);
    if (r != os::MMSYSERR_NOERROR) {
        error_text_ = InputErrorText(r);
        StopWhenDrained();
        return false;
    }
    next_slot_ = (next_slot_ + 1) % ring_;
    ++blocks_queued_;
    return true;
}

void TAudioIn::BufferFull() {
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
    for (int slot = 0; slot < ring_; ++slot)
        wave_->UnprepareHeader(wave_handle_, headers_[slot], os::kWaveHdrSize);
    wave_->Reset(wave_handle_);
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
