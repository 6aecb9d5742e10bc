#include "connections/DatabaseListings.h"

#include "platform/platform.h"
#include "support/Failure.h"

namespace marbrook {

namespace {

constexpr const char* kTitle = "VERDANTA";
constexpr const char* kOpenFailed = "打开工作空间错误.";

void Pointer(Platform& p, ui::MousePointer pointer) noexcept {
    IgnoreFailure([&] { p.ui.SetMousePointer(pointer); });
}

// The feature-class rule of the listings. `otherKind` is the code of a class
// that is neither simple nor annotation; a simple class of another geometry
// is dtOtherFeatureClass everywhere. Steps: `first` tests annotation, the
// next ones the simple geometries, one test and one assignment each.
std::int16_t FeatureClassType(const gis::FeatureClassDetails& d, std::int16_t otherKind, Steps& step, int first) {
    step(first);
    if (d.featureKind == gis::feature::kAnnotation) {
        step(first + 1);
        return dtAnnotationFeatureClass;
    }
    step(first + 2);
    if (d.featureKind != gis::feature::kSimple) return otherKind;
    step(first + 3);
    if (d.shapeKind == gis::shape::kPoint) {
        step(first + 4);
        return dtSdePointFeatureClass;
    }
    step(first + 5);
    if (d.shapeKind == gis::shape::kPolyline || d.shapeKind == gis::shape::kLine) {
        step(first + 6);
        return dtSdeLineFeatureClass;
    }
    step(first + 7);
    if (d.shapeKind == gis::shape::kPolygon) {
        step(first + 8);
        return dtSdePolygonFeatureClass;
    }
    return dtOtherFeatureClass;
}

// Opens the spatial database a connection file describes; none after the
// user has been told that nothing opened.
gis::WorkspacePtr OpenSdeWorkspace(Platform& p, const std::string& sdePath, gis::WindowHandle parent, Steps& step) {
    step(104);
    auto factory = p.gis.CreateWorkspaceFactory(gis::FactoryKind::SpatialDatabase);
    step(105);
    const gis::PropertySet properties = factory->ReadConnectionProperties(sdePath);
    step(106);
    auto workspace = factory->OpenWorkspace(properties, parent);
    step(107);
    if (!workspace) {
        step(108);
        p.ui.MessageBox(kOpenFailed, ui::MessageIcon::Information, kTitle);
    }
    return workspace;
}

// The members of the feature dataset `fdName` (exact, case-sensitive match;
// the first of equal names wins); empty when there is none. The workspace
// gives the feature datasets of that name only: a database reads that one
// schema, not all of them.
std::vector<gis::DatasetNamePtr> FeatureDatasetMembers(gis::Workspace& workspace, const std::string& fdName, Steps& step) {
    step(110);
    const auto datasets = workspace.FeatureDatasetsNamed(fdName);
    step(111);
    for (std::size_t i = 0;; ++i) {
        step(112);
        if (i >= datasets.size()) break;
        step(113);
        if (datasets[i]->Name() == fdName) {
            step(114);
            return datasets[i]->SubsetNames();
        }
        step(115);
    }
    return {};
}

// Lists the members of a feature dataset into `items` (already reset to
// element 0), counting in `count`. `otherKind` is the code for a feature
// class that is neither simple nor annotation; the personal-geodatabase
// listing numbers its later steps two higher.
void ListMembers(const std::vector<gis::DatasetNamePtr>& members, const std::string& fullName, DataItems& items,
                 long& count, std::int16_t otherKind, bool pgdbSteps, Steps& step) {
    const int shift = pgdbSteps ? 3 : 0; // its feature-class branch is three steps longer
    step(116);
    for (std::size_t i = 0;; ++i) {
        step(117);
        if (i >= members.size()) break;
        const auto& name = members[i];
        step(118);
        ++count;
        step(119);
        items.emplace_back();
        step(120);
        items.back().DataLocation = 2;
        step(121);
        items.back().DataName = name->Name();
        step(122);
        items.back().DataFullName = fullName;
        step(123);
        items.back().pDataSetObj = name;
        step(124);
        const int kind = name->Kind();
        DataItem& item = items.back();
        if (kind == gis::kind::kFeatureClass) {
            step(125);
            const auto details = gis::RequireDetails(*name);
            item.DataType = FeatureClassType(details, otherKind, step, 128);
            step(137 + shift);
            item.DataTypeDesc = desc::kFeatureClass;
        } else if (kind == gis::kind::kFeatureDataset) {
            step(138 + shift);
            item.DataType = dtFeatureDataset;
            step(139 + shift);
            item.DataTypeDesc = desc::kFeatureDataset;
        } else if (kind == gis::kind::kRasterDataset) {
            step(140 + shift);
            item.DataType = dtRasterDataset;
            step(141 + shift);
            item.DataTypeDesc = desc::kRasterDataset;
        } else if (kind == gis::kind::kRasterCatalog) {
            step(142 + shift);
            item.DataType = dtRasterCatalog;
            step(143 + shift);
            item.DataTypeDesc = desc::kRasterCatalog;
        } else if (kind == gis::kind::kTable) {
            step(144 + shift);
            item.DataType = dtSdeTable;
            step(145 + shift);
            item.DataTypeDesc = desc::kSdeTable;
        } else {
            // Not a kind a feature dataset shows: taken out again.
            if (pgdbSteps) step(149);
            --count;
            if (pgdbSteps) step(150);
            items.pop_back();
        }
        step(pgdbSteps ? 151 : 146);
    }
}

} // namespace

long OpenSdeConnectionEx(Platform& p, const std::string& sdePath, DataItems& items, std::int16_t filterType,
                         gis::WindowHandle parent) {
    Steps step(p, "Marbrook.basOpenDialogs.OpenSdeConnectionEx:");
    long result = 0;
    long count = 0;
    try {
        step(100);
        result = 0;
        step(101);
        if (filterType != 0 && filterType != 3 && filterType != 4) {
            step(102);
            return 0;
        }
        step(103);
        p.ui.SetMousePointer(ui::MousePointer::Hourglass);
        auto workspace = OpenSdeWorkspace(p, sdePath, parent, step);
        if (!workspace) {
            // A failure here is the routine's own: the failure path logs it
            // and restores the pointer once more.
            p.ui.SetMousePointer(ui::MousePointer::Default);
            return 0;
        }
        step(109);
        items.assign(1, DataItem{});
        step(110);
        count = 0;
        step(111);
        std::vector<gis::DatasetNamePtr> names;
        if (filterType == 3) {
            step(112);
            names = workspace->ListDatasetNames(gis::kind::kGeo);
        } else {
            step(113);
            if (filterType == 0) {
                step(114);
                names = workspace->ListDatasetNames(gis::kind::kAny);
            } else {
                step(115);
                names = workspace->ListDatasetNames(gis::kind::kRasterDataset);
            }
        }
        const bool vector = filterType == 0 || filterType == 3;
        const bool raster = filterType == 0 || filterType == 4;
        // Appends an item with the fields every kind shares; `first` is the
        // step of its filter test.
        auto append = [&](const gis::DatasetNamePtr& name, int first) -> DataItem& {
            step(first + 1);
            ++count;
            step(first + 2);
            items.emplace_back();
            step(first + 3);
            items.back().DataLocation = 2;
            step(first + 4);
            items.back().DataName = name->Name();
            step(first + 5);
            items.back().DataFullName = sdePath;
            step(first + 6);
            items.back().pDataSetObj = name;
            return items.back();
        };
        step(116);
        for (std::size_t i = 0;; ++i) {
            step(117);
            if (i >= names.size()) break;
            const auto& name = names[i];
            step(118);
            const int kind = name->Kind();
            if (kind == gis::kind::kFeatureClass) {
                step(119);
                if (vector) {
                    DataItem& item = append(name, 119);
                    step(126);
                    const auto details = gis::RequireDetails(*name);
                    item.DataType = FeatureClassType(details, dtOtherFeatureClass, step, 129);
                    step(138);
                    item.DataTypeDesc = desc::kFeatureClass;
                }
            } else if (kind == gis::kind::kFeatureDataset) {
                step(139);
                if (vector) {
                    DataItem& item = append(name, 139);
                    step(146);
                    item.DataType = dtFeatureDataset;
                    step(147);
                    item.DataLocation = dlSdeFeatureDataset;
                    step(148);
                    item.DataTypeDesc = desc::kFeatureDataset;
                }
            } else if (kind == gis::kind::kRasterDataset) {
                step(149);
                if (raster) {
                    DataItem& item = append(name, 149);
                    step(156);
                    item.DataType = dtRasterDataset;
                    step(157);
                    item.DataTypeDesc = desc::kRasterDataset;
                }
            } else if (kind == gis::kind::kRasterCatalog) {
                step(158);
                if (raster) {
                    DataItem& item = append(name, 158);
                    step(165);
                    item.DataType = dtRasterCatalog;
                    step(166);
                    item.DataTypeDesc = desc::kRasterCatalog;
                }
            }
            step(167);
        }
        step(168);
        result = count;
        step(169);
        p.ui.SetMousePointer(ui::MousePointer::Default);
    } catch (...) {
        step.Report();
        Pointer(p, ui::MousePointer::Default);
        result = count;
    }
    return result;
}

long OpenFeatureDatasetFromSDEEx(Platform& p, const std::string& sdePath, const std::string& fdName, DataItems& items,
                                 std::int16_t filterType, gis::WindowHandle parent) {
    Steps step(p, "Marbrook.basOpenDialogs.OpenFeatureDatasetFromSDEEx:");
    long result = 0;
    long count = 0;
    try {
        step(100);
        result = 0;
        step(101);
        count = 0;
        step(102);
        // Inside a feature dataset only "all" and "vector" list anything.
        if (filterType == 3 || filterType == 0) {
            step(103);
            p.ui.SetMousePointer(ui::MousePointer::Hourglass);
            auto workspace = OpenSdeWorkspace(p, sdePath, parent, step);
            if (!workspace) {
                p.ui.SetMousePointer(ui::MousePointer::Default);
                return 0;
            }
            step(109);
            items.assign(1, DataItem{});
            const auto members = FeatureDatasetMembers(*workspace, fdName, step);
            ListMembers(members, sdePath, items, count, dtOtherFeatureClass, false, step);
        }
        step(147);
        result = count;
        step(148);
        p.ui.SetMousePointer(ui::MousePointer::Default);
    } catch (...) {
        step.Report();
        Pointer(p, ui::MousePointer::Default);
        result = count;
    }
    return result;
}

long OpenFeatureDatasetFromPGeoDBEx(Platform& p, const std::string& mdbPath, const std::string& fdName,
                                    DataItems& items, std::int16_t filterType, gis::WindowHandle parent) {
    Steps step(p, "Marbrook.basOpenDialogs.OpenFeatureDatasetFromPGeoDBEx:");
    long result = 0;
    long count = 0;
    try {
        step(100);
        result = 0;
        step(101);
        count = 0;
        step(102);
        if (filterType == 3 || filterType == 0) {
            // Opening a large .mdb takes a while: busy like its siblings.
            p.ui.SetMousePointer(ui::MousePointer::Hourglass);
            step(103);
            auto properties = p.gis.CreatePropertySet();
            step(104);
            properties->SetProperty("DATABASE", mdbPath);
            step(105);
            auto factory = p.gis.CreateWorkspaceFactory(gis::FactoryKind::PersonalGeodatabase);
            step(106);
            auto workspace = factory->OpenWorkspace(*properties, parent);
            step(107);
            if (!workspace) {
                step(108);
                p.ui.MessageBox(kOpenFailed, ui::MessageIcon::Information, kTitle);
                p.ui.SetMousePointer(ui::MousePointer::Default);
                return 0;
            }
            step(109);
            items.assign(1, DataItem{});
            const auto members = FeatureDatasetMembers(*workspace, fdName, step);
            ListMembers(members, mdbPath, items, count, dtPgdbOtherFeatureClass, true, step);
        }
        step(152);
        result = count;
        step(153);
        p.ui.SetMousePointer(ui::MousePointer::Default);
    } catch (...) {
        step.Report();
        Pointer(p, ui::MousePointer::Default);
        result = count;
    }
    return result;
}

} // namespace marbrook
