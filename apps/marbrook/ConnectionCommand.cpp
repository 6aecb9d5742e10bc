#include "ConnectionCommand.h"

#include <termios.h>
#include <unistd.h>

#include <cstring>
#include <iostream>
#include <map>
#include <optional>

#include "connections/frmOpenWorkspace.h"
#include "platform/error.h"
#include "platform/assembly/DefaultPlatform.h"
#include "support/Text.h"

namespace marbrook::cli {

namespace {

void Usage(std::ostream& out) {
    out << "usage: marbrook connection create --server HOST --instance PORT|SERVICE|sde:postgresql:HOST\n"
           "                                  [--database NAME] --user NAME [--password -]\n"
           "                                  [--version VERSION] [--sslmode MODE] [--connect-timeout SECONDS]\n"
           "                                  FOLDER\n"
           "  writes a connection file into FOLDER under the first free name\n"
           "  (\"Connection to HOST.sde\", then \"Connection to HOST(1).sde\" ... \"(10)\") and prints its path.\n"
           "  --password -  reads the password from standard input: the first line, byte for byte, without\n"
           "                its line end (LF or CR LF). On a terminal it is asked for and not echoed.\n"
           "                A password is never taken from the command line, where every user of the\n"
           "                machine can read it in the process list.\n"
           "  Without --password no password is stored: PostgreSQL's own password file (~/.pgpass or\n"
           "  PGPASSFILE) supplies it. --sslmode takes libpq's modes (disable, allow, prefer, require,\n"
           "  verify-ca, verify-full; default prefer); --connect-timeout the seconds before a server that\n"
           "  does not answer is given up (default 10).\n";
}

// Turns the terminal's echo off while it lives.
class NoEcho {
public:
    explicit NoEcho(int fd) : fd_(fd) {
        if (::tcgetattr(fd_, &saved_) != 0) return;
        termios quiet = saved_;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        active_ = ::tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
    }
    ~NoEcho() {
        if (active_) ::tcsetattr(fd_, TCSAFLUSH, &saved_);
    }
    NoEcho(const NoEcho&) = delete;
    NoEcho& operator=(const NoEcho&) = delete;

private:
    int fd_;
    termios saved_{};
    bool active_ = false;
};

// The first line of standard input, exactly its bytes without the line end
// (LF, or CR LF); none when the input ends before a line. A terminal is
// asked for it with echo off.
std::optional<std::string> ReadPasswordLine() {
    std::optional<NoEcho> quiet;
    const bool terminal = ::isatty(STDIN_FILENO) == 1;
    if (terminal) {
        std::cerr << "Password: " << std::flush;
        quiet.emplace(STDIN_FILENO);
    }
    std::string line;
    const bool read = static_cast<bool>(std::getline(std::cin, line));
    if (terminal) std::cerr << "\n";
    if (!read && line.empty()) return std::nullopt;
    if (!line.empty() && line.back() == '\r' && !std::cin.eof()) line.pop_back();
    return line;
}

int Create(const std::map<std::string, std::string>& options, const std::string& folder) {
    Platform& p = DefaultPlatform();
    auto value = [&](const char* name) {
        auto it = options.find(name);
        return it == options.end() ? std::string() : text::Trim(it->second);
    };
    const std::string server = value("--server");
    for (const char* required : {"--server", "--instance", "--user"}) {
        if (value(required).empty()) {
            std::cerr << "marbrook: " << required << " must not be empty\n";
            return 2;
        }
    }
    std::string password;
    if (auto it = options.find("--password"); it != options.end()) {
        if (it->second != "-") {
            std::cerr << "marbrook: --password takes only \"-\" (standard input, or a prompt on a terminal): a password "
                         "on the command line is visible to every user of the machine\n";
            return 2;
        }
        const auto line = ReadPasswordLine();
        if (!line) {
            std::cerr << "marbrook: --password -: standard input ended before a line\n";
            return 2;
        }
        if (line->find('\0') != std::string::npos) {
            std::cerr << "marbrook: the password holds a NUL byte, which no connection can carry\n";
            return 2;
        }
        password = *line;
    }
    try {
        // The same property set, factory and free-name rule as the form.
        auto properties = p.gis.CreatePropertySet();
        properties->SetProperty("SERVER", server);
        properties->SetProperty("USER", value("--user"));
        properties->SetProperty("INSTANCE", value("--instance"));
        if (!value("--database").empty()) properties->SetProperty("DATABASE", value("--database"));
        // Exactly as given: blanks at either end belong to the password.
        properties->SetProperty("PASSWORD", password);
        properties->SetProperty("VERSION", options.count("--version") ? value("--version") : "sde.DEFAULT");
        properties->SetProperty("SSLMODE", options.count("--sslmode") ? value("--sslmode") : "prefer");
        properties->SetProperty("CONNECT_TIMEOUT", options.count("--connect-timeout") ? value("--connect-timeout") : "10");

        auto factory = p.gis.CreateWorkspaceFactory(gis::FactoryKind::SpatialDatabase);
        if (!factory->OpenWorkspace(*properties, gis::kNoWindow)) {
            const std::string why = factory->LastOpenFailure();
            std::cerr << "marbrook: cannot open the connection" << (why.empty() ? "" : ": " + why) << "\n";
            return 1;
        }
        std::string name;
        for (int i = 0; i < kConnectionFileCandidates && name.empty(); ++i) {
            const std::string candidate = ConnectionFileCandidate(server, i);
            if (!p.system.PathExists(text::JoinPath(folder, candidate))) name = candidate;
        }
        if (name.empty()) {
            std::cerr << "marbrook: all eleven names \"" << ConnectionFileCandidate(server, 0) << "\" to \""
                      << ConnectionFileCandidate(server, 10) << "\" are taken in " << folder << "\n";
            return 1;
        }
        if (!factory->CreateConnectionFile(folder, name, *properties, gis::kNoWindow)) {
            const std::string why = factory->LastOpenFailure();
            std::cerr << "marbrook: the connection file was not written" << (why.empty() ? "" : ": " + why) << "\n";
            return 1;
        }
        std::cout << text::JoinPath(folder, name) << "\n";
        return 0;
    } catch (...) {
        const ErrorInfo e = DescribeCurrentException();
        std::cerr << "marbrook: " << e.description << "\n";
        return 1;
    }
}

} // namespace

int Connection(int argc, char** argv) {
    if (argc < 3 || std::strcmp(argv[2], "create") != 0) {
        Usage(std::cerr);
        return 2;
    }
    std::map<std::string, std::string> options;
    std::string folder;
    for (int i = 3; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            Usage(std::cout);
            return 0;
        }
        if (arg == "--server" || arg == "--instance" || arg == "--database" || arg == "--user" || arg == "--password" ||
            arg == "--version" || arg == "--sslmode" || arg == "--connect-timeout") {
            if (i + 1 >= argc) {
                std::cerr << "marbrook: " << arg << " needs a value\n";
                return 2;
            }
            options[arg] = argv[++i];
        } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
            std::cerr << "marbrook: unknown option '" << arg << "'\n";
            Usage(std::cerr);
            return 2;
        } else if (folder.empty()) {
            folder = arg;
        } else {
            std::cerr << "marbrook: only one FOLDER may be given\n";
            return 2;
        }
    }
    if (folder.empty()) {
        Usage(std::cerr);
        return 2;
    }
    return Create(options, folder);
}

} // namespace marbrook::cli
