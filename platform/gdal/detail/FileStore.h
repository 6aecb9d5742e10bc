#pragma once
// What every file store of the GDAL back end shares: the name type of the
// datasets it lists, the feature class over OGR layers, the workspace and
// factory of a folder or a database file, and small helpers on file names.
// Each store (shapefiles, rasters, drawings, personal geodatabases) lives in
// its own file in stores/ and builds on these.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"
#include "platform/gdal/GdalGis.h"
#include "platform/gdal/detail/GdalCommon.h"
#include "platform/gis.h"

namespace marbrook::gdal {

using gis::DatasetNamePtr;
using gis::FactoryKind;
using gis::FeatureClassDetails;
using gis::WorkspaceNamePtr;

// ---- File names ----------------------------------------------------------------

// a..z in upper case, every other byte as it is.
constexpr char UpperAscii(char c) noexcept { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
std::string UpperAscii(std::string_view s);
// The upper-case extension of a file name, without its dot.
std::string UpperExt(std::string_view name);
// The extension of a file name as it is spelled, without its dot; empty
// where UpperExt is.
std::string_view ExtensionPart(std::string_view name) noexcept;
// Whether a file name ends in "." and `upperExt` (upper case, ASCII), in any
// case, with a stem before the dot.
bool HasExtensionCi(std::string_view file, std::string_view upperExt) noexcept;
std::string Join(const std::string& folder, const std::string& name);

// A fixed set of upper-case extensions, asked about every file of a folder
// by every store: one lookup costs a few comparisons of numbers, not a
// comparison with each extension of the set.
class ExtensionSet {
public:
    explicit ExtensionSet(std::initializer_list<std::string_view> upperExts);
    ExtensionSet(std::initializer_list<std::string_view> upperExts, const ExtensionSet& more);
    [[nodiscard]] bool Contains(std::string_view upperExt) const noexcept;
    // Whether the extension of the file name `name` (as UpperExt gives it)
    // is one of the set, without making a string of it.
    [[nodiscard]] bool HoldsExtensionOf(std::string_view name) const noexcept;

private:
    [[nodiscard]] bool HoldsPacked(std::uint64_t key) const noexcept;

    // Extensions of up to eight bytes, packed into numbers, in a table
    // looked up by a hash of the number (0: an empty slot).
    std::vector<std::uint64_t> slots_;
    std::vector<std::string_view> long_; // longer ones
};
// A folder path without its trailing "/" (the root stays "/").
std::string NormalFolder(std::string path);
// PlatformError 76 when `folder` is not a folder.
void RequireFolder(const std::string& folder);
WorkspaceNamePtr WsName(FactoryKind kind, const std::string& path);
// Whether a listing of kind `wanted` (kind::kAny and kind::kGeo included)
// lists a dataset of `kind`.
bool ListsKind(int wanted, int kind);

// ---- Names -----------------------------------------------------------------

// A dataset name of a file store. What it opens, and its members, are given
// as functions so that every store shares one name type.
class FileName final : public GdalDatasetName, public std::enable_shared_from_this<FileName> {
public:
    using Opener = std::function<gis::DatasetPtr(const FileName&)>;
    using Members = std::function<std::vector<DatasetNamePtr>()>;
    // Where the name's data is, for programs: each store tells it in one
    // place, from the name as it is now (a renamed name tells its new file).
    using Describer = std::function<gis::DataSourceInfo(const FileName&)>;

    FileName(std::string name, int kind, WorkspaceNamePtr workspace, std::optional<FeatureClassDetails> details,
             Opener opener, Members members = {}, std::string fileExtension = {})
        : name_(std::move(name)), kind_(kind), workspace_(std::move(workspace)), details_(details),
          opener_(std::move(opener)), members_(std::move(members)), fileExtension_(std::move(fileExtension)) {}

    std::string Name() const override { return name_; }
    void SetName(const std::string& name) override { name_ = name; }
    int Kind() const override { return kind_; }
    std::vector<DatasetNamePtr> SubsetNames() const override {
        InitGdal();
        return members_ ? members_() : std::vector<DatasetNamePtr>{};
    }
    WorkspaceNamePtr GetWorkspaceName() const override { return workspace_; }
    void SetWorkspaceName(WorkspaceNamePtr name) override { workspace_ = std::move(name); }
    std::optional<FeatureClassDetails> Details() const override { return details_; }
    std::string FileExtension() const override { return fileExtension_; }
    std::string SourceText() const override { return source_.empty() ? GdalDatasetName::SourceText() : source_; }
    // The source text of a name whose place its workspace does not tell (a
    // class of a drawing).
    void SetSourceText(std::string source) { source_ = std::move(source); }
    int StoreKind() const override { return storeKind_; }
    std::string FormatName() const override { return format_; }
    // What a name of a data-file workspace is: a store, or a single dataset
    // (gis::store::kNone) of this format.
    void SetDataFile(int storeKind, std::string format) {
        storeKind_ = storeKind;
        format_ = std::move(format);
    }
    std::optional<gis::DataSourceInfo> SourceInfo() const override {
        if (!describer_) return std::nullopt;
        InitGdal();
        return describer_(*this);
    }
    // Sets how the name tells where its data is; returns the name, so that a
    // store makes and describes a name in one expression.
    std::shared_ptr<FileName> Described(Describer describer) {
        describer_ = std::move(describer);
        return shared_from_this();
    }
    gis::DatasetPtr Open() const override {
        InitGdal();
        if (!opener_) throw PlatformError(errnum::kNotSupported, kGdalSource, "the dataset " + name_ + " cannot be opened");
        return opener_(*this);
    }
    DatasetNamePtr Self() const { return std::const_pointer_cast<FileName>(shared_from_this()); }

private:
    std::string name_;
    int kind_;
    WorkspaceNamePtr workspace_;
    std::optional<FeatureClassDetails> details_;
    Opener opener_;
    Members members_;
    std::string fileExtension_;
    std::string source_;
    int storeKind_ = gis::store::kNone;
    std::string format_;
    Describer describer_;
};

// ---- Datasets ----------------------------------------------------------------

// Which features of a drawing's layers belong to a class; none: all of them.
using FeatureFilter = std::function<bool(OGRFeature&)>;

class OgrFeatureClass final : public gis::FeatureClass {
public:
    OgrFeatureClass(SharedDatasetHandle ds, std::vector<OGRLayer*> layers, const FileName& name, FeatureFilter filter)
        : ds_(std::move(ds)), layers_(std::move(layers)), name_(name.Name()), fullName_(name.Self()),
          details_(name.Details().value_or(FeatureClassDetails{})), filter_(std::move(filter)) {}

    std::string Name() const override { return name_; }
    std::string AliasName() const override { return name_; }
    int FeatureKind() const override { return details_.featureKind; }
    int ShapeKind() const override { return details_.shapeKind; }
    long long FeatureCount() const override {
        InitGdal();
        ErrorCapture capture;
        long long n = 0;
        for (OGRLayer* layer : layers_) {
            if (!filter_) {
                const GIntBig c = layer->GetFeatureCount(TRUE);
                if (c < 0) return -1;
                n += c;
                continue;
            }
            layer->ResetReading();
            while (std::unique_ptr<OGRFeature> f{layer->GetNextFeature()}) {
                if (filter_(*f)) ++n;
            }
        }
        return n;
    }
    DatasetNamePtr FullName() const override { return fullName_; }
    std::optional<gis::DataSourceInfo> SourceInfo() const override { return fullName_->SourceInfo(); }
    std::optional<gis::Envelope> Extent() const override {
        InitGdal();
        ErrorCapture capture;
        std::optional<gis::Envelope> extent;
        for (OGRLayer* layer : layers_) {
            if (!filter_) {
                OGREnvelope e;
                if (layer->GetExtent(&e, TRUE) == OGRERR_NONE) extent = Union(extent, e);
                continue;
            }
            layer->ResetReading();
            while (std::unique_ptr<OGRFeature> f{layer->GetNextFeature()}) {
                const OGRGeometry* g = f->GetGeometryRef();
                if (!g || g->IsEmpty() || !filter_(*f)) continue;
                OGREnvelope e;
                g->getEnvelope(&e);
                extent = Union(extent, e);
            }
        }
        return extent;
    }
    std::string SpatialReference() const override {
        for (OGRLayer* layer : layers_)
            if (const OGRSpatialReference* reference = layer->GetSpatialRef()) return ReferenceText(reference);
        return {};
    }

private:
    SharedDatasetHandle ds_;
    std::vector<OGRLayer*> layers_;
    std::string name_;
    DatasetNamePtr fullName_;
    FeatureClassDetails details_;
    FeatureFilter filter_;
};

// The kind of a geodatabase catalogue item from its type identifier (with or
// without braces, any case): a feature dataset, a feature class, a table, a
// raster dataset or catalog; 0 for any other.
int CatalogueItemKind(std::string_view typeGuid);

// Reads every feature of `layers`, as a user's map would (the number read),
// and with `askCount` their count the way a layer asks for it (a query of
// its own in a database; for a drawing it would only read everything
// twice); a failure when GDAL reports one. What the reader program does with
// a database's class or a drawing before the host reads any of it.
long long ReadEveryFeature(const std::vector<OGRLayer*>& layers, const std::string& path, bool askCount);

// ---- Workspaces and factories -------------------------------------------------

class FileWorkspace final : public gis::Workspace {
public:
    using Lister = std::function<std::vector<DatasetNamePtr>(int kind)>;
    FileWorkspace(WorkspaceNamePtr name, Lister lister) : name_(std::move(name)), lister_(std::move(lister)) {}
    WorkspaceNamePtr Name() const override { return name_; }
    std::vector<DatasetNamePtr> ListDatasetNames(int kind) override {
        InitGdal();
        return lister_(kind);
    }
    std::vector<gis::VersionInfo> ListVersions() override {
        throw PlatformError(errnum::kTypeMismatch, kGdalSource, "a file workspace is not versioned");
    }

private:
    WorkspaceNamePtr name_;
    Lister lister_;
};

class FileFactory final : public gis::WorkspaceFactory {
public:
    using Opener = std::function<gis::WorkspacePtr(const std::string& path)>;
    FileFactory(FactoryKind kind, Opener opener) : kind_(kind), opener_(std::move(opener)) {}
    FactoryKind Kind() const noexcept override { return kind_; }
    gis::WorkspacePtr OpenWorkspace(const gis::PropertySet& properties, gis::WindowHandle) override {
        const auto path = properties.GetProperty("DATABASE");
        if (!path || path->empty())
            throw PlatformError(errnum::kInvalidProcedureCall, kGdalSource, "the property DATABASE is missing");
        InitGdal();
        return opener_(*path);
    }
    gis::WorkspacePtr OpenWorkspaceFromFile(const std::string& path, gis::WindowHandle) override {
        InitGdal();
        return opener_(path);
    }
    gis::PropertySet ReadConnectionProperties(const std::string&) override {
        throw PlatformError(errnum::kNotSupported, kGdalSource, "only spatial databases have connection files");
    }
    WorkspaceNamePtr CreateConnectionFile(const std::string&, const std::string&, const gis::PropertySet&,
                                          gis::WindowHandle) override {
        throw PlatformError(errnum::kNotSupported, kGdalSource, "only spatial databases have connection files");
    }

private:
    FactoryKind kind_;
    Opener opener_;
};

// A factory of folder workspaces whose datasets `lister(folder, kind)` lists.
template <class Lister>
gis::WorkspaceFactoryPtr FolderFactory(FactoryKind kind, Lister lister) {
    return std::make_shared<FileFactory>(kind, [kind, lister](const std::string& path) -> gis::WorkspacePtr {
        const std::string folder = NormalFolder(path);
        RequireFolder(folder);
        return std::make_shared<FileWorkspace>(WsName(kind, folder), [folder, lister](int k) { return lister(folder, k); });
    });
}

} // namespace marbrook::gdal
