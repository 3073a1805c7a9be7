// Registration of the tray's classes with the form-description registry.
#pragma once

namespace tray {

// Registers TTrayIcon, TIconList, TAppEvents and the popup menu classes they refer to;
// calling it again does no harm.
void Register();

} // namespace tray
