#pragma once
// Reading files through the reader program.
//
// Some readers the GDAL back end relies on crash, loop or print on damaged
// files (the ODBC driver of personal geodatabases, the DWG reader). The
// library runs inside the host's process, where such a file would take the
// host and the user's unsaved work with it. So a file is first read by
// marbrook-reader, a short-lived program with limits on its time and
// memory whose printing is captured; a crash, a hang or a flood there is one
// failure naming the file. The host's process opens only what the reader
// read cleanly.
#include <optional>
#include <string>
#include <vector>

#include "platform/gdal/reader/ReaderProtocol.h"
#include "platform/posix/Subprocess.h"

namespace marbrook::gdal::reader {

inline constexpr const char* kReaderProgramName = "marbrook-reader";

// Marks this process as the reader itself: the stores then read files in
// this process.
void ReadHere() noexcept;
[[nodiscard]] bool ReadingHere() noexcept;

enum class Job { PgeoCatalog, PgeoLayer, Drawing };
// The job's name on the reader's command line, and back.
const char* JobName(Job job) noexcept;
std::optional<Job> JobNamed(std::string_view name) noexcept;

// The limits a reader runs under: 30 s of wall-clock and processor time,
// 2 GiB of address space (none in a build with AddressSanitizer, which
// reserves far more), 1 MiB of printing, 64 MiB of answer.
posix::ChildLimits ReaderLimits() noexcept;

// The reader program: MARBROOK_READER when set; else beside the library
// file that holds this code, in the folder an install gives it (relative to
// the library folder) or in the library folder itself (a build tree, an
// unpacked archive). None when no candidate is an executable file;
// `looked` receives every path tried.
std::optional<std::string> FindReaderProgram(std::vector<std::string>* looked = nullptr);

// Runs `program` for `job` on `path` (and `name`, for a layer) and returns
// its answer. Every way the reader can fail (missing, crashed, killed at a
// limit, printing, answering nonsense, or reporting a failure of its own)
// is a PlatformError whose description names `path`.
Answer RunReader(const std::string& program, Job job, const std::string& path, const std::string& name,
                 const posix::ChildLimits& limits);

// The catalogue of a personal geodatabase, read by the reader.
std::vector<PgeoItem> ReadPgeoCatalog(const std::string& path);
// Checks that the reader opens the feature class `layer` of a personal
// geodatabase and reads every feature of it; a file checked once is not
// checked again while it is unchanged.
void CheckPgeoLayer(const std::string& path, const std::string& layer);
// The same for a drawing: every feature of every layer.
void CheckDrawing(const std::string& path);

} // namespace marbrook::gdal::reader
