// Arbitrary bytes for the WAV reader that feeds the simulated microphone: a clear error or
// a consistent sound, never a crash.
#include "os/wave/wav_file.hpp"

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        const os::WavAudio wav = os::ReadWav(std::span(data, size));
        (void)wav;
    } catch (const std::runtime_error&) {
    } catch (const std::invalid_argument&) {
    }
    return 0;
}
