// The wave device service: numbered capture and playback devices that take PCM buffers in
// queued headers and post a window message for every buffer they give back. The verbs and
// records follow the platform's wave API (waveInOpen, waveOutWrite, WAVEHDR, MMTIME...), so
// that the audio components read like their design.
#pragma once

#include "os/post.hpp"

#include <cstdint>
#include <string>

namespace os {

using MMRESULT = std::uint32_t;
// A handle of an open stream; 0 is none. Handles are never reused by a service.
using WaveHandle = std::uint32_t;

inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_BADDEVICEID = 2;
inline constexpr MMRESULT MMSYSERR_ALLOCATED = 4;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NODRIVER = 6;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_NOTSUPPORTED = 8;
inline constexpr MMRESULT MMSYSERR_BADERRNUM = 9;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT WAVERR_BADFORMAT = 32;
inline constexpr MMRESULT WAVERR_STILLPLAYING = 33;
inline constexpr MMRESULT WAVERR_UNPREPARED = 34;

// Device number that lets the service choose.
inline constexpr std::uint32_t WAVE_MAPPER = 0xFFFFFFFF;
inline constexpr std::uint16_t WAVE_FORMAT_PCM = 1;

// Open flags.
inline constexpr std::uint32_t WAVE_FORMAT_QUERY = 0x0001;
inline constexpr std::uint32_t WAVE_ALLOWSYNC = 0x0002;
inline constexpr std::uint32_t CALLBACK_TYPEMASK = 0x00070000;
inline constexpr std::uint32_t CALLBACK_NULL = 0x00000000;
inline constexpr std::uint32_t CALLBACK_WINDOW = 0x00010000;

// Header flags.
inline constexpr std::uint32_t WHDR_DONE = 0x01;
inline constexpr std::uint32_t WHDR_PREPARED = 0x02;
inline constexpr std::uint32_t WHDR_INQUEUE = 0x10;

// Position units.
inline constexpr std::uint32_t TIME_MS = 0x01;
inline constexpr std::uint32_t TIME_SAMPLES = 0x02;
inline constexpr std::uint32_t TIME_BYTES = 0x04;

// Notifications, posted with the stream's handle as wparam and, for DONE and DATA, the
// returned header's address as lparam.
inline constexpr std::uint32_t MM_WOM_OPEN = 0x3BB;
inline constexpr std::uint32_t MM_WOM_CLOSE = 0x3BC;
inline constexpr std::uint32_t MM_WOM_DONE = 0x3BD;
inline constexpr std::uint32_t MM_WIM_OPEN = 0x3BE;
inline constexpr std::uint32_t MM_WIM_CLOSE = 0x3BF;
inline constexpr std::uint32_t MM_WIM_DATA = 0x3C0;

#pragma pack(push, 1)
// The PCM format record, laid out as the platform's WAVEFORMATEX: 18 bytes, no padding.
struct WaveFormatEx {
    std::uint16_t wFormatTag;
    std::uint16_t nChannels;
    std::uint32_t nSamplesPerSec;
    std::uint32_t nAvgBytesPerSec;
    std::uint16_t nBlockAlign;
    std::uint16_t wBitsPerSample;
    std::uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WaveFormatEx) == 18);

// A buffer handed to a device, laid out as the platform's WAVEHDR. Pointer-sized fields
// follow the machine, so the record is 48 bytes on 64-bit systems (32 on 32-bit ones).
struct WaveHdr {
    char* lpData;
    std::uint32_t dwBufferLength;
    std::uint32_t dwBytesRecorded;
    std::uintptr_t dwUser;
    std::uint32_t dwFlags;
    std::uint32_t dwLoops;
    WaveHdr* lpNext;
    std::uintptr_t reserved;
};
// The size that every header call expects as its size argument.
inline constexpr std::uint32_t kWaveHdrSize = sizeof(WaveHdr);
static_assert(sizeof(void*) != 8 || kWaveHdrSize == 48);

