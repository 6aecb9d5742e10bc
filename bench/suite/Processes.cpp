#include "bench/suite/Processes.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <sstream>

#include "bench/suite/Common.h"

namespace marbrook::bench {

namespace {
std::string gSelf;
} // namespace

void SetSelf(std::string path) { gSelf = std::move(path); }
const std::string& Self() { return gSelf; }

namespace {

ChildRun Run(const std::vector<std::string>& argv, bool inProcess, std::string& out) {
    ChildRun r;
    int fds[2];
    if (::pipe(fds) != 0) Die("pipe");
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) Die("fork");
    if (pid == 0) {
        ::dup2(fds[1], 1);
        ::close(fds[0]);
        ::close(fds[1]);
        if (!inProcess) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1);
            ::dup2(null, 2);
        }
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        std::_Exit(127);
    }
    ::close(fds[1]);
    char buf[4096];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;) out.append(buf, static_cast<std::size_t>(n));
    ::close(fds[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    r.peakKiB = usage.ru_maxrss;
    r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    r.seconds = wall;
    return r;
}

} // namespace

ChildRun Spawn(const std::vector<std::string>& argv, bool inProcess) {
    std::string out;
    ChildRun r = Run(argv, inProcess, out);
    if (!inProcess) return r;
    const auto at = out.find("RESULT ");
    if (at == std::string::npos) {
        r.ok = false;
        return r;
    }
    std::istringstream(out.substr(at + 7)) >> r.seconds >> r.count;
    return r;
}

ChildRun SpawnFigures(const std::vector<std::string>& argv, std::vector<double>& figures) {
    std::string out;
    ChildRun r = Run(argv, true, out);
    figures.clear();
    std::istringstream line(out.substr(0, out.find('\n')));
    for (double v; line >> v;) figures.push_back(v);
    if (figures.empty()) r.ok = false;
    return r;
}

ChildRun Child(const std::string& what, const std::string& arg) { return Spawn({gSelf, "--child", what, arg}, true); }


} // namespace marbrook::bench
