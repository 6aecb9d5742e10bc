#include "platform/posix/PosixSystem.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>

#include "platform/error.h"
#include "platform/posix/FdCloser.h"
#include "platform/posix/FolderReading.h"
#include "platform/posix/Ini.h"

namespace marbrook::posix {

namespace {

constexpr const char* kSource = "Marbrook.System";

[[noreturn]] void ThrowErrno(int err, const std::string& what) {
    long number = errnum::kPathFileAccessError;
    if (err == ENOENT) number = errnum::kPathNotFound;
    else if (err == ENOTDIR) number = errnum::kPathNotFound;
    else if (err == EACCES || err == EPERM || err == EROFS) number = errnum::kPermissionDenied;
    else if (err == EEXIST) number = errnum::kFileAlreadyExists;
    throw PlatformError(number, kSource, what + ": " + std::strerror(err));
}

void WriteAll(int fd, std::string_view data, const std::string& path) {
    while (!data.empty()) {
        const ssize_t n = ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowErrno(errno, "cannot write " + path);
        }
        data.remove_prefix(static_cast<std::size_t>(n));
    }
}

std::string DecodeMountField(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '\\' && i + 3 < s.size()) {
            const auto oct = s.substr(i + 1, 3);
            if (oct.size() == 3 && oct.find_first_not_of("01234567") == std::string_view::npos) {
                out += static_cast<char>((oct[0] - '0') * 64 + (oct[1] - '0') * 8 + (oct[2] - '0'));
                i += 3;
                continue;
            }
        }
        out += s[i];
    }
    return out;
}

// What a file that is not a regular file is, for a description.
const char* KindOf(mode_t mode) {
    if (S_ISDIR(mode)) return "a folder";
    if (S_ISFIFO(mode)) return "a pipe";
    if (S_ISCHR(mode) || S_ISBLK(mode)) return "a device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

[[noreturn]] void ThrowNotRegular(const std::string& path, mode_t mode) {
    throw PlatformError(errnum::kPathFileAccessError, kSource,
                        "cannot use " + path + ": it is " + KindOf(mode) + ", not a regular file");
}

// Settings files are a few lines; one this large is not ours.
constexpr std::size_t kSettingsFileLimit = std::size_t{1} << 20;
// A machine with thousands of mounts still has a table of a few hundred KB.
constexpr std::size_t kMountTableLimit = std::size_t{16} << 20;

// Holds an exclusive lock on a folder while it lives, so that the
// read-modify-write of a file in it by two processes at once loses nothing:
// the file itself is replaced by a rename, so it cannot carry the lock. A
// file system without locks is written without one, as before.
class FolderLock {
public:
    explicit FolderLock(const std::string& file) {
        const auto slash = file.rfind('/');
        const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : file.substr(0, slash);
        fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0) return; // the write that follows reports the folder
        int rc;
        do rc = ::flock(fd_, LOCK_EX);
        while (rc != 0 && errno == EINTR);
    }
    ~FolderLock() {
        if (fd_ >= 0) ::close(fd_); // closing releases the lock
    }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_ = -1;
};

std::string SettingsFile(const std::string& application) {
    return PosixSystem::ConfigFolder() + "/" + application + ".ini";
}

void EnsureFolders(const std::string& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) throw PlatformError(errnum::kPathNotFound, kSource, "cannot create " + folder + ": " + ec.message());
}

} // namespace

