// Wave buffers and their headers, as a component keeps them: for the tests of the wave
// devices, simulated and real.
#pragma once

#include "os/wave/wave.hpp"

#include <cstdint>
#include <vector>

namespace tests {

// A header for `bytes` bytes at `data`, not yet prepared.
inline os::WaveHdr WaveHeader(char* data, std::uint32_t bytes) {
    return os::WaveHdr{data, bytes, 0, 0, 0, 0, nullptr, 0};
}

struct Ring {
    std::vector<std::vector<char>> data;
    std::vector<os::WaveHdr> hdr;
    Ring(int count, std::uint32_t bytes) : data(count, std::vector<char>(bytes)), hdr(count) {
        for (int i = 0; i < count; ++i)
            hdr[i] = WaveHeader(data[i].data(), bytes);
    }
    // Header i's address, as a notification carries it.
    std::intptr_t Addr(int i) { return reinterpret_cast<std::intptr_t>(&hdr[i]); }
};

} // namespace tests
