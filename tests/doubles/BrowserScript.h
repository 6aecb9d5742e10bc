#pragma once
// "The user" of the data browser: the actions a person takes on frmOpenDialog,
// done the way a view does them (set the controls' state, then call the
// handler the toolkit would raise). For use inside ScriptedUi::OnModal
// actions or directly on a form.
#include <functional>
#include <string>
#include <vector>

#include "browser/frmOpenDialog.h"
#include "tests/doubles/MemoryGis.h"
#include "tests/doubles/ScriptedUi.h"

namespace marbrook::testing {

// Makes the folder `path` ("/" the root) listable in the in-memory catalogue:
// it gets its shapefile and raster workspaces, where it has none yet.
void Listable(MemoryGis& gis, const std::string& path);
// Every folder from "/" down to `path` becomes listable.
void ListableAlong(MemoryGis& gis, const std::string& path);
// The data most browser tests show in the listable folder `folder`: the
// shapefiles roads (alias "Road network") and towns, and the raster dem.tif.
void AddRoadsTownsAndDem(MemoryGis& gis, const std::string& folder);

// Queues `action` for the next modal show of the browser form.
void OnBrowser(ScriptedUi& ui, std::function<void(frmOpenDialog&)> action);

// Selects exactly the items named (each the first item of that text), as a
// click with Ctrl held for the second and later ones, then raises the item
// click. Fails the test when a name is not listed.
bool SelectItems(frmOpenDialog& form, const std::vector<std::string>& names);
// A plain click on one item: it alone becomes selected.
bool ClickItem(frmOpenDialog& form, const std::string& name);
// A click beside the items: nothing stays selected.
void ClickEmptySpace(frmOpenDialog& form);
// A double-click on one item: selects it alone, then raises the item click
// and the double-click.
bool DoubleClick(frmOpenDialog& form, const std::string& name);
// Chooses location entry `position` (from 1) in the location combo.
void PickLocation(frmOpenDialog& form, long position);
// Chooses the location entry with this text (the last one of that text).
bool PickLocation(frmOpenDialog& form, const std::string& text);
// Presses a button; a disabled button ignores the press (returns false).
bool PressAdd(frmOpenDialog& form);
bool PressCancel(frmOpenDialog& form);
bool PressUp(frmOpenDialog& form);
// Presses 取消 of a listing the form waits for; false while it is not shown.
bool PressCancelListing(frmOpenDialog& form);
// Presses the view button of mode 0 (icons), 2 (list) or 3 (report).
void PressView(frmOpenDialog& form, int viewMode);

// What the form shows.
std::vector<std::string> ItemNames(const frmOpenDialog& form);
std::vector<std::string> LocationNames(const frmOpenDialog& form);
std::string CurrentLocation(const frmOpenDialog& form);

} // namespace marbrook::testing