std::vector<sys::Drive> ParseMounts(std::string_view table) {
    std::vector<sys::Drive> drives{{"/", 3}};
    std::size_t pos = 0;
    while (pos < table.size()) {
        auto nl = table.find('\n', pos);
        if (nl == std::string_view::npos) nl = table.size();
        const auto line = table.substr(pos, nl - pos);
        pos = nl + 1;
        // device mountpoint fstype options ...
        std::string_view fields[3];
        std::size_t f = 0, p = 0;
        while (f < 3 && p < line.size()) {
            while (p < line.size() && line[p] == ' ') ++p;
            const auto e = line.find(' ', p);
            fields[f++] = line.substr(p, (e == std::string_view::npos ? line.size() : e) - p);
            p = e == std::string_view::npos ? line.size() : e;
        }
        if (f < 3) continue;
        if (fields[0].substr(0, 5) != "/dev/") continue;
        const std::string mount = DecodeMountField(fields[1]);
        bool seen = false;
        for (const auto& d : drives) seen = seen || d.root == mount;
        if (seen) continue;
        const bool optical = fields[2] == "iso9660" || fields[2] == "udf";
        drives.push_back({mount, optical ? 5 : 3});
    }
    return drives;
}

std::vector<sys::Drive> PosixSystem::LogicalDrives() {
    return ParseMounts(ReadRegularFile("/proc/self/mounts", kMountTableLimit));
}

std::string PosixSystem::UserName() {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    if (size < 1024) size = 16384;
    std::string buffer(static_cast<std::size_t>(size), '\0');
    passwd pwd{};
    passwd* result = nullptr;
    const int rc = ::getpwuid_r(::geteuid(), &pwd, buffer.data(), buffer.size(), &result);
    if (rc != 0 || result == nullptr)
        throw PlatformError(errnum::kAutomationError, kSource, "the user's name cannot be read");
    return pwd.pw_name;
}

bool PosixSystem::PathExists(const std::string& path) {
    struct stat st{};
    // A dangling link still takes the name.
    return ::stat(path.c_str(), &st) == 0 || ::lstat(path.c_str(), &st) == 0;
}

bool PosixSystem::FolderExists(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool PosixSystem::FileExists(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

sys::FolderContents PosixSystem::ListFolder(const std::string& path) {
    // The reading the stores of the same listing use after it.
    int err = 0;
    const FolderNamesPtr names = ReadFolderKept(path, kListingAge, err);
    if (!names) ThrowErrno(err, "cannot list " + path);
    return names->contents;
}

void PosixSystem::CreateFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0755) != 0) ThrowErrno(errno, "cannot create " + path);
}

void PosixSystem::AppendText(const std::string& path, const std::string& text) {
    // A link at the path is not followed: in a shared folder it would let
    // anyone have any file appended to. Nor does a pipe without a reader
    // make the open wait.
    FdCloser fd{::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0644)};
    if (fd.fd < 0) {
        const int err = errno;
        struct stat st{};
        if (err == ELOOP && ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
            throw PlatformError(errnum::kPathFileAccessError, kSource, "cannot use " + path + ": it is a symbolic link");
        if (err == ENXIO && ::stat(path.c_str(), &st) == 0) ThrowNotRegular(path, st.st_mode);
        ThrowErrno(err, "cannot open " + path);
    }
    struct stat st{};
    if (::fstat(fd.fd, &st) != 0) ThrowErrno(errno, "cannot open " + path);
    if (!S_ISREG(st.st_mode)) ThrowNotRegular(path, st.st_mode);
    WriteAll(fd.fd, text, path);
}

void PosixSystem::CreateEmptyFile(const std::string& path) {
    FdCloser fd{::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644)};
    if (fd.fd < 0) ThrowErrno(errno, "cannot create " + path);
}

std::string PosixSystem::ReadProfileString(const std::string& file, const std::string& section, const std::string& key,
                                           const std::string& defaultValue) {
    if (!FileExists(file)) return defaultValue;
    return IniRead(ReadRegularFile(file, kSettingsFileLimit), section, key).value_or(defaultValue);
}

void PosixSystem::WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                                     const std::string& value) {
    const FolderLock lock(file);
    const std::string old = FileExists(file) ? ReadRegularFile(file, kSettingsFileLimit) : std::string{};
    WriteFileAtomically(file, IniWrite(old, section, key, value));
}

