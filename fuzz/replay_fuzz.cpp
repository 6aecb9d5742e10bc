// The browser form replaying a remembered location, then a user walking
// from there, on a small folder tree in memory whose names are the awkward
// ones a disk may hold (case twins, invalid UTF-8, line breaks). The input
// is the remembered location (up to the first NUL), then one action per
// byte: double-click an item, go up, pick an entry of the location combo.
//
// Properties: nothing escapes or loops; the location combo always shows the
// location list entry for entry, with one entry selected and the catalogue
// root first; the list view shows the data list.
#include <algorithm>
#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "browser/frmOpenDialog.h"
#include "catalogue/basOpenDialogs.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzPlatform.h"
#include "platform/error.h"
#include "support/Globals.h"

using marbrook::fuzz::InputReader;

namespace {

// Folders and the names in them; a name ending in "/" is a folder.
const std::map<std::string, std::vector<std::string>> kTree = {
    {"/", {"data/", "home/", "x.mdb"}},
    {"/data", {"Maps/", "maps/", "bad\xff/", "new\nline/", "roads.dxf", "A.MDB", "notes.txt"}},
    {"/data/Maps", {"deep/", "plan.dwg"}},
    {"/data/maps", {}},
    {"/data/Maps/deep", {"deeper/"}},
    {"/data/Maps/deep/deeper", {}},
    {"/data/bad\xff", {"inner/"}},
    {"/data/bad\xff/inner", {}},
    {"/data/new\nline", {}},
    {"/home", {"u/"}},
    {"/home/u", {}},
    {"/media/usb", {"stick/"}},
    {"/media/usb/stick", {}},
};

std::string Normal(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

class TreeSystem final : public marbrook::fuzz::MemorySystemBase {
public:
    std::vector<marbrook::sys::Drive> LogicalDrives() override { return {{"/", 3}, {"/media/usb", 3}, {"/media/cd", 5}}; }
    bool FolderExists(const std::string& path) override { return kTree.count(Normal(path)) != 0; }
    bool FileExists(const std::string& path) override {
        if (files.count(path) != 0) return true;
        const auto slash = path.rfind('/');
        if (slash == std::string::npos) return false;
        const auto it = kTree.find(Normal(path.substr(0, slash + 1)));
        if (it == kTree.end()) return false;
        const std::string name = path.substr(slash + 1);
        return !name.empty() && std::find(it->second.begin(), it->second.end(), name) != it->second.end();
    }
    bool PathExists(const std::string& path) override { return FolderExists(path) || FileExists(path); }
    marbrook::sys::FolderContents ListFolder(const std::string& path) override {
        const auto it = kTree.find(Normal(path));
        if (it == kTree.end()) throw marbrook::PlatformError(marbrook::errnum::kPathNotFound, "Marbrook.Fuzz", "no folder " + path);
        marbrook::sys::FolderContents out;
        for (const std::string& n : it->second) {
            if (!n.empty() && n.back() == '/') out.folders.push_back(n.substr(0, n.size() - 1));
            else out.files.push_back(n);
        }
        return out;
    }
};

void CheckForm(const marbrook::frmOpenDialog& form) {
    const auto& list = form.ComboList();
    const auto& combo = form.ComboLocation;
    FUZZ_CHECK(combo.Count() == static_cast<long>(list.size()));
    for (long i = 1; i <= combo.Count(); ++i) {
        const auto& item = combo.At(i);
        const auto& node = list[static_cast<std::size_t>(i - 1)];
        FUZZ_CHECK(item.text == node.DataName && item.tag == i - 1 && item.indentation == node.Level);
    }
    FUZZ_CHECK(combo.SelectedItem() != nullptr);
    FUZZ_CHECK(!list.empty() && list[0].Level == 0 && list[0].DataName == marbrook::kCatalogRootName);
    // The parent and child indexes are not checked: they are kept, not
    // renumbered, as entries move, and going back up in the combo leaves the
    // entry in between, so an entry opened again sits beside its old copy
    // and can outlive its parent.
    const auto& items = form.DataList();
    const auto& view = form.LVDataList;
    for (long pos = 1; pos <= view.Count(); ++pos) {
        const long tag = view.At(pos).tag;
        FUZZ_CHECK(tag >= 1 && tag < static_cast<long>(items.size()));
        FUZZ_CHECK(view.At(pos).text == items[static_cast<std::size_t>(tag)].DataName);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    InputReader in(data, size);
    TreeSystem system;
    marbrook::fuzz::MemoryUi ui;
    marbrook::fuzz::NoGis gis;
    marbrook::Platform p{gis, ui, system};
    marbrook::giDataSourceType = static_cast<std::int16_t>(in.Byte() % 2);
    marbrook::gsCurDir = std::string(in.Field());

    marbrook::frmOpenDialog form(p);
    std::string sde = "/sde";
    form.InitDataList(sde);
    CheckForm(form);
    for (int step = 0; step < 32 && !in.Empty(); ++step) {
        const std::uint8_t action = in.Byte();
        const std::uint8_t arg = in.Byte();
        switch (action % 3) {
        case 0:
            if (form.LVDataList.Count() > 0) {
                form.LVDataList.ClearSelection();
                form.LVDataList.SetSelected(1 + arg % form.LVDataList.Count(), true);
            }
            form.LVDataList_DblClick();
            break;
        case 1:
            form.CmdUpLocation_Click();
            break;
        default:
            if (form.ComboLocation.Count() > 0) form.ComboLocation.Select(1 + arg % form.ComboLocation.Count());
            form.ComboLocation_Click();
            break;
        }
        CheckForm(form);
    }
    return 0;
}
