#pragma once
// System services on POSIX and std::filesystem.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/system.h"

namespace marbrook::posix {

// The mounted volumes of a mount table in /proc/self/mounts format: "/" first,
// then mount points of block-device file systems in mount order, each once.
// CD/DVD file systems (iso9660, udf) are reported with type 5.
std::vector<sys::Drive> ParseMounts(std::string_view mountTable);

class PosixSystem : public sys::SystemService {
public:
    // `libraryFile` names the library file whose folder and name Library()
    // reports; empty: the file this code was loaded from.
    explicit PosixSystem(std::string libraryFile = {}) : libraryFile_(std::move(libraryFile)) {}

    std::vector<sys::Drive> LogicalDrives() override;
    std::string UserName() override;
    bool PathExists(const std::string& path) override;
    bool FolderExists(const std::string& path) override;
    bool FileExists(const std::string& path) override;
    sys::FolderContents ListFolder(const std::string& path) override;
    void CreateFolder(const std::string& path) override;
    void AppendText(const std::string& path, const std::string& text) override;
    void CreateEmptyFile(const std::string& path) override;
    std::string ReadProfileString(const std::string& file, const std::string& section, const std::string& key,
                                  const std::string& defaultValue) override;
    void WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                            const std::string& value) override;
    std::optional<std::string> GetSetting(const std::string& application, const std::string& section,
                                          const std::string& key) override;
    void SaveSetting(const std::string& application, const std::string& section, const std::string& key,
                     const std::string& value) override;
    sys::LibraryIdentity Library() override;
    std::string DateText() override;
    std::string TimeText() override;

    // "$XDG_CONFIG_HOME/marbrook" (default ~/.config/marbrook).
    static std::string ConfigFolder();

private:
    std::string libraryFile_;
};

// Whole-file helpers that throw PlatformError with the classic numbers.
// The content of a regular file of at most `maxBytes` bytes; a pipe, a
// device, a folder (75) or a larger file (321) is refused without waiting
// and without reading more than one byte past the limit.
std::string ReadRegularFile(const std::string& path, std::size_t maxBytes);
// Writes through a temporary file and a rename, so readers never see half a file.
void WriteFileAtomically(const std::string& path, std::string_view content, unsigned mode = 0644);

} // namespace marbrook::posix
