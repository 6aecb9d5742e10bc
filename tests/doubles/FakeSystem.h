#pragma once
// System services for tests: the real POSIX file system and settings (under a
// temporary MARBROOK_HOME and XDG_CONFIG_HOME), with drives, user and clock
// chosen by the test.
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/posix/PosixSystem.h"
#include "tests/doubles/FaultPlan.h"
#include "tests/doubles/Gate.h"

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
    // Folders listed with the contents given here instead of the real ones
    // (they exist too): a machine's root "/" made deterministic.
    std::map<std::string, sys::FolderContents> virtualFolders;
    // Folders whose listing waits at a gate (after it is counted).
    std::map<std::string, std::shared_ptr<Gate>> slowFolders;

    // Failures on demand. `faults` is the plan shared with the other doubles
    // (operations counted as "system.<name>"); FailAt plans a failure of this
    // double's own operation `operation` ("ListFolder", "SaveSetting" ...).
    // The exists-queries are never failed: they never throw.
    FaultPlan* faults = nullptr;
    void FailAt(const std::string& operation, int nth = 1, long number = 440,
                const std::string& description = "simulated failure") {
        own_.FailAt(operation, nth, number, description);
    }
    [[nodiscard]] int Calls(const std::string& operation) const { return own_.Calls(operation); }

    std::vector<sys::Drive> LogicalDrives() override {
        Hit("LogicalDrives");
        return drives;
    }
    std::string UserName() override;
    std::string DateText() override {
        Hit("DateText");
        return date;
    }
    std::string TimeText() override {
        Hit("TimeText");
        return time;
    }
    bool FolderExists(const std::string& path) override {
        return extraFolders.count(path) != 0 || virtualFolders.count(path) != 0 || PosixSystem::FolderExists(path);
    }
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

private:
    // Counts a call the library makes and throws a failure planned for it.
    // Calls the POSIX services make of each other (SaveSetting writing its
    // INI file) are part of the outer call and not counted again.
    void Hit(const std::string& operation);
    template <class F>
    auto Serve(const char* operation, F&& serve) {
        Hit(operation);
        ++depth_;
        struct Leave {
            ~Leave() { --depth_; }
        } leave;
        return serve();
    }
    FaultPlan own_;
    // Per thread: a listing off the interface thread makes its own calls.
    static thread_local int depth_;
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
