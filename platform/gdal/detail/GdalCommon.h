#pragma once
// Shared details of the GDAL back end: error capture, RAII handles and the
// base of every dataset name it hands out.
#include <gdal_priv.h>
#include <ogrsf_frmts.h>
#include <sys/stat.h>

#include <memory>
#include <string>

#include "platform/error.h"
#include "platform/gis.h"

namespace marbrook::gdal {

inline constexpr const char* kGdalSource = "Marbrook.GDAL";

// What tells that a folder has not changed since it was read: any entry
// added, removed or renamed changes its modification time, and a
// modification time put back changes its status-change time.
struct FolderStamp {
    dev_t device = 0;
    ino_t inode = 0;
    timespec modified{};
    timespec changed{};

    static FolderStamp Of(const struct stat& st) noexcept { return {st.st_dev, st.st_ino, st.st_mtim, st.st_ctim}; }
    bool operator==(const FolderStamp& o) const noexcept {
        return device == o.device && inode == o.inode && modified.tv_sec == o.modified.tv_sec &&
               modified.tv_nsec == o.modified.tv_nsec && changed.tv_sec == o.changed.tv_sec &&
               changed.tv_nsec == o.changed.tv_nsec;
    }
    // Whether what was read of the folder may be kept: its modification time
    // is trusted only when it lies well before the read, since a file system
    // stamps times with a coarse clock and an entry added in the same tick as
    // the previous change would not show.
    [[nodiscard]] bool Settled() const noexcept;
};

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

// A raster dataset over an open GDAL dataset, named as its dataset name.
class GdalRaster final : public gis::RasterDataset {
public:
    GdalRaster(SharedDatasetHandle ds, std::string name) : ds_(std::move(ds)), name_(std::move(name)) {}
    [[nodiscard]] std::string Name() const override { return name_; }
    [[nodiscard]] int Width() const override { return ds_->GetRasterXSize(); }
    [[nodiscard]] int Height() const override { return ds_->GetRasterYSize(); }
    [[nodiscard]] int BandCount() const override { return ds_->GetRasterCount(); }

private:
    SharedDatasetHandle ds_;
    std::string name_;
};

// The base of every dataset name of this back end: it knows how to open itself.
class GdalDatasetName : public gis::DatasetName {
public:
    [[nodiscard]] virtual gis::DatasetPtr Open() const = 0;
};

} // namespace marbrook::gdal
