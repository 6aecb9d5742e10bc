// Building map layers from the items the user chose, in the fixed order of
// layer groups the host expects: annotation, point, line, polygon and CAD,
// raster.
#include <array>
#include <memory>

#include "catalogue/basOpenDialogs.h"
#include "catalogue/CLayerObj.h"
#include "platform/error.h"
#include "platform/platform.h"
#include "support/Failure.h"

namespace marbrook {

namespace {

constexpr const char* kSource = "Marbrook";

[[noreturn]] void ObjectNotSet(const char* what) {
    throw PlatformError(errnum::kObjectNotSet, kSource, std::string("Object variable not set: ") + what);
}

const gis::DatasetName& Require(const gis::DatasetNamePtr& name) {
    if (!name) ObjectNotSet("the item has no dataset name");
    return *name;
}

// The working groups of one call, in their declared order.
enum Group { kAnnotation = 0, kPoint, kLine, kPolygon, kRaster, kGroupCount };

} // namespace

void SortLayerByGeometry(const gis::FeatureLayerPtr& layer, Collection& pointGroup, Collection& lineGroup,
                         Collection& polygonGroup, Collection& annotationGroup) {
    // A value that cannot be read makes its test fail; the layer then joins
    // no group and is dropped.
    IgnoreFailure([&] {
        if (!layer) return;
        const gis::FeatureClassPtr featureClass = layer->GetFeatureClass();
        if (!featureClass) return;
        const int featureKind = featureClass->FeatureKind();
        if (featureKind == gis::feature::kSimple) {
            switch (featureClass->ShapeKind()) {
            case gis::shape::kPoint: pointGroup.Add(layer); break;
            case gis::shape::kPolyline: lineGroup.Add(layer); break;
            case gis::shape::kPolygon: polygonGroup.Add(layer); break;
            default: break; // multipatch, the second line kind ...: no layer
            }
        } else if (featureKind == gis::feature::kAnnotation || featureKind == gis::feature::kCoverageAnnotation) {
            annotationGroup.Add(layer);
        }
    });
}

bool AddLayersBySort(Platform& p, Collection& items) {
    Steps step(p, "Marbrook.basOpenDialogs.AddLayersBySort:");
    bool result = false;
    std::array<std::unique_ptr<Collection>, kGroupCount> groups;
    try {
        step(100);
        result = false;
        step(101);
        p.ui.SetMousePointer(ui::MousePointer::ArrowHourglass);
        for (int g = 0; g < kGroupCount; ++g) {
            step(102 + g);
            groups[static_cast<std::size_t>(g)] = std::make_unique<Collection>();
        }
        Collection& annotation = *groups[kAnnotation];
        Collection& point = *groups[kPoint];
        Collection& line = *groups[kLine];
        Collection& polygon = *groups[kPolygon];
        Collection& raster = *groups[kRaster];
        const auto sortFeatureLayer = [&](const gis::FeatureLayerPtr& layer) {
            SortLayerByGeometry(layer, point, line, polygon, annotation);
        };

        // Nothing in `items` changes until every item has become layers: a
        // failure half-way leaves the caller's selection whole.
        step(107);
        const long count = items.Count();
        for (long i = 1; i <= count; ++i) {
            step(108);
            const auto item = items.ItemAs<CLayerObj>(i);
            if (!item) throw PlatformError(errnum::kTypeMismatch, kSource, "Type mismatch: the item is not a chosen data item");
            step(109);
            const gis::DatasetNamePtr name = item->pDataSetObj();
            step(110);
            switch (item->DataType()) {
            case ltFeatureClass: {
                const gis::FeatureClassPtr featureClass = gis::AsFeatureClass(p.gis.OpenName(Require(name)));
                step(111);
                const gis::FeatureLayerPtr layer = p.gis.NewFeatureLayer(gis::LayerKind::Feature);
                step(112);
                layer->SetFeatureClass(featureClass);
                step(113);
                layer->SetName(layer->GetFeatureClass()->AliasName());
                step(114);
                sortFeatureLayer(layer);
                break;
            }
            case ltAnnotationClass: {
                step(115);
                const gis::FeatureClassPtr featureClass = gis::AsFeatureClass(p.gis.OpenName(Require(name)));
                step(116);
                const gis::LayerKind kind = featureClass->FeatureKind() == gis::feature::kCoverageAnnotation
                                                ? gis::LayerKind::CoverageAnnotation
                                                : gis::LayerKind::Annotation;
                const gis::FeatureLayerPtr layer = p.gis.NewFeatureLayer(kind);
                step(117);
                layer->SetFeatureClass(featureClass);
                step(118);
                layer->SetName(layer->GetFeatureClass()->AliasName());
                step(119);
                sortFeatureLayer(layer);
                break;
            }
            case ltFeatureDataset: {
                step(120);
                const gis::DatasetName& dataset = Require(name);
                step(121);
                const std::vector<gis::DatasetNamePtr> subsets = dataset.SubsetNames();
                for (const gis::DatasetNamePtr& subset : subsets) {
                    step(122);
                    const gis::FeatureLayerPtr layer = p.gis.NewFeatureLayer(gis::LayerKind::Feature);
                    step(123);
                    const gis::FeatureClassPtr featureClass = gis::AsFeatureClass(p.gis.OpenName(Require(subset)));
                    step(124);
                    layer->SetFeatureClass(featureClass);
                    step(125);
                    layer->SetName(layer->GetFeatureClass()->AliasName());
                    step(126);
                    sortFeatureLayer(layer);
                    step(127);
                }
                step(130);
                break;
            }
            case ltRaster: {
                step(131);
                const gis::RasterDatasetPtr dataset = gis::AsRasterDataset(p.gis.OpenName(Require(name)));
                step(132);
                const gis::RasterLayerPtr layer = p.gis.NewRasterLayer();
                step(133);
                layer->CreateFromDataset(dataset);
                step(134);
                raster.Add(layer);
                step(135);
                break;
            }
            case ltCadDrawing: {
                step(136);
                const gis::DatasetName& drawing = Require(name);
                step(137);
                const std::vector<gis::DatasetNamePtr> subsets = drawing.SubsetNames();
                for (const gis::DatasetNamePtr& subset : subsets) {
                    step(138);
                    const gis::DatasetName& member = Require(subset);
                    // The feature classes of a drawing are offered on their
                    // own; the CAD layer shows the drawing as a whole.
                    step(139);
                    if (member.Details()) continue;
                    step(140);
                    const gis::WorkspaceFactoryPtr factory = p.gis.CreateWorkspaceFactory(gis::FactoryKind::Cad);
                    if (!factory) ObjectNotSet("no CAD workspace factory");
                    step(141);
                    const gis::WorkspaceNamePtr workspaceName = member.GetWorkspaceName();
                    if (!workspaceName) ObjectNotSet("the drawing has no workspace");
                    step(142);
                    const gis::WorkspacePtr workspace = factory->OpenWorkspaceFromFile(workspaceName->PathName(), gis::kNoWindow);
                    if (!workspace) ObjectNotSet("the CAD workspace could not be opened");
                    step(143);
                    const std::string drawingName = member.Name();
                    const gis::CadDrawingDatasetPtr dataset = p.gis.OpenCadDrawingDataset(*workspace, drawingName);
                    step(144);
                    const gis::CadLayerPtr layer = p.gis.NewCadLayer();
                    step(145);
                    layer->SetName(drawingName);
                    step(146);
                    layer->SetCadDrawingDataset(dataset);
                    step(147);
                    polygon.Add(layer);
                    step(148);
                }
                step(149);
                break;
            }
            case ltSdeConnection:
                step(150);
                step(151);
                break;
            default:
                // Raster catalogs, and items whose kind has no layer.
                break;
            }
        }

        step(152);
        const long held = items.Count();
        for (long i = 1; i <= held; ++i) {
            step(153);
            items.Remove(1);
        }

        for (int g = 0; g < kGroupCount; ++g) {
            Collection& group = *groups[static_cast<std::size_t>(g)];
            step(154 + 2 * g);
            for (long i = 1; i <= group.Count(); ++i) {
                step(155 + 2 * g);
                items.Add(group.Item(i));
            }
        }
        step(164);
        result = true;
        for (int g = 0; g < kGroupCount; ++g) {
            step(165 + 2 * g);
            Collection& group = *groups[static_cast<std::size_t>(g)];
            while (group.Count() > 0) {
                step(166 + 2 * g);
                group.Remove(1);
            }
        }
        for (int g = 0; g < kGroupCount; ++g) {
            step(175 + g);
            groups[static_cast<std::size_t>(g)].reset();
        }
        step(180);
        p.ui.SetMousePointer(ui::MousePointer::Default);
    } catch (...) {
        for (auto& group : groups) group.reset();
        IgnoreFailure([&] { p.ui.SetMousePointer(ui::MousePointer::Default); });
        step.Report();
        result = false;
    }
    return result;
}

} // namespace marbrook
