#include "platform/gdal/postgis/PgSession.h"

#include <libpq-fe.h>
#include <poll.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <string_view>

#include "platform/error.h"
#include "platform/gdal/postgis/ConnectionFile.h"

namespace marbrook::gdal::postgis {

namespace {

constexpr const char* kSource = "Marbrook.GDAL.PostGIS";

// The server's notices (a collation warning when the session starts, a
// notice a function raises) are nobody's business on the terminal.
void QuietNotice(void*, const char*) {}

// libpq's own rule: no timeout at 0 or below, and never less than 2 seconds.
int TimeoutSeconds(int configured) {
    if (configured <= 0) return 0;
    return configured < 2 ? 2 : configured;
}

} // namespace

std::string FailureReason(const std::string& message, const std::string& password) {
    std::string text;
    bool blank = false;
    for (char c : message) {
        if (c == '\n' || c == '\r' || c == '\t' || c == ' ') {
            blank = !text.empty();
            continue;
        }
        if (blank) text += ' ';
        blank = false;
        text += c;
    }
    // libpq's note on where it found the password: our own hand-over file.
    constexpr std::string_view kNote = " password retrieved from file \"/proc/self/fd/";
    if (const auto at = text.find(kNote); at != std::string::npos) {
        const auto end = text.find('"', at + kNote.size());
        text.erase(at, end == std::string::npos ? std::string::npos : end + 1 - at);
    }
    return Scrub(text, password);
}

std::vector<std::pair<std::string, std::string>> SessionParameters(const PgConnection& connection,
                                                                   const std::string& passfile) {
    auto parameters = connection.Parameters(passfile);
    // Names come back as the server stores them, whatever the local locale.
    parameters.emplace_back("client_encoding", "UTF8");
    return parameters;
}

std::unique_ptr<PgSession> PgSession::Connect(const PgConnection& connection, std::string& failure) {
    failure.clear();
    const PasswordFile password(connection.password);
    // What GDAL's driver would refuse to carry is refused here too, so that a
    // database lists only when its tables can be opened.
    (void)VectorConnectionString(connection, password.Path());

    const auto parameters = SessionParameters(connection, password.Path());
    std::vector<const char*> keys, values;
    for (const auto& [key, value] : parameters) {
        keys.push_back(key.c_str());
        values.push_back(value.c_str());
    }
    keys.push_back(nullptr);
    values.push_back(nullptr);
    // expand_dbname 0: the database name is a name, never read as a
    // connection string of its own.
    std::unique_ptr<PGconn, void (*)(PGconn*)> conn(PQconnectStartParams(keys.data(), values.data(), 0), &PQfinish);
    if (!conn) throw PlatformError(errnum::kOutOfMemory, kSource, "the database client cannot start a connection");
    // Set before the first byte arrives: notices of the session's start
    // (a collation warning) are not printed either.
    PQsetNoticeProcessor(conn.get(), &QuietNotice, nullptr);

    auto give_up = [&](const std::string& why) -> std::unique_ptr<PgSession> {
        failure = FailureReason(why.empty() ? "cannot connect to " + connection.Describe() : why, connection.password);
        return nullptr;
    };
    if (PQstatus(conn.get()) == CONNECTION_BAD) return give_up(PQerrorMessage(conn.get()));

    // The timeout covers the whole connection, so that a server that does
    // not answer never holds a listing longer than the connection allows.
    const int timeout = TimeoutSeconds(connection.connectTimeout);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout);
    PostgresPollingStatusType state = PGRES_POLLING_WRITING;
    while (state != PGRES_POLLING_OK) {
        if (state == PGRES_POLLING_FAILED) return give_up(PQerrorMessage(conn.get()));
        const int fd = PQsocket(conn.get());
        if (fd < 0) return give_up(PQerrorMessage(conn.get()));
        pollfd watch{fd, static_cast<short>(state == PGRES_POLLING_READING ? POLLIN : POLLOUT), 0};
        int waitMs = -1;
        if (timeout > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return give_up("connection to " + connection.Describe() + " failed: timeout expired");
            waitMs = static_cast<int>(left.count());
        }
        const int ready = ::poll(&watch, 1, waitMs);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) return give_up(std::string("cannot wait for the server: ") + std::strerror(errno));
        if (ready == 0) continue; // the deadline is checked above
        state = PQconnectPoll(conn.get());
    }
    std::unique_ptr<PgSession> session(new PgSession(conn.get(), connection.password));
    conn.release();
    return session;
}

PgSession::~PgSession() { PQfinish(conn_); }

std::vector<PgRow> PgSession::Query(const std::string& sql, const std::vector<std::string>& parameters,
                                    const std::string& what, long failureNumber) const {
    std::vector<const char*> values;
    values.reserve(parameters.size());
    for (const auto& p : parameters) values.push_back(p.c_str());
    // The extended protocol: one statement, its parameters apart from its
    // text, results as text.
    PGresult* result = PQexecParams(conn_, sql.c_str(), static_cast<int>(values.size()), nullptr,
                                    values.empty() ? nullptr : values.data(), nullptr, nullptr, 0);
    const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
        const std::string reason = result ? PQresultErrorMessage(result) : PQerrorMessage(conn_);
        PQclear(result);
        throw PlatformError(failureNumber, kSource, FailureReason(reason.empty() ? what : what + ": " + reason, password_));
    }
    std::vector<PgRow> rows;
    const int count = PQntuples(result);
    const int fields = PQnfields(result);
    rows.reserve(static_cast<std::size_t>(count));
    for (int r = 0; r < count; ++r) {
        PgRow row;
        row.reserve(static_cast<std::size_t>(fields));
        for (int f = 0; f < fields; ++f) {
            if (PQgetisnull(result, r, f)) row.emplace_back(std::nullopt);
            else row.emplace_back(std::string(PQgetvalue(result, r, f), static_cast<std::size_t>(PQgetlength(result, r, f))));
        }
        rows.push_back(std::move(row));
    }
    PQclear(result);
    return rows;
}

} // namespace marbrook::gdal::postgis
