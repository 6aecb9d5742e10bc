// The toolkit module: looked for where the library is, loaded only when a
// window is needed, and when it is missing or broken every window call fails
// with one reason naming each path tried, without the toolkit in the process.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "interface/ComponentEntry.h"
#include "platform/assembly/ToolkitUi.h"
#include "platform/error.h"
#include "platform/qt/module/QtModule.h"

#ifndef MARBROOK_QT_MODULE_PATH
#error "MARBROOK_QT_MODULE_PATH names the toolkit module of this build"
#endif
#ifndef MARBROOK_LIBRARY_FILE
#error "MARBROOK_LIBRARY_FILE names the shared library of this build"
#endif

namespace marbrook {
namespace {

namespace fs = std::filesystem;

class Scratch {
public:
    Scratch() : path_(fs::temp_directory_path() / ("marbrook-module-" + std::to_string(::getpid()))) {
        fs::create_directories(path_);
    }
    ~Scratch() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    [[nodiscard]] std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    [[nodiscard]] std::string Path() const { return path_.string(); }

private:
    fs::path path_;
};

class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) ::setenv(name, value->c_str(), 1);
        else ::unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_) ::setenv(name_, old_->c_str(), 1);
        else ::unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

// The toolkit libraries this process has mapped.
std::vector<std::string> MappedToolkit() {
    std::ifstream maps("/proc/self/maps");
    std::vector<std::string> found;
    for (std::string line; std::getline(maps, line);)
        if (line.find("libQt6") != std::string::npos) found.push_back(line.substr(line.rfind(' ') + 1));
    return found;
}

class PlainForm final : public ui::Form {
public:
    using Form::Form;
    [[nodiscard]] const char* FormName() const noexcept override { return "frmPlain"; }
    [[nodiscard]] std::vector<ui::Control*> Controls() override { return {&label}; }
    ui::Label label{"Label1"};
};

class NoWork final : public ui::BackgroundTask {
public:
    void Run() noexcept override {}
    Progress Pump() noexcept override { return Progress::Finished; }
    void ShowBusy() noexcept override {}
    void Cancel() noexcept override {}
};

// What a call that needs a window threw; "" when it threw nothing.
template <class Call>
std::string Failure(Call&& call) {
    try {
        call();
    } catch (const PlatformError& e) {
        return e.Description();
    } catch (...) {
        return "another exception";
    }
    return {};
}

