// Memory that a wave device reads and writes in place: each block is allocated once and
// stays at its address until it is freed, so the device and the owner's handlers can keep
// pointers into it. Allocation goes through a replaceable allocator, so that the failure
// paths of the audio components can be exercised.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

namespace audio {

using TDeviceBlock = std::unique_ptr<std::byte[]>;

// Gives `bytes` bytes (zero-filled when `zeroed`), or null when the memory cannot be had.
using TDeviceAllocator = std::function<TDeviceBlock(std::size_t bytes, bool zeroed)>;

TDeviceBlock AllocateDeviceMemory(std::size_t bytes, bool zeroed);

// Replaces the allocator; an empty function restores the default one (the free store,
// which answers null instead of throwing). Returns the allocator that was in use.
TDeviceAllocator SetDeviceAllocator(TDeviceAllocator allocator);

} // namespace audio
