#include "platform/gdal/postgis/PostgisFactory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string_view>

#include "platform/gdal/GdalGis.h"
#include "platform/gdal/detail/GdalCommon.h"
#include "platform/gdal/postgis/ConnectionFile.h"
#include "platform/gdal/postgis/PgCatalogue.h"
#include "platform/gdal/postgis/PgConnection.h"
#include "platform/gdal/postgis/PgSession.h"
#include "platform/posix/PosixSystem.h"

namespace marbrook::gdal {

namespace {

using namespace postgis;

constexpr const char* kPgSource = "Marbrook.GDAL.PostGIS";

// What every name and dataset of one workspace shares: the connection facts.
struct PgContext {
    PgConnection connection;
    gis::PropertySet properties;
    gis::WorkspaceNamePtr workspaceName;
};
using PgContextPtr = std::shared_ptr<const PgContext>;

[[noreturn]] void Fail(const ErrorCapture& capture, long number, const std::string& what, const std::string& password) {
    throw PlatformError(number, kPgSource,
                        FailureReason(capture.Message().empty() ? what : what + ": " + capture.Message(), password));
}

const char* const kVectorDrivers[] = {"PostgreSQL", nullptr};
const char* const kRasterDrivers[] = {"PostGISRaster", nullptr};

GDALDataset* OpenRaw(const std::string& connectionString, unsigned flags, const char* const* drivers) {
    return GDALDataset::FromHandle(GDALOpenEx(connectionString.c_str(), flags | GDAL_OF_READONLY, drivers, nullptr, nullptr));
}

SharedDatasetHandle OpenVector(const PgConnection& c) {
    const PasswordFile password(c.password);
    const std::string connection = VectorConnectionString(c, password.Path());
    ErrorCapture capture;
    GDALDataset* ds = OpenRaw(connection, GDAL_OF_VECTOR, kVectorDrivers);
    if (!ds) Fail(capture, errnum::kPathNotFound, "cannot connect to " + c.Describe(), c.password);
    return SharedDatasetHandle(ds, DatasetCloser{});
}

// ---- Datasets ---------------------------------------------------------------

// A table's rows, read through a query that names the table by its quoted
// schema and table: GDAL's own lookup by layer name splits the name at its
// first "." and "(" and retries in lower case, which opens another table.
class PgFeatureClass final : public gis::FeatureClass {
public:
    PgFeatureClass(SharedDatasetHandle ds, OGRLayer* rows, gis::DatasetNamePtr name, gis::FeatureClassDetails details)
        : ds_(std::move(ds)), rows_(rows), name_(std::move(name)), details_(details) {}
    ~PgFeatureClass() override {
        ErrorCapture capture;
        ds_->ReleaseResultSet(rows_);
    }
    PgFeatureClass(const PgFeatureClass&) = delete;
    PgFeatureClass& operator=(const PgFeatureClass&) = delete;

    std::string Name() const override { return name_->Name(); }
    std::string AliasName() const override { return name_->Name(); }
    int FeatureKind() const override { return details_.featureKind; }
    int ShapeKind() const override { return details_.shapeKind; }
    long long FeatureCount() const override {
        ErrorCapture capture;
        const auto n = rows_->GetFeatureCount(TRUE);
        return capture.HasError() ? -1 : static_cast<long long>(n);
    }
    gis::DatasetNamePtr FullName() const override { return name_; }
    std::optional<gis::DataSourceInfo> SourceInfo() const override { return name_->SourceInfo(); }
    std::optional<gis::Envelope> Extent() const override {
        ErrorCapture capture;
        OGREnvelope e;
        if (rows_->GetExtent(&e, TRUE) != OGRERR_NONE) return std::nullopt;
        return Union(std::nullopt, e);
    }
    std::string SpatialReference() const override { return ReferenceText(rows_->GetSpatialRef()); }

private:
    SharedDatasetHandle ds_;
    OGRLayer* rows_;
    gis::DatasetNamePtr name_;
    gis::FeatureClassDetails details_;
};

// ---- Dataset names ----------------------------------------------------------

// Schema, table and column are carried apart from the name shown, and each
// reaches the drivers quoted as they read it back.
class PgName final : public GdalDatasetName, public std::enable_shared_from_this<PgName> {
public:
    PgName(PgContextPtr ctx, std::string name, int kind, std::string schema, std::string table)
        : ctx_(std::move(ctx)), name_(std::move(name)), kind_(kind), schema_(std::move(schema)), table_(std::move(table)),
          workspace_(ctx_->workspaceName) {}

