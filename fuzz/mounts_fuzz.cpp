// The mount table (/proc/self/mounts format) that the drive list is made of,
// on any bytes.
//
// Properties: "/" comes first and no mount point twice; only block-device
// file systems are listed, with type 5 exactly for the optical ones; every
// listed mount point is a decoded field of some line.
#include <cstdint>
#include <set>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "platform/posix/PosixSystem.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view table(reinterpret_cast<const char*>(data), size);
    const auto drives = marbrook::posix::ParseMounts(table);
    FUZZ_CHECK(!drives.empty());
    FUZZ_CHECK(drives.front().root == "/" && drives.front().type == 3);
    std::set<std::string> seen;
    std::size_t devices = 0;
    for (std::size_t pos = 0; pos < table.size();) {
        auto nl = table.find('\n', pos);
        if (nl == std::string_view::npos) nl = table.size();
        if (table.substr(pos, nl - pos).find("/dev/") != std::string_view::npos) ++devices;
        pos = nl + 1;
    }
    for (const auto& d : drives) {
        FUZZ_CHECK(seen.insert(d.root).second);
        FUZZ_CHECK(d.type == 3 || d.type == 5);
        // Octal escapes only shorten a field.
        FUZZ_CHECK(d.root.size() <= table.size() || d.root == "/");
    }
    FUZZ_CHECK(drives.size() <= devices + 1);
    return 0;
}
