#pragma once
// The file-based stores of the GDAL back end: shapefile, raster, CAD and
// personal-geodatabase workspaces, and what their names open.
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gdal/reader/ReaderProtocol.h"
#include "platform/gis.h"

namespace marbrook::gdal {

// The shape kind (gis::shape codes; 0 for a null-shape file) that the first
// 100 bytes of a .shp file declare, Z and M variants counting as their base
// kind; none when the bytes are not a shapefile header.
std::optional<int> ParseShpHeader(std::span<const std::byte> bytes) noexcept;
std::optional<int> ParseShpHeader(std::string_view bytes) noexcept;

// The first bytes of a file that a folder's listing reads: a shapefile's
// header, and enough of a raster candidate for the formats told by their
// first bytes.
inline constexpr std::size_t kShpHeaderSize = 100;
inline constexpr std::size_t kRasterHeadSize = 64;

// How many first bytes of the file `file` the listing of its folder reads
// (the most any store reads), or 0 for a file no store reads for it as
// such; asked of every name while the folder is read, so that the reads can
// start early. A raster of an extension only some driver declares, or named
// by a header beside it, is read by its store alone.
std::size_t ListingHeadSize(std::string_view file);

// The raster driver (GTiff, HFA, AAIGrid) that recognises a file of this
// extension (upper case, no dot) by its first bytes alone, when `head`
// holds such bytes; none when GDAL has to judge the file (or it is none of
// them). Only bytes that the driver itself accepts are recognised here.
const char* RasterDriverByHead(std::string_view upperExtension, std::string_view head) noexcept;

// The release a DWG file's first six bytes name ("R2000" for "AC1015"), or
// the six bytes themselves when the code is not known.
std::string DwgRelease(std::string_view versionCode);
inline constexpr std::string_view kReadableDwgVersion = "AC1015";

// Whether the last bytes of a DXF drawing are its end-of-file marker (EOF,
// then only line ends, blanks, NUL bytes or DOS end-of-file marks): a DXF
// without it was cut short.
[[nodiscard]] bool EndsAsDxf(std::string_view tail) noexcept;

gis::WorkspaceFactoryPtr NewShapefileFactory();
gis::WorkspaceFactoryPtr NewRasterFactory();
gis::WorkspaceFactoryPtr NewCadFactory();
gis::WorkspaceFactoryPtr NewPersonalGeodatabaseFactory();

// The drawing dataset `name` (file name with extension) of a CAD workspace.
gis::CadDrawingDatasetPtr OpenCadDrawing(gis::Workspace& cadWorkspace, const std::string& name);

// What the reader program does, in its own process (see
// reader/ReaderClient.h): the catalogue of a personal geodatabase; every
// feature of one of its feature classes, or of a drawing, read as a map
// would read them (the number read). PlatformError as the stores report it.
std::vector<reader::PgeoItem> ReadPgeoCatalogHere(const std::string& path);
long long ReadPgeoLayerHere(const std::string& path, const std::string& layerName);
long long ReadDrawingHere(const std::string& path);

} // namespace marbrook::gdal
