// Where exceptions raised by event handlers go. A window procedure never lets one escape:
// it catches it and hands it to the current handler, which the application object sets to
// its own exception handling (the default prints the message to stderr).
#pragma once

#include <exception>
#include <functional>

namespace fw {

class TObject;

using TExceptionHandler = std::function<void(TObject* sender, std::exception_ptr error)>;

// Installs a handler and returns the previous one.
TExceptionHandler SetExceptionHandler(TExceptionHandler handler);
// Passes the exception being handled (call it inside a catch block) to the handler.
void HandleException(TObject* sender);
// Writes the exception's message to standard error.
void PrintException(std::exception_ptr error);

// Runs `body`, passing anything it throws to HandleException.
template <class F> void Guarded(TObject* sender, F&& body) {
    try {
        body();
    } catch (...) {
        HandleException(sender);
    }
}

} // namespace fw
