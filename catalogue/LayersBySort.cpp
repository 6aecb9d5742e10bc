// Building map layers from the items the user chose, in the fixed order of
// layer groups the host expects: annotation, point, line, polygon and CAD,
// raster.
#include <array>
#include <memory>
#include <optional>

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

namespace {

// Joins `layer` to the group of its kind; false when it joins none. A class
// the listing offers as a line is a line whichever line kind it is;
// multipoint classes draw as points and multipatch classes as polygons (GDAL
// reads them as multipolygons).
bool PlaceByGeometry(const gis::FeatureLayerPtr& layer, Collection& pointGroup, Collection& lineGroup,
                     Collection& polygonGroup, Collection& annotationGroup) {
    if (!layer) return false;
    const gis::FeatureClassPtr featureClass = layer->GetFeatureClass();
    if (!featureClass) return false;
    const int featureKind = featureClass->FeatureKind();
    if (featureKind == gis::feature::kAnnotation || featureKind == gis::feature::kCoverageAnnotation) {
        annotationGroup.Add(layer);
        return true;
    }
    if (featureKind != gis::feature::kSimple) return false;
    switch (featureClass->ShapeKind()) {
    case gis::shape::kPoint:
    case gis::shape::kMultipoint: pointGroup.Add(layer); return true;
    case gis::shape::kPolyline:
    case gis::shape::kLine: lineGroup.Add(layer); return true;
    case gis::shape::kPolygon:
    case gis::shape::kMultiPatch: polygonGroup.Add(layer); return true;
    default: return false;
    }
}

// Why a feature class of these kinds makes no layer.
std::string KindReason(int featureKind, int shapeKind) {
    if (featureKind != gis::feature::kSimple)
        return std::string(reason::kUnsupportedFeatureKind) + "（" + std::to_string(featureKind) + "）";
    return std::string(reason::kUnsupportedShapeKind) + "（" + std::to_string(shapeKind) + "）";
}

// Why a feature layer that joins no group gives the user no layer.
std::string NoGroupReason(const gis::FeatureLayerPtr& layer) {
    std::string reason = reason::kUnreadableGeometry;
    IgnoreFailure([&] {
        const gis::FeatureClassPtr featureClass = layer ? layer->GetFeatureClass() : nullptr;
        if (!featureClass) return;
        const int featureKind = featureClass->FeatureKind();
        reason = KindReason(featureKind, featureKind == gis::feature::kSimple ? featureClass->ShapeKind() : 0);
    });
    return reason;
}

// Why an item of a kind that makes no layer gives none, told by what it is.
std::string NoLayerReason(const CLayerObj& item) {
    const std::string& desc = item.DataTypeDesc();
    if (item.DataType() == ltRasterCatalog) return reason::kRasterCatalog;
    // A feature class listed without a kind: its kinds say why.
    std::optional<gis::FeatureClassDetails> details;
    IgnoreFailure([&] {
        if (item.pDataSetObj()) details = item.pDataSetObj()->Details();
    });
    if (details) return KindReason(details->featureKind, details->shapeKind);
    if (item.DataType() == ltSdeConnection || desc == desc::kSdeConnection || desc == desc::kDatabaseRoot ||
        item.DataName() == kNewSdeConnectionName)
        return reason::kConnection;
    if (desc == desc::kFolder) return reason::kFolder;
    if (desc == desc::kPersonalGdb) return reason::kPersonalGdb;
    if (desc == desc::kSdeTable) return reason::kTable;
    return reason::kNotALayer;
}

} // namespace

void SortLayerByGeometry(const gis::FeatureLayerPtr& layer, Collection& pointGroup, Collection& lineGroup,
                         Collection& polygonGroup, Collection& annotationGroup) {
    // A value that cannot be read makes its test fail; the layer then joins
    // no group and is dropped.
    IgnoreFailure([&] { (void)PlaceByGeometry(layer, pointGroup, lineGroup, polygonGroup, annotationGroup); });
}