// A position, laid out as the platform's MMTIME (12 bytes). The service answers in the
// unit asked for in wType when it knows it (samples, bytes, milliseconds), otherwise in
// samples, and says which in wType.
struct MmTime {
    std::uint32_t wType;
    union {
        std::uint32_t ms;
        std::uint32_t sample;
        std::uint32_t cb;
        std::uint32_t ticks;
        struct Smpte {
            std::uint8_t hour, min, sec, frame, fps, dummy, pad[2];
        } smpte;
        struct Midi {
            std::uint32_t songptrpos;
        } midi;
    } u;
};
static_assert(sizeof(MmTime) == 12);

enum class WaveDirection { In, Out };

// Every call answers MMSYSERR_NOERROR or a code that ErrorText explains. Buffers are
// given back in the order they were queued, one notification each, and belong to the
// caller again once their header carries WHDR_DONE.
class WaveService {
public:
    using Direction = WaveDirection;
    virtual ~WaveService() = default;

    // waveInGetNumDevs / waveOutGetNumDevs.
    virtual unsigned NumDevs(Direction dir) = 0;
    // waveInOpen / waveOutOpen. `device` is a number below NumDevs or WAVE_MAPPER; `flags`
    // is CALLBACK_WINDOW (with a window) or CALLBACK_NULL, optionally with WAVE_ALLOWSYNC,
    // or WAVE_FORMAT_QUERY to only ask whether the format would be taken. Posts MM_?IM_OPEN.
    virtual MMRESULT Open(Direction dir, std::uint32_t device, const WaveFormatEx& format,
                          std::uint32_t callback_window, std::uint32_t flags, WaveHandle& out) = 0;
    // waveXxxPrepareHeader / waveXxxUnprepareHeader; `size` must be kWaveHdrSize.
    virtual MMRESULT PrepareHeader(WaveHandle h, WaveHdr* hdr, std::uint32_t size) = 0;
    virtual MMRESULT UnprepareHeader(WaveHandle h, WaveHdr* hdr, std::uint32_t size) = 0;
    // waveInAddBuffer: an empty buffer for a capture stream to fill.
    virtual MMRESULT AddBuffer(WaveHandle h, WaveHdr* hdr, std::uint32_t size) = 0;
    // waveOutWrite: a block for a playback stream to play.
    virtual MMRESULT Write(WaveHandle h, WaveHdr* hdr, std::uint32_t size) = 0;
    // waveInStart: capture begins; before it, added buffers wait.
    virtual MMRESULT Start(WaveHandle h) = 0;
    // waveInReset / waveOutReset: stops, gives every pending buffer back (WHDR_DONE, one
    // notification each, in queue order) and sets the position to 0. A capture stream must
    // be started again; a paused playback stream stays paused.
    virtual MMRESULT Reset(WaveHandle h) = 0;
    // waveOutPause / waveOutRestart: playback holds where it is, and goes on.
    virtual MMRESULT Pause(WaveHandle h) = 0;
    virtual MMRESULT Restart(WaveHandle h) = 0;
    // waveInClose / waveOutClose: WAVERR_STILLPLAYING while buffers are queued. Posts
    // MM_?IM_CLOSE; the handle is invalid afterwards.
    virtual MMRESULT Close(WaveHandle h) = 0;
    // waveInGetPosition / waveOutGetPosition: frames captured or played since the open or
    // the last reset. `size` must be at least sizeof(MmTime).
    virtual MMRESULT GetPosition(WaveHandle h, MmTime* time, std::uint32_t size) = 0;
    // The text for a result code, with the device's own explanation of its last failure
    // under that code where there was one.
    virtual std::string ErrorText(MMRESULT code) const = 0;

    // waveInGetErrorText / waveOutGetErrorText: ErrorText into `text` (NUL-terminated, cut
    // to `size`). MMSYSERR_BADERRNUM for a code that no call answers.
    MMRESULT GetErrorText(MMRESULT code, char* text, std::uint32_t size) const;
};

} // namespace os
