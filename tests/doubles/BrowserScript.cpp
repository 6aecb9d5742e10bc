#include "tests/doubles/BrowserScript.h"

#include <gtest/gtest.h>

namespace marbrook::testing {

namespace {

long PositionOf(const frmOpenDialog& form, const std::string& name) {
    const auto& items = form.LVDataList.Items();
    for (std::size_t i = 0; i < items.size(); ++i)
        if (items[i].text == name) return static_cast<long>(i + 1);
    ADD_FAILURE() << "the list shows no item \"" << name << "\"";
    return 0;
}

} // namespace

void Listable(MemoryGis& gis, const std::string& path) {
    const std::string key = path == "/" ? path : path + "/";
    if (!gis.FindWorkspace(gis::FactoryKind::Shapefile, key)) gis.AddWorkspace(gis::FactoryKind::Shapefile, key);
    if (!gis.FindWorkspace(gis::FactoryKind::Raster, key)) gis.AddWorkspace(gis::FactoryKind::Raster, key);
}

void ListableAlong(MemoryGis& gis, const std::string& path) {
    Listable(gis, "/");
    for (std::size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        Listable(gis, path.substr(0, slash));
    Listable(gis, path);
}

void AddRoadsTownsAndDem(MemoryGis& gis, const std::string& folder) {
    auto& shapes = *gis.FindWorkspace(gis::FactoryKind::Shapefile, folder + "/");
    gis.Add(shapes, gis.FeatureClass("roads", gis::feature::kSimple, gis::shape::kPolyline, "Road network"));
    gis.Add(shapes, gis.FeatureClass("towns", gis::feature::kSimple, gis::shape::kPoint));
    gis.Add(*gis.FindWorkspace(gis::FactoryKind::Raster, folder + "/"), gis.Name("dem.tif", gis::kind::kRasterDataset));
}

void OnBrowser(ScriptedUi& ui, std::function<void(frmOpenDialog&)> action) {
    ui.OnModal("frmOpenDialog", [action = std::move(action)](ui::Form& form) {
        auto* browser = dynamic_cast<frmOpenDialog*>(&form);
        ASSERT_NE(browser, nullptr);
        action(*browser);
    });
}

bool SelectItems(frmOpenDialog& form, const std::vector<std::string>& names) {
    form.LVDataList.ClearSelection();
    bool all = true;
    for (const auto& name : names) {
        const long pos = PositionOf(form, name);
        if (pos == 0) {
            all = false;
            continue;
        }
        form.LVDataList.SetSelected(pos, true);
    }
    form.LVDataList_ItemClick();
    return all;
}

bool ClickItem(frmOpenDialog& form, const std::string& name) { return SelectItems(form, {name}); }

void ClickEmptySpace(frmOpenDialog& form) {
    form.LVDataList.ClearSelection();
    form.LVDataList_ItemClick();
}

bool DoubleClick(frmOpenDialog& form, const std::string& name) {
    if (!ClickItem(form, name)) return false;
    form.LVDataList_DblClick();
    return true;
}

void PickLocation(frmOpenDialog& form, long position) {
    form.ComboLocation.Select(position);
    form.ComboLocation_Click();
}

bool PickLocation(frmOpenDialog& form, const std::string& text) {
    const auto& items = form.ComboLocation.Items();
    for (std::size_t i = items.size(); i-- > 0;) {
        if (items[i].text == text) {
            PickLocation(form, static_cast<long>(i + 1));
            return true;
        }
    }
    ADD_FAILURE() << "the location list has no entry \"" << text << "\"";
    return false;
}

bool PressAdd(frmOpenDialog& form) {
    if (!form.CmdAddData.Enabled() || !form.CmdAddData.Visible()) return false;
    form.CmdAddData_Click();
    return true;
}

bool PressCancel(frmOpenDialog& form) {
    if (!form.CmdCancel.Enabled()) return false;
    form.CmdCancel_Click();
    return true;
}

bool PressUp(frmOpenDialog& form) {
    if (!form.CmdUpLocation.Enabled()) return false;
    form.CmdUpLocation_Click();
    return true;
}

bool PressCancelListing(frmOpenDialog& form) {
    if (!form.CmdCancelListing.Enabled() || !form.CmdCancelListing.Visible()) return false;
    form.CmdCancelListing_Click();
    return true;
}

void PressView(frmOpenDialog& form, int viewMode) {
    switch (viewMode) {
    case 0: form.OptThumbs_Click(); break;
    case 2: form.OptList_Click(); break;
    case 3: form.OptReport_Click(); break;
    default: ADD_FAILURE() << "no view button for mode " << viewMode;
    }
}

std::vector<std::string> ItemNames(const frmOpenDialog& form) {
    std::vector<std::string> names;
    for (const auto& item : form.LVDataList.Items()) names.push_back(item.text);
    return names;
}

std::vector<std::string> LocationNames(const frmOpenDialog& form) {
    std::vector<std::string> names;
    for (const auto& item : form.ComboLocation.Items()) names.push_back(item.text);
    return names;
}

std::string CurrentLocation(const frmOpenDialog& form) { return form.ComboLocation.Text(); }

} // namespace marbrook::testing