    std::string Name() const override { return name_; }
    // The new name is the dataset's own name (a schema for a feature dataset,
    // a table otherwise) in the schema it has: never split at a ".", which a
    // table name may hold.
    void SetName(const std::string& name) override {
        name_ = name;
        (kind_ == gis::kind::kFeatureDataset ? schema_ : table_) = name;
    }
    int Kind() const override { return kind_; }
    std::vector<gis::DatasetNamePtr> SubsetNames() const override { return subsets; }
    gis::WorkspaceNamePtr GetWorkspaceName() const override { return workspace_; }
    void SetWorkspaceName(gis::WorkspaceNamePtr name) override { workspace_ = std::move(name); }
    std::optional<gis::FeatureClassDetails> Details() const override {
        if (kind_ != gis::kind::kFeatureClass) return std::nullopt;
        return details;
    }
    std::optional<gis::TablePath> Table() const override {
        if (kind_ == gis::kind::kFeatureDataset) return std::nullopt;
        return gis::TablePath{schema_, table_, column};
    }

    std::optional<gis::DataSourceInfo> SourceInfo() const override {
        gis::DataSourceInfo source;
        source.driver = kind_ == gis::kind::kRasterDataset ? kRasterDrivers[0] : kVectorDrivers[0];
        for (auto& parameter : Connection().Parameters({}))
            if (parameter.first != "application_name") source.connection.push_back(std::move(parameter));
        source.table = gis::TablePath{schema_, kind_ == gis::kind::kFeatureDataset ? std::string() : table_,
                                      kind_ == gis::kind::kFeatureDataset ? std::string() : column};
        return source;
    }

    gis::DatasetPtr Open() const override {
        InitGdal();
        const PgConnection c = Connection();
        if (kind_ == gis::kind::kFeatureClass) return OpenFeatureClass(c);
        if (kind_ == gis::kind::kRasterDataset) return OpenRaster(c);
        throw PlatformError(errnum::kTypeMismatch, kPgSource, "'" + name_ + "' is not a feature class or a raster dataset");
    }

    // Filled by the catalogue.
    std::vector<gis::DatasetNamePtr> subsets;
    gis::FeatureClassDetails details;
    std::string column;

private:
    std::string Described() const { return gis::DescribeTable({schema_, table_, {}}); }

    // A name whose workspace name was changed opens where that points.
    PgConnection Connection() const {
        if (workspace_ && workspace_ != ctx_->workspaceName && workspace_->Factory() == gis::FactoryKind::SpatialDatabase)
            return PgConnection::FromProperties(workspace_->ConnectionProperties());
        return ctx_->connection;
    }

    gis::DatasetPtr OpenFeatureClass(const PgConnection& c) const {
        const std::string sql = "SELECT * FROM " + QuoteIdentifier(schema_) + "." + QuoteIdentifier(table_);
        auto ds = OpenVector(c);
        ErrorCapture capture;
        OGRLayer* rows = ds->ExecuteSQL(sql.c_str(), nullptr, nullptr);
        if (!rows) Fail(capture, errnum::kFileNotFound, "no spatial table " + Described() + " in " + c.Describe(), c.password);
        return std::make_shared<PgFeatureClass>(ds, rows, std::const_pointer_cast<PgName>(shared_from_this()), details);
    }

    gis::DatasetPtr OpenRaster(const PgConnection& c) const {
        const PasswordFile password(c.password);
        const std::string s = RasterConnectionString(c, password.Path(), {schema_, table_, column});
        ErrorCapture capture;
        GDALDataset* ds = OpenRaw(s, GDAL_OF_RASTER, kRasterDrivers);
        if (!ds) Fail(capture, errnum::kFileNotFound, "cannot open the raster table " + Described(), c.password);
        return std::make_shared<GdalRaster>(SharedDatasetHandle(ds, DatasetCloser{}), name_, SourceInfo());
    }

