#pragma once
// Our spatial-database connection files (.sde): a small UTF-8 text format.
//
//   [Marbrook connection]
//   format=1
//   SERVER=db.example.org
//   INSTANCE=5432
//   DATABASE=gis
//   USER=sde
//   PASSWORD=obf1:6a09e667...
//   VERSION=sde.DEFAULT
//
// Properties keep their order. Bytes below 0x20, 0x7f and "%" are written as
// %XX, so a value with a line break stays on its line; so are the bytes the
// reader would otherwise lose (a blank at a value's end, "=" in a name), so
// that every name and value reads back as it was written. The name "format"
// is the file's own. A non-empty password is stored obfuscated ("obf1:" +
// hex): that keeps it from being read over a shoulder or found by grep, it
// is not encryption; the file's mode 0600 is what protects it.
#include <string>
#include <string_view>

#include "platform/gis.h"

namespace marbrook::gdal::postgis {

inline constexpr long kInvalidFileFormat = 321;

std::string FormatConnectionFile(const gis::PropertySet& properties);
// The properties of a connection file's text; PlatformError 321 when the
// text is not one of our connection files.
gis::PropertySet ParseConnectionFile(std::string_view text);

std::string ObfuscatePassword(std::string_view password);
// The password of a stored value; a value without the "obf1:" mark is taken
// as it stands (a file written by hand). PlatformError 321 for a damaged one.
std::string RevealPassword(std::string_view stored);

// `text` with every occurrence of `secret` replaced by "********", for
// descriptions that may echo a connection string.
std::string Scrub(std::string text, const std::string& secret);

} // namespace marbrook::gdal::postgis
