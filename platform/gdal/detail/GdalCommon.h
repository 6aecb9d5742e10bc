#pragma once
// Shared details of the GDAL back end: error capture, RAII handles and the
// base of every dataset name it hands out.
#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/error.h"
#include "platform/gis.h"

namespace marbrook::gdal {

inline constexpr const char* kGdalSource = "Marbrook.GDAL";

// Collects GDAL's errors while it lives instead of letting GDAL print them;
// Throw() turns the last one into a PlatformError. GDAL's handler stack is
// per thread, so each thread that calls GDAL makes its own.
class ErrorCapture {
public:
    ErrorCapture();
    ~ErrorCapture();
    ErrorCapture(const ErrorCapture&) = delete;
    ErrorCapture& operator=(const ErrorCapture&) = delete;

    [[nodiscard]] bool HasError() const noexcept { return !message_.empty(); }
    [[nodiscard]] const std::string& Message() const noexcept { return message_; }
    // Throws a PlatformError whose description is `what` and, when GDAL said
    // something, its last message.
    [[noreturn]] void Throw(long number, const std::string& what) const;

private:
    static void CPL_STDCALL Handler(CPLErr level, CPLErrorNum number, const char* message);
    std::string message_;
};

struct DatasetCloser {
    void operator()(GDALDataset* ds) const noexcept {
        if (ds) GDALClose(GDALDataset::ToHandle(ds));
    }
};
using DatasetHandle = std::unique_ptr<GDALDataset, DatasetCloser>;
using SharedDatasetHandle = std::shared_ptr<GDALDataset>;

// Opens with GDALOpenEx under an ErrorCapture; PlatformError when it fails.
SharedDatasetHandle OpenShared(const std::string& path, unsigned flags, const char* const* allowedDrivers = nullptr,
                               const char* const* openOptions = nullptr);

// "AUTHORITY:CODE" of a spatial reference when it has one, else its WKT; ""
// for none.
std::string ReferenceText(const OGRSpatialReference* reference);
// The union of two envelopes, either of which may be none.
std::optional<gis::Envelope> Union(const std::optional<gis::Envelope>& a, const OGREnvelope& b);

// A raster dataset over an open GDAL dataset, named as its dataset name.
class GdalRaster final : public gis::RasterDataset {
public:
    // `source` as the name told it; the driver that opened it is filled in.
    GdalRaster(SharedDatasetHandle ds, std::string name, std::optional<gis::DataSourceInfo> source = std::nullopt)
        : ds_(std::move(ds)), name_(std::move(name)), source_(std::move(source)) {
        if (source_ && source_->driver.empty() && ds_->GetDriver()) source_->driver = ds_->GetDriver()->GetDescription();
    }
    [[nodiscard]] std::string Name() const override { return name_; }
    // The raster's full path; for a raster that is no file (a database
    // table, whose description is a connection string with its password)
    // only its name.
    [[nodiscard]] std::string Source() const {
        const std::string description = ds_->GetDescription();
        return !description.empty() && description.front() == '/' ? description : name_;
    }
    [[nodiscard]] std::optional<gis::DataSourceInfo> SourceInfo() const override { return source_; }
    [[nodiscard]] std::optional<gis::Envelope> Extent() const override;
    [[nodiscard]] std::string SpatialReference() const override { return ReferenceText(ds_->GetSpatialRef()); }
    [[nodiscard]] int Width() const override { return ds_->GetRasterXSize(); }
    [[nodiscard]] int Height() const override { return ds_->GetRasterYSize(); }
    [[nodiscard]] int BandCount() const override { return ds_->GetRasterCount(); }

private:
    SharedDatasetHandle ds_;
    std::string name_;
    std::optional<gis::DataSourceInfo> source_;
};

// The base of every dataset name of this back end: it knows how to open itself.
class GdalDatasetName : public gis::DatasetName {
public:
    [[nodiscard]] virtual gis::DatasetPtr Open() const = 0;
    // Where the data really is, for people: the file (a shapefile with its
    // extension), the drawing and its class, the schema-qualified table.
    [[nodiscard]] virtual std::string SourceText() const {
        const gis::WorkspaceNamePtr workspace = GetWorkspaceName();
        const std::string name = Name() + FileExtension();
        if (!workspace || workspace->PathName().empty()) return name;
        return workspace->PathName() + "/" + name;
    }
};

} // namespace marbrook::gdal
