// Whether a display can be reached decides between showing the dialog and a
// clear failure: Qt itself would end the process on an unreachable display.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "platform/qt/QtUi.h"

namespace {

class ScopedEnv {
public:
    ScopedEnv(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        if (value) setenv(name, value->c_str(), 1);
        else unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_) setenv(name_, old_->c_str(), 1);
        else unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(DisplayCheck, NamesOnlyDisplaysThatCanBeReached) {
    std::string free = "59";
    while (std::filesystem::exists("/tmp/.X11-unix/X" + free)) free += "9";
    struct Case {
        std::optional<std::string> platform, wayland, display;
        bool expected;
    };
    const Case cases[] = {
        {std::nullopt, std::nullopt, std::nullopt, false},
        {std::nullopt, std::nullopt, std::string(), false},
        {std::nullopt, std::nullopt, ":" + free, false},
        {std::nullopt, std::nullopt, ":" + free + ".0", false},
        {std::nullopt, std::nullopt, "unix:" + free, false},
        {std::nullopt, std::nullopt, "otherhost:0", true}, // remote: trusted
        {std::nullopt, std::string("wayland-0"), std::nullopt, true},
        {std::string("offscreen"), std::nullopt, ":" + free, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.display.value_or("(unset)") + " / " + c.wayland.value_or("-") + " / " + c.platform.value_or("-"));
        ScopedEnv platform("QT_QPA_PLATFORM", c.platform);
        ScopedEnv wayland("WAYLAND_DISPLAY", c.wayland);
        ScopedEnv display("DISPLAY", c.display);
        EXPECT_EQ(marbrook::qt::DisplayAvailable(), c.expected);
    }
}

} // namespace
