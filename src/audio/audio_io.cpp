// The stream base: settings and format, the ring's memory, device texts and position.
#include "audio/audio_io.hpp"

#include "audio/device_memory.hpp"
#include "framework/message_loop.hpp"
#include "framework/platform_access.hpp"

#include <algorithm>
#include <exception>
#include <new>

namespace audio {

void Register() {
    fw::RegisterClasses<TAudioIn, TAudioOut>();
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
    streaming_ = false;
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

void TAudioIO::RetireNotifyWindow(std::unique_ptr<fw::TWinControl> window, bool close_posted) {
    if (!window) return;
    if (close_posted)
        retired_windows_.push_back(std::move(window));
    else
        fw::ReleaseWindowLater(std::move(window));
}

void TAudioIO::ReleaseClosed(fw::TWinControl* window) {
    auto it = std::find_if(retired_windows_.begin(), retired_windows_.end(),
                           [&](const auto& w) { return w.get() == window; });
    if (it == retired_windows_.end()) return;
    std::unique_ptr<fw::TWinControl> closed = std::move(*it);
    retired_windows_.erase(it);
    fw::ReleaseWindowLater(std::move(closed));
}

double TAudioIO::PositionSeconds(os::WaveHandle handle) const {
    if (!running_ || !wave_ || rate_ == 0) return 0.0;
    os::MmTime time{};
    time.wType = os::TIME_SAMPLES;
    if (wave_->GetPosition(handle, &time, sizeof time) != os::MMSYSERR_NOERROR) return 0.0;
    // The count is read as samples whatever unit the device says it answered in.
    return static_cast<double>(time.u.sample) / static_cast<double>(rate_);
}

} // namespace audio
