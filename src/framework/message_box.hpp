// The modal message box.
#pragma once

#include <functional>
#include <string>

namespace fw {

// A modal message box with the text and an OK button; Enter, Space and Escape press it.
void ShowMessage(const std::string& text);
// Lets tests see message boxes: called with the text when one opens; returning true
// closes it at once, as if OK had been pressed.
using TMessageBoxHook = std::function<bool(const std::string& text)>;
TMessageBoxHook SetMessageBoxHook(TMessageBoxHook hook);

} // namespace fw
