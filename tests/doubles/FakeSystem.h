#pragma once
// System services for tests: the real POSIX file system and settings (under a
// temporary MARBROOK_HOME and XDG_CONFIG_HOME), with drives, user and clock
// chosen by the test.
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/posix/PosixSystem.h"

namespace marbrook::testing {

class FakeSystem : public posix::PosixSystem {
public:
    std::vector<sys::Drive> drives{{"/", 3}};
    // None makes UserName() fail.
    std::optional<std::string> userName = std::string("tester");
    std::string date = "2026-12-07";
    std::string time = "21:30:05";
    // Folders reported as existing in addition to the real ones (places a
    // test cannot create, such as under /home).
    std::set<std::string> extraFolders;

    std::vector<sys::Drive> LogicalDrives() override { return drives; }
    std::string UserName() override;
    std::string DateText() override { return date; }
    std::string TimeText() override { return time; }
    bool FolderExists(const std::string& path) override {
        return extraFolders.count(path) != 0 || PosixSystem::FolderExists(path);
    }
};

// A fresh temporary folder, removed with everything in it at destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    [[nodiscard]] const std::string& Path() const noexcept { return path_; }
    // Path of `relative` inside the folder.
    [[nodiscard]] std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

private:
    std::string path_;
};

// Points MARBROOK_HOME and XDG_CONFIG_HOME at fresh temporary folders for the
// lifetime of the object, restoring the previous values afterwards.
class IsolatedHome {
public:
    IsolatedHome();
    ~IsolatedHome();
    IsolatedHome(const IsolatedHome&) = delete;
    IsolatedHome& operator=(const IsolatedHome&) = delete;
    [[nodiscard]] const std::string& LibraryFolder() const noexcept { return library_.Path(); }
    [[nodiscard]] const std::string& ConfigHome() const noexcept { return config_.Path(); }

private:
    TempDir library_;
    TempDir config_;
    std::optional<std::string> oldHome_;
    std::optional<std::string> oldConfig_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

} // namespace marbrook::testing
