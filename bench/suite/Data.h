#pragma once
// The data the benchmarks time the library on, generated at run time:
// template files written with GDAL once, then copied into folders of the
// size each case asks for.
#include <string>

namespace marbrook::bench {

// Writes into `folder` the templates: a shapefile of points, of lines and of
// polygons (point, line, polygon .shp .shx .dbf .prj), a GeoTIFF (r.tif) and
// a small drawing (d.dxf), and today's formats: a cloud-optimised GeoTIFF
// (c.tif), a GeoPackage (g.gpkg), a GeoJSON file (j.geojson) and a netCDF
// file (n.nc, when GDAL has the driver).
void MakeTemplates(const std::string& folder);

// A drawing of `entities` entities: points, lines, polylines, texts and a
// few 3D faces, as a drafting program would leave them on a few layers.
void WriteDrawing(const std::string& path, long entities);

// Copies the template shapefile of `kind` (0 points, 1 lines, 2 polygons) as
// `base`.shp and its siblings.
void CopyShapefile(const std::string& templates, int kind, const std::string& base);

// A folder of about n entries as a project folder holds them: shapefiles
// (.shp .shx .dbf .prj; 10 % of the entries are shapefile sets), GeoTIFFs
// (2 %), a few drawings, two subfolders and other files for the rest.
struct FolderMix {
    long shapefiles = 0, tiffs = 0, drawings = 0, others = 0, folders = 2;
    // Whether the other files include .csv files, whose first line a listing
    // reads; without, a .doc takes each one's place.
    bool csv = true;
    [[nodiscard]] long Entries() const { return shapefiles * 4 + tiffs + drawings + others + folders; }
    // What a listing shows besides plain files: the drawings and subfolders,
    // then one dataset per shapefile and GeoTIFF.
    [[nodiscard]] long Listed() const { return drawings + folders + shapefiles + tiffs; }
};
FolderMix MixFor(long n);
// The same number of entries, but only files the bare loop reads too or
// that a listing tells by their names: no GeoTIFFs and no .csv files.
FolderMix NamedOnlyMixFor(long n);
void MakeFolder(const std::string& dir, const std::string& templates, const FolderMix& mix);

// A folder of today's data: the project folder's shapefiles (10 %) and
// drawings, GeoTIFFs written as cloud-optimised ones (2 %), GeoPackages
// (2 %), GeoJSON files (3 %), netCDF files (1 %), two subfolders and other
// files for the rest.
struct TodaysMix {
    long shapefiles = 0, cogs = 0, geopackages = 0, geojsons = 0, netcdfs = 0, drawings = 0, others = 0, folders = 2;
    [[nodiscard]] long Entries() const {
        return shapefiles * 4 + cogs + geopackages + geojsons + netcdfs + drawings + others + folders;
    }
    // One entry per store, drawing, subfolder and dataset.
    [[nodiscard]] long Listed() const { return shapefiles + cogs + geopackages + geojsons + netcdfs + drawings + folders; }
};
TodaysMix TodaysMixFor(long n);
void MakeTodaysFolder(const std::string& dir, const std::string& templates, const TodaysMix& mix);

} // namespace marbrook::bench
