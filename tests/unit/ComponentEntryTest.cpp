// In-process hosting: objects by class name, the count of live objects, and
// the registration file.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "interface/ComponentServer.h"
#include "tests/doubles/TestPlatform.h"

namespace marbrook::testing {
namespace {

using namespace component;

TEST(ComponentEntry, CreatesOnlyTheClassItKnows) {
    TestPlatform t;
    struct Case {
        const char* className;
        bool withOut;
        int expected;
    };
    const Case cases[] = {
        {"Marbrook.CLayerFunctionExport", true, kOk},
        {"Marbrook.CLayerObj", true, kClassNotAvailable},
        {"marbrook.clayerfunctionexport", true, kClassNotAvailable},
        {"", true, kClassNotAvailable},
        {nullptr, true, kInvalidArgument},
        {"Marbrook.CLayerFunctionExport", false, kInvalidArgument},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.className ? c.className : "(null)");
        void* object = reinterpret_cast<void*>(0x1);
        const long before = LiveObjects();
        EXPECT_EQ(CreateObject(t, c.className, c.withOut ? &object : nullptr), c.expected);
        if (c.expected == kOk) {
            ASSERT_NE(object, nullptr);
            EXPECT_EQ(LiveObjects(), before + 1);
            static_cast<ILayerFunctionExport*>(object)->Release();
        } else if (c.withOut) {
            EXPECT_EQ(object, nullptr); // never a stale pointer on failure
        }
        EXPECT_EQ(LiveObjects(), before);
    }
    EXPECT_TRUE(t.LogEntries().empty());
}

TEST(ComponentEntry, LiveObjectsFollowReferences) {
    TestPlatform t;
    const long before = LiveObjects();
    void* a = nullptr;
    void* b = nullptr;
    ASSERT_EQ(CreateObject(t, kLayerFunctionClass, &a), kOk);
    ASSERT_EQ(CreateObject(t, kLayerFunctionClass, &b), kOk);
    auto* first = static_cast<ILayerFunctionExport*>(a);
    auto* second = static_cast<ILayerFunctionExport*>(b);
    EXPECT_EQ(LiveObjects(), before + 2);
    first->AddRef();
    first->Release();
    EXPECT_EQ(LiveObjects(), before + 2); // one reference left
    first->Release();
    EXPECT_EQ(LiveObjects(), before + 1);
    // The object works through its table of operations alone.
    EXPECT_NE(second->NewMap(), nullptr);
    second->Release();
    EXPECT_EQ(LiveObjects(), before);
}

TEST(ComponentEntry, RegisterWritesAndUnregisterRemovesTheFile) {
    TestPlatform t;
    const std::string file = RegistrationFile();
    EXPECT_EQ(file, t.home.ConfigHome() + "/marbrook/marbrook.component");
    ASSERT_FALSE(std::filesystem::exists(file));
    ASSERT_EQ(RegisterServer(t), kOk);
    ASSERT_TRUE(std::filesystem::exists(file));
    EXPECT_EQ(t.system.ReadProfileString(file, kLayerFunctionClass, "Description", ""), kDescription);
    EXPECT_EQ(t.system.ReadProfileString(file, kLayerFunctionClass, "EntryPoint", ""), "DllGetClassObject");
    const std::string library = t.system.ReadProfileString(file, kLayerFunctionClass, "Library", "");
    EXPECT_EQ(std::filesystem::path(library).extension(), ".so");
    // Registering again keeps one entry per key.
    ASSERT_EQ(RegisterServer(t), kOk);
    EXPECT_EQ(ReadFile(file).find("Description="), ReadFile(file).rfind("Description="));

    EXPECT_EQ(UnregisterServer(t), kOk);
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_EQ(UnregisterServer(t), kOk); // nothing left to remove is no failure
    EXPECT_TRUE(t.LogEntries().empty());
}

TEST(ComponentEntry, RegisterIntoAnUnusableFolderFailsWithOneLogEntry) {
    TestPlatform t;
    // The config home is a file: no folder can be made below it.
    const std::string blocker = t.home.ConfigHome() + "/not-a-folder";
    WriteFile(blocker, "x");
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    setenv("XDG_CONFIG_HOME", blocker.c_str(), 1);
    const int rc = RegisterServer(t);
    setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    EXPECT_EQ(rc, kFailed);
    const auto entries = t.LogEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].position, "Marbrook.ComponentEntry.DllRegisterServer:100");
}

} // namespace
} // namespace marbrook::testing
