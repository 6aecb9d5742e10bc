#pragma once
// What a database holds for a listing: every table and view its user may
// see, and which of them are feature classes (with their shape kind) and
// raster datasets, read from the system catalogue in one query.
#include <optional>
#include <string>
#include <vector>

#include "platform/gdal/postgis/PgSession.h"

namespace marbrook::gdal::postgis {

struct CatalogueEntry {
    std::string schema;
    std::string table;
    int kind = 0;             // gis::kind: kFeatureClass, kRasterDataset or kTable
    std::string column;       // the geometry or raster column; empty for a table
    std::string geometryType; // as geometry_columns names it ("POINT", "MULTIPOLYGON"); feature classes only
    int shapeKind = 0;        // gis::shape of geometryType; 0 for a mixed class
};

// Every table and view the session's user may see (as the information
// schema shows them), outside the system schemas and PostGIS's own tables,
// ordered by schema and then table name, byte by byte. A table with a
// geometry column is a feature class of its first geometry column by name,
// else one with a raster column is a raster dataset of its first raster
// column by name, as PostGIS's geometry_columns and raster_columns views give
// them (when the user may read the table and those views are on the search
// path); a raster overview table is left out. PlatformError when the query
// fails.
std::vector<CatalogueEntry> ReadCatalogueEntries(const PgSession& session);

// What ReadCatalogueEntries gives of the one schema named `schema` (compared
// byte by byte), in the same order, read without going through the other
// schemas: the listing of one feature dataset. PlatformError when the query
// fails.
std::vector<CatalogueEntry> ReadSchemaEntries(const PgSession& session, const std::string& schema);

// The type name geometry_columns gives a geometry column of the type
// modifier `modifier` (its decimal text) whose old-style check constraint
// names `declared`.
std::string GeometryTypeOf(const std::string& modifier, const std::optional<std::string>& declared);

// The shape kind (gis::shape) of a geometry_columns type name; 0 for a mixed
// class (GEOMETRY, GEOMETRYCOLLECTION).
int ShapeKindOf(std::string type);

} // namespace marbrook::gdal::postgis
