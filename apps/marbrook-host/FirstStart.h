#pragma once
// What the demo host does on its first start: a sample catalogue in the
// user's data folder, and the dialog pointed there unless it remembers a
// location already.
#include <string>

namespace marbrook::host {

// $XDG_DATA_HOME/marbrook/samples (default ~/.local/share/marbrook/samples).
std::string SampleFolder();
// The per-user settings file that holds the dialog's remembered location.
std::string RememberedLocationFile();
// Stores `folder` as the remembered location unless a CURDIR key exists
// already (even an empty one: the user's last choice wins). Keeps every
// other line of the file. Returns true when it wrote.
bool RememberLocationIfUnset(const std::string& settingsFile, const std::string& folder);

} // namespace marbrook::host
