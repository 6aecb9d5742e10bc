#include "tests/doubles/FakeSystem.h"

#include <chrono>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/error.h"

namespace marbrook::testing {

void FakeSystem::Hit(const std::string& operation) {
    if (depth_ > 0) return;
    if (faults) faults->Hit("system." + operation);
    own_.Hit(operation);
}

std::string FakeSystem::UserName() {
    Hit("UserName");
    if (!userName) throw PlatformError(errnum::kAutomationError, "FakeSystem", "no user name");
    return *userName;
}

thread_local int FakeSystem::depth_ = 0;

sys::FolderContents FakeSystem::ListFolder(const std::string& path) {
    return Serve("ListFolder", [&] {
        std::string key = path;
        if (key.size() > 1 && key.back() == '/') key.pop_back();
        if (const auto slow = slowFolders.find(key); slow != slowFolders.end()) slow->second->Pass();
        const auto it = virtualFolders.find(path);
        return it != virtualFolders.end() ? it->second : PosixSystem::ListFolder(path);
    });
}

void FakeSystem::CreateFolder(const std::string& path) {
    Serve("CreateFolder", [&] { PosixSystem::CreateFolder(path); });
}

void FakeSystem::AppendText(const std::string& path, const std::string& text) {
    Serve("AppendText", [&] { PosixSystem::AppendText(path, text); });
}

void FakeSystem::CreateEmptyFile(const std::string& path) {
    Serve("CreateEmptyFile", [&] { PosixSystem::CreateEmptyFile(path); });
}

std::string FakeSystem::ReadProfileString(const std::string& file, const std::string& section, const std::string& key,
                                          const std::string& defaultValue) {
    return Serve("ReadProfileString", [&] { return PosixSystem::ReadProfileString(file, section, key, defaultValue); });
}

void FakeSystem::WriteProfileString(const std::string& file, const std::string& section, const std::string& key,
                                    const std::string& value) {
    Serve("WriteProfileString", [&] { PosixSystem::WriteProfileString(file, section, key, value); });
}

std::optional<std::string> FakeSystem::GetSetting(const std::string& application, const std::string& section,
                                                  const std::string& key) {
    return Serve("GetSetting", [&] { return PosixSystem::GetSetting(application, section, key); });
}

void FakeSystem::SaveSetting(const std::string& application, const std::string& section, const std::string& key,
                             const std::string& value) {
    Serve("SaveSetting", [&] { PosixSystem::SaveSetting(application, section, key, value); });
}

sys::LibraryIdentity FakeSystem::Library() {
    return Serve("Library", [&] { return PosixSystem::Library(); });
}

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "marbrook-test-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) throw std::runtime_error("cannot create a temporary folder");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests may leave read-only folders behind; make them writable first.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    }
    std::filesystem::remove_all(path_, ec);
}

namespace {
std::optional<std::string> GetEnv(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::optional<std::string>(v) : std::nullopt;
}
void RestoreEnv(const char* name, const std::optional<std::string>& value) {
    if (value) ::setenv(name, value->c_str(), 1);
    else ::unsetenv(name);
}
} // namespace

IsolatedHome::IsolatedHome() : oldHome_(GetEnv("MARBROOK_HOME")), oldConfig_(GetEnv("XDG_CONFIG_HOME")) {
    ::setenv("MARBROOK_HOME", library_.Path().c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", config_.Path().c_str(), 1);
}

IsolatedHome::~IsolatedHome() {
    RestoreEnv("MARBROOK_HOME", oldHome_);
    RestoreEnv("XDG_CONFIG_HOME", oldConfig_);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& content) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << content;
}

} // namespace marbrook::testing
