#pragma once
// Runs the marbrook program as a user would, in a shell, and collects its
// exit status and both outputs.
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/doubles/FakeSystem.h"

namespace marbrook::testing {

struct ProgramRun {
    int status = -1; // the exit status; -1 when it did not exit (a signal)
    std::string out;
    std::string err;
};

// A word the shell takes as it stands.
inline std::string ShellWord(const std::string& s) {
    std::string out = "'";
    for (char c : s) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Runs `program` with `args` under the library folder `home`, with the
// shell assignments `environment` ("NAME=value", quoted by the caller when
// needed) and `input` on its standard input. The program is stopped after
// `timeoutSeconds` (status 124), so that a program waiting on a window nobody
// sees fails instead of hanging the suite.
inline ProgramRun RunProgram(const std::string& program, const std::string& home, const std::vector<std::string>& args,
                             const std::string& environment = {}, const std::string& input = {},
                             int timeoutSeconds = 120) {
    TempDir io;
    WriteFile(io / "in", input);
    std::string command = "MARBROOK_HOME=" + ShellWord(home) + " " + environment + " timeout " +
                          std::to_string(timeoutSeconds) + " " + ShellWord(program);
    for (const auto& a : args) command += " " + ShellWord(a);
    command += " <" + ShellWord(io / "in") + " >" + ShellWord(io / "out") + " 2>" + ShellWord(io / "err");
    ProgramRun r;
    const int raw = std::system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = ReadFile(io / "out");
    r.err = ReadFile(io / "err");
    return r;
}

} // namespace marbrook::testing
