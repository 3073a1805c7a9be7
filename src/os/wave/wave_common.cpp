// The shared rules of the wave back ends and the error texts.
#include "os/wave/wave_common.hpp"

#include <algorithm>
#include <cstring>

namespace os {

MMRESULT WaveService::GetErrorText(MMRESULT code, char* text, std::uint32_t size) const {
    if (text == nullptr || size == 0) return MMSYSERR_INVALPARAM;
    std::string s = ErrorText(code);
    const MMRESULT result = s.empty() ? MMSYSERR_BADERRNUM : MMSYSERR_NOERROR;
    if (s.empty()) s = "Unknown wave error code " + std::to_string(code);
    const std::size_t n = std::min<std::size_t>(s.size(), size - 1);
    std::memcpy(text, s.data(), n);
    text[n] = '\0';
    return result;
}

namespace wave_common {

MMRESULT CheckFormat(const WaveFormatEx& f) {
    if (f.wFormatTag != WAVE_FORMAT_PCM) return WAVERR_BADFORMAT;
    if (f.nChannels != 1 && f.nChannels != 2) return WAVERR_BADFORMAT;
    if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16) return WAVERR_BADFORMAT;
    if (f.nSamplesPerSec < 1000 || f.nSamplesPerSec > 192000) return WAVERR_BADFORMAT;
    if (f.nBlockAlign != f.nChannels * (f.wBitsPerSample / 8)) return WAVERR_BADFORMAT;
    if (f.nAvgBytesPerSec != f.nSamplesPerSec * f.nBlockAlign) return WAVERR_BADFORMAT;
    return MMSYSERR_NOERROR;
}

MMRESULT CheckOpenFlags(std::uint32_t flags, std::uint32_t window) {
    const std::uint32_t known = CALLBACK_TYPEMASK | WAVE_FORMAT_QUERY | WAVE_ALLOWSYNC;
    if ((flags & ~known) != 0) return MMSYSERR_INVALFLAG;
    switch (flags & CALLBACK_TYPEMASK) {
    case CALLBACK_NULL:
        return MMSYSERR_NOERROR;
    case CALLBACK_WINDOW:
        return window != 0 || (flags & WAVE_FORMAT_QUERY) ? MMSYSERR_NOERROR : MMSYSERR_INVALPARAM;
    default:
        // Functions, events and threads as callbacks are not offered here.
        return MMSYSERR_INVALFLAG;
    }
}

MMRESULT CheckHeader(const WaveHdr* hdr, std::uint32_t size) {
    if (hdr == nullptr || size != kWaveHdrSize) return MMSYSERR_INVALPARAM;
    if (hdr->lpData == nullptr && hdr->dwBufferLength != 0) return MMSYSERR_INVALPARAM;
    return MMSYSERR_NOERROR;
}

MMRESULT Prepare(WaveHdr& hdr) {
    hdr.dwFlags |= WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT Unprepare(WaveHdr& hdr) {
    if (hdr.dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    hdr.dwFlags &= ~WHDR_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT CanEnqueue(const WaveHdr& hdr) {
    if (!(hdr.dwFlags & WHDR_PREPARED)) return WAVERR_UNPREPARED;
    if (hdr.dwFlags & WHDR_INQUEUE) return WAVERR_STILLPLAYING;
    return MMSYSERR_NOERROR;
}

void Enqueue(WaveHdr& hdr, WaveDirection dir) {
    hdr.dwFlags = (hdr.dwFlags & ~WHDR_DONE) | WHDR_INQUEUE;
    if (dir == WaveDirection::In) hdr.dwBytesRecorded = 0;
}

void MarkDone(WaveHdr& hdr) {
    hdr.dwFlags = (hdr.dwFlags & ~WHDR_INQUEUE) | WHDR_DONE;
}

void FillPosition(MmTime& time, std::uint64_t frames, const WaveFormatEx& f) {
    switch (time.wType) {
    case TIME_BYTES:
        time.u.cb = static_cast<std::uint32_t>(frames * f.nBlockAlign);
        break;
    case TIME_MS:
        time.u.ms = static_cast<std::uint32_t>(frames * 1000 / f.nSamplesPerSec);
        break;
    default:
        time.wType = TIME_SAMPLES;
        time.u.sample = static_cast<std::uint32_t>(frames);
        break;
    }
}

std::string StandardText(MMRESULT code) {
    switch (code) {
    case MMSYSERR_NOERROR:
        return "The operation succeeded.";
    case MMSYSERR_ERROR:
        return "The wave device failed.";
    case MMSYSERR_BADDEVICEID:
        return "There is no wave device with this number.";
    case MMSYSERR_ALLOCATED:
        return "The wave device is already in use.";
    case MMSYSERR_INVALHANDLE:
        return "The wave device handle is not open.";
    case MMSYSERR_NODRIVER:
        return "No wave device is installed for this direction.";
    case MMSYSERR_NOMEM:
        return "There is not enough memory for the wave device.";
    case MMSYSERR_NOTSUPPORTED:
        return "The wave device does not support this operation.";
    case MMSYSERR_BADERRNUM:
        return "The error code is not a wave error code.";
    case MMSYSERR_INVALFLAG:
        return "A flag passed to the wave device is not valid.";
    case MMSYSERR_INVALPARAM:
        return "A parameter passed to the wave device is not valid.";
    case WAVERR_BADFORMAT:
        return "The wave device does not take this format.";
    case WAVERR_STILLPLAYING:
        return "The wave device still holds buffers.";
    case WAVERR_UNPREPARED:
        return "The wave buffer header is not prepared.";
    default:
        return {};
    }
}

} // namespace wave_common
} // namespace os