bool AddLayersBySort(Platform& p, Collection& items, std::vector<NoLayer>* noLayers) {
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
        // A choice whose caller hears what gave no layer is built item by
        // item: an item (or a member of a feature dataset) that cannot become
        // a layer is named with the reason and passed over, and the first
        // such failure is logged. Otherwise a failure ends the whole call.
        bool failureLogged = false;
        const auto noLayer = [&](const std::string& name, std::string why) {
            if (noLayers) noLayers->push_back({name, std::move(why)});
        };
        // Names are asked for only when there is something to tell.
        const auto tolerate = [&](const auto& nameOf, const auto& build) {
            if (!noLayers) return build();
            try {
                build();
            } catch (...) {
                const ErrorInfo failure = failureLogged ? DescribeCurrentException() : step.Report();
                failureLogged = true;
                noLayer(nameOf(), reason::kFailed + failure.description);
            }
        };
        const auto sortFeatureLayer = [&](const gis::FeatureLayerPtr& layer, const auto& nameOf) {
            bool placed = false;
            IgnoreFailure([&] { placed = PlaceByGeometry(layer, point, line, polygon, annotation); });
            if (!placed && noLayers) noLayer(nameOf(), NoGroupReason(layer));
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
            const std::string itemName = item->DataName();
            const auto nameOfItem = [&itemName] { return itemName; };
            step(110);
            switch (item->DataType()) {
            case ltFeatureClass:
                tolerate(nameOfItem, [&] {
                    const gis::FeatureClassPtr featureClass = gis::AsFeatureClass(p.gis.OpenName(Require(name)));
                    step(111);
                    const gis::FeatureLayerPtr layer = p.gis.NewFeatureLayer(gis::LayerKind::Feature);
                    step(112);
                    layer->SetFeatureClass(featureClass);
                    step(113);
                    layer->SetName(layer->GetFeatureClass()->AliasName());
                    step(114);
                    sortFeatureLayer(layer, nameOfItem);
                });
                break;
            case ltAnnotationClass:
                tolerate(nameOfItem, [&] {
                    step(115);
                    const gis::FeatureClassPtr featureClass = gis::AsFeatureClass(p.gis.OpenName(Require(name)));
                    step(116);
                    // Classes of a kind the listing calls "other" (a
                    // geodatabase's multipoint or multipatch classes) are
                    // drawn as features, not as annotation.
                    const int featureKind = featureClass->FeatureKind();
                    const gis::LayerKind kind = featureKind == gis::feature::kCoverageAnnotation ? gis::LayerKind::CoverageAnnotation
                                                : featureKind == gis::feature::kAnnotation       ? gis::LayerKind::Annotation
                                                                                                  : gis::LayerKind::Feature;
                    const gis::FeatureLayerPtr layer = p.gis.NewFeatureLayer(kind);
                    step(117);
                    layer->SetFeatureClass(featureClass);
                    step(118);
                    layer->SetName(layer->GetFeatureClass()->AliasName());
                    step(119);
                    sortFeatureLayer(layer, nameOfItem);
                });
                break;
            case ltFeatureDataset: {
                std::vector<gis::DatasetNamePtr> subsets;
                tolerate(nameOfItem, [&] {
                    step(120);
                    const gis::DatasetName& dataset = Require(name);
                    step(121);
                    subsets = dataset.SubsetNames();
                });
                for (const gis::DatasetNamePtr& subset : subsets) {
                    // A member whose name cannot be read is still told of.
                    const auto memberName = [&] {
                        std::string label = itemName + "/";
                        IgnoreFailure([&] { label += Require(subset).Name(); });
                        return label;
                    };
                    tolerate(memberName, [&] {
                        step(122);
                        const int memberKind = Require(subset).Kind();
                        if (memberKind == gis::kind::kRasterDataset) {
                            // A raster of a feature dataset is a raster layer.
                            step(128);
                            const gis::RasterDatasetPtr dataset = gis::AsRasterDataset(p.gis.OpenName(*subset));
                            step(129);
                            const gis::RasterLayerPtr layer = p.gis.NewRasterLayer();
                            layer->CreateFromDataset(dataset);
                            raster.Add(layer);
                            return;
                        }
                        if (memberKind != gis::kind::kFeatureClass) {
                            // Tables and the like: no layer, and no reason to
                            // drop the dataset's other members.
                            if (noLayers) noLayer(memberName(), memberKind == gis::kind::kTable ? reason::kTable : reason::kNotALayer);
                            return;
                        }
                        const gis::FeatureLayerPtr layer = p.gis.NewFeatureLayer(gis::LayerKind::Feature);
                        step(123);
                        const gis::FeatureClassPtr featureClass = gis::AsFeatureClass(p.gis.OpenName(*subset));
                        step(124);
                        layer->SetFeatureClass(featureClass);
                        step(125);
                        layer->SetName(layer->GetFeatureClass()->AliasName());
                        step(126);
                        sortFeatureLayer(layer, memberName);
                        step(127);
                    });
                }
                step(130);
                break;
            }
            case ltRaster:
                tolerate(nameOfItem, [&] {
                    step(131);
                    const gis::RasterDatasetPtr dataset = gis::AsRasterDataset(p.gis.OpenName(Require(name)));
                    step(132);
                    const gis::RasterLayerPtr layer = p.gis.NewRasterLayer();
                    step(133);
                    layer->CreateFromDataset(dataset);
                    step(134);
                    raster.Add(layer);
                    step(135);
                });
                break;
            case ltCadDrawing:
                tolerate(nameOfItem, [&] {
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
                        const gis::WorkspacePtr workspace =
                            factory->OpenWorkspaceFromFile(workspaceName->PathName(), gis::kNoWindow);
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
                });
                break;
            case ltSdeConnection:
                step(150);
                step(151);
                if (noLayers) noLayer(itemName, NoLayerReason(*item));
                break;
            default:
                // Raster catalogs, and items whose kind has no layer.
                if (noLayers) noLayer(itemName, NoLayerReason(*item));
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

std::string NoLayerMessage(const std::vector<NoLayer>& noLayers, long made) {
    // A message box must fit on the screen: the first names, then a count.
    constexpr std::size_t kShown = 15;
    std::string text = made > 0 ? "已添加 " + std::to_string(made) + " 个图层，以下 " + std::to_string(noLayers.size()) +
                                      " 项没有生成图层："
                                : std::string("所选数据都不能生成图层：");
    for (std::size_t i = 0; i < noLayers.size() && i < kShown; ++i)
        text += "\r\n" + noLayers[i].name + "：" + noLayers[i].reason;
    if (noLayers.size() > kShown) text += "\r\n……另有 " + std::to_string(noLayers.size() - kShown) + " 项";
    return text;
}

bool AddChosenLayers(Platform& p, Collection& items) {
    Steps step(p, "Marbrook.basOpenDialogs.AddChosenLayers:");
    try {
        step(100);
        const long chosen = items.Count();
        Collection built = items;
        std::vector<NoLayer> noLayers;
        step(101);
        if (!AddLayersBySort(p, built, &noLayers)) return false;
        step(102);
        if (!noLayers.empty())
            p.ui.MessageBox(NoLayerMessage(noLayers, built.Count()), ui::MessageIcon::Information, "VERDANTA");
        step(103);
        if (built.Count() == 0 && chosen > 0) return false;
        step(104);
        items = std::move(built);
        return true;
    } catch (...) {
        step.Report();
        return false;
    }
}

} // namespace marbrook
