// marbrook-reader: reads one file for the Marbrook library, in a process of
// its own, so that a damaged file that crashes, hangs or floods a reader
// takes only this process with it.
//
//   marbrook-reader --cpu SECONDS --memory BYTES JOB -- PATH [NAME]
//
// JOB is pgeo-catalog (the catalogue of a personal geodatabase), pgeo-layer
// (every feature of its feature class NAME) or drawing (every feature of a
// drawing). The answer goes to descriptor 3 in the library's own framing;
// what the readers print on 1 and 2 is the library's to judge. Exit status
// 0 when the job was done, 1 when it failed (the answer says why), 2 on
// wrong use.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include "platform/error.h"
#include "platform/gdal/GdalGis.h"
#include "platform/gdal/detail/FileStores.h"
#include "platform/gdal/reader/ReaderClient.h"
#include "platform/posix/Subprocess.h"

namespace {

namespace reader = marbrook::gdal::reader;

constexpr int kAnswerFd = 3;

int Usage() {
    std::fputs("usage: marbrook-reader --cpu SECONDS --memory BYTES pgeo-catalog|pgeo-layer|drawing -- PATH [NAME]\n"
               "  reads one file for the Marbrook library, which starts this program and reads its answer\n"
               "  on descriptor 3\n",
               stderr);
    return 2;
}

template <class Int>
std::optional<Int> WholeNumber(std::string_view text) {
    Int value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace

#if defined(__SANITIZE_ADDRESS__)
#define MARBROOK_READER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MARBROOK_READER_ASAN 1
#endif
#endif
#ifdef MARBROOK_READER_ASAN
// Built with AddressSanitizer, the reader still ends by the signal a damaged
// file gives it, which is how the library learns of the crash: the
// sanitizer's own handlers would turn it into a report and another status.
// The build hides every name by default; the sanitizer's runtime finds this
// one only when the program exports it.
extern "C" __attribute__((visibility("default"))) const char* __asan_default_options() {
    return "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0";
}
#endif

int main(int argc, char** argv) {
    // Nothing reads the answer once the library's process is gone.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);

    if (argc < 8 || argc > 9 || std::string_view(argv[1]) != "--cpu" || std::string_view(argv[3]) != "--memory" ||
        std::string_view(argv[6]) != "--")
        return Usage();
    const auto cpu = WholeNumber<unsigned>(argv[2]);
    const auto memory = WholeNumber<std::uint64_t>(argv[4]);
    const auto job = reader::JobNamed(argv[5]);
    if (!cpu || !memory || !job || (*job == reader::Job::PgeoLayer) != (argc == 9)) return Usage();
    if (::fcntl(kAnswerFd, F_GETFD) < 0) {
        std::fputs("marbrook-reader: there is no descriptor 3 to answer on; the Marbrook library starts this program\n",
                   stderr);
        return 2;
    }
    // The limits hold before the first byte of the file is read.
    if (!marbrook::posix::LimitThisProcess(*cpu, *memory)) {
        std::fputs("marbrook-reader: cannot limit itself\n", stderr);
        return 2;
    }
    reader::ReadHere();

    const std::string path = argv[7];
    reader::Answer answer;
    try {
        marbrook::gdal::InitGdal();
        switch (*job) {
        case reader::Job::PgeoCatalog: answer.items = marbrook::gdal::ReadPgeoCatalogHere(path); break;
        case reader::Job::PgeoLayer: answer.featuresRead = marbrook::gdal::ReadPgeoLayerHere(path, argv[8]); break;
        case reader::Job::Drawing: answer.featuresRead = marbrook::gdal::ReadDrawingHere(path); break;
        }
    } catch (const std::bad_alloc&) {
        answer = {};
        answer.error = marbrook::ErrorInfo{marbrook::errnum::kOutOfMemory, {},
                                           "cannot read " + path + ": it needs more memory than its reader may use"};
    } catch (...) {
        answer = {};
        answer.error = marbrook::DescribeCurrentException();
        answer.error->source.clear();
    }
    if (!WriteAll(kAnswerFd, reader::EncodeAnswer(answer))) return 1;
    ::close(kAnswerFd);
    return answer.error ? 1 : 0;
}
