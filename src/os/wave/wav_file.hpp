// Reading and writing PCM WAV files: what a simulated microphone can be fed with and what
// tests hand to the sound server.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace os {

struct WavAudio {
    std::uint16_t channels = 1;
    std::uint32_t rate = 0;
    std::uint16_t bits = 16; // as stored in the file
    // Interleaved samples; 8-bit data is widened to the 16-bit range.
    std::vector<std::int16_t> samples;
    std::size_t Frames() const { return channels ? samples.size() / channels : 0; }
};

// Parses a RIFF WAVE file of 8- or 16-bit PCM. Throws std::runtime_error with a message
// that starts with "WAV: " and says what is wrong.
WavAudio ReadWav(std::span<const std::uint8_t> bytes);
WavAudio ReadWavFile(const std::string& path);

// A 16-bit PCM WAV file of the given interleaved samples.
std::vector<std::uint8_t> MakeWav(std::uint32_t rate, std::uint16_t channels,
                                  std::span<const std::int16_t> samples);
// The same, written to a temporary file beside `path`, flushed to disk and then renamed over
// it, so that `path` is never half written. Throws std::runtime_error "cannot write PATH:
// REASON" with the system's reason.
void WriteWavFileAtomically(const std::string& path, std::uint32_t rate, std::uint16_t channels,
                            std::span<const std::int16_t> samples);
void WriteWavFile(const std::string& path, std::uint32_t rate, std::uint16_t channels,
                  std::span<const std::int16_t> samples);

} // namespace os
