// Commands that reach the running Mirelo from elsewhere: from a later start of the program
// ("mirelo --record") and from the desktop's global shortcuts. Each ends in one of the main
// window's verbs, the same ones its keys and buttons use.
#pragma once

#include <string>

namespace app {

// Runs "record", "play", "stop", "show" or "save-take\nPATH" on the main window. Returns the
// exit status for the sender (0 when done), with a line for it to print in `reply`.
int RunCommand(const std::string& command, std::string& reply);

// The command text sent for a command-line option ("--record", "--save-take" with its file);
// empty for an option that is not a command.
std::string CommandForOption(const std::string& option, const std::string& file = {});

// Reads the global shortcuts from the settings ("RecordShortcut", "PlayShortcut",
// "StopShortcut"; missing ones are written with their defaults, an empty one is off, one that
// cannot be read is reported and left out) and asks the platform for them; a press runs its
// verb as the key does. Once, after the main window is made.
void StartShortcuts();

} // namespace app
