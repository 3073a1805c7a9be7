// Arbitrary text for the form-description reader. It must either read the description or
// refuse it with a read error; what it accepts must write out, read back and write out
// again to the same text.
#include "../framework/form_test_classes.hpp"
#include "framework/form_reader.hpp"
#include "framework/form_writer.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool registered = (ftest::RegisterTestClasses(), true);
    (void)registered;
    ftest::Log().clear();
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    ftest::TTestForm form(nullptr);
    try {
        fw::ReadComponent(text, form);
    } catch (const fw::EReadError&) {
        return 0;
    }
    const std::string written = fw::WriteComponent(form);
    ftest::TTestForm again(nullptr);
    fw::ReadComponent(written, again);
    if (fw::WriteComponent(again) != written) __builtin_trap();
    return 0;
}
