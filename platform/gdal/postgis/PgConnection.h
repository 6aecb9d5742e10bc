#pragma once
// How connection properties become a libpq connection string, shared by the
// workspace, its dataset names and the tests.
#include <string>

#include "platform/gis.h"

namespace marbrook::gdal::postgis {

struct PgTarget {
    std::string host;
    std::string port;
};

// Host and port from SERVER and INSTANCE: a number is a port; "sde:postgresql:"
// followed by a host names the host (port 5432); any other text is a service
// name looked up in the services database (port 5432 when unknown or empty).
PgTarget ResolveInstance(const std::string& server, const std::string& instance);

// A value quoted for a libpq connection string.
std::string QuoteConnValue(const std::string& value);

// The connection facts of one workspace.
struct PgConnection {
    PgTarget target;
    std::string database;
    std::string user;
    std::string password;
    std::string version;

    static PgConnection FromProperties(const gis::PropertySet& properties);
    // The libpq connection string (with the password when one is given).
    [[nodiscard]] std::string ConnInfo() const;
    // "postgresql://user@host:port/database": for people; no password.
    [[nodiscard]] std::string Describe() const;
};

} // namespace marbrook::gdal::postgis
