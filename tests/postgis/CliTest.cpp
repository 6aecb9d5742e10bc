// The marbrook program's database commands against the throwaway server.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/doubles/FakeSystem.h"

namespace marbrook {
namespace {

using testing::ReadFile;
using testing::TempDir;

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

class MarbrookProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (Env("MARBROOK_PG_HOST").empty())
            GTEST_SKIP() << "no PostgreSQL + PostGIS server: run the tests through scripts/with-pg.sh";
    }

    Result Run(const std::string& args, const std::string& input = {}) {
        const std::string errFile = dir / "stderr.txt";
        // Its own library folder, so that its error log lands in the test's folder.
        std::string command = "MARBROOK_HOME=" + Quote(home.Path()) + " " + Quote(MARBROOK_CLI) + " " + args + " 2>" + Quote(errFile);
        if (!input.empty()) command = "printf '%s\\n' " + Quote(input) + " | " + command;
        Result r;
        FILE* f = ::popen(command.c_str(), "r");
        if (!f) return r;
        char buf[4096];
        while (std::size_t n = std::fread(buf, 1, sizeof buf, f)) r.out.append(buf, n);
        const int raw = ::pclose(f);
        r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.err = ReadFile(errFile);
        return r;
    }

    std::string CreateArgs(const std::string& password, const std::string& folder) const {
        return "connection create --server " + Quote(Env("MARBROOK_PG_HOST")) + " --instance " +
               Quote(Env("MARBROOK_PG_PORT")) + " --database " + Quote(Env("MARBROOK_PG_DB")) + " --user " +
               Quote(Env("MARBROOK_PG_USER")) + " " + password + " " + Quote(folder);
    }

    TempDir dir;
    TempDir home;
};

TEST_F(MarbrookProgram, ConnectionCreateWritesUnderFreeNamesAndPrintsThePath) {
    const std::string password = Env("MARBROOK_PG_PASSWORD");
    const std::string base = dir / ("Connection to " + Env("MARBROOK_PG_HOST"));
    const Result first = Run(CreateArgs("--password " + Quote(password), dir.Path()));
    EXPECT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.out, base + ".sde\n");
    // The password may come from standard input, out of the process list.
    const Result second = Run(CreateArgs("--password -", dir.Path()), password);
    EXPECT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(second.out, base + "(1).sde\n");

    struct stat st {};
    ASSERT_EQ(::stat((base + ".sde").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(ReadFile(base + ".sde").find(password), std::string::npos);
}

TEST_F(MarbrookProgram, ConnectionThatCannotOpenExitsOneWithOneLineAndNoPassword) {
    const std::string wrong = "Wr0ng-" + Env("MARBROOK_PG_PASSWORD");
    const Result r = Run(CreateArgs("--password " + Quote(wrong), dir.Path()));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(r.out.empty());
    ASSERT_FALSE(r.err.empty());
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
    EXPECT_NE(r.err.find("password authentication failed"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(wrong), std::string::npos);
    EXPECT_FALSE(testing::FakeSystem().FileExists(dir / ("Connection to " + Env("MARBROOK_PG_HOST") + ".sde")));

    EXPECT_EQ(Run("connection create --server h --user u " + Quote(dir.Path())).status, 2); // no instance
    // Nothing the program logged holds the password.
    for (const auto& entry : {home / "marbrook.err", home / "libmarbrook.err"})
        if (testing::FakeSystem().FileExists(entry)) {
            EXPECT_EQ(ReadFile(entry).find(wrong), std::string::npos);
        }
    EXPECT_EQ(Run("connection frobnicate").status, 2);
}

TEST_F(MarbrookProgram, ListShowsAConnectionFileAndItsFeatureDatasets) {
    const Result made = Run(CreateArgs("--password " + Quote(Env("MARBROOK_PG_PASSWORD")), dir.Path()));
    ASSERT_EQ(made.status, 0) << made.err;
    const std::string sde = made.out.substr(0, made.out.size() - 1);
    auto line = [&](const char* location, const char* type, const char* desc, const char* name) {
        return std::string(location) + "\t" + type + "\t" + desc + "\t" + name + "\t" + sde + "\n";
    };
    const Result top = Run("list --filter 4 " + Quote(sde));
    EXPECT_EQ(top.status, 0) << top.err;
    EXPECT_EQ(top.out, line("2", "25", "Raster Dataset", "elevation"));
    const Result members = Run("list " + Quote(sde + "::transport"));
    EXPECT_EQ(members.status, 0) << members.err;
    EXPECT_EQ(members.out, line("2", "21", "Feature Class", "rail"));
    const Result all = Run("list " + Quote(sde));
    EXPECT_EQ(all.out.rfind(line("5", "24", "Feature Dataset", "hydro"), 0), 0u) << all.out;
    EXPECT_EQ(all.out.find(Env("MARBROOK_PG_PASSWORD")), std::string::npos);
    EXPECT_EQ(all.out.find("lookup"), std::string::npos); // tables never at the top level
}

TEST_F(MarbrookProgram, ListFailuresGiveTheServersReasonAndNoSuchDatasetExitsOne) {
    const Result made = Run(CreateArgs("--password " + Quote(Env("MARBROOK_PG_PASSWORD")), dir.Path()));
    ASSERT_EQ(made.status, 0) << made.err;
    const std::string sde = made.out.substr(0, made.out.size() - 1);

    const Result nosuch = Run("list " + Quote(sde + "::NOSUCH"));
    EXPECT_EQ(nosuch.status, 1);
    EXPECT_EQ(nosuch.out, "");
    EXPECT_EQ(nosuch.err, "marbrook list: " + sde + "::NOSUCH cannot be listed: no such dataset \"NOSUCH\" in " + sde + "\n");
    // A feature dataset with nothing a filter admits is no failure.
    EXPECT_EQ(Run("list --filter 4 " + Quote(sde + "::hydro")).status, 0);

    // What the file asks for reaches the server, and the server's answer the user.
    const std::string text = ReadFile(sde);
    const struct {
        std::string setting;
        int status;
        std::string reason;
    } cases[] = {{"SSLMODE=disable", 0, ""},
                 {"SSLMODE=require", 1, "server does not support SSL"},
                 {"SSLMODE=sometimes", 1, "SSLMODE \"sometimes\" is not one of"},
                 {"CONNECT_TIMEOUT=soon", 1, "CONNECT_TIMEOUT \"soon\" is not a number of seconds"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.setting);
        testing::WriteFile(dir / "set.sde", text + c.setting + "\n");
        const Result r = Run("list " + Quote(dir / "set.sde"));
        EXPECT_EQ(r.status, c.status) << r.err;
        if (c.status == 0) {
            EXPECT_NE(r.out.find("\tcities\t"), std::string::npos) << r.out;
        } else {
            EXPECT_NE(r.err.find(c.reason), std::string::npos) << r.err;
            EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        }
    }

    // A refused login: the server's reason, never the password.
    const std::string wrong = "Wr0ng pass'word";
    std::string withWrong = text.substr(0, text.find("PASSWORD=")) + "PASSWORD=" + wrong + "\n" +
                            text.substr(text.find('\n', text.find("PASSWORD=")) + 1);
    testing::WriteFile(dir / "wrong.sde", withWrong);
    const Result refused = Run("list " + Quote(dir / "wrong.sde"));
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("password authentication failed"), std::string::npos) << refused.err;
    EXPECT_EQ(refused.err.find(wrong), std::string::npos);
    EXPECT_EQ(refused.err.find("/proc/self/fd"), std::string::npos) << refused.err;
}

} // namespace
} // namespace marbrook
