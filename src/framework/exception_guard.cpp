// The process-wide exception handler of event handlers.
#include "framework/exception_guard.hpp"

#include <cstdio>
#include <stdexcept>

namespace fw {

namespace {
TExceptionHandler& Current() {
    static TExceptionHandler handler;
    return handler;
}
} // namespace

TExceptionHandler SetExceptionHandler(TExceptionHandler handler) {
    TExceptionHandler old = std::move(Current());
    Current() = std::move(handler);
    return old;
}

void HandleException(TObject* sender) {
    const std::exception_ptr error = std::current_exception();
    if (Current())
        Current()(sender, error);
    else
        PrintException(error);
}

void PrintException(std::exception_ptr error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    } catch (...) {
        std::fprintf(stderr, "unknown exception\n");
    }
}

} // namespace fw
