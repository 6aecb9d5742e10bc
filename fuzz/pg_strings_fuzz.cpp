// The connection strings of GDAL's two PostgreSQL drivers, built from any
// connection values and table names, read back the way those drivers read
// them.
//
// Properties: a string is either refused (the "bad name" failure) or reads
// back exactly. The vector string is a libpq string whose parameters are the
// connection's, holding none of the vector driver's own options. The raster
// string, read as GDAL 3.6's raster driver reads it (every ' made ", split at
// blanks outside quotes by GDAL's own tokenizer, values taken after their
// "=" by GDAL's own name/value parser), gives exactly the schema, table and
// column, mode 2, no "where" and no other option of the driver, and what it
// hands on to libpq parses (by libpq itself) to exactly the connection's
// parameters.
#include <cpl_string.h>
#include <libpq-fe.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "platform/error.h"
#include "platform/gdal/postgis/PgConnection.h"

namespace pg = marbrook::gdal::postgis;
using marbrook::PlatformError;
using marbrook::fuzz::InputReader;

namespace {

using Parameters = std::map<std::string, std::string>;

// libpq's own reading of a connection string; false when it rejects it.
bool LibpqReads(const std::string& conninfo, Parameters& out) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(conninfo.c_str(), &error);
    if (!options) {
        if (error) PQfreemem(error);
        return false;
    }
    for (PQconninfoOption* o = options; o->keyword; ++o)
        if (o->val) out[o->keyword] = o->val;
    PQconninfoFree(options);
    return true;
}

Parameters Expected(const std::vector<std::pair<std::string, std::string>>& parameters) {
    return Parameters(parameters.begin(), parameters.end());
}

void CheckVector(const pg::PgConnection& c) {
    std::string s;
    try {
        s = pg::VectorConnectionString(c, "/proc/self/fd/3");
    } catch (const PlatformError& e) {
        FUZZ_CHECK(e.Number() == pg::kBadName);
        return;
    }
    FUZZ_CHECK(s.rfind("PG:", 0) == 0);
    std::string lower = s;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    for (const char* option : {"active_schema=", "schemas=", "tables="}) FUZZ_CHECK(lower.find(option) == std::string::npos);
    Parameters read;
    FUZZ_CHECK(LibpqReads(s.substr(3), read));
    FUZZ_CHECK(read == Expected(c.Parameters("/proc/self/fd/3")));
    FUZZ_CHECK(read.count("password") == 0);
}

// The value of the first token named `key`, as the raster driver finds it.
const char* Find(char** tokens, const char* key) {
    const int at = CSLFindName(tokens, key);
    return at < 0 ? nullptr : CPLParseNameValue(tokens[at], nullptr);
}

void CheckRaster(const pg::PgConnection& c, const marbrook::gis::TablePath& table) {
    std::string s;
    try {
        s = pg::RasterConnectionString(c, "/proc/self/fd/3", table);
    } catch (const PlatformError& e) {
        FUZZ_CHECK(e.Number() == pg::kBadName);
        return;
    }
    FUZZ_CHECK(s.rfind("PG:", 0) == 0);
    FUZZ_CHECK(s.find(" schemas=") == std::string::npos && s.find(" SCHEMAS=") == std::string::npos);
    std::string text = s.substr(3);
    std::replace(text.begin(), text.end(), '\'', '"');
    char** tokens = CSLTokenizeString2(text.c_str(), " ", CSLT_HONOURSTRINGS);
    const char* schema = Find(tokens, "schema");
    const char* name = Find(tokens, "table");
    const char* column = Find(tokens, "column");
    const char* mode = Find(tokens, "mode");
    FUZZ_CHECK(schema && table.schema == schema);
    FUZZ_CHECK(name && table.table == name);
    FUZZ_CHECK(column && table.column == column);
    FUZZ_CHECK(mode && std::string(mode) == "2");
    for (const char* option : {"where", "outdb_resolution", "service"}) FUZZ_CHECK(Find(tokens, option) == nullptr);
    // What the driver leaves is joined with blanks and handed to libpq.
    std::string rest;
    for (char** t = tokens; *t; ++t) {
        std::string token = *t;
        const std::string key = token.substr(0, token.find_first_of("=:"));
        if (key == "schema" || key == "table" || key == "column" || key == "mode") continue;
        rest += token + " ";
    }
    CSLDestroy(tokens);
    Parameters read;
    FUZZ_CHECK(LibpqReads(rest, read));
    Parameters expected = Expected(c.Parameters("/proc/self/fd/3"));
    // Without a database the raster string names libpq's default: the user,
    // else the login name.
    if (!expected.count("dbname")) expected["dbname"] = c.user.empty() ? read["dbname"] : c.user;
    FUZZ_CHECK(read == expected);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    InputReader in(data, size);
    pg::PgConnection c;
    c.target.host = std::string(in.Field());
    c.target.port = std::string(in.Field());
    c.database = std::string(in.Field());
    c.user = std::string(in.Field());
    c.password = std::string(in.Field()); // never in either string
    c.sslMode = std::string(in.Field());
    marbrook::gis::TablePath table;
    table.schema = std::string(in.Field());
    table.table = std::string(in.Field());
    table.column = std::string(in.Field());

    CheckVector(c);
    CheckRaster(c, table);
    return 0;
}
