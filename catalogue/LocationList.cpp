// The location list behind the browser's location combo: the top level, the
// entries opened below it, cutting back, comparing and redisplaying.
#include <stdexcept>

#include "catalogue/basOpenDialogs.h"
#include "platform/platform.h"
#include "support/Failure.h"
#include "support/Globals.h"

namespace marbrook {

namespace {

constexpr const char* kBadIndexMessage = "出现严重错误,数组索引错误.";
constexpr const char* kMessageTitle = "VERDANTA";

long UpperBound(const DataNodes& list) { return static_cast<long>(list.size()) - 1; }

DataNode& At(DataNodes& list, long index) {
    if (index < 0 || index > UpperBound(list)) throw std::out_of_range("location list index");
    return list[static_cast<std::size_t>(index)];
}

// Clears the combo and shows every entry; `selected` says which one to select.
template <class Selected>
void Redisplay(const DataNodes& list, ui::ImageCombo& combo, Selected selected) {
    combo.Clear();
    for (std::size_t i = 0; i < list.size(); ++i) {
        const DataNode& node = list[i];
        const int image = node.DataLocation + 1;
        const long pos = combo.Add(node.DataName, image, image);
        combo.SetTag(pos, static_cast<long>(i));
        combo.SetIndentation(pos, node.Level);
        if (selected(static_cast<long>(i), node)) combo.Select(pos);
    }
}

// The top level: root, drives and, when offered, the database root.
long BuildTopLevel(Platform& p, DataNodes& list, Steps& step) {
    step(101);
    long n = GetLocalDrives4Combo(p, list);
    if (list.empty()) list.emplace_back();
    step(102);
    if (giDataSourceType != 1) {
        step(110);
        list.resize(static_cast<std::size_t>(n) + 1);
    } else {
        step(103);
        ++n;
        list.resize(static_cast<std::size_t>(n) + 1);
        step(104);
        DataNode& db = list[static_cast<std::size_t>(n)];
        db = DataNode{};
        db.DataLocation = dlDatabaseRoot;
        db.DataName = kDatabaseRootName;
        db.DataType = -1;
        db.Level = 1;
        db.ParentNode = 0;
        db.ChildNode = -1;
    }
    step(111);
    DataNode& root = list[0];
    root = DataNode{};
    root.DataLocation = dlCatalogRoot;
    root.DataType = -1;
    root.DataName = kCatalogRootName;
    root.ParentNode = 0;
    root.ChildNode = -1;
    root.Level = 0;
    return n;
}

} // namespace

long InitComboList(Platform& p, DataNodes& list, ui::ImageCombo& combo, long selIndex) {
    Steps step(p, "Marbrook.basOpenDialogs.InitComboList:");
    try {
        BuildTopLevel(p, list, step);
        step(117);
        Redisplay(list, combo, [selIndex](long i, const DataNode&) { return i == selIndex; });
        step(125);
        return UpperBound(list);
    } catch (...) {
        step.Report();
        return 0;
    }
}

long InitComboList1(Platform& p, DataNodes& list, ui::ImageCombo& combo, const std::string& selText) {
    Steps step(p, "Marbrook.basOpenDialogs.InitComboList1:");
    try {
        BuildTopLevel(p, list, step);
        step(117);
        Redisplay(list, combo, [&selText](long, const DataNode& node) { return node.DataName == selText; });
        step(125);
        return UpperBound(list);
    } catch (...) {
        step.Report();
        return 0;
    }
}

long InsertToComboList(Platform& p, DataNodes& list, const DataNode& node, long afterIndex) {
    Steps step(p, "Marbrook.basOpenDialogs.InsertToComboList:");
    try {
        step(101);
        const long u = UpperBound(list);
        // Checked before the list grows: a bad index must not leave a blank
        // entry behind.
        if (afterIndex < 0 || afterIndex > u) throw std::out_of_range("location list index");
        step(102);
        const auto at = list.begin() + afterIndex + 1;
        step(113);
        list.insert(at, node);
        step(121);
        list[static_cast<std::size_t>(afterIndex)].ChildNode = static_cast<std::int16_t>(afterIndex + 1);
        step(122);
        return afterIndex + 1;
    } catch (...) {
        step.Report();
        return -1;
    }
}

long RefreshComboList(Platform& p, DataNodes& list, ui::ImageCombo& combo, const DataNode& node) {
    Steps step(p, "Marbrook.basOpenDialogs.RefreshComboList:");
    try {
        step(101);
        if (UpperBound(list) <= 0) return 0;
        step(102);
        const int lvl = node.Level;
        step(103);
        const long last = UpperBound(list);
        for (long i = 1; i <= last; ++i) {
            step(104);
            if (i > UpperBound(list)) break;
            step(105);
            if (list[static_cast<std::size_t>(i)].Level > lvl) {
                step(106);
                DeleteComboList(p, list, i);
            }
        }
        step(108);
        const long pos = InsertToComboList(p, list, node, node.ParentNode);
        step(110);
        Redisplay(list, combo, [pos](long i, const DataNode&) { return i == pos; });
        step(118);
        return UpperBound(list);
    } catch (...) {
        step.Report();
        return 0;
    }
}

long RefreshComboListEx(Platform& p, DataNodes& list, ui::ImageCombo& combo, const DataNode& node, long selIndex) {
    Steps step(p, "Marbrook.basOpenDialogs.RefreshComboListEx:");
    try {
        step(101);
        if (node.ChildNode < 0) return -1;
        step(102);
        const long child = node.ChildNode;
        if (!DeleteComboList(p, list, child)) return -1;
        step(104);
        const long u = UpperBound(list);
        step(105);
        Redisplay(list, combo, [selIndex](long i, const DataNode&) { return i == selIndex; });
        step(113);
        return u;
    } catch (...) {
        step.Report();
        return -1;
    }
}

bool DeleteComboList(Platform& p, DataNodes& list, const long& index) {
    Steps step(p, "Marbrook.basOpenDialogs.DeleteComboList:");
    try {
        step(101);
        if (index > UpperBound(list)) {
            step(102);
            p.ui.MessageBox(kBadIndexMessage, ui::MessageIcon::Information, kMessageTitle);
            return false;
        }
        // One call removes the deepest entry of the chain that starts at
        // `index`. The chain is followed in a loop, bounded by the list's
        // size, so a damaged child index ends in a logged failure instead of
        // endless recursion.
        step(107);
        long target = index;
        At(list, target);
        for (std::size_t hops = 0; target != UpperBound(list) && list[static_cast<std::size_t>(target)].ChildNode != -1; ++hops) {
            step(113);
            if (hops >= list.size()) throw std::out_of_range("location list child chain loops");
            target = list[static_cast<std::size_t>(target)].ChildNode;
            At(list, target);
        }
        step(104);
        const long parent = list[static_cast<std::size_t>(target)].ParentNode;
        At(list, parent).ChildNode = -1;
        step(109);
        list.erase(list.begin() + target);
        step(115);
        return true;
    } catch (...) {
        step.Report();
        return false;
    }
}

bool IsComboListEqual(const DataNode& a, const DataNode& b) {
    return a.DataName == b.DataName && a.DataLocation == b.DataLocation && a.DataType == b.DataType &&
           a.Level == b.Level && a.ParentNode == b.ParentNode && a.ChildNode == b.ChildNode &&
           a.DataTypeDesc == b.DataTypeDesc && a.DataFullName == b.DataFullName;
}

DataNode CloneComboList(const DataNode& node) { return node; }

void ShowLocationList(const DataNodes& list, ui::ImageCombo& combo, long selected) {
    Redisplay(list, combo, [](long, const DataNode&) { return false; });
    combo.Select(selected + 1);
}

} // namespace marbrook
