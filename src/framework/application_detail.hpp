// What the application's files share among themselves: not for the program.
#pragma once

#include "framework/forms.hpp"

#include <cstdint>
#include <optional>

namespace fw::detail {

// The keys and buttons held when the input being handled happened: what GetKeyState
// answers while it is handled, as the platform keeps key state in step with its queue.
std::optional<std::uint32_t>& InputModifiers();
// The form of a window handle, if it is one.
TCustomForm* FormOf(HWND h);
// Forgets every region not yet given to a window.
void ClearRegions();

} // namespace fw::detail
