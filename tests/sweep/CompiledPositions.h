#pragma once
// The routines of the library core as it is built. Every routine with
// numbered steps reports with a position literal ("Marbrook.frmOpenDialog.
// SetSub:"), so the position literals compiled into the core's static
// libraries are the routines the fault sweep must reach. They are read from
// the string data of the object files, not from the source: renaming a file
// or a function changes nothing, and no text is parsed.
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace marbrook::sweep {

// The position literals in the read-only data of the ELF objects of the
// static libraries `archives`. Throws std::runtime_error for a file that
// cannot be read or is no archive.
std::set<std::string> CompiledPositions(const std::vector<std::string>& archives);

// Whether `text` reads as a position literal: a name, one or more ".name",
// and a colon ("basSafe.GetValueFromIni:").
[[nodiscard]] bool IsPositionLiteral(std::string_view text) noexcept;

} // namespace marbrook::sweep
