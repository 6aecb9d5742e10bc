// Bounded reads of the files the library reads whole (settings, connection
// files): the input's first two bytes pick the limit, the rest is the file.
//
// Properties: a file within the limit reads back byte for byte; a larger one
// fails with the "too large" error and nothing else. Also the end of a DXF
// drawing: a drawing whatever its bytes is whole once its end marker follows,
// and trailing line ends do not change the judgement.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz/FuzzCheck.h"
#include "platform/error.h"
#include "platform/gdal/detail/FileStores.h"
#include "platform/posix/PosixSystem.h"

namespace {

// One scratch file in memory for the whole run, read through its path.
int ScratchFd() {
    static const int fd = [] {
        const int made = ::memfd_create("marbrook-fuzz", MFD_CLOEXEC);
        FUZZ_CHECK(made >= 0);
        return made;
    }();
    return fd;
}

std::string ScratchFile() { return "/proc/self/fd/" + std::to_string(ScratchFd()); }

void WriteScratch(std::string_view bytes) {
    FUZZ_CHECK(::ftruncate(ScratchFd(), 0) == 0);
    std::size_t at = 0;
    while (at < bytes.size()) {
        const ssize_t n = ::pwrite(ScratchFd(), bytes.data() + at, bytes.size() - at, static_cast<off_t>(at));
        FUZZ_CHECK(n > 0);
        at += static_cast<std::size_t>(n);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t limit = static_cast<std::size_t>(data[0]) * 256 + data[1];
    const std::string_view content(reinterpret_cast<const char*>(data) + 2, size - 2);
    WriteScratch(content);
    try {
        const std::string read = marbrook::posix::ReadRegularFile(ScratchFile(), limit);
        FUZZ_CHECK(content.size() <= limit);
        FUZZ_CHECK(read == content);
    } catch (const marbrook::PlatformError& e) {
        FUZZ_CHECK(content.size() > limit);
        FUZZ_CHECK(e.Number() == marbrook::errnum::kInvalidFileFormat);
    }

    const std::string tail(content);
    FUZZ_CHECK(marbrook::gdal::EndsAsDxf(tail + "\n  0\nEOF\n"));
    FUZZ_CHECK(marbrook::gdal::EndsAsDxf(tail) == marbrook::gdal::EndsAsDxf(tail + "\r\n"));
    return 0;
}
