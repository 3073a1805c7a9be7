// Bounds-checked little-endian reading and writing of binary formats.
#include "framework/graphics/byte_reader.hpp"

namespace fw {

void ErrorContext::Fail(const std::string& detail) const {
    std::string message = prefix_ + detail;
    switch (kind_) {
    case Kind::Bitmap:
        throw EInvalidBitmap(message);
    case Kind::Icon:
        throw EInvalidIcon(message);
    case Kind::Region:
        throw EInvalidRegion(message);
    }
    throw EInvalidGraphic(message);
}

void ByteReader::Require(std::size_t count, const char* what) const {
    if (count > Remaining())
        Fail(std::string(what) + " needs " + std::to_string(count) + " bytes at offset " +
             std::to_string(pos_) + ", but the data ends at " + std::to_string(data_.size()));
}

void ByteReader::Seek(std::size_t position, const char* what) {
    if (position > data_.size())
        Fail(std::string(what) + " at offset " + std::to_string(position) +
             " beyond the end of the data (" + std::to_string(data_.size()) + " bytes)");
    pos_ = position;
}

void ByteReader::Skip(std::size_t count, const char* what) {
    Require(count, what);
    pos_ += count;
}

std::uint8_t ByteReader::U8(const char* what) {
    Require(1, what);
    return static_cast<std::uint8_t>(data_[pos_++]);
}

std::uint16_t ByteReader::U16(const char* what) {
    Require(2, what);
    auto v = static_cast<std::uint16_t>(static_cast<unsigned>(data_[pos_]) |
                                        static_cast<unsigned>(data_[pos_ + 1]) << 8);
    pos_ += 2;
    return v;
}

std::uint32_t ByteReader::U32(const char* what) {
    Require(4, what);
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<std::uint32_t>(data_[pos_ + static_cast<std::size_t>(i)]);
    pos_ += 4;
    return v;
}

std::int32_t ByteReader::I32(const char* what) {
    return static_cast<std::int32_t>(U32(what));
}

std::span<const std::byte> ByteReader::Bytes(std::size_t count, const char* what) {
    Require(count, what);
    auto part = data_.subspan(pos_, count);
    pos_ += count;
    return part;
}

bool DecodeBudget::Take(std::uint64_t bytes) {
    if (bytes > limit_ - spent_) return false;
    spent_ += bytes;
    return true;
}

std::string DecodeBudget::Overrun(std::uint64_t bytes) const {
    return "would bring the decoded data to " + std::to_string(spent_ + bytes) +
           " bytes, beyond the " + std::to_string(limit_) + " allowed for an input of " +
           std::to_string(input_) + " bytes";
}

void ByteWriter::U16(std::uint16_t v) {
    U8(static_cast<std::uint8_t>(v));
    U8(static_cast<std::uint8_t>(v >> 8));
}

void ByteWriter::U32(std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        U8(static_cast<std::uint8_t>(v >> (8 * i)));
}

void ByteWriter::PatchU32(std::size_t position, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i)
        out_.at(position + i) = static_cast<std::byte>(v >> (8 * i));
}

std::string Hex(std::uint32_t value) {
    static const char digits[] = "0123456789ABCDEF";
    std::string s;
    do {
        s.insert(s.begin(), digits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return "0x" + s;
}

} // namespace fw
