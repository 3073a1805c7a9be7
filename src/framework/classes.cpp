// TObject's class identity, TPersistent's assignment protocol, and byte streams.
#include "framework/classes.hpp"

#include <algorithm>
#include <cstring>
#include <limits>

namespace fw {

const TClassInfo& TObject::StaticClassInfo() {
    static const TClassInfo info("TObject", nullptr);
    return info;
}

// --- TPersistent ------------------------------------------------------------------------

void TPersistent::Assign(const TPersistent& source) {
    source.AssignTo(*this);
}

void TPersistent::AssignTo(TPersistent& dest) const {
    dest.AssignError(*this);
}

void TPersistent::AssignError(const TPersistent& source) const {
    throw EConvertError("Cannot assign a " + std::string(source.ClassName()) + " to a " +
                        std::string(ClassName()));
}

void TPersistent::DefineProperties(TFiler&) {}

// The published metadata's calls that hand over a whole persistent object: here, where the
// object is complete enough to be destroyed.

bool TPropInfo::SetObject(TPersistent& obj, std::unique_ptr<TPersistent> value) const {
    CheckKind(static_cast<bool>(set_object_), "assignable object");
    return set_object_(obj, std::move(value));
}

std::unique_ptr<TPersistent> TClassInfo::CreatePersistent() const {
    if (!persistent_factory_) throw EInvalidOperation("cannot create a " + name_);
    return persistent_factory_();
}

// --- TStream ----------------------------------------------------------------------------

void TStream::ReadBuffer(void* buffer, std::size_t count) {
    const std::int64_t left = Remaining();
    if (left < 0 || static_cast<std::uint64_t>(left) < count)
        throw EStreamError("Stream read error: " + std::to_string(count) + " bytes wanted, " +
                           std::to_string(std::max<std::int64_t>(left, 0)) + " left");
    if (Read(buffer, count) != count) throw EStreamError("Stream read error");
}

void TStream::WriteBuffer(const void* buffer, std::size_t count) {
    if (Write(buffer, count) != count) throw EStreamError("Stream write error");
}

std::uint32_t TStream::ReadUInt32() {
    unsigned char b[4];
    ReadBuffer(b, 4);
    return std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 |
           std::uint32_t{b[3]} << 24;
}

std::int32_t TStream::ReadInt32() {
    return static_cast<std::int32_t>(ReadUInt32());
}

void TStream::WriteUInt32(std::uint32_t value) {
    const unsigned char b[4] = {
        static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
        static_cast<unsigned char>(value >> 16), static_cast<unsigned char>(value >> 24)};
    WriteBuffer(b, 4);
}

void TStream::WriteInt32(std::int32_t value) {
    WriteUInt32(static_cast<std::uint32_t>(value));
}

std::vector<std::byte> TStream::ReadBytes(std::size_t count) {
    const std::int64_t left = Remaining();
    if (left < 0 || static_cast<std::uint64_t>(left) < count)
        throw EStreamError("Stream read error: " + std::to_string(count) + " bytes wanted, " +
                           std::to_string(std::max<std::int64_t>(left, 0)) + " left");
    std::vector<std::byte> bytes(count);
    ReadBuffer(bytes.data(), count);
    return bytes;
}

// --- TMemoryStream ----------------------------------------------------------------------

std::size_t TMemoryStream::Read(void* buffer, std::size_t count) {
    if (pos_ >= data_.size()) return 0;
    const std::size_t n = std::min(count, data_.size() - pos_);
    if (n) std::memcpy(buffer, data_.data() + pos_, n);
    pos_ += n;
    return n;
}

std::size_t TMemoryStream::Write(const void* buffer, std::size_t count) {
    if (count == 0) return 0;
    if (pos_ + count > data_.size()) data_.resize(pos_ + count);
    std::memcpy(data_.data() + pos_, buffer, count);
    pos_ += count;
    return count;
}

std::int64_t TMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
    std::int64_t base = 0;
    if (origin == TSeekOrigin::Current) base = static_cast<std::int64_t>(pos_);
    if (origin == TSeekOrigin::End) base = Size();
    if ((offset < 0 && base + offset < 0) ||
        (offset > 0 && base > std::numeric_limits<std::int64_t>::max() - offset))
        throw EStreamError("Seek outside the stream");
    pos_ = static_cast<std::size_t>(base + offset);
    return static_cast<std::int64_t>(pos_);
}

void TMemoryStream::SetSize(std::size_t size) {
    data_.resize(size);
    pos_ = std::min(pos_, size);
}

void TMemoryStream::Clear() {
    data_.clear();
    pos_ = 0;
}

} // namespace fw
