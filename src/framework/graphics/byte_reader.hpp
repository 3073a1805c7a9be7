// Bounds-checked little-endian reading and writing of binary formats. Every read names
// what it reads, so that running out of bytes gives a message such as
// "BMP: info header needs 40 bytes at offset 14, but the data ends at 30".
#pragma once

#include "framework/graphics/graphics_error.hpp"
#include "os/input_budget.hpp"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace fw {

// Which exception a format raises, and the prefix that places a message ("ICO: image 2: ").
class ErrorContext {
public:
    enum class Kind { Bitmap, Icon, Region };
    ErrorContext(Kind kind, std::string prefix) : kind_(kind), prefix_(std::move(prefix)) {}
    [[noreturn]] void Fail(const std::string& detail) const;
    ErrorContext WithPrefix(const std::string& more) const { return {kind_, prefix_ + more}; }

private:
    Kind kind_;
    std::string prefix_;
};

class ByteReader {
public:
    ByteReader(std::span<const std::byte> data, ErrorContext errors)
        : data_(data), errors_(std::move(errors)) {}

    std::size_t Size() const { return data_.size(); }
    std::size_t Position() const { return pos_; }
    std::size_t Remaining() const { return data_.size() - pos_; }
    std::span<const std::byte> Data() const { return data_; }

    // Fails unless `count` more bytes are there; `what` names them in the message.
    void Require(std::size_t count, const char* what) const;
    void Seek(std::size_t position, const char* what);
    void Skip(std::size_t count, const char* what);

    std::uint8_t U8(const char* what);
    std::uint16_t U16(const char* what);
    std::uint32_t U32(const char* what);
    std::int32_t I32(const char* what);
    std::span<const std::byte> Bytes(std::size_t count, const char* what);

    [[noreturn]] void Fail(const std::string& detail) const { errors_.Fail(detail); }
    const ErrorContext& Errors() const { return errors_; }

private:
    std::span<const std::byte> data_;
    std::size_t pos_ = 0;
    ErrorContext errors_;
};

// The memory a reader may fill from one input (os::InputBudget of its size). The reader
// counts each part before it allocates it, and refuses the part that would pass the limit.
class DecodeBudget {
public:
    explicit DecodeBudget(std::size_t input_bytes)
        : input_(input_bytes), limit_(os::InputBudget(input_bytes)) {}

    // Counts `bytes` more; false, counting nothing, when they would pass the limit.
    bool Take(std::uint64_t bytes);
    // Why `bytes` more were refused: "would bring the decoded data to N bytes, beyond ...".
    std::string Overrun(std::uint64_t bytes) const;

private:
    std::uint64_t input_;
    std::uint64_t limit_;
    std::uint64_t spent_ = 0;
};

class ByteWriter {
public:
    void U8(std::uint8_t v) { out_.push_back(static_cast<std::byte>(v)); }
    void U16(std::uint16_t v);
    void U32(std::uint32_t v);
    void I32(std::int32_t v) { U32(static_cast<std::uint32_t>(v)); }
    void Bytes(std::span<const std::byte> bytes) {
        out_.insert(out_.end(), bytes.begin(), bytes.end());
    }
    void Zeros(std::size_t count) { out_.insert(out_.end(), count, std::byte{0}); }
    // Overwrites four bytes already written, for sizes known only at the end.
    void PatchU32(std::size_t position, std::uint32_t v);

    std::size_t Size() const { return out_.size(); }
    void Reserve(std::size_t count) { out_.reserve(count); }
    std::vector<std::byte> Take() { return std::move(out_); }

private:
    std::vector<std::byte> out_;
};

// "0x1234" for messages.
std::string Hex(std::uint32_t value);

} // namespace fw
