#pragma once
// What the demo host does on its first start: a sample catalogue in the
// user's data folder, and the dialog pointed there unless it remembers a
// location already.
#include <optional>
#include <string>

namespace marbrook::host {

// $XDG_DATA_HOME/marbrook/samples (default ~/.local/share/marbrook/samples).
std::string SampleFolder();
// The per-user settings file that holds the dialog's remembered location.
std::string RememberedLocationFile();
// The per-user settings file that holds the data-source type, whose value 1
// offers the database connections ("数据库连接") in the dialog.
std::string DataSourceTypeFile();
// The value of `key` in `section` of an INI file (names compare ignoring
// case, as the library reads them); none when it is not there.
std::optional<std::string> ReadSetting(const std::string& file, const std::string& section, const std::string& key);
// Writes `key` = `value` into `section`, keeping every other line. Returns
// true when it wrote.
bool WriteSetting(const std::string& file, const std::string& section, const std::string& key, const std::string& value);

// Stores `folder` as the remembered location unless a CURDIR key exists
// already (even an empty one: the user's last choice wins). Keeps every
// other line of the file. Returns true when it wrote.
bool RememberLocationIfUnset(const std::string& settingsFile, const std::string& folder);

} // namespace marbrook::host
