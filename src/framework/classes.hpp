// The root classes of the framework: TObject (class identity), TPersistent (assignment and
// extra stored properties), byte streams, and the filer through which a class defines
// stored properties of its own for form descriptions.
#pragma once

#include "framework/rtti.hpp"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace fw {

class TObject {
public:
    TObject() = default;
    TObject(const TObject&) = default;
    TObject& operator=(const TObject&) = default;
    virtual ~TObject() = default;

    static const TClassInfo& StaticClassInfo();
    virtual const TClassInfo& ClassInfo() const { return StaticClassInfo(); }
    // The registered name, e.g. "TCoolButton".
    virtual std::string_view ClassName() const { return ClassInfo().Name(); }
    bool ClassNameIs(std::string_view name) const { return SameIdent(ClassName(), name); }
    bool InheritsFrom(const TClassInfo& info) const { return ClassInfo().InheritsFrom(info); }
    bool InheritsFrom(std::string_view class_name) const {
        return ClassInfo().InheritsFrom(class_name);
    }
};

class TFiler;

class TPersistent : public TObject {
    FW_CLASS(TPersistent, TObject)
public:
    // Copies source into this object. The default asks the source to do it (AssignTo),
    // which fails with "Cannot assign a <source class> to a <this class>".
    virtual void Assign(const TPersistent& source);
    // Declares stored properties that are not published values (byte blocks and such).
    virtual void DefineProperties(TFiler& filer);

protected:
    virtual void AssignTo(TPersistent& dest) const;
    [[noreturn]] void AssignError(const TPersistent& source) const;
};

enum class TSeekOrigin { Beginning, Current, End };

// A sequence of bytes with a position. Read and Write move as far as they can;
// ReadBuffer and WriteBuffer move all or fail with EStreamError.
class TStream : public TObject {
public:
    virtual std::size_t Read(void* buffer, std::size_t count) = 0;
    virtual std::size_t Write(const void* buffer, std::size_t count) = 0;
    virtual std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) = 0;
    virtual std::int64_t Size() const = 0;

    std::int64_t Position() { return Seek(0, TSeekOrigin::Current); }
    void SetPosition(std::int64_t pos) { Seek(pos, TSeekOrigin::Beginning); }
    std::int64_t Remaining() { return Size() - Position(); }

    void ReadBuffer(void* buffer, std::size_t count);
    void WriteBuffer(const void* buffer, std::size_t count);
    // Little-endian integers, as the stored byte blocks hold them.
    std::uint32_t ReadUInt32();
    std::int32_t ReadInt32();
    void WriteUInt32(std::uint32_t value);
    void WriteInt32(std::int32_t value);
    // The next count bytes; fails before allocating when fewer remain.
    std::vector<std::byte> ReadBytes(std::size_t count);
    void WriteBytes(std::span<const std::byte> bytes) { WriteBuffer(bytes.data(), bytes.size()); }
};

class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::span<const std::byte> bytes) : data_(bytes.begin(), bytes.end()) {}

    std::size_t Read(void* buffer, std::size_t count) override;
    std::size_t Write(const void* buffer, std::size_t count) override;
    std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
    std::int64_t Size() const override { return static_cast<std::int64_t>(data_.size()); }

    void SetSize(std::size_t size);
    void Clear();
    std::span<const std::byte> Bytes() const { return data_; }

private:
    std::vector<std::byte> data_;
    std::size_t pos_ = 0;
};

// What a defined property's read callback gets: exactly one value of the description.
class TReader {
public:
    virtual std::int64_t ReadInteger() = 0;
    virtual bool ReadBoolean() = 0;
    virtual std::string ReadString() = 0;
    virtual double ReadFloat() = 0;
    virtual std::string ReadIdent() = 0;

protected:
    ~TReader() = default;
};

// What a defined property's write callback gets: it writes exactly one value.
class TWriter {
public:
    virtual void WriteInteger(std::int64_t value) = 0;
    virtual void WriteBoolean(bool value) = 0;
    virtual void WriteString(std::string_view value) = 0;
    virtual void WriteFloat(double value) = 0;
    virtual void WriteIdent(std::string_view ident) = 0;

protected:
    ~TWriter() = default;
};

class TComponent;

// Handed to DefineProperties by the form reader and the form writer. While reading, the
// callbacks of the property being read run; while writing, those whose hasData is true.
class TFiler {
public:
    using TReaderProc = std::function<void(TReader&)>;
    using TWriterProc = std::function<void(TWriter&)>;
    using TStreamProc = std::function<void(TStream&)>;

    virtual void DefineProperty(std::string_view name, const TReaderProc& read,
                                const TWriterProc& write, bool has_data) = 0;
    // The stream holds the property's bytes (reading) or takes them (writing).
    virtual void DefineBinaryProperty(std::string_view name, const TStreamProc& read,
                                      const TStreamProc& write, bool has_data) = 0;

    // While writing, the object to compare against: a freshly created default instance of
    // the same class (made on first request; nullptr for classes that cannot be created).
    // Always nullptr while reading.
    virtual const TPersistent* Ancestor() = 0;
    virtual bool IsReading() const = 0;
    // The component whose description is read or written.
    virtual TComponent& Root() const = 0;

protected:
    ~TFiler() = default;
};

} // namespace fw
