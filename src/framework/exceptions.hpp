// The exceptions the framework raises where its own operations fail. Everything derives from
// fw::Exception, so the application object's handler can show any of them alike.
#pragma once

#include <stdexcept>
#include <string>

namespace fw {

class Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A value or object cannot be turned into another ("Cannot assign a TFont to a TIcon").
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

// An index outside a list, or a list operation that makes no sense.
class EListError : public Exception {
public:
    using Exception::Exception;
};

// Component names and ownership ("A component named X already exists").
class EComponentError : public Exception {
public:
    using Exception::Exception;
};

// An operation that the object's current state does not allow.
class EInvalidOperation : public Exception {
public:
    using Exception::Exception;
};

// A stream that cannot give or take the bytes asked for.
class EStreamError : public Exception {
public:
    using Exception::Exception;
};

// Streaming of components: form descriptions and their binary blocks.
class EFilerError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

// A class name that is not registered.
class EClassNotFound : public EFilerError {
public:
    using EFilerError::EFilerError;
};

// A form description that cannot be read; the message starts with "line N: ".
class EReadError : public EFilerError {
public:
    EReadError(int line, const std::string& what)
        : EFilerError("line " + std::to_string(line) + ": " + what), line_(line) {}
    int Line() const { return line_; }

private:
    int line_;
};

// A component that cannot be written (a value the text format cannot hold).
class EWriteError : public EFilerError {
public:
    using EFilerError::EFilerError;
};

} // namespace fw
