#pragma once
// How connection properties and table names reach GDAL's two PostgreSQL
// drivers. Each driver reads its connection string with a parser of its own
// and hands parts of it on to libpq or into SQL, so every value is written in
// the form that parser reads back exactly, a value it cannot carry is refused
// with a failure naming it, and the password never travels in a string at all.
#include <string>
#include <utility>
#include <vector>

#include "platform/gis.h"

namespace marbrook::gdal::postgis {

// The number of a dataset refused because a driver cannot carry its name
// (the classic "bad file name").
inline constexpr long kBadName = 52;

struct PgTarget {
    std::string host;
    std::string port;
};

// Host and port from SERVER and INSTANCE: a number is a port; "sde:postgresql:"
// followed by a host names the host (port 5432); any other text is a service
// name looked up in the services database (port 5432 when unknown or empty).
PgTarget ResolveInstance(const std::string& server, const std::string& instance);

// What a connection file without SSLMODE or CONNECT_TIMEOUT gets: TLS when the
// server offers it, and ten seconds before a server that does not answer is
// given up, so that a dead server never blocks the dialog for minutes.
inline constexpr const char* kDefaultSslMode = "prefer";
inline constexpr int kDefaultConnectTimeout = 10;

// A value quoted for a libpq connection string.
std::string QuoteConnValue(const std::string& value);
// A name quoted as an SQL identifier ("a""b").
std::string QuoteIdentifier(const std::string& name);

// The connection facts of one workspace.
struct PgConnection {
    PgTarget target;
    std::string database;
    std::string user;
    std::string password;
    std::string version;
    std::string sslMode = kDefaultSslMode;
    int connectTimeout = kDefaultConnectTimeout; // seconds; 0 waits for ever

    // PlatformError when SSLMODE is not one of libpq's modes or
    // CONNECT_TIMEOUT is not a number of seconds.
    static PgConnection FromProperties(const gis::PropertySet& properties);
    // libpq's parameters in a fixed order (host, port, dbname, user, sslmode,
    // connect_timeout, application_name, then passfile when given), empty
    // values left out. Never the password.
    [[nodiscard]] std::vector<std::pair<std::string, std::string>> Parameters(const std::string& passfile) const;
    // The libpq connection string of those parameters.
    [[nodiscard]] std::string ConnInfo(const std::string& passfile = {}) const;
    // "postgresql://user@host:port/database": for people; no password.
    [[nodiscard]] std::string Describe() const;
};

// The password handed to libpq beside the connection string, never in it:
// an anonymous in-memory file in libpq's password-file format, readable by
// this process only, named by Path() ("/proc/self/fd/N") for libpq's
// "passfile" parameter while it lives. No file is made for an empty password:
// libpq's own password file then serves. PlatformError when the password
// holds a line break (the format cannot carry one) or the file cannot be made.
class PasswordFile {
public:
    explicit PasswordFile(const std::string& password);
    ~PasswordFile();
    PasswordFile(const PasswordFile&) = delete;
    PasswordFile& operator=(const PasswordFile&) = delete;

    [[nodiscard]] const std::string& Path() const noexcept { return path_; }

private:
    int fd_ = -1;
    std::string path_;
};

// The "PG:" string of GDAL's PostgreSQL (vector) driver. That driver looks for
// its own options ("active_schema=", "schemas=", "tables=") anywhere in the
// string, inside quoted values too: a value holding one is refused.
std::string VectorConnectionString(const PgConnection& connection, const std::string& passfile);

// The "PG:" string of GDAL's PostGIS-raster driver for one raster column.
// That driver turns every "'" into '"', splits the string at blanks outside
// '"' quotes (reading \" and \\ inside them), takes each value from its first
// "=" with leading blanks dropped, and joins what it does not use back into a
// libpq string without quotes; the names go into SQL text, in places unquoted.
// Refused, with a failure naming the table: a "'" anywhere, a backslash or a
// leading blank in a schema or table name, and a raster column that is not a
// plain lower-case name.
std::string RasterConnectionString(const PgConnection& connection, const std::string& passfile,
                                   const gis::TablePath& table);

} // namespace marbrook::gdal::postgis
