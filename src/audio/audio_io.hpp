// The wave audio components (module AudioIO): TAudioIn records from a wave input device
// and TAudioOut plays on a wave output device. Both keep a ring of two to four device
// buffers circulating between the device and their owner, pass every block to the owner
// through a buffer event, and report position, counters and failures. Nothing here throws:
// operations that can fail answer false and leave the reason in ErrorText.
//
// The device's notifications arrive as window messages at a hidden window that each open
// stream has (TCallBackWinIn, TCallBackWinOut), so every handler runs on the
// user-interface thread from the message loop.
#pragma once

#include "framework/components.hpp"
#include "framework/controls.hpp"
#include "framework/events.hpp"
#include "os/wave/wave.hpp"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace audio {

// A block passing between a component and its owner: Buffer is the block's first byte,
// valid only during the call; Size is its byte count. What Size and the answer mean
// depends on the direction (TAudioIn::OnBufferFilled, TAudioOut::OnFillBuffer).
using TBufferEvent = fw::TEvent<bool(void* Buffer, std::int32_t& Size)>;

// The most device buffers a component keeps.
inline constexpr int kMaxBuffers = 4;

// Registers TAudioIn and TAudioOut with the form-description registry.
void Register();

class TAudioIO;

// What the notification windows of both directions share: each finds its component through
// the owner's reference at every notification, raises OnStart and OnStop, passes returned
// blocks on, and a closed stream's window waits for its close notification.
class TCallBackWin : public fw::TWinControl {
    FW_CLASS(TCallBackWin, fw::TWinControl)
public:
    void Dispatch(fw::TMessage& message) override;

protected:
    // The direction's notifications: the device opened, closed, gave a block back.
    struct Messages {
        fw::UINT open;
        fw::UINT close;
        fw::UINT block;
    };
    TCallBackWin(fw::TComponent* owner, Messages messages)
        : TWinControl(owner), messages_(messages) {}
    // The component the owner's reference points at now, or null.
    virtual TAudioIO* Component() const = 0;

private:
    friend class TAudioIO;
    Messages messages_;
    // Set once the stream has closed: the component that keeps this window until the
    // close notification.
    TAudioIO* keeper_ = nullptr;
};

// What the two directions share: the stream settings and the PCM format built from them,
// the ring's memory, the counters, the error text, the device's open and close, and the
// stop operations.
class TAudioIO : public fw::TComponent {
    FW_CLASS(TAudioIO, fw::TComponent)
public:
    ~TAudioIO() override;
    static void Describe(fw::TClassBuilder<TAudioIO>& c);

    // Bytes per device buffer: the requested size (at least 512) rounded down to whole
    // frames. Takes effect at the next open.
    std::int32_t BufferSize() const { return effective_size_; }
    void SetBufferSize(std::int32_t value);
    // Buffers in the ring, 2 to 4.
    std::int32_t NumBuffers() const { return num_buffers_; }
    void SetNumBuffers(std::int32_t value);
    std::int32_t FrameRate() const {
        return static_cast<std::int32_t>(wave_format_.nSamplesPerSec);
    }
    void SetFrameRate(std::int32_t value);
    bool Stereo() const { return wave_format_.nChannels == 2; }
    void SetStereo(bool value);
    // Bits per sample, 8 or 16.
    std::uint16_t Quantization() const { return wave_format_.wBitsPerSample; }
    void SetQuantization(std::uint16_t value);
    // The device number handed to the open; os::WAVE_MAPPER lets the platform choose.
    std::uint32_t WaveDevice() const { return wave_device_; }
    void SetWaveDevice(std::uint32_t value) { wave_device_ = value; }
    const os::WaveFormatEx& WaveFormat() const { return wave_format_; }

    // Ends an open stream at once: the device is reset and closed, no block follows.
    virtual void StopNow();
    // Lets the blocks with the device finish without raising the owner's event again;
    // the stream closes itself once the last one is back.
    virtual void StopWhenDrained();
    // Seconds captured or played since the stream was opened, by the device's position;
    // 0 when not running.
    double ElapsedSeconds() const;

    // True from a successful open until the stream is closed, whichever way.
    bool Running() const { return running_; }
    bool DeviceOpen() const { return device_open_; }
    // Counters since the stream was opened.
    std::int32_t BlocksDone() const { return blocks_done_; }
    std::int32_t BlocksFilled() const { return blocks_filled_; }
    std::int32_t BlocksQueued() const { return blocks_queued_; }
    // The last failure; never cleared by a success.
    const std::string& ErrorText() const { return error_text_; }

    // Raised on the device's open and close notifications, with the hidden window as
    // Sender. OnStop comes from the message loop once the stream has closed, however it
    // closed; a component destroyed before then raises it no more.
    fw::TNotifyEvent OnStart;
    fw::TNotifyEvent OnStop;

protected:
    explicit TAudioIO(fw::TComponent* owner);

