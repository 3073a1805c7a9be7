// How much memory a reader of outside data may fill for an input of a given size. A reader
// counts what it is about to decode against this and refuses past it, so that a small file
// that points many times at one image, or compresses well, cannot ask for gigabytes.
#pragma once

#include <algorithm>
#include <cstdint>

namespace os {

inline constexpr std::uint64_t kMinInputBudget = std::uint64_t{64} << 20;
inline constexpr std::uint64_t kInputBudgetFactor = 64;

// max(64 MiB, 64 x the input's bytes).
constexpr std::uint64_t InputBudget(std::uint64_t input_bytes) {
    return std::max(kMinInputBudget, kInputBudgetFactor * input_bytes);
}

} // namespace os
