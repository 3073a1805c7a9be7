// The main window's description, written the way the form designer saves it: a TForm1 in
// design mode with its components and their stored values, through the framework's writer.
#pragma once

#include "outputs.hpp"

#include <string>

namespace art {

std::string MainFormDescription(const StoredArtwork& stored);

} // namespace art