TEST(ToolkitModule, IsLookedForBesideTheLibraryUnlessNamed) {
    struct Case {
        const char* name;
        std::optional<std::string> env;
        std::string folder;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {
        {"installed or built", std::nullopt, "/opt/gis/lib",
         {"/opt/gis/lib/marbrook/libmarbrook-qt.so", "/opt/gis/lib/libmarbrook-qt.so"}},
        {"named by the environment alone", std::string("/elsewhere/ui.so"), "/opt/gis/lib", {"/elsewhere/ui.so"}},
        {"an empty variable counts as unset", std::string(""), "/usr/lib/x86_64-linux-gnu",
         {"/usr/lib/x86_64-linux-gnu/marbrook/libmarbrook-qt.so", "/usr/lib/x86_64-linux-gnu/libmarbrook-qt.so"}},
        {"no library folder", std::nullopt, "", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ScopedEnv env("MARBROOK_QT_MODULE", c.env);
        EXPECT_EQ(assembly::ToolkitModuleCandidates(c.folder), c.expected);
    }
}

TEST(ToolkitModule, MissingOrBrokenFailsEveryWindowCallNamingEachPathTried) {
    const Scratch dir;
    { std::ofstream(dir / "garbage.so") << "not a shared object\n"; }
    fs::create_directories(dir / "folder.so");
    // A real shared object that is no toolkit module: the C library.
    Dl_info libc{};
    ASSERT_NE(::dladdr(reinterpret_cast<void*>(&std::fopen), &libc), 0);

    struct Case {
        const char* name;
        std::vector<std::string> paths;
        std::vector<std::string> said; // each in the reason, in this order
    };
    const std::vector<Case> cases = {
        {"missing", {dir / "marbrook/libmarbrook-qt.so", dir / "libmarbrook-qt.so"},
         {dir / "marbrook/libmarbrook-qt.so: not found", dir / "libmarbrook-qt.so: not found"}},
        {"not a shared object", {dir / "garbage.so"}, {dir / "garbage.so: "}},
        {"a folder", {dir / "folder.so"}, {dir / "folder.so: not a regular file"}},
        {"no entry point", {libc.dli_fname}, {std::string(libc.dli_fname) + ": has no marbrook_qt_module_ui"}},
        {"nowhere to look", {}, {"no place to look for it"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int looked = 0;
        assembly::ToolkitUi ui([&] {
            ++looked;
            return c.paths;
        });
        PlainForm form(ui);

        // What needs no window works without the module.
        ui.SetMousePointer(ui::MousePointer::Hourglass);
        EXPECT_EQ(ui.GetMousePointer(), ui::MousePointer::Hourglass);
        form.SetVisibleState(true);
        ui.HideForm(form);
        EXPECT_FALSE(form.IsVisible());
        ui.UnloadForm(form);
        EXPECT_FALSE(form.IsLoaded());
        EXPECT_EQ(looked, 0) << "looked for the module before a window was needed";

        const std::string first = Failure([&] { (void)ui.HandleOf(form); });
        ASSERT_FALSE(first.empty());
        EXPECT_NE(first.find("cannot show a window: the toolkit module libmarbrook-qt.so did not load"), std::string::npos)
            << first;
        std::size_t at = 0;
        for (const std::string& part : c.said) {
            at = first.find(part, at);
            EXPECT_NE(at, std::string::npos) << "'" << part << "' missing from: " << first;
            if (at == std::string::npos) break;
        }
        // Every other window call says the same, and nothing is tried again.
        EXPECT_EQ(Failure([&] { ui.ShowForm(form, true, ui::kNoParent); }), first);
        EXPECT_EQ(Failure([&] { ui.MessageBox("text", ui::MessageIcon::Critical, "title"); }), first);
        EXPECT_EQ(Failure([&] { ui.RunBackground(form, std::make_shared<NoWork>()); }), first);
        EXPECT_EQ(Failure([&] { (void)ui.ScreenHeightTwips(); }), first);
        EXPECT_EQ(Failure([&] { ui.SetWindowPosition(form, ui::kNoParent, 1, 2); }), first);
        EXPECT_EQ(looked, 1);
        EXPECT_FALSE(ui.IsLoaded());
    }
    EXPECT_EQ(MappedToolkit(), std::vector<std::string>{});
}

TEST(ToolkitModule, LoadsOnFirstNeedFromTheFirstPlaceThatHasIt) {
    const ScopedEnv platform("QT_QPA_PLATFORM", std::string("offscreen"));
    const Scratch dir;
    assembly::ToolkitUi ui([&] { return std::vector<std::string>{dir / "marbrook/libmarbrook-qt.so", MARBROOK_QT_MODULE_PATH}; });
    PlainForm form(ui);
    ui.SetMousePointer(ui::MousePointer::ArrowHourglass);
    EXPECT_FALSE(ui.IsLoaded());
    EXPECT_EQ(MappedToolkit(), std::vector<std::string>{});

    EXPECT_NE(ui.HandleOf(form), gis::kNoWindow);
    ASSERT_TRUE(ui.IsLoaded());
    // The pointer asked for before the module came is the module's now.
    EXPECT_EQ(ui.GetMousePointer(), ui::MousePointer::ArrowHourglass);
    ui.SetMousePointer(ui::MousePointer::Default);
    ui.ShowForm(form, false, ui::kNoParent);
    EXPECT_TRUE(form.IsVisible());
    ui.HideForm(form);
    EXPECT_FALSE(form.IsVisible());
    ui.UnloadForm(form);
    EXPECT_FALSE(form.IsLoaded());
    EXPECT_FALSE(MappedToolkit().empty()) << "the toolkit is loaded, yet /proc/self/maps does not show it";
}

TEST(ToolkitModule, RefusesALibraryOfAnotherBuild) {
    void* module = ::dlopen(MARBROOK_QT_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << ::dlerror();
    auto entry = reinterpret_cast<qt::ModuleEntry>(::dlsym(module, qt::kModuleEntryName));
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry("Marbrook 0.0.0", &qt::RaiseFormEvent), nullptr);
    EXPECT_EQ(entry(nullptr, &qt::RaiseFormEvent), nullptr);
    EXPECT_EQ(entry(MARBROOK_MODULE_BUILD, nullptr), nullptr);
}

// A host that loads the shared library and asks for data while the module is
// missing: no layers, one entry in the error log naming the path tried, and
// no toolkit in the host's process.
TEST(ToolkitModule, AHostWithoutTheModuleGetsNothingAndOneLogEntry) {
    const Scratch dir;
    const ScopedEnv module("MARBROOK_QT_MODULE", dir / "gone/libmarbrook-qt.so");
    const ScopedEnv home("MARBROOK_HOME", dir.Path());
    const ScopedEnv config("XDG_CONFIG_HOME", dir.Path());
    void* library = ::dlopen(MARBROOK_LIBRARY_FILE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    using Create = int (*)(const char*, void**);
    auto create = reinterpret_cast<Create>(::dlsym(library, "DllGetClassObject"));
    ASSERT_NE(create, nullptr);
    void* object = nullptr;
    ASSERT_EQ(create(component::kLayerFunctionClass, &object), component::kOk);
    auto* layers = static_cast<ILayerFunctionExport*>(object);
    EXPECT_NE(layers->NewMap(), nullptr);
    EXPECT_EQ(layers->GetLayersByDlg(gis::kNoWindow, true, dir.Path()), std::nullopt);
    layers->Release();

    std::ifstream in(dir / "libmarbrook.err", std::ios::binary);
    std::stringstream log;
    log << in.rdbuf();
    const std::string text = log.str();
    std::size_t entries = 0;
    for (std::size_t p = text.find("Position:"); p != std::string::npos; p = text.find("Position:", p + 1)) ++entries;
    EXPECT_EQ(entries, 1u) << text;
    EXPECT_NE(text.find(dir / "gone/libmarbrook-qt.so: not found"), std::string::npos) << text;
    EXPECT_EQ(MappedToolkit(), std::vector<std::string>{});
}

} // namespace
} // namespace marbrook
