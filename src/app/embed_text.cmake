# Turns a text file into a C++ source that returns it: -DINPUT= -DOUTPUT= -DFUNCTION=
# (a qualified function name returning std::string_view). The text is one array in read-only
# data, so nothing is copied at run time; it is written as adjacent raw literals of at most
# 60,000 characters, each within a raw literal's limits, that the compiler joins.
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
