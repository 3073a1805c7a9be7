// Arbitrary bytes as a stored picture record (class name, then the graphic's record).
// Whatever is accepted must write and read back to the same bytes.
#include "framework/exceptions.hpp"
#include "framework/graphics/graphics_error.hpp"
#include "framework/graphics/picture.hpp"

#include <cstddef>
#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fw::TMemoryStream in(std::as_bytes(std::span(data, size)));
    fw::TPicture picture;
    try {
        picture.ReadData(in);
    } catch (const fw::Exception&) {
        return 0;
    }
    fw::TMemoryStream out;
    picture.WriteData(out);
    out.SetPosition(0);
    fw::TPicture again;
    again.ReadData(out);
    fw::TMemoryStream out2;
    again.WriteData(out2);
    if (!std::ranges::equal(out.Bytes(), out2.Bytes())) __builtin_trap();
    return 0;
}
