// Arbitrary text as the description of a skinned form: the skin's picture and region mask
// and the buttons' glyph strips are read from it. Whatever is accepted must write out, read
// back and write out again to the same text.
#include "framework/application.hpp"
#include "framework/form_reader.hpp"
#include "framework/form_writer.hpp"
#include "os/sim_platform.hpp"
#include "skin/register.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

class TFuzzForm : public fw::TForm {
    FW_CLASS(TFuzzForm, fw::TForm)
public:
    using TForm::TForm;
    static void Describe(fw::TClassBuilder<TFuzzForm>&) {}
};

// One simulated platform and runtime for the whole run: the skin gives its region to a
// window, which needs a display.
fw::Runtime& Runtime() {
    static os::SimPlatform platform;
    static fw::Runtime runtime(platform);
    static const bool registered = (skin::Register(), fw::RegisterClasses<TFuzzForm>(), true);
    (void)registered;
    return runtime;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Runtime();
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string written;
    {
        TFuzzForm form(nullptr);
        try {
            fw::ReadComponent(text, form);
        } catch (const fw::EReadError&) {
            return 0;
        }
        try {
            written = fw::WriteComponent(form);
        } catch (const fw::EWriteError&) {
            return 0; // a value that the text cannot hold, read from a number
        }
    }
    TFuzzForm again(nullptr);
    fw::ReadComponent(written, again);
    if (fw::WriteComponent(again) != written) __builtin_trap();
    return 0;
}
