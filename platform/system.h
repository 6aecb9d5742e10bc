#pragma once
// System services: drives, the user, the file system, INI files, the
// per-user settings store, the library's identity and the clock.
// Every operation throws PlatformError on failure unless it says otherwise.
#include <optional>
#include <string>
#include <vector>

namespace marbrook::sys {

struct Drive {
    std::string root; // "/", "/media/usb" ...
    int type = 3;     // 5 = CD/DVD; every other type is listed
};

// The names in a folder, each split into files and subfolders. Names are the
// bytes the file system holds (not necessarily UTF-8).
struct FolderContents {
    std::vector<std::string> files;
    std::vector<std::string> folders;
};

struct LibraryIdentity {
    std::string folder;   // the folder that holds the library file
    std::string baseName; // the library file's name without its extension
    int major = 2;
    int minor = 0;
    int revision = 0;
};

class SystemService {
public:
    virtual ~SystemService() = default;

    // Mounted volumes: "/" first, then mount points of real file systems.
    [[nodiscard]] virtual std::vector<Drive> LogicalDrives() = 0;
    // The effective user's name; PlatformError when it cannot be read.
    [[nodiscard]] virtual std::string UserName() = 0;

    // File system. Exists-queries never throw. PathExists: whether anything
    // takes the name, a dangling link included.
    [[nodiscard]] virtual bool PathExists(const std::string& path) = 0;
    [[nodiscard]] virtual bool FolderExists(const std::string& path) = 0;
    [[nodiscard]] virtual bool FileExists(const std::string& path) = 0;
    // Files and subfolders of a folder, in the order the file system gives
    // them. PlatformError 76 when the folder does not exist, 70 when it
    // cannot be read.
    [[nodiscard]] virtual FolderContents ListFolder(const std::string& path) = 0;
    virtual void CreateFolder(const std::string& path) = 0;
    // Appends text to a regular file, creating it when absent. A link at the
    // path is not followed, and a link or a special file is a failure.
    virtual void AppendText(const std::string& path, const std::string& text) = 0;
    // Creates a new, empty file (replacing nothing).
    virtual void CreateEmptyFile(const std::string& path) = 0;

    // Private-profile (INI) files: section and key names compare
    // case-insensitively; the first match wins; a write keeps every other
    // line. A missing file, section or key reads as the default. Only a
    // regular file of bounded size is read; anything else is a failure. A
    // write by two processes at once loses neither.
    [[nodiscard]] virtual std::string ReadProfileString(const std::string& file, const std::string& section,
                                                        const std::string& key, const std::string& defaultValue) = 0;
    virtual void WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                                    const std::string& value) = 0;

    // Per-user settings store (application, section, key).
    [[nodiscard]] virtual std::optional<std::string> GetSetting(const std::string& application, const std::string& section,
                                                                const std::string& key) = 0;
    virtual void SaveSetting(const std::string& application, const std::string& section, const std::string& key,
                             const std::string& value) = 0;

    [[nodiscard]] virtual LibraryIdentity Library() = 0;
    // The current local date and time in the user's short formats.
    [[nodiscard]] virtual std::string DateText() = 0;
    [[nodiscard]] virtual std::string TimeText() = 0;
};

} // namespace marbrook::sys