    // Taken before the owner's handler is called from inside a notification. Afterwards it
    // tells whether the handler destroyed the component or ended or replaced its stream;
    // then nothing of the stream that raised the event may be touched any more.
    class StreamGuard {
    public:
        explicit StreamGuard(const TAudioIO& io) : alive_(io.alive_), stream_(io.stream_) {}
        // Looks at the flag before the component, which may be gone.
        bool Lost(const TAudioIO& io) const { return !*alive_ || io.stream_ != stream_; }
        bool Alive() const { return *alive_; }
        std::uint64_t Stream() const { return stream_; }

    private:
        std::shared_ptr<const bool> alive_;
        std::uint64_t stream_;
    };

    // Closes the open stream's device, each direction in its own order of calls; nothing
    // when none is open.
    virtual void CloseDevice() = 0;

    // What an open does in both directions: the device opened for `dir` with the window
    // that `make_window` creates, the headers prepared, the counters cleared. False with
    // the reason in ErrorText (`already_open` when a stream is open) leaves nothing new
    // open.
    bool OpenStream(os::WaveDirection dir, const char* already_open,
                    const std::function<std::unique_ptr<TCallBackWin>()>& make_window);
    // The start of StopNow: the stream stops running and the device gives every buffer
    // back. False, having done nothing, when no stream is open.
    bool ResetDevice();
    // Gives the buffer at NextSlot to the device through `hand` (AddBuffer or Write) and
    // moves NextSlot on. A refusal leaves its text and lets the stream drain.
    using HandFn = os::MMRESULT (os::WaveService::*)(os::WaveHandle, os::WaveHdr*, std::uint32_t);
    bool HandNextBuffer(HandFn hand);
    void UnprepareHeaders();
    // The end of every close: the device is closed and the stream counted over. The hidden
    // window stays until the close notification has been handled (and OnStop raised), or
    // goes at once when the close failed and no notification will come. Memory changes
    // asked for while the device held the buffers are made.
    void CloseStream();

    void UpdateFormat();
    // Readies the headers of the stream being opened and fixes its ring size, block size
    // and rate until it closes.
    bool ResetHeaders();
    bool AllocateHeaders();
    void FreeHeaders();
    bool AllocateBuffers();
    void FreeBuffers();
    // Before an open: headers and buffers exist for every slot in use, each holding a
    // whole block. False with the allocation failure in ErrorText otherwise.
    bool MemoryReady();
    // After a close: memory changes asked for while the device held the buffers.
    void ApplyDeferredMemory();
    // The device's text for a result code; the wave service knows each stream's direction.
    std::string DeviceErrorText(os::MMRESULT code) const;
    std::string OutputErrorText(os::MMRESULT code) const { return DeviceErrorText(code); }
    std::string InputErrorText(os::MMRESULT code) const { return DeviceErrorText(code); }
    // The wave service of the platform, or null with the reason in ErrorText.
    os::WaveService* FindWaveService();
    // Creates the hidden window of a stream: a hidden child of the owner's window.
    void AdoptNotifyWindow(fw::TWinControl& window);
    // The bytes of whole frames that the device recorded into a returned header, never
    // more than a block.
    std::int32_t RecordedBytes(const os::WaveHdr& header) const;

    std::int32_t effective_size_ = 0;
    std::int32_t requested_buffer_size_ = 0;
    std::int32_t num_buffers_ = 0;
    bool paused_ = false;
    os::WaveFormatEx wave_format_{};
    std::uint32_t wave_device_ = 0;
    std::array<std::unique_ptr<std::byte[]>, kMaxBuffers> header_handles_;
    std::array<os::WaveHdr*, kMaxBuffers> headers_{};
    std::array<char*, kMaxBuffers> buffers_{};
    std::array<std::unique_ptr<std::byte[]>, kMaxBuffers> buffer_handles_;
    std::int32_t next_slot_ = 0;
    bool streaming_ = false;
    std::string error_text_;
    bool running_ = false;
    std::int32_t blocks_filled_ = 0;
    std::int32_t blocks_queued_ = 0;
    std::int32_t blocks_done_ = 0;
    bool device_open_ = false;

    // The open stream's geometry, fixed by ResetHeaders: property changes made while a
    // stream is open wait for the next one.
    std::int32_t ring_ = 0;
    std::int32_t block_ = 0;
    std::int32_t frame_ = 1;
    std::uint32_t rate_ = 0;
    // Grows at every open and every close, so that code that called out to the owner can
    // tell whether the stream it served is still the one open.
    std::uint64_t stream_ = 0;
    // The service the open stream lives on.
    os::WaveService* wave_ = nullptr;
    os::WaveHandle wave_handle_ = 0;

private:
    friend class TCallBackWin;
    // A block has come back from the device (MM_WIM_DATA, MM_WOM_DONE).
    virtual void BlockReturned() = 0;
    // A retired window's close notification has arrived: it goes once its handler returns.
    void ReleaseClosed(TCallBackWin* window);

