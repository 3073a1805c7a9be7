# Turns a text file into a C++ source that returns it: -DINPUT= -DOUTPUT= -DFUNCTION=
# (a qualified function name returning std::string_view). The text is split into pieces
# below the length every compiler must accept for one string literal.
file(READ ${INPUT} text)
string(LENGTH "${text}" length)
set(pieces "")
if(length EQUAL 0)
  set(pieces "    \"\",\n")
endif()
set(at 0)
while(at LESS length)
  string(SUBSTRING "${text}" ${at} 60000 piece)
  string(APPEND pieces "    R\"mirelo(${piece})mirelo\",\n")
  math(EXPR at "${at} + 60000")
endwhile()
string(REGEX REPLACE "::[^:]*$" "" namespace "${FUNCTION}")
string(REGEX REPLACE "^.*::" "" name "${FUNCTION}")
file(WRITE ${OUTPUT} "// Generated from ${INPUT}; do not edit.
#include <string>
#include <string_view>

namespace ${namespace} {

std::string_view ${name}() {
    static const char* const pieces[] = {
${pieces}    };
    static const std::string text = [] {
        std::string t;
        for (const char* p : pieces)
            t += p;
        return t;
    }();
    return text;
}

} // namespace ${namespace}
")
