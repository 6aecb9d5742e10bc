#pragma once
// The data-source type ("QM_VERDANTA" / "QM_DataSource" / "Type") as the
// library reads it from its stored text.
#include <cstdint>
#include <string_view>

namespace marbrook {

// The data-source type from its stored text: the number at the start of the
// text (blanks anywhere are skipped, reading stops at the first character
// that cannot belong to the number, no number reads as 0), rounded to the
// nearest integer with halves going to the even neighbour. PlatformError 6
// (overflow) when the result is outside the 16-bit range.
std::int16_t DataSourceTypeFromText(std::string_view stored);

} // namespace marbrook
