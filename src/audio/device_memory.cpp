// The default device memory allocator and the switch that replaces it.
#include "audio/device_memory.hpp"

#include <new>
#include <utility>

namespace audio {

namespace {

TDeviceBlock FreeStore(std::size_t bytes, bool zeroed) {
    return TDeviceBlock(zeroed ? new (std::nothrow) std::byte[bytes]()
                               : new (std::nothrow) std::byte[bytes]);
}

TDeviceAllocator& Current() {
    static TDeviceAllocator allocator = FreeStore;
    return allocator;
}

} // namespace

TDeviceBlock AllocateDeviceMemory(std::size_t bytes, bool zeroed) {
    return Current()(bytes, zeroed);
}

TDeviceAllocator SetDeviceAllocator(TDeviceAllocator allocator) {
    TDeviceAllocator previous = std::move(Current());
    Current() = allocator ? std::move(allocator) : TDeviceAllocator(FreeStore);
    return previous;
}

} // namespace audio