std::optional<std::string> PosixSystem::GetSetting(const std::string& application, const std::string& section,
                                                   const std::string& key) {
    const std::string file = SettingsFile(application);
    if (!FileExists(file)) return std::nullopt;
    return IniRead(ReadRegularFile(file, kSettingsFileLimit), section, key);
}

void PosixSystem::SaveSetting(const std::string& application, const std::string& section, const std::string& key,
                              const std::string& value) {
    EnsureFolders(ConfigFolder());
    WriteProfileString(SettingsFile(application), section, key, value);
}

std::string PosixSystem::ConfigFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg == '/') return std::string(xdg) + "/marbrook";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.config/marbrook";
}

sys::LibraryIdentity PosixSystem::Library() {
    sys::LibraryIdentity id;
    std::string file = libraryFile_;
    Dl_info info{};
    if (file.empty() && ::dladdr(reinterpret_cast<void*>(&ParseMounts), &info) != 0 && info.dli_fname)
        file = info.dli_fname;
    std::error_code ec;
    const auto absolute = file.empty() ? std::filesystem::path{} : std::filesystem::weakly_canonical(file, ec);
    const std::string fileName = absolute.filename().string();
    // Inside the shared library its own name counts; linked into a program
    // (tests, tools) the library keeps its usual name.
    const auto so = fileName.find(".so");
    id.baseName = so != std::string::npos ? fileName.substr(0, so) : "libmarbrook";
    id.folder = absolute.parent_path().string();
    if (const char* home = std::getenv("MARBROOK_HOME"); home && *home) id.folder = home;
    if (id.folder.empty()) id.folder = ".";
    return id;
}

std::string PosixSystem::DateText() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%Y-%m-%d", &tm);
    return buf;
}

std::string PosixSystem::TimeText() {
    const std::time_t now = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&now, &tm);
    char buf[32];
    std::strftime(buf, sizeof buf, "%H:%M:%S", &tm);
    return buf;
}

std::string ReadRegularFile(const std::string& path, std::size_t maxBytes) {
    // Opened without waiting: a pipe would wait for a writer for ever.
    FdCloser fd{::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK)};
    if (fd.fd < 0) {
        if (errno == ENOENT) throw PlatformError(errnum::kFileNotFound, kSource, "file not found: " + path);
        ThrowErrno(errno, "cannot open " + path);
    }
    struct stat st{};
    if (::fstat(fd.fd, &st) != 0) ThrowErrno(errno, "cannot open " + path);
    if (!S_ISREG(st.st_mode)) ThrowNotRegular(path, st.st_mode);
    // One byte more than allowed tells a file that is too large; the size
    // the file system reports is not trusted (files in /proc report 0).
    std::string out;
    char buf[65536];
    for (;;) {
        const std::size_t want = std::min(sizeof buf, maxBytes + 1 - out.size());
        const ssize_t n = ::read(fd.fd, buf, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowErrno(errno, "cannot read " + path);
        }
        if (n == 0) break;
        out.append(buf, static_cast<std::size_t>(n));
        if (out.size() > maxBytes)
            throw PlatformError(errnum::kInvalidFileFormat, kSource,
                                "cannot use " + path + ": it is larger than " + std::to_string(maxBytes) + " bytes");
    }
    return out;
}

void WriteFileAtomically(const std::string& path, std::string_view content, unsigned mode) {
    std::string tmp = path + ".XXXXXX";
    FdCloser fd{::mkstemp(tmp.data())};
    if (fd.fd < 0) ThrowErrno(errno, "cannot write beside " + path);
    try {
        if (::fchmod(fd.fd, static_cast<mode_t>(mode)) != 0) ThrowErrno(errno, "cannot set the mode of " + path);
        WriteAll(fd.fd, content, path);
        if (::fsync(fd.fd) != 0) ThrowErrno(errno, "cannot write " + path);
        if (::rename(tmp.c_str(), path.c_str()) != 0) ThrowErrno(errno, "cannot replace " + path);
    } catch (...) {
        ::unlink(tmp.c_str());
        throw;
    }
}

} // namespace marbrook::posix
