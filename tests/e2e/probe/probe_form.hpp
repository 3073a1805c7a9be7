// A small shaped test form for the end-to-end tests: a backdrop picture that moves the
// window when pressed, a button-like control that logs its clicks, and keys logged from
// OnKeyDown. The same form runs in the probe program on X11 and in-process on the
// simulated display, so that their pixels can be compared.
#pragma once

#include "framework/forms.hpp"

#include <functional>
#include <string>

namespace probe {

inline constexpr int kLeft = 200, kTop = 150, kWidth = 160, kHeight = 120;
// The shape is the top 110 rows less the top-right corner.
inline constexpr int kShapeHeight = 110;
inline constexpr fw::TRect kNotch{120, 0, 160, 40};
inline constexpr fw::TRect kButton{20, 60, 80, 100};

using Log = std::function<void(const std::string&)>;

// Creates the form through the application (it becomes the main form) and shows it.
fw::TForm* CreateProbeForm(const Log& log);

} // namespace probe
