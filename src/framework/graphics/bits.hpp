// TBits: a bit set that grows on demand, used to keep track of which slots of a shared list
// are in use. OpenBit finds the first free slot.
#pragma once

#include "framework/classes.hpp"
#include "framework/exceptions.hpp"

#include <string>
#include <vector>

namespace fw {

class TBits : public TObject {
public:
    // Refuses sizes past this, as a slot list never gets near it.
    static constexpr int kMaxSize = 1 << 24;

    int Size() const { return static_cast<int>(bits_.size()); }
    void SetSize(int size) {
        if (size < 0 || size > kMaxSize) IndexError(size);
        bits_.resize(static_cast<std::size_t>(size), false);
    }

    bool Bits(int index) const {
        if (index < 0 || index >= Size()) IndexError(index);
        return bits_[static_cast<std::size_t>(index)];
    }
    // Setting a bit at or past the end grows the set to hold it.
    void SetBits(int index, bool value) {
        if (index < 0 || index >= kMaxSize) IndexError(index);
        if (index >= Size()) SetSize(index + 1);
        bits_[static_cast<std::size_t>(index)] = value;
    }

    // The index of the first clear bit, or Size() when every bit is set.
    int OpenBit() const {
        for (std::size_t i = 0; i < bits_.size(); ++i)
            if (!bits_[i]) return static_cast<int>(i);
        return Size();
    }

private:
    [[noreturn]] static void IndexError(int index) {
        throw EListError("Bits index out of range (" + std::to_string(index) + ")");
    }
    std::vector<bool> bits_;
};

} // namespace fw
