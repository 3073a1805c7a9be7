# Turns a binary file into a C++ source that returns its bytes: -DINPUT= -DOUTPUT=
# -DFUNCTION= (a qualified function name returning std::span<const std::byte>).
file(READ ${INPUT} hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n    " bytes "${bytes}")
string(REGEX REPLACE "::[^:]*$" "" namespace "${FUNCTION}")
string(REGEX REPLACE "^.*::" "" name "${FUNCTION}")
file(WRITE ${OUTPUT} "// Generated from ${INPUT}; do not edit.
#include <cstddef>
#include <span>

namespace ${namespace} {

namespace {
const unsigned char data[] = {
    ${bytes}
};
} // namespace

std::span<const std::byte> ${name}() {
    return std::as_bytes(std::span(data));
}

} // namespace ${namespace}
")
