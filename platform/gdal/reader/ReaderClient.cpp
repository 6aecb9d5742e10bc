#include "platform/gdal/reader/ReaderClient.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <tuple>

#include "platform/error.h"
#include "platform/gdal/GdalGis.h"

#ifndef MARBROOK_READER_FROM_LIBDIR
#define MARBROOK_READER_FROM_LIBDIR "../libexec/marbrook"
#endif

namespace marbrook::gdal::reader {

// The shared library a program carrying this code stands for, when it named one.
static std::mutex gLibraryFileMutex;
static std::string gLibraryFile;

namespace {

constexpr const char* kSource = "Marbrook.GDAL";
constexpr long kInvalidFileFormat = 321;
// How much of what a reader printed is quoted in a description.
constexpr std::size_t kQuotedBytes = 200;

std::atomic<bool> gReadingHere{false};

bool IsExecutableFile(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::faccessat(AT_FDCWD, path.c_str(), X_OK, AT_EACCESS) == 0;
}

// The folder of the library this code stands for: the shared library in a
// host; the one a program carrying the code named (StandForLibrary); else
// the program itself when the back end is linked into one.
std::string OwnFolder() {
    Dl_info info{};
    std::string file;
    {
        std::lock_guard lock(gLibraryFileMutex);
        file = gLibraryFile;
    }
    if (file.empty() && ::dladdr(reinterpret_cast<void*>(&OwnFolder), &info) != 0 && info.dli_fname && *info.dli_fname)
        file = info.dli_fname;
    std::error_code ec;
    std::filesystem::path real = file.empty() ? std::filesystem::path{} : std::filesystem::canonical(file, ec);
    if (file.empty() || ec) real = std::filesystem::canonical("/proc/self/exe", ec);
    if (ec) return {};
    return real.parent_path().string();
}

// The first line of what a reader printed that says anything.
std::string Quote(std::string_view printed) {
    std::size_t from = 0;
    while (from < printed.size()) {
        const auto end = printed.find('\n', from);
        const std::string_view line = printed.substr(from, end == std::string_view::npos ? std::string_view::npos : end - from);
        if (line.find_first_not_of(" \t\r") != std::string_view::npos) return "\"" + OneLineText(line, kQuotedBytes) + "\"";
        if (end == std::string_view::npos) break;
        from = end + 1;
    }
    return "\"" + OneLineText(printed, kQuotedBytes) + "\"";
}

std::string Megabytes(std::size_t bytes) {
    return bytes >= (std::size_t{1} << 20) ? std::to_string(bytes >> 20) + " MB" : std::to_string(bytes) + " bytes";
}

// What tells that a file has not changed since it was checked.
struct Stamp {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    bool operator==(const Stamp& o) const noexcept {
        return device == o.device && inode == o.inode && size == o.size && modified.tv_sec == o.modified.tv_sec &&
               modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec &&
               changed.tv_nsec == o.changed.tv_nsec;
    }
};

std::optional<Stamp> StampOf(const std::string& path) {
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return std::nullopt;
    return Stamp{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

// Files read cleanly, by job, path and name: opening five classes of one
// drawing checks it once. Failures are not kept: the next attempt reads
// again.
class CheckedFiles {
public:
    bool Has(Job job, const std::string& path, const std::string& name, const Stamp& stamp) {
        std::lock_guard lock(mutex_);
        const auto it = checked_.find({job, path, name});
        return it != checked_.end() && it->second == stamp;
    }
    void Add(Job job, const std::string& path, const std::string& name, const Stamp& stamp) {
        std::lock_guard lock(mutex_);
        if (checked_.size() >= kMostKept) checked_.clear();
        checked_[{job, path, name}] = stamp;
    }

private:
    static constexpr std::size_t kMostKept = 256;
    std::mutex mutex_;
    std::map<std::tuple<Job, std::string, std::string>, Stamp> checked_;
};

CheckedFiles& Checked() {
    static CheckedFiles checked;
    return checked;
}

std::string ProgramOrThrow(const std::string& path) {
    std::vector<std::string> looked;
    if (auto program = FindReaderProgram(&looked)) return *program;
    std::string where;
    for (const std::string& candidate : looked) where += (where.empty() ? "" : ", ") + candidate;
    throw PlatformError(errnum::kFileNotFound, kSource,
                        "cannot read " + path + ": the reader program " + kReaderProgramName + " is missing (looked for " +
                            where + ")");
}

Answer Run(Job job, const std::string& path, const std::string& name) {
    return RunReader(ProgramOrThrow(path), job, path, name, ReaderLimits());
}

void Check(Job job, const std::string& path, const std::string& name) {
    const auto stamp = StampOf(path);
    if (stamp && Checked().Has(job, path, name, *stamp)) return;
    (void)Run(job, path, name);
    if (stamp) Checked().Add(job, path, name, *stamp);
}

} // namespace

void ReadHere() noexcept { gReadingHere = true; }
bool ReadingHere() noexcept { return gReadingHere; }

const char* JobName(Job job) noexcept {
    switch (job) {
    case Job::PgeoCatalog: return "pgeo-catalog";
    case Job::PgeoLayer: return "pgeo-layer";
    case Job::Drawing: return "drawing";
    }
    return "";
}

std::optional<Job> JobNamed(std::string_view name) noexcept {
    for (const Job job : {Job::PgeoCatalog, Job::PgeoLayer, Job::Drawing})
        if (name == JobName(job)) return job;
    return std::nullopt;
}

posix::ChildLimits ReaderLimits() noexcept {
    posix::ChildLimits limits;
    limits.wallTime = std::chrono::seconds(30);
    limits.cpuSeconds = 30;
#if defined(__SANITIZE_ADDRESS__)
    limits.addressSpaceBytes = 0;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
    limits.addressSpaceBytes = 0;
#else
    limits.addressSpaceBytes = std::uint64_t{2} << 30;
#endif
#else
    limits.addressSpaceBytes = std::uint64_t{2} << 30;
#endif
    limits.printedBytes = std::size_t{1} << 20;
    limits.printedKept = 4096;
    limits.answerBytes = std::size_t{64} << 20;
    return limits;
}

std::optional<std::string> FindReaderProgram(std::vector<std::string>* looked) {
    if (const char* chosen = std::getenv("MARBROOK_READER"); chosen && *chosen) {
        if (looked) looked->push_back(chosen);
        if (IsExecutableFile(chosen)) return std::string(chosen);
        return std::nullopt;
    }
    const std::string folder = OwnFolder();
    if (folder.empty()) return std::nullopt;
    const std::filesystem::path base(folder);
    for (const auto& candidate : {(base / MARBROOK_READER_FROM_LIBDIR / kReaderProgramName).lexically_normal(),
                                  base / kReaderProgramName}) {
        if (looked) looked->push_back(candidate.string());
        if (IsExecutableFile(candidate.string())) return candidate.string();
    }
    return std::nullopt;
}

Answer RunReader(const std::string& program, Job job, const std::string& path, const std::string& name,
                 const posix::ChildLimits& limits) {
    const std::string failed = "cannot read " + path + ": ";
    std::vector<std::string> arguments = {"--cpu", std::to_string(limits.cpuSeconds), "--memory",
                                          std::to_string(limits.addressSpaceBytes), JobName(job), "--", path};
    if (job == Job::PgeoLayer) arguments.push_back(name);

    posix::ChildResult run;
    try {
        run = posix::RunChild(program, arguments, limits);
    } catch (const PlatformError& e) {
        throw PlatformError(e.Number(), kSource, failed + e.Description());
    }
    const auto damaged = [&](const std::string& why) -> PlatformError {
        return {kInvalidFileFormat, kSource, failed + why};
    };
    switch (run.ending) {
    case posix::ChildResult::Ending::Signalled:
        if (run.signal == SIGXCPU)
            throw damaged("the file is damaged or too large: its reader used more than " + std::to_string(limits.cpuSeconds) +
                          " s of processor time");
        throw damaged("the file is damaged: its reader crashed (" + posix::SignalName(run.signal) + ")");
    case posix::ChildResult::Ending::TimedOut:
        throw damaged("the file is damaged or too large: its reader did not end within " +
                      std::to_string(std::chrono::duration_cast<std::chrono::seconds>(limits.wallTime).count()) + " s");
    case posix::ChildResult::Ending::Flooded:
        throw damaged("the file is damaged: its reader printed more than " + Megabytes(limits.printedBytes) +
                      " of complaints, beginning " + Quote(run.printed));
    case posix::ChildResult::Ending::AnswerTooLarge:
        throw damaged("its reader answered more than " + Megabytes(limits.answerBytes));
    case posix::ChildResult::Ending::Exited:
        break;
    }

    std::optional<Answer> answer;
    std::string malformed;
    try {
        answer = DecodeAnswer(run.answer);
    } catch (const PlatformError& e) {
        malformed = e.Description();
    }
    if (answer && answer->error) {
        // The reader's own failure; it names the file unless it is about
        // the reader itself.
        const std::string& why = answer->error->description;
        throw PlatformError(answer->error->number, kSource, why.find(path) == std::string::npos ? failed + why : why);
    }
    if (run.printedTotal > 0) throw damaged("the file is damaged: its reader complained " + Quote(run.printed));
    if (!answer) {
        if (run.exitStatus > 0) throw damaged("its reader ended with status " + std::to_string(run.exitStatus));
        throw damaged(malformed);
    }
    if (run.exitStatus > 0) throw damaged("its reader ended with status " + std::to_string(run.exitStatus));
    return *answer;
}

std::vector<PgeoItem> ReadPgeoCatalog(const std::string& path) { return Run(Job::PgeoCatalog, path, {}).items; }

void CheckPgeoLayer(const std::string& path, const std::string& layer) { Check(Job::PgeoLayer, path, layer); }

void CheckDrawing(const std::string& path) { Check(Job::Drawing, path, {}); }

} // namespace marbrook::gdal::reader

namespace marbrook::gdal {

void StandForLibrary(std::string libraryFile) {
    std::lock_guard lock(reader::gLibraryFileMutex);
    reader::gLibraryFile = std::move(libraryFile);
}

} // namespace marbrook::gdal
