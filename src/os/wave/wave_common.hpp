// Rules that every wave back end applies the same way: which formats and flags are taken,
// how a header's flags move through prepare, queue and return, how a position is reported,
// and the standard texts of the result codes.
#pragma once

#include "os/wave/wave.hpp"

#include <cstdint>
#include <string>

namespace os::wave_common {

// WAVERR_BADFORMAT unless the record is 8- or 16-bit PCM, mono or stereo, with a rate in
// a sane range and nBlockAlign and nAvgBytesPerSec consistent with the rest.
MMRESULT CheckFormat(const WaveFormatEx& format);
// Checks the callback part of Open's flags and the window that goes with it.
MMRESULT CheckOpenFlags(std::uint32_t flags, std::uint32_t window);
// MMSYSERR_INVALPARAM for a missing header, a wrong size, or a buffer without memory.
MMRESULT CheckHeader(const WaveHdr* hdr, std::uint32_t size);

MMRESULT Prepare(WaveHdr& hdr);
// WAVERR_STILLPLAYING while the header is queued.
MMRESULT Unprepare(WaveHdr& hdr);
// Whether the header may be queued: prepared and not queued already.
MMRESULT CanEnqueue(const WaveHdr& hdr);
// Marks a header that CanEnqueue accepted as queued and not done.
void Enqueue(WaveHdr& hdr, WaveDirection dir);
// Marks a queued header as given back.
void MarkDone(WaveHdr& hdr);

// Fills `time` with `frames` in the unit it asks for (samples when it asks for another).
void FillPosition(MmTime& time, std::uint64_t frames, const WaveFormatEx& format);

// Whole frames in a buffer of `bytes` bytes.
inline std::uint32_t FramesIn(std::uint32_t bytes, const WaveFormatEx& format) {
    return bytes / format.nBlockAlign;
}

// The standard text of a code, empty for one that no call answers.
std::string StandardText(MMRESULT code);

} // namespace os::wave_common
