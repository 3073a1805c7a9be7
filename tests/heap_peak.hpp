// The most heap memory a piece of code holds at once, counted through AddressSanitizer's
// allocation hooks, for the tests that bound what readers of outside data may allocate.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <optional>

#if defined(__SANITIZE_ADDRESS__) // GCC
#define MIRELO_ADDRESS_SANITIZER 1
#elif defined(__has_feature) // clang
#if __has_feature(address_sanitizer)
#define MIRELO_ADDRESS_SANITIZER 1
#endif
#endif
#if defined(MIRELO_ADDRESS_SANITIZER) && __has_include(<sanitizer/allocator_interface.h>)
#define MIRELO_HEAP_HOOKS 1
#include <sanitizer/allocator_interface.h>
#endif

namespace heap_peak {

#ifdef MIRELO_HEAP_HOOKS
namespace detail {
inline std::atomic<bool> counting{false};
inline std::atomic<long long> held{0};
inline std::atomic<long long> peak{0};

inline void OnMalloc(const volatile void*, std::size_t size) {
    if (!counting) return;
    const long long now = held += static_cast<long long>(size);
    long long seen = peak;
    while (now > seen && !peak.compare_exchange_weak(seen, now)) {
    }
}

inline void OnFree(const volatile void* p) {
    if (counting)
        held -= static_cast<long long>(__sanitizer_get_allocated_size(const_cast<const void*>(p)));
}
} // namespace detail
#endif

// Runs f and returns the most bytes it had allocated at any moment, or nothing in a build
// without AddressSanitizer. Exceptions from f are swallowed: a reader that refuses its input
// is measured too. Single-threaded code only.
inline std::optional<std::size_t> During(const std::function<void()>& f) {
#ifdef MIRELO_HEAP_HOOKS
    // Hooks cannot be removed, and only a few may be installed: once per process.
    static const bool installed =
        __sanitizer_install_malloc_and_free_hooks(detail::OnMalloc, detail::OnFree) != 0;
    if (!installed) return std::nullopt;
    detail::held = 0;
    detail::peak = 0;
    detail::counting = true;
    try {
        f();
    } catch (...) {
    }
    detail::counting = false;
    return static_cast<std::size_t>(detail::peak.load());
#else
    try {
        f();
    } catch (...) {
    }
    return std::nullopt;
#endif
}

} // namespace heap_peak