    PgContextPtr ctx_;
    std::string name_;
    int kind_;
    std::string schema_;
    std::string table_;
    gis::WorkspaceNamePtr workspace_;
};
using PgNamePtr = std::shared_ptr<PgName>;

// The catalogue of one database, read with one query.
struct Catalogue {
    std::vector<PgNamePtr> featureDatasets;
    std::vector<PgNamePtr> featureClasses; // public's
    std::vector<PgNamePtr> rasters;        // public's
    std::vector<PgNamePtr> tables;         // plain tables outside feature datasets
};

PgNamePtr MakeName(const PgContextPtr& ctx, CatalogueEntry&& e, std::string display) {
    auto n = std::make_shared<PgName>(ctx, std::move(display), e.kind, std::move(e.schema), std::move(e.table));
    n->column = std::move(e.column);
    n->details = {gis::feature::kSimple, e.shapeKind};
    return n;
}

// The same, shown by its table's name.
PgNamePtr MakeName(const PgContextPtr& ctx, CatalogueEntry&& e) {
    std::string display = e.table;
    return MakeName(ctx, std::move(e), std::move(display));
}

// A schema other than public that holds a feature class or a raster is a
// feature dataset; public's tables are the database's top level.
bool MakesFeatureDataset(const CatalogueEntry& e) { return e.kind != gis::kind::kTable && e.schema != "public"; }

Catalogue ReadCatalogue(const PgSession& session, const PgContextPtr& ctx) {
    auto entries = ReadCatalogueEntries(session); // ordered by schema, then table
    std::set<std::string> spatialSchemas;
    for (const auto& e : entries)
        if (MakesFeatureDataset(e)) spatialSchemas.insert(e.schema);

    Catalogue cat;
    std::map<std::string, PgNamePtr> datasets;
    for (auto& e : entries) {
        if (spatialSchemas.count(e.schema)) {
            auto& fd = datasets[e.schema];
            if (!fd) {
                fd = std::make_shared<PgName>(ctx, e.schema, gis::kind::kFeatureDataset, e.schema, "");
                cat.featureDatasets.push_back(fd);
            }
            fd->subsets.push_back(MakeName(ctx, std::move(e)));
        } else if (e.schema == "public") {
            const int kind = e.kind;
            auto n = MakeName(ctx, std::move(e));
            (kind == gis::kind::kFeatureClass ? cat.featureClasses
             : kind == gis::kind::kRasterDataset ? cat.rasters
                                                 : cat.tables)
                .push_back(n);
        } else {
            std::string display = e.schema + "." + e.table;
            cat.tables.push_back(MakeName(ctx, std::move(e), std::move(display)));
        }
    }
    return cat;
}

// ---- Workspace ----------------------------------------------------------------

class PgWorkspace final : public gis::Workspace {
public:
    PgWorkspace(PgContextPtr ctx, std::unique_ptr<PgSession> session) : ctx_(std::move(ctx)), session_(std::move(session)) {}

    gis::WorkspaceNamePtr Name() const override { return ctx_->workspaceName; }

    std::vector<gis::DatasetNamePtr> ListDatasetNames(int datasetKind) override {
        if (!catalogue_) catalogue_ = ReadCatalogue(*session_, ctx_);
        const Catalogue& c = *catalogue_;
        std::vector<gis::DatasetNamePtr> out;
        auto add = [&](const std::vector<PgNamePtr>& names) { out.insert(out.end(), names.begin(), names.end()); };
        switch (datasetKind) {
        case gis::kind::kAny:
            add(c.featureDatasets), add(c.featureClasses), add(c.rasters), add(c.tables);
            break;
        case gis::kind::kGeo:
            add(c.featureDatasets), add(c.featureClasses), add(c.rasters);
            break;
        case gis::kind::kFeatureDataset: add(c.featureDatasets); break;
        case gis::kind::kFeatureClass: add(c.featureClasses); break;
        case gis::kind::kRasterDataset: add(c.rasters); break;
        case gis::kind::kTable: add(c.tables); break;
        default: break;
        }
        return out;
    }

    // One schema is read alone, unless the whole catalogue is at hand.
    std::vector<gis::DatasetNamePtr> FeatureDatasetsNamed(const std::string& name) override {
        if (catalogue_) return gis::Workspace::FeatureDatasetsNamed(name);
        auto entries = ReadSchemaEntries(*session_, name);
        if (std::none_of(entries.begin(), entries.end(), MakesFeatureDataset)) return {};
        auto dataset = std::make_shared<PgName>(ctx_, name, gis::kind::kFeatureDataset, name, "");
        dataset->subsets.reserve(entries.size());
        for (auto& e : entries) dataset->subsets.push_back(MakeName(ctx_, std::move(e)));
        return {dataset};
    }

