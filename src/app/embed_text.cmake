# Turns a text file into a C++ source that returns it: -DINPUT= -DOUTPUT= -DFUNCTION=
# (a qualified function name returning std::string_view). The text is one array in read-only
# data, read in place at run time: adjacent raw literals of 60,000 characters that the
# compiler joins. The whole may be longer than the least a compiler must accept for one
# literal; GCC and clang take any length, so their warning about it is turned off there.
file(READ ${INPUT} text)
string(LENGTH "${text}" length)
set(pieces "")
if(length EQUAL 0)
  set(pieces "    \"\"")
endif()
set(at 0)
while(at LESS length)
  string(SUBSTRING "${text}" ${at} 60000 piece)
  if(NOT at EQUAL 0)
    string(APPEND pieces "\n")
  endif()
  string(APPEND pieces "    R\"mirelo(${piece})mirelo\"")
  math(EXPR at "${at} + 60000")
endwhile()
string(REGEX REPLACE "::[^:]*$" "" namespace "${FUNCTION}")
string(REGEX REPLACE "^.*::" "" name "${FUNCTION}")
file(WRITE ${OUTPUT} "// Generated from ${INPUT}; do not edit.
#include <string_view>

namespace ${namespace} {

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored \"-Woverlength-strings\"
static constexpr char text[] =
${pieces};
#pragma GCC diagnostic pop

std::string_view ${name}() {
    return {text, sizeof text - 1};
}

} // namespace ${namespace}
")
