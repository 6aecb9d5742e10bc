#include "platform/gdal/postgis/PgConnection.h"

#include <netdb.h>
#include <pwd.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <string_view>

#include "platform/error.h"

namespace marbrook::gdal::postgis {

namespace {

constexpr const char* kSource = "Marbrook.GDAL.PostGIS";

std::string TrimBlanks(const std::string& s) {
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

bool StartsWithNoCase(const std::string& s, std::string_view prefix) {
    if (s.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
    return true;
}

std::string LowerAscii(std::string s) {
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool ContainsNoCase(const std::string& text, std::string_view what) {
    return LowerAscii(text).find(what) != std::string::npos;
}

[[noreturn]] void Refuse(const std::string& what, const std::string& why) {
    throw PlatformError(kBadName, kSource, what + " cannot be opened: " + why);
}

// libpq's database defaults to the user name, and that to the login name.
std::string DefaultDatabase(const PgConnection& c) {
    if (!c.database.empty()) return c.database;
    if (!c.user.empty()) return c.user;
    const passwd* pw = ::getpwuid(::geteuid());
    return pw && pw->pw_name ? pw->pw_name : "";
}

// A value as libpq reads it outside quotes: up to the first blank, a
// backslash taking the next character as it is.
std::string LibpqBare(const std::string& value) {
    std::string out;
    for (char c : value) {
        if (std::isspace(static_cast<unsigned char>(c)) || c == '\\') out += '\\';
        out += c;
    }
    return out;
}

// A value as the raster driver's tokenizer reads it inside double quotes.
std::string RasterQuoted(const std::string& value) {
    std::string out = "\"";
    for (char c : value) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    return out + '"';
}

// Why the raster driver cannot carry `name` as a schema or table name into
// its SQL, or "" when it can. Its SQL quotes the names as identifiers in
// some places and pastes them between single quotes in others.
std::string RasterNameProblem(const std::string& name) {
    if (name.empty()) return "an empty name";
    if (name.find('\'') != std::string::npos) return "the raster driver reads every ' as a double quote";
    if (name.find('\\') != std::string::npos) return "the raster driver pastes a backslash into SQL text unescaped";
    if (name.find('\0') != std::string::npos) return "a name holds a NUL character";
    if (name.front() == ' ' || name.front() == '\t') return "the raster driver drops blanks at the start of a name";
    return {};
}

// The raster driver pastes the column's name into SQL without quotes when it
// reads part of a raster: only a name that SQL reads back as itself is safe.
bool IsPlainColumn(const std::string& name) {
    if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'; });
}

bool IsSslMode(const std::string& mode) {
    static constexpr std::array<std::string_view, 6> kModes = {"disable", "allow",     "prefer",
                                                                "require", "verify-ca", "verify-full"};
    return std::find(kModes.begin(), kModes.end(), mode) != kModes.end();
}

} // namespace

PgTarget ResolveInstance(const std::string& server, const std::string& instance) {
    constexpr std::string_view kDirect = "sde:postgresql:";
    const std::string host = TrimBlanks(server);
    const std::string inst = TrimBlanks(instance);
    if (!inst.empty() && std::all_of(inst.begin(), inst.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return {host, inst};
    if (StartsWithNoCase(inst, kDirect)) {
        const std::string direct = TrimBlanks(inst.substr(kDirect.size()));
        return {direct.empty() ? host : direct, "5432"};
    }
    if (!inst.empty()) {
        // The classic services database (/etc/services) names ports; an
        // unknown name is not an error, the server's default port serves.
        if (const servent* entry = getservbyname(inst.c_str(), "tcp"))
            return {host, std::to_string(ntohs(static_cast<std::uint16_t>(entry->s_port)))};
    }
    return {host, "5432"};
}

std::string QuoteConnValue(const std::string& value) {
    std::string out = "'";
    for (char c : value) {
        if (c == '\'' || c == '\\') out += '\\';
        out += c;
    }
    out += '\'';
    return out;
}

std::string QuoteIdentifier(const std::string& name) {
    if (name.find('\0') != std::string::npos)
        throw PlatformError(kBadName, kSource, "a name holding a NUL character cannot be opened");
    std::string out = "\"";
    for (char c : name) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + '"';
}

PgConnection PgConnection::FromProperties(const gis::PropertySet& properties) {
    auto get = [&](const char* name) { return TrimBlanks(properties.GetProperty(name).value_or("")); };
    PgConnection c;
    c.target = ResolveInstance(get("SERVER"), get("INSTANCE"));
    c.database = get("DATABASE");
    c.user = get("USER");
    // A password may begin or end with a blank; it is taken as given.
    c.password = properties.GetProperty("PASSWORD").value_or("");
    c.version = get("VERSION");
    // Connection files older than these settings get the defaults.
    if (const std::string mode = LowerAscii(get("SSLMODE")); !mode.empty()) {
        if (!IsSslMode(mode))
            throw PlatformError(kBadName, kSource,
                                "SSLMODE \"" + mode +
                                    "\" is not one of disable, allow, prefer, require, verify-ca, verify-full");
        c.sslMode = mode;
    }
    if (const std::string timeout = get("CONNECT_TIMEOUT"); !timeout.empty()) {
        int seconds = -1;
        const auto [end, ec] = std::from_chars(timeout.data(), timeout.data() + timeout.size(), seconds);
        if (ec != std::errc{} || end != timeout.data() + timeout.size() || seconds < 0)
            throw PlatformError(kBadName, kSource, "CONNECT_TIMEOUT \"" + timeout + "\" is not a number of seconds");
        c.connectTimeout = seconds;
    }
    return c;
}

std::vector<std::pair<std::string, std::string>> PgConnection::Parameters(const std::string& passfile) const {
    std::vector<std::pair<std::string, std::string>> out;
    auto add = [&](const char* key, const std::string& value) {
        if (!value.empty()) out.emplace_back(key, value);
    };
    add("host", target.host);
    add("port", target.port);
    add("dbname", database);
    add("user", user);
    add("sslmode", sslMode);
    add("connect_timeout", std::to_string(connectTimeout));
    add("application_name", "marbrook");
    add("passfile", passfile);
    return out;
}

std::string PgConnection::ConnInfo(const std::string& passfile) const {
    std::string s;
    for (const auto& [key, value] : Parameters(passfile)) {
        if (!s.empty()) s += ' ';
        s += key + "=" + QuoteConnValue(value);
    }
    return s;
}

std::string PgConnection::Describe() const {
    return "postgresql://" + (user.empty() ? std::string() : user + "@") + (target.host.empty() ? "localhost" : target.host) +
           ":" + target.port + "/" + database;
}

PasswordFile::PasswordFile(const std::string& password) {
    if (password.empty()) return;
    if (password.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos)
        throw PlatformError(kBadName, kSource, "a password holding a line break cannot be handed to the database client");
    // Any host, port, database and user: the file serves this one connection.
    std::string line = "*:*:*:*:";
    for (char c : password) {
        if (c == '\\' || c == ':') line += '\\';
        line += c;
    }
    line += '\n';
    const int fd = ::memfd_create("marbrook-pgpass", MFD_CLOEXEC);
    auto fail = [&](int err) {
        std::fill(line.begin(), line.end(), '\0');
        if (fd >= 0) ::close(fd);
        throw PlatformError(errnum::kPathFileAccessError, kSource,
                            std::string("cannot hand the password to the database client: ") + std::strerror(err));
    };
    if (fd < 0) fail(errno);
    // libpq ignores a password file that others could read.
    if (::fchmod(fd, 0600) != 0) fail(errno);
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail(n < 0 ? errno : EIO);
        done += static_cast<std::size_t>(n);
    }
    std::fill(line.begin(), line.end(), '\0');
    fd_ = fd;
    path_ = "/proc/self/fd/" + std::to_string(fd);
}

PasswordFile::~PasswordFile() {
    if (fd_ >= 0) ::close(fd_);
}

std::string VectorConnectionString(const PgConnection& connection, const std::string& passfile) {
    for (const auto& [key, value] : connection.Parameters(passfile)) {
        if (value.find('\0') != std::string::npos)
            Refuse("the database " + connection.Describe(), "its " + key + " holds a NUL character");
        for (std::string_view option : {"active_schema=", "schemas=", "tables="})
            if (ContainsNoCase(value, option))
                Refuse("the database " + connection.Describe(),
                       "GDAL's PostgreSQL driver would read \"" + std::string(option) + "\" in its " + key +
                           " as an option of its own");
    }
    return "PG:" + connection.ConnInfo(passfile);
}

std::string RasterConnectionString(const PgConnection& connection, const std::string& passfile,
                                   const gis::TablePath& table) {
    const std::string what = "the raster table " + gis::DescribeTable({table.schema, table.table, {}});
    if (const std::string why = RasterNameProblem(table.schema); !why.empty()) Refuse(what, "its schema name: " + why);
    if (const std::string why = RasterNameProblem(table.table); !why.empty()) Refuse(what, "its table name: " + why);
    if (!IsPlainColumn(table.column))
        Refuse(what, "its raster column " + gis::DescribeTable({{}, table.column, {}}) +
                         ": the raster driver pastes a column's name into SQL unquoted, so only a plain lower-case "
                         "name is safe");

    std::string s = "PG:";
    auto parameters = connection.Parameters(passfile);
    // The raster driver needs the database named.
    if (std::none_of(parameters.begin(), parameters.end(), [](const auto& p) { return p.first == "dbname"; }))
        parameters.emplace_back("dbname", DefaultDatabase(connection));
    for (const auto& [key, value] : parameters) {
        if (value.find('\'') != std::string::npos)
            Refuse(what, "the raster driver reads every ' as a double quote, and the connection's " + key + " holds one");
        if (value.find('\0') != std::string::npos) Refuse(what, "the connection's " + key + " holds a NUL character");
        s += key + "=" + RasterQuoted(LibpqBare(value)) + " ";
    }
    s += "schema=" + RasterQuoted(table.schema) + " table=" + RasterQuoted(table.table) +
         " column=" + RasterQuoted(table.column) + " mode=2";
    // The driver declines a string holding " schemas=" anywhere (it leaves it
    // to the vector driver): better said than a puzzling "not recognised".
    if (s.find(" schemas=") != std::string::npos || s.find(" SCHEMAS=") != std::string::npos)
        Refuse(what, "the raster driver declines a connection string holding \" schemas=\"");
    return s;
}

} // namespace marbrook::gdal::postgis
