#include "platform/gdal/postgis/PgCatalogue.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <iterator>
#include <map>
#include <string_view>

#include "platform/error.h"
#include "platform/gis.h"

namespace marbrook::gdal::postgis {

namespace {

// Every table and view a user may see (as the information schema shows
// them: of the kinds r, v, f and p, owned by one of the user's roles or with
// some privilege on it), outside the system schemas and PostGIS's own
// tables, with the first of its geometry columns by name and the first of
// its raster columns by name, each as PostGIS's geometry_columns and
// raster_columns views would give them (a column of a type named geometry or
// raster that the user may read, and the geometry_columns / raster_columns
// views on the search path), and whether it is a raster overview (as the
// raster_overviews view tells it). Those views compute for every column
// what a listing never needs (the dimensions and SRID from constraints,
// through PostGIS's functions, which load the extension into a new server
// process): the catalogue tables answer the same in one pass. A geometry
// column's type is its type modifier's (decoded by GeometryTypeOf) or, for a
// column declared without one, the type its old-style geometrytype() check
// constraint names. The pieces below make that query, and its twin for one
// schema.

// The session's facts both queries share: superuser or not, whether
// PostGIS's raster_overviews view is on the search path, and the schema
// PostGIS lives in.
constexpr const char* kMeFacts =
    "pg_catalog.current_setting('is_superuser') = 'on' AS super, "
    "pg_catalog.to_regclass('raster_overviews') IS NOT NULL AS has_overviews, "
    "(SELECT n.nspname FROM pg_catalog.pg_extension e JOIN pg_catalog.pg_namespace n ON n.oid = e.extnamespace "
    "WHERE e.extname = 'postgis') AS postgis_schema";

// May the user read table c: a superuser may, and so may a member of the
// owner's role while the table keeps its default privileges; the privilege
// check proper (a catalogue lookup per table in a new session) is left for
// the others.
constexpr const char* kMayRead =
    "(me.super OR (c.relacl IS NULL AND pg_catalog.pg_has_role(c.relowner, 'USAGE')) "
    "OR pg_catalog.has_table_privilege(c.oid, 'SELECT'))";

// The type a geometry column of table c without a type in its modifier
// declares in its old-style check constraint; `attnum` is the column's number.
std::string DeclaredType(const std::string& attnum) {
    return "(SELECT pg_catalog.replace(pg_catalog.split_part(x.def, '''', 2), ')', '') FROM (SELECT "
           "pg_catalog.pg_get_constraintdef(s.oid) AS def FROM pg_catalog.pg_constraint s WHERE s.connamespace = n.oid "
           "AND s.conrelid = c.oid AND " +
           attnum + " = ANY (s.conkey)) x WHERE x.def ILIKE '%geometrytype(% = %' LIMIT 1)";
}

// Whether table c is a raster overview (as raster_overviews tells it).
constexpr const char* kIsOverview =
    "me.has_overviews AND c.relkind IN ('r', 'v', 'm', 'f') AND EXISTS (SELECT 1 FROM pg_catalog.pg_constraint s "
    "WHERE s.connamespace = n.oid AND s.conrelid = c.oid "
    "AND pg_catalog.pg_get_constraintdef(s.oid) LIKE '%_overview_constraint(%')";

// The tables and views (c, in schema n) the user may see, as the information
// schema shows them (of the kinds r, v, f and p, owned by one of the user's
// roles or with some privilege on it), outside the system schemas and
// PostGIS's own tables.
constexpr const char* kVisible =
    "c.relkind IN ('r', 'v', 'f', 'p') AND NOT pg_catalog.pg_is_other_temp_schema(n.oid) "
    "AND (me.super OR pg_catalog.pg_has_role(c.relowner, 'USAGE') "
    "OR pg_catalog.has_table_privilege(c.oid, 'SELECT, INSERT, UPDATE, DELETE, TRUNCATE, REFERENCES, TRIGGER') "
    "OR pg_catalog.has_any_column_privilege(c.oid, 'SELECT, INSERT, UPDATE, REFERENCES')) "
    "AND n.nspname NOT IN ('pg_catalog', 'information_schema', 'topology') AND n.nspname NOT LIKE 'pg\\_%' "
    "AND NOT (c.relname IN ('spatial_ref_sys', 'geometry_columns', 'geography_columns', 'raster_columns', "
    "'raster_overviews') AND n.nspname IS NOT DISTINCT FROM me.postgis_schema)";

// Columns: schema, table, geometry column, its type modifier, its declared
// type, raster column, overview ("t"/"f").
const std::string& CatalogueSql() {
    static const std::string sql =
        std::string("WITH me AS (SELECT ") + kMeFacts +
        ", pg_catalog.to_regclass('geometry_columns') IS NOT NULL AS has_geometry, "
        "pg_catalog.to_regclass('raster_columns') IS NOT NULL AS has_raster OFFSET 0), "
        // A column depends on its type: the dependency index finds the spatial
        // columns without reading every column of the database.
        "spatial AS (SELECT a.attrelid AS rel, t.typname::text AS kind, a.attname::text AS col, a.atttypmod AS typmod, "
        "a.attnum AS num FROM pg_catalog.pg_type t JOIN pg_catalog.pg_depend d "
        "ON d.refclassid = 'pg_catalog.pg_type'::pg_catalog.regclass AND d.refobjid = t.oid "
        "AND d.classid = 'pg_catalog.pg_class'::pg_catalog.regclass AND d.objsubid > 0 "
        "JOIN pg_catalog.pg_attribute a ON a.attrelid = d.objid AND a.attnum = d.objsubid AND a.atttypid = t.oid "
        "AND NOT a.attisdropped WHERE t.typname IN ('geometry', 'raster')), "
        "geometry AS (SELECT DISTINCT ON (rel) rel, col, typmod, num FROM spatial WHERE kind = 'geometry' ORDER BY rel, col), "
        "raster AS (SELECT DISTINCT ON (rel) rel, col FROM spatial WHERE kind = 'raster' ORDER BY rel, col) "
        "SELECT n.nspname::text, c.relname::text, g.col, g.typmod, "
        "CASE WHEN g.typmod < 0 OR g.typmod & 255 = 0 THEN " +
        DeclaredType("g.num") + " END, r.col, r.col IS NOT NULL AND " + kIsOverview +
        " FROM me CROSS JOIN pg_catalog.pg_namespace n JOIN pg_catalog.pg_class c ON c.relnamespace = n.oid "
        "LEFT JOIN geometry g ON g.rel = c.oid AND me.has_geometry AND c.relname <> 'raster_columns' AND " +
        kMayRead + " LEFT JOIN raster r ON r.rel = c.oid AND me.has_raster AND " + kMayRead + " WHERE " + kVisible;
    return sql;
}

// The same for the one schema whose name, as UTF-8 bytes, is $1 (a bytea):
// a row for each table without a spatial column the user may read, and one
// for each spatial column of the others (the caller chooses the first by
// name). Over the whole database the dependency index finds the spatial
// columns at once; for one schema, only its tables' columns are looked at,
// and the types' numbers are read once, so that the listing costs what that
// schema holds, not what the database holds.
//
// Columns: table, raster column or not ("t"/"f", none without a column),
// column, its type modifier, its declared type, overview ("t"/"f").
const std::string& SchemaSql() {
    static const std::string sql =
        std::string("WITH me AS (SELECT ") + kMeFacts +
        ", CASE WHEN pg_catalog.to_regclass('geometry_columns') IS NOT NULL THEN ARRAY(SELECT t.oid "
        "FROM pg_catalog.pg_type t WHERE t.typname = 'geometry') END AS geometry_types, "
        "CASE WHEN pg_catalog.to_regclass('raster_columns') IS NOT NULL THEN ARRAY(SELECT t.oid "
        "FROM pg_catalog.pg_type t WHERE t.typname = 'raster') END AS raster_types OFFSET 0) "
        "SELECT c.relname::text, a.atttypid = ANY (me.raster_types), a.attname::text, a.atttypmod, "
        "CASE WHEN a.atttypid = ANY (me.geometry_types) AND (a.atttypmod < 0 OR a.atttypmod & 255 = 0) THEN " +
        DeclaredType("a.attnum") + " END, a.atttypid = ANY (me.raster_types) AND " + kIsOverview +
        " FROM me CROSS JOIN pg_catalog.pg_namespace n JOIN pg_catalog.pg_class c ON c.relnamespace = n.oid "
        "LEFT JOIN pg_catalog.pg_attribute a ON a.attrelid = c.oid AND a.attnum > 0 AND NOT a.attisdropped "
        "AND (a.atttypid = ANY (me.geometry_types) AND c.relname <> 'raster_columns' "
        "OR a.atttypid = ANY (me.raster_types)) AND " +
        kMayRead +
        // Compared as bytes: a name is never cut to the server's name length,
        // and one that is no UTF-8 or holds a NUL names no schema.
        " WHERE pg_catalog.convert_to(n.nspname::pg_catalog.text, 'UTF8') = $1::pg_catalog.bytea AND " + kVisible;
    return sql;
}

// A bytea value's text form: \x and two hex digits per byte.
std::string HexBytes(const std::string& bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out = "\\x";
    out.reserve(2 + 2 * bytes.size());
    for (const unsigned char b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

} // namespace

int ShapeKindOf(std::string type) {
    std::transform(type.begin(), type.end(), type.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    if (type.size() > 1 && type.back() == 'M') type.pop_back(); // POINTM is a point
    if (type == "POINT") return gis::shape::kPoint;
    if (type == "MULTIPOINT") return gis::shape::kMultipoint;
    if (type == "LINESTRING" || type == "MULTILINESTRING" || type == "CIRCULARSTRING" || type == "COMPOUNDCURVE" ||
        type == "MULTICURVE")
        return gis::shape::kPolyline;
    if (type == "POLYGON" || type == "MULTIPOLYGON" || type == "CURVEPOLYGON" || type == "MULTISURFACE" ||
        type == "TRIANGLE")
        return gis::shape::kPolygon;
    if (type == "POLYHEDRALSURFACE" || type == "TIN") return gis::shape::kMultiPatch;
    return 0; // GEOMETRY, GEOMETRYCOLLECTION: a mixed class
}

// The type name PostGIS's geometry_columns view gives a geometry column:
// the type its type modifier holds ("POINT", "LINESTRINGM"), else the type
// its old-style check constraint names (`declared`), else "GEOMETRY", with
// every "ZM" and then every "Z" taken out. A modifier packs the type's
// number in bits 2 to 7, a Z flag in bit 1 and an M flag in bit 0; -1 (no
// modifier) and type 0 without flags say nothing.
std::string GeometryTypeOf(const std::string& modifier, const std::optional<std::string>& declared) {
    static constexpr const char* kTypes[] = {"GEOMETRY",     "POINT",           "LINESTRING",   "POLYGON",
                                             "MULTIPOINT",   "MULTILINESTRING", "MULTIPOLYGON", "GEOMETRYCOLLECTION",
                                             "CIRCULARSTRING", "COMPOUNDCURVE", "CURVEPOLYGON", "MULTICURVE",
                                             "MULTISURFACE", "POLYHEDRALSURFACE", "TRIANGLE",   "TIN"};
    long typmod = -1;
    const auto [end, ec] = std::from_chars(modifier.data(), modifier.data() + modifier.size(), typmod);
    if (ec != std::errc{} || end != modifier.data() + modifier.size()) typmod = -1;
    std::string type;
    if (typmod < 0 || (typmod & 255) == 0) {
        type = declared.value_or("GEOMETRY");
    } else {
        const auto number = static_cast<std::size_t>((typmod & 0xFC) >> 2);
        type = number < std::size(kTypes) ? kTypes[number] : "INVALID TYPE";
        if (typmod & 2) type += 'Z';
        if (typmod & 1) type += 'M';
    }
    for (const std::string_view cut : {std::string_view("ZM"), std::string_view("Z")})
        for (auto at = type.find(cut); at != std::string::npos; at = type.find(cut, at)) type.erase(at, cut.size());
    return type;
}

namespace {

// The entry of table `table` of `schema`: a feature class by its geometry
// column (with that column's type modifier and declared type) when it has
// one, else a raster by its raster column, else a plain table.
CatalogueEntry EntryOf(std::string schema, std::string table, std::optional<std::string> geometry,
                       const std::optional<std::string>& typmod, const std::optional<std::string>& declared,
                       std::optional<std::string> raster) {
    CatalogueEntry e;
    e.schema = std::move(schema);
    e.table = std::move(table);
    e.kind = gis::kind::kTable;
    if (geometry) {
        e.kind = gis::kind::kFeatureClass;
        e.column = std::move(*geometry);
        e.geometryType = GeometryTypeOf(typmod.value_or("-1"), declared);
        e.shapeKind = ShapeKindOf(e.geometryType);
    } else if (raster) {
        e.kind = gis::kind::kRasterDataset;
        e.column = std::move(*raster);
    }
    return e;
}

} // namespace

std::vector<CatalogueEntry> ReadCatalogueEntries(const PgSession& session) {
    std::vector<CatalogueEntry> entries;
    for (const auto& r : session.Query(CatalogueSql(), {}, "the database catalogue cannot be read", errnum::kAutomationError)) {
        if (r.size() < 7 || !r[0] || !r[1]) continue;
        if (r[6].value_or("f") == "t") continue; // a raster's overview is part of that raster
        entries.push_back(EntryOf(*r[0], *r[1], r[2], r[3], r[4], r[5]));
    }
    std::sort(entries.begin(), entries.end(), [](const CatalogueEntry& a, const CatalogueEntry& b) {
        return a.schema != b.schema ? a.schema < b.schema : a.table < b.table;
    });
    return entries;
}

std::vector<CatalogueEntry> ReadSchemaEntries(const PgSession& session, const std::string& schema) {
    struct Columns {
        std::optional<std::string> geometry, typmod, declared, raster;
        bool overview = false;
    };
    std::map<std::string, Columns> tables; // by name, byte by byte
    for (auto& r : session.Query(SchemaSql(), {HexBytes(schema)}, "the schema's catalogue cannot be read",
                                 errnum::kAutomationError)) {
        if (r.size() < 6 || !r[0]) continue;
        Columns& t = tables[*r[0]];
        if (!r[2]) continue;
        // The first geometry column by name, else the first raster column.
        if (r[1].value_or("f") == "t") {
            if (r[5].value_or("f") == "t") t.overview = true;
            if (!t.raster || *r[2] < *t.raster) t.raster = std::move(r[2]);
        } else if (!t.geometry || *r[2] < *t.geometry) {
            t.geometry = std::move(r[2]);
            t.typmod = std::move(r[3]);
            t.declared = std::move(r[4]);
        }
    }
    std::vector<CatalogueEntry> entries;
    entries.reserve(tables.size());
    for (auto& [table, t] : tables) {
        if (t.overview) continue; // a raster's overview is part of that raster
        entries.push_back(EntryOf(schema, table, std::move(t.geometry), t.typmod, t.declared, std::move(t.raster)));
    }
    return entries;
}

} // namespace marbrook::gdal::postgis