    std::vector<gis::VersionInfo> ListVersions() override {
        const char* const what = "the versions cannot be read";
        const auto probe = session_->Query("SELECT (to_regclass('sde.sde_versions') IS NOT NULL)::int AS has_versions",
                                           {}, what, errnum::kAutomationError);
        if (probe.empty() || probe[0].empty() || probe[0][0].value_or("0") != "1")
            return {{"sde.DEFAULT", "Instance default version.", std::nullopt}};
        std::vector<gis::VersionInfo> versions;
        for (const auto& r : session_->Query("SELECT owner::text, name::text, description::text, parent_owner::text, "
                                             "parent_name::text FROM sde.sde_versions ORDER BY version_id",
                                             {}, what, errnum::kAutomationError)) {
            if (r.size() < 5) continue;
            gis::VersionInfo v;
            v.name = r[0].value_or("") + "." + r[1].value_or("");
            v.description = r[2].value_or("");
            if (r[4]) v.parent = (r[3] ? *r[3] + "." : std::string()) + *r[4];
            versions.push_back(std::move(v));
        }
        return versions;
    }

private:
    PgContextPtr ctx_;
    std::unique_ptr<PgSession> session_;
    std::optional<Catalogue> catalogue_;
};

// ---- Factory ------------------------------------------------------------------

class PgFactory final : public gis::WorkspaceFactory {
public:
    gis::FactoryKind Kind() const noexcept override { return gis::FactoryKind::SpatialDatabase; }

    gis::WorkspacePtr OpenWorkspace(const gis::PropertySet& properties, gis::WindowHandle) override {
        lastFailure_.clear();
        auto ctx = std::make_shared<PgContext>();
        ctx->connection = PgConnection::FromProperties(properties);
        ctx->properties = properties;
        ctx->workspaceName = std::make_shared<gis::WorkspaceName>(gis::FactoryKind::SpatialDatabase,
                                                                  ctx->connection.Describe(), properties);
        // The workspace lists through a session of its own; GDAL's driver
        // connects only for what is opened. An unreachable server or a
        // refused login is an answer, not a fault of ours: the caller tells
        // the user.
        auto session = PgSession::Connect(ctx->connection, lastFailure_);
        if (!session) return nullptr;
        return std::make_shared<PgWorkspace>(ctx, std::move(session));
    }

    gis::WorkspacePtr OpenWorkspaceFromFile(const std::string& path, gis::WindowHandle parent) override {
        return OpenWorkspace(ReadConnectionProperties(path), parent);
    }

    gis::PropertySet ReadConnectionProperties(const std::string& path) override {
        // Only a regular file, and no more of it than a connection file
        // holds: a pipe named like one would wait for ever, a device never end.
        constexpr std::size_t kMaxBytes = 64 * 1024; // a connection file is a few lines
        std::string text;
        try {
            text = posix::ReadRegularFile(path, kMaxBytes);
        } catch (const PlatformError& e) {
            throw PlatformError(e.Number(), kPgSource,
                                (e.Number() == kInvalidFileFormat ? "not a Marbrook connection file: "
                                                                  : "cannot read the connection file: ") +
                                    e.Description());
        }
        try {
            return ParseConnectionFile(text);
        } catch (const PlatformError& e) {
            throw PlatformError(e.Number(), kPgSource, e.Description() + " (" + path + ")");
        }
    }

    gis::WorkspaceNamePtr CreateConnectionFile(const std::string& folder, const std::string& fileName,
                                               const gis::PropertySet& properties, gis::WindowHandle) override {
        const std::string path = folder.empty() || folder.back() == '/' ? folder + fileName : folder + "/" + fileName;
        // Never replaces a file; readable by its owner only, from the first byte.
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            const int err = errno;
            if (err == ENOENT || err == EACCES || err == EEXIST || err == EROFS || err == ENOTDIR) {
                lastFailure_ = "cannot create " + path + ": " + std::strerror(err);
                return nullptr;
            }
            throw PlatformError(errnum::kPathFileAccessError, kPgSource, "cannot create " + path + ": " + std::strerror(err));
        }
        ::fchmod(fd, 0600);
        const std::string text = FormatConnectionFile(properties);
        std::size_t done = 0;
        while (done < text.size()) {
            const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                const int err = errno;
                ::close(fd);
                ::unlink(path.c_str());
                throw PlatformError(errnum::kPathFileAccessError, kPgSource, "cannot write " + path + ": " + std::strerror(err));
            }
            done += static_cast<std::size_t>(n);
        }
        if (::close(fd) != 0) {
            const int err = errno;
            ::unlink(path.c_str());
            throw PlatformError(errnum::kPathFileAccessError, kPgSource, "cannot write " + path + ": " + std::strerror(err));
        }
        return std::make_shared<gis::WorkspaceName>(gis::FactoryKind::SpatialDatabase, path, properties);
    }

    std::string LastOpenFailure() const override { return lastFailure_; }

private:
    std::string lastFailure_;
};

} // namespace

std::shared_ptr<gis::WorkspaceFactory> NewSpatialDatabaseFactory() {
    InitGdal();
    return std::make_shared<PgFactory>();
}

} // namespace marbrook::gdal
