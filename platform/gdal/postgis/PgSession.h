#pragma once
// A database session of the library's own, straight through libpq, for what
// a listing reads: the catalogue and the versions table. GDAL's PostgreSQL
// driver probes the server on every open (the PostGIS version among others,
// which loads the extension into the server process) and runs each query
// twice through its cursors; a listing needs none of that. Datasets are still
// opened through GDAL's drivers when they are opened.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/gdal/postgis/PgConnection.h"

struct pg_conn;

namespace marbrook::gdal::postgis {

using PgRow = std::vector<std::optional<std::string>>;

class PgSession {
public:
    // Connects with the connection's libpq parameters, each handed over as a
    // value of its own (never parsed out of a string), the password in a
    // private password file. None, with `failure` saying why in one line
    // without the password, when the server cannot be reached or refuses the
    // login; PlatformError when the connection facts cannot be carried (as
    // GDAL's driver would refuse them) or libpq cannot start.
    static std::unique_ptr<PgSession> Connect(const PgConnection& connection, std::string& failure);

    ~PgSession();
    PgSession(const PgSession&) = delete;
    PgSession& operator=(const PgSession&) = delete;

    // Runs one statement once, with `parameters` bound to $1, $2 ... as text
    // values, and returns its rows as text (NULL as none; none for a
    // statement that returns no rows). PlatformError,
    // numbered `failureNumber`, with `what` and the server's reason.
    std::vector<PgRow> Query(const std::string& sql, const std::vector<std::string>& parameters,
                             const std::string& what, long failureNumber) const;

private:
    PgSession(pg_conn* conn, std::string password) : conn_(conn), password_(std::move(password)) {}

    pg_conn* conn_;
    std::string password_; // only to keep it out of messages
};

// A client's or server's message made fit for a one-line report: blanks and
// line breaks folded, no password, and not libpq's note on where it found the
// password (our own hand-over file).
std::string FailureReason(const std::string& message, const std::string& password);

// The libpq connection parameters of `connection`, with `passfile`, as libpq
// takes them: what the connection string would hold, plus the client
// encoding. Exposed for the tests.
std::vector<std::pair<std::string, std::string>> SessionParameters(const PgConnection& connection,
                                                                   const std::string& passfile);

} // namespace marbrook::gdal::postgis
