#pragma once
// The error log: every failure the library catches is reported here.
#include <string>

namespace marbrook {
struct Platform;

// Appends one entry to "<library folder>/<base name>.err", or shows the
// failure in a message box when the settings switch "ErrInfo"/"bShow" is on.
// Never throws: a failure of the log itself is swallowed.
void WriteErrLog(Platform& platform, const std::string& sPosition, long lErrNumber, const std::string& sErrSource,
                 const std::string& sErrDescription) noexcept;

// The text of one log entry, without the line end the writer adds. Control
// characters of the position and the description are written escaped (\r,
// \n, \t, \xNN; a backslash doubled), so that an entry is always the same
// lines whatever the texts hold.
std::string FormatErrLogEntry(const std::string& date, const std::string& time, int major, int minor, int revision,
                              const std::string& sPosition, long lErrNumber, const std::string& sErrDescription);

// The error log's path for the library in use.
std::string ErrLogPath(Platform& platform);

} // namespace marbrook
