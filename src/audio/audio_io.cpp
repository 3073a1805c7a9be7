// The stream base: settings and format, the ring's memory, the device's open and close,
// device texts and position, and the notification window both directions use.
#include "audio/audio_io.hpp"

#include "audio/device_memory.hpp"
#include "framework/message_loop.hpp"
#include "framework/platform_access.hpp"

#include <algorithm>
#include <exception>
#include <new>
#include <utility>

namespace audio {

namespace {
constexpr std::uint32_t kOpenFlags = os::CALLBACK_WINDOW | os::WAVE_ALLOWSYNC;
} // namespace

void Register() {
    fw::RegisterClasses<TAudioIn, TAudioOut>();
}

void TCallBackWin::Dispatch(fw::TMessage& message) {
    TAudioIO* component = Component();
    if (message.Msg == messages_.open) {
        if (component && component->OnStart) component->OnStart(this);
    } else if (message.Msg == messages_.close) {
        // The stream is over: this window goes once OnStop has returned.
        if (keeper_) std::exchange(keeper_, nullptr)->ReleaseClosed(this);
        if (component && component->OnStop) component->OnStop(this);
    } else if (message.Msg == messages_.block) {
        // Blocks that a closing stream's reset gave back reach only its retired window.
        if (component && component->notify_window_.get() == this) component->BlockReturned();
    } else {
        TWinControl::Dispatch(message);
    }
}

void TAudioIO::Describe(fw::TClassBuilder<TAudioIO>& c) {
    c.Prop("BufferSize", &TAudioIO::BufferSize, &TAudioIO::SetBufferSize, 8192);
    c.Prop("NumBuffers", &TAudioIO::NumBuffers, &TAudioIO::SetNumBuffers, 4);
    c.Prop("FrameRate", &TAudioIO::FrameRate, &TAudioIO::SetFrameRate, 22050);
    c.Prop("Stereo", &TAudioIO::Stereo, &TAudioIO::SetStereo, false);
    c.Prop("Quantization", &TAudioIO::Quantization, &TAudioIO::SetQuantization, 16);
    c.Prop("WaveDevice", &TAudioIO::WaveDevice, &TAudioIO::SetWaveDevice, os::WAVE_MAPPER);
    c.Prop("OnStart", &TAudioIO::OnStart);
    c.Prop("OnStop", &TAudioIO::OnStop);
}

TAudioIO::TAudioIO(fw::TComponent* owner) : TComponent(owner) {
    num_buffers_ = 4;
    requested_buffer_size_ = 8192;
    running_ = false;
    paused_ = false;
    wave_device_ = os::WAVE_MAPPER;
    error_text_.clear();
    wave_format_.wFormatTag = os::WAVE_FORMAT_PCM;
    wave_format_.wBitsPerSample = 16;
    wave_format_.nChannels = 1;
    wave_format_.nSamplesPerSec = 22050;
    UpdateFormat();
    buffers_.fill(nullptr);
    // A failure only leaves its text; the next open tries again.
    AllocateHeaders();
    AllocateBuffers();
}

TAudioIO::~TAudioIO() {
    // A handler still on the stack learns through its StreamGuard that the component went.
    *alive_ = false;
    // Their close notifications are dropped with them; one may be inside its own handler.
    // Without a message loop no handler can be running, and they simply go.
    if (fw::MessageLoop::Exists())
        for (auto& window : retired_windows_)
            fw::ReleaseWindowLater(std::move(window));
    FreeBuffers();
    FreeHeaders();
}

void TAudioIO::SetBufferSize(std::int32_t value) {
    requested_buffer_size_ = std::max<std::int32_t>(value, 512);
    UpdateFormat();
    if (device_open_) {
        // The device holds the buffers: they are replaced once it has given them back.
        reallocate_after_close_ = true;
        return;
    }
    FreeBuffers();
    AllocateBuffers();
}

void TAudioIO::SetNumBuffers(std::int32_t value) {
    num_buffers_ = std::clamp<std::int32_t>(value, 2, kMaxBuffers);
    EnsureBuffers();
}

void TAudioIO::SetFrameRate(std::int32_t value) {
    wave_format_.nSamplesPerSec = static_cast<std::uint32_t>(value);
    UpdateFormat();
}

void TAudioIO::SetStereo(bool value) {
    wave_format_.nChannels = value ? 2 : 1;
    UpdateFormat();
    EnsureBuffers();
}

void TAudioIO::SetQuantization(std::uint16_t value) {
    wave_format_.wBitsPerSample = value <= 8 ? 8 : 16;
    UpdateFormat();
    EnsureBuffers();
}

void TAudioIO::StopNow() {
    running_ = false;
    streaming_ = false;
}

void TAudioIO::StopWhenDrained() {
    if (device_open_) streaming_ = false;
}

double TAudioIO::ElapsedSeconds() const {
    if (!running_ || !device_open_ || !wave_ || rate_ == 0) return 0.0;
    os::MmTime time{};
    time.wType = os::TIME_SAMPLES;
    if (wave_->GetPosition(wave_handle_, &time, sizeof time) != os::MMSYSERR_NOERROR) return 0.0;
    // The count is read as samples whatever unit the device says it answered in.
    return static_cast<double>(time.u.sample) / static_cast<double>(rate_);
}

bool TAudioIO::OpenStream(os::WaveDirection dir, const char* already_open,
                          const std::function<std::unique_ptr<TCallBackWin>()>& make_window) {
    if (device_open_) {
        error_text_ = already_open;
        return false;
    }
    os::WaveService* wave = FindWaveService();
    if (!wave || !MemoryReady()) return false;
    wave_ = wave;
    next_slot_ = 0;
    ++stream_;
    notify_window_ = make_window();
    AdoptNotifyWindow(*notify_window_);
    const fw::HWND window = notify_window_->Handle();
    const os::MMRESULT opened =
        wave_->Open(dir, wave_device_, wave_format_, window, kOpenFlags, wave_handle_);
    if (opened != os::MMSYSERR_NOERROR) {
        error_text_ = DeviceErrorText(opened);
        fw::ReleaseWindowLater(std::move(notify_window_));
        return false;
    }
    device_open_ = true;
    ResetHeaders();
    for (int slot = 0; slot < ring_; ++slot) {
        const os::MMRESULT r = wave_->PrepareHeader(wave_handle_, headers_[slot], os::kWaveHdrSize);
        if (r != os::MMSYSERR_NOERROR) {
            error_text_ = DeviceErrorText(r);
            CloseDevice();
            return false;
        }
    }
    blocks_queued_ = blocks_done_ = blocks_filled_ = 0;
    streaming_ = true;
    running_ = true;
    return true;
}

bool TAudioIO::ResetDevice() {
    if (!device_open_) return false;
    running_ = false;
    streaming_ = false;
    wave_->Reset(wave_handle_);
    return true;
}

bool TAudioIO::HandNextBuffer(HandFn hand) {
    os::WaveHdr* header = headers_[next_slot_];
    header->dwFlags = os::WHDR_PREPARED;
    const os::MMRESULT r = (wave_->*hand)(wave_handle_, header, os::kWaveHdrSize);
    if (r != os::MMSYSERR_NOERROR) {
        error_text_ = DeviceErrorText(r);
        StopWhenDrained();
        return false;
    }
    next_slot_ = (next_slot_ + 1) % ring_;
    return true;
}

void TAudioIO::UnprepareHeaders() {
    for (int slot = 0; slot < ring_; ++slot)
        wave_->UnprepareHeader(wave_handle_, headers_[slot], os::kWaveHdrSize);
}

void TAudioIO::CloseStream() {
    const bool closed = wave_->Close(wave_handle_) == os::MMSYSERR_NOERROR;
    device_open_ = false;
    streaming_ = false;
    wave_handle_ = 0;
    ++stream_;
    std::unique_ptr<TCallBackWin> window = std::move(notify_window_);
    if (window) {
        if (closed) {
            // The close notification is still to come, and OnStop with it.
            window->keeper_ = this;
            retired_windows_.push_back(std::move(window));
        } else {
            fw::ReleaseWindowLater(std::move(window));
        }
    }
    ApplyDeferredMemory();
}

void TAudioIO::UpdateFormat() {
    auto& f = wave_format_;
    f.nBlockAlign = static_cast<std::uint16_t>((f.wBitsPerSample / 8) * f.nChannels);
    f.nAvgBytesPerSec = f.nBlockAlign * f.nSamplesPerSec;
    effective_size_ = requested_buffer_size_ - requested_buffer_size_ % f.nBlockAlign;
}

bool TAudioIO::ResetHeaders() {
    UpdateFormat();
    ring_ = num_buffers_;
    block_ = effective_size_;
    frame_ = std::max<std::int32_t>(wave_format_.nBlockAlign, 1);
    rate_ = wave_format_.nSamplesPerSec;
    for (int slot = 0; slot < ring_; ++slot) {
        os::WaveHdr& h = *headers_[slot];
        h.lpData = buffers_[slot];
        h.dwBufferLength = static_cast<std::uint32_t>(block_);
        h.dwBytesRecorded = 0;
        h.dwUser = 0;
        h.dwFlags = 0;
        h.dwLoops = 0;
        h.lpNext = nullptr;
        h.reserved = 0;
    }
    return true;
}

bool TAudioIO::AllocateHeaders() {
    for (int slot = 0; slot < kMaxBuffers; ++slot) {
        header_handles_[slot] = AllocateDeviceMemory(os::kWaveHdrSize, true);
        if (!header_handles_[slot]) {
            FreeHeaders();
            error_text_ = "Error allocating wave header memory";
            return false;
        }
        headers_[slot] = new (header_handles_[slot].get()) os::WaveHdr{};
        headers_[slot]->lpData = buffers_[slot];
    }
    return true;
}

void TAudioIO::FreeHeaders() {
    for (int slot = 0; slot < kMaxBuffers; ++slot) {
        header_handles_[slot].reset();
        headers_[slot] = nullptr;
    }
}

bool TAudioIO::AllocateBuffers() {
    for (int slot = 0; slot < num_buffers_; ++slot) {
        buffer_handles_[slot] =
            AllocateDeviceMemory(static_cast<std::size_t>(effective_size_), false);
        if (!buffer_handles_[slot]) {
            FreeBuffers();
            error_text_ = "Error allocating wave buffer memory";
            return false;
        }
        buffers_[slot] = reinterpret_cast<char*>(buffer_handles_[slot].get());
        capacity_[slot] = effective_size_;
        if (headers_[slot]) headers_[slot]->lpData = buffers_[slot];
    }
    return true;
}

void TAudioIO::FreeBuffers() {
    for (int slot = 0; slot < kMaxBuffers; ++slot) {
        if (headers_[slot]) headers_[slot]->lpData = nullptr;
        buffer_handles_[slot].reset();
        buffers_[slot] = nullptr;
        capacity_[slot] = 0;
    }
}

bool TAudioIO::EnsureBuffers() {
    if (device_open_) {
        grow_after_close_ = true;
        return true;
    }
    for (int slot = 0; slot < num_buffers_; ++slot) {
        if (!buffers_[slot] || capacity_[slot] < effective_size_) {
            FreeBuffers();
            return AllocateBuffers();
        }
    }
    return true;
}

bool TAudioIO::MemoryReady() {
    if (!headers_[0] && !AllocateHeaders()) return false;
    return EnsureBuffers();
}

void TAudioIO::ApplyDeferredMemory() {
    const bool reallocate = reallocate_after_close_;
    const bool grow = grow_after_close_;
    reallocate_after_close_ = grow_after_close_ = false;
    if (reallocate) {
        FreeBuffers();
        AllocateBuffers();
    } else if (grow) {
        EnsureBuffers();
    }
}

std::string TAudioIO::DeviceErrorText(os::MMRESULT code) const {
    char text[256] = {};
    if (wave_) wave_->GetErrorText(code, text, sizeof text);
    return std::string(text);
}

os::WaveService* TAudioIO::FindWaveService() {
    try {
        return &fw::GetPlatform().GetWave();
    } catch (const std::exception& e) {
        error_text_ = e.what();
        return nullptr;
    }
}

void TAudioIO::AdoptNotifyWindow(fw::TWinControl& window) {
    window.SetVisible(false);
    // The owner is expected to be a window; without one the hidden window still receives
    // its messages.
    if (auto* parent = dynamic_cast<fw::TWinControl*>(Owner())) window.SetParent(parent);
}

std::int32_t TAudioIO::RecordedBytes(const os::WaveHdr& header) const {
    // The device's count is outside data: never trusted beyond the block.
    const auto bytes = static_cast<std::int32_t>(
        std::min<std::uint32_t>(header.dwBytesRecorded, static_cast<std::uint32_t>(block_)));
    return bytes - bytes % frame_;
}

void TAudioIO::ReleaseClosed(TCallBackWin* window) {
    auto it = std::find_if(retired_windows_.begin(), retired_windows_.end(),
                           [&](const auto& w) { return w.get() == window; });
    if (it == retired_windows_.end()) return;
    std::unique_ptr<TCallBackWin> closed = std::move(*it);
    retired_windows_.erase(it);
    fw::ReleaseWindowLater(std::move(closed));
}

} // namespace audio
