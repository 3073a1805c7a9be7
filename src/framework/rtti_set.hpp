// TSet<E>: a small set of enumeration values (at most 64, ordinals 0..63), the C++ form of
// the framework's set types such as TShiftState and TComponentState.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <type_traits>

namespace fw {

template <class E> class TSet {
    static_assert(std::is_enum_v<E>, "TSet holds enumeration values");

public:
    using Element = E;

    constexpr TSet() = default;
    constexpr TSet(std::initializer_list<E> items) {
        for (E e : items)
            insert(e);
    }

    static constexpr TSet FromBits(std::uint64_t bits) {
        TSet s;
        s.bits_ = bits;
        return s;
    }
    constexpr std::uint64_t Bits() const { return bits_; }

    constexpr bool contains(E e) const { return (bits_ & Bit(e)) != 0; }
    constexpr TSet& insert(E e) {
        bits_ |= Bit(e);
        return *this;
    }
    constexpr TSet& erase(E e) {
        bits_ &= ~Bit(e);
        return *this;
    }
    constexpr bool empty() const { return bits_ == 0; }

    friend constexpr TSet operator|(TSet a, TSet b) { return FromBits(a.bits_ | b.bits_); }
    friend constexpr TSet operator&(TSet a, TSet b) { return FromBits(a.bits_ & b.bits_); }
    friend constexpr TSet operator-(TSet a, TSet b) { return FromBits(a.bits_ & ~b.bits_); }
    friend constexpr bool operator==(TSet a, TSet b) = default;

private:
    static constexpr std::uint64_t Bit(E e) {
        const auto ordinal = static_cast<std::uint64_t>(e);
        return ordinal < 64 ? std::uint64_t{1} << ordinal : 0;
    }

    std::uint64_t bits_ = 0;
};

} // namespace fw
