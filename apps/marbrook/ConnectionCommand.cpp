#include "ConnectionCommand.h"

#include <cstring>
#include <iostream>
#include <map>

#include "connections/frmOpenWorkspace.h"
#include "platform/error.h"
#include "platform/assembly/DefaultPlatform.h"
#include "support/Text.h"

namespace marbrook::cli {

namespace {

void Usage(std::ostream& out) {
    out << "usage: marbrook connection create --server HOST --instance PORT|SERVICE|sde:postgresql:HOST\n"
           "                                  [--database NAME] --user NAME [--password PASSWORD|-]\n"
           "                                  [--version VERSION] [--sslmode MODE] [--connect-timeout SECONDS]\n"
           "                                  FOLDER\n"
           "  writes a connection file into FOLDER under the first free name\n"
           "  (\"Connection to HOST.sde\", then \"Connection to HOST(1).sde\" ... \"(10)\") and prints its path.\n"
           "  --password - reads the password from the first line of standard input; without --password\n"
           "  PostgreSQL's own password file is used. --sslmode takes libpq's modes (disable, allow,\n"
           "  prefer, require, verify-ca, verify-full; default prefer); --connect-timeout the seconds\n"
           "  before a server that does not answer is given up (default 10).\n";
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
        password = it->second;
        if (password == "-" && !std::getline(std::cin, password)) password.clear();
    }
    try {
        // The same property set, factory and free-name rule as the form.
        auto properties = p.gis.CreatePropertySet();
        properties->SetProperty("SERVER", server);
        properties->SetProperty("USER", value("--user"));
        properties->SetProperty("INSTANCE", value("--instance"));
        if (!value("--database").empty()) properties->SetProperty("DATABASE", value("--database"));
        properties->SetProperty("PASSWORD", text::Trim(password));
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
