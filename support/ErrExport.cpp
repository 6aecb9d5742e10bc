#include "support/ErrExport.h"

#include <string_view>

#include "platform/platform.h"
#include "support/basSafe.h"
#include "support/Text.h"

namespace marbrook {

namespace {
// Logged text with its control characters written as escapes, so that a
// name holding a line break cannot end an entry early or forge another; the
// backslash is doubled so that the text reads back unambiguously.
std::string EscapeLogText(std::string_view s) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(s.size());
    for (const char c : s) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\r': out += "\\r"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        default:
            if (u < 0x20 || u == 0x7f) {
                out += "\\x";
                out += kHex[u >> 4];
                out += kHex[u & 0xf];
            } else {
                out += c;
            }
        }
    }
    return out;
}

// Reading the switch may itself fail and report; that nested report must not
// read the switch again, or an unreadable settings file would recurse forever.
thread_local int tReportDepth = 0;

struct DepthGuard {
    DepthGuard() noexcept { ++tReportDepth; }
    ~DepthGuard() { --tReportDepth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
};
} // namespace

std::string FormatErrLogEntry(const std::string& date, const std::string& time, int major, int minor, int revision,
                              const std::string& sPosition, long lErrNumber, const std::string& sErrDescription) {
    std::string e;
    e += "[DATETIME: " + date + "  " + time + " DLLVERSION: " + std::to_string(major) + "." + std::to_string(minor) +
         "." + std::to_string(revision) + "] \r\n";
    e += "\tPosition:          " + EscapeLogText(sPosition) + "\r\n";
    e += "\tError Number:      " + std::to_string(lErrNumber) + "\r\n";
    e += "\tError Description: " + EscapeLogText(sErrDescription) + "\r\n";
    e += "\r\n";
    return e;
}

std::string ErrLogPath(Platform& platform) {
    const auto lib = platform.system.Library();
    return text::JoinPath(lib.folder, lib.baseName) + ".err";
}

void WriteErrLog(Platform& platform, const std::string& sPosition, long lErrNumber, const std::string& sErrSource,
                 const std::string& sErrDescription) noexcept {
    try {
        DepthGuard guard;
        const std::string show = tReportDepth > 1 ? std::string("0") : GetValueFromIni(platform, "ErrInfo", "bShow", "0");
        if (show != "0") {
            platform.ui.MessageBox(sPosition + "\r\nError Number:      " + std::to_string(lErrNumber) +
                                       "\r\nError Description: " + sErrDescription,
                                   ui::MessageIcon::Information, sErrSource);
            return;
        }
        const auto lib = platform.system.Library();
        const std::string entry = FormatErrLogEntry(platform.system.DateText(), platform.system.TimeText(), lib.major,
                                                    lib.minor, lib.revision, sPosition, lErrNumber, sErrDescription);
        platform.system.AppendText(text::JoinPath(lib.folder, lib.baseName) + ".err", entry + "\r\n");
    } catch (...) {
        // The log is the last resort: a log that cannot be written must not
        // turn a handled failure into one that reaches the host.
    }
}

} // namespace marbrook
