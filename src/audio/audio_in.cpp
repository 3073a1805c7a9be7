// Wave capture: the input stream, its ring of buffers and its notification window.
#include "audio/audio_io.hpp"

#include "framework/exception_guard.hpp"

#include <algorithm>

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
        if (component && component->OnStop) component->OnStop(this);
        return;
    case os::MM_WIM_DATA:
        if (component) component->BufferFull();
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
    ++blocks_done_;
    --blocks_queued_;
    running_ = blocks_queued_ > 0;
    const bool accepted = DeliverBlock(buffers_[slot], block_);
    // The owner may have stopped the stream from inside its handler.
    if (!device_open_) return;
    if (accepted) QueueNextBuffer();
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
        // A handler that throws has not taken the block: it counts as refused.
        result = false;
        fw::Guarded(this, [&] { result = OnBufferFilled(Buffer, size); });
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
    wave_->Close(wave_handle_);
    device_open_ = false;
    streaming_ = false;
    wave_handle_ = 0;
    // Often runs inside a handler of this very window: it goes once the handler returns.
    fw::ReleaseWindowLater(std::move(notify_window_));
    ApplyDeferredMemory();
}

} // namespace audio
