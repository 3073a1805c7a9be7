// Makes the skin's classes known to form descriptions.
#pragma once

namespace skin {

// Registers TCoolForm, TRegionType and TCoolButton; calling it again does no harm.
void Register();

} // namespace skin