    // Cleared by the destructor; StreamGuard keeps it readable after that.
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    // The open stream's notification window.
    std::unique_ptr<TCallBackWin> notify_window_;
    // Windows of closed streams waiting for their close notification.
    std::vector<std::unique_ptr<TCallBackWin>> retired_windows_;
    // Bytes that each allocated data buffer holds.
    std::array<std::int32_t, kMaxBuffers> capacity_{};
    // A BufferSize assignment, or a buffer to grow, waiting for the stream to close.
    bool reallocate_after_close_ = false;
    bool grow_after_close_ = false;
    // Every slot in use has a buffer that holds a whole block; reallocates if not.
    bool EnsureBuffers();
};

class TAudioIn;

// Receives the input device's notifications for one open capture stream.
class TCallBackWinIn : public TCallBackWin {
    FW_CLASS(TCallBackWinIn, TCallBackWin)
public:
    explicit TCallBackWinIn(fw::TComponent* owner);
    static void Describe(fw::TClassBuilder<TCallBackWinIn>&) {}
    // Where the owner keeps its reference to the component; read at every notification.
    TAudioIn** OwnerRef = nullptr;

protected:
    TAudioIO* Component() const override;
};

class TAudioIn : public TAudioIO {
    FW_CLASS(TAudioIn, TAudioIO)
public:
    explicit TAudioIn(fw::TComponent* owner);
    // Closes a stream that is still open.
    ~TAudioIn() override;
    static void Describe(fw::TClassBuilder<TAudioIn>& c);

    // Opens the device, starts it and hands it the whole ring. OwnerRef is where the
    // owner keeps its reference to this component. False leaves nothing new open.
    bool Start(TAudioIn*& OwnerRef);
    void StopNow() override;

    // Raised with every block recorded, Size being the bytes the device recorded into it:
    // the whole buffer while the device runs, less when it was lost mid-block. A buffer
    // that comes back empty is not passed on. The handler takes the samples out during
    // the call. True gives the buffer back to the device; false keeps it out of the ring.
    TBufferEvent OnBufferFilled;

protected:
    virtual bool DeliverBlock(void* Buffer, std::int32_t Size);
    void CloseDevice() override;
    virtual bool OpenDevice(TAudioIn*& OwnerRef);

private:
    bool StartDevice();
    bool QueueNextBuffer();
    // MM_WIM_DATA: the oldest buffer with the device is full.
    void BlockReturned() override;
};

class TAudioOut;

// Receives the output device's notifications for one open playback stream.
class TCallBackWinOut : public TCallBackWin {
    FW_CLASS(TCallBackWinOut, TCallBackWin)
public:
    explicit TCallBackWinOut(fw::TComponent* owner);
    static void Describe(fw::TClassBuilder<TCallBackWinOut>&) {}
    TAudioOut** OwnerRef = nullptr;

protected:
    TAudioIO* Component() const override;
};

class TAudioOut : public TAudioIO {
    FW_CLASS(TAudioOut, TAudioIO)
public:
    explicit TAudioOut(fw::TComponent* owner);
    // Closes a stream that is still open.
    ~TAudioOut() override;
    static void Describe(fw::TClassBuilder<TAudioOut>& c);

    // Opens the device, has the owner fill the ring through OnFillBuffer and hands the
    // filled buffers to the device. False leaves nothing new open. When the owner restarts
    // the playback from inside its handler, the outer call answers whether that new
    // stream is open.
    bool Start(TAudioOut*& OwnerRef);
    void StopNow() override;

    // Holds the device while true. Set before Start, the whole ring is queued before any
    // sound is heard. Every close sets it back to false.
    bool Paused() const { return paused_; }
    void SetPaused(bool value);

    // Raised to fill one buffer: Size comes in as the whole buffer and may be lowered to
    // play a shorter block. True: the block is played; false: the owner has nothing more.
    TBufferEvent OnFillBuffer;

protected:
    virtual bool FillSlot(std::int32_t Slot, std::int32_t Size);
    void CloseDevice() override;
    virtual bool OpenDevice(TAudioOut*& OwnerRef);

private:
    bool StartDevice();
    bool QueueNextBuffer();
    // MM_WOM_DONE: the oldest block with the device has been played.
    void BlockReturned() override;
    // What OpenDevice answers when the owner's handler ended the stream during the pre-fill
    // (and left the component alive).
    bool PrefillInterrupted(const StreamGuard& guard);

    // Slots the pre-fill got from the owner, in order from slot 0.
    std::int32_t prefilled_ = 0;
    // Blocks written to the device and not yet returned.
    std::int32_t with_device_ = 0;
};

} // namespace audio
