// Writing components as a form description, as the form designer saves a form.
//
// The root comes first, then the components its GetChildren gives, each followed by the
// components its own GetChildren gives, nested one level deeper (two spaces per level).
// Each component lists its published properties in declaration order, only those whose
// value differs from the declared default, nested objects under dotted names, then the
// properties it defines itself (DefineProperties). Events are written as the name of the
// root's published method they call; component references as the component's name.
// Strings longer than 64 bytes are split into 64-byte pieces joined by " +"; binary blocks
// are 32 bytes of upper-case hexadecimal per line. Reading the result and writing again
// gives the same bytes.
//
// Values that the text cannot carry (an event bound to anything but a published method of
// the root, a reference to a component the root does not own, an enumeration value without
// identifier, a non-finite number) are EWriteError.
#pragma once

#include "framework/components.hpp"

#include <string>

namespace fw {

std::string WriteComponent(const TComponent& root);

} // namespace fw
