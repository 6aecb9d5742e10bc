// The location list driven by a script of operations read from the input:
// building the top level, inserting, refreshing, cutting back and deleting
// with any indexes, on entries whose parent and child indexes may be
// damaged (as a remembered location replayed into a changed folder tree
// can leave them).
//
// Properties: no operation lets a failure escape or loops; after every
// operation that redisplays, the combo shows the list entry for entry; the
// root stays first once the top level is built; a failure value comes with
// a logged failure or the one message the list shows.
#include <cstdint>
#include <string>

#include "catalogue/basOpenDialogs.h"
#include "fuzz/FuzzCheck.h"
#include "fuzz/FuzzPlatform.h"
#include "support/Globals.h"

using marbrook::DataNode;
using marbrook::DataNodes;
using marbrook::fuzz::InputReader;

namespace {

std::int16_t Small(InputReader& in) { return static_cast<std::int16_t>(static_cast<std::int8_t>(in.Byte())); }

DataNode NodeFrom(InputReader& in, const DataNodes& list) {
    DataNode node;
    node.DataLocation = static_cast<std::int16_t>(in.Byte() % 9);
    node.DataType = Small(in);
    // Mostly plausible indexes, sometimes anything.
    const auto index = [&](std::uint8_t b) -> std::int16_t {
        if (b & 0x80) return static_cast<std::int16_t>(static_cast<std::int8_t>(b << 1) * 300);
        return static_cast<std::int16_t>(list.empty() ? 0 : b % (list.size() + 2)) ;
    };
    node.ParentNode = index(in.Byte());
    node.ChildNode = (in.Byte() & 1) ? -1 : index(in.Byte());
    node.Level = Small(in);
    node.DataName = std::string(in.Bytes(in.Byte() % 6));
    node.DataFullName = "/" + node.DataName;
    return node;
}

void CheckShown(const DataNodes& list, const marbrook::ui::ImageCombo& combo) {
    FUZZ_CHECK(combo.Count() == static_cast<long>(list.size()));
    for (long i = 1; i <= combo.Count(); ++i) {
        const auto& item = combo.At(i);
        const DataNode& node = list[static_cast<std::size_t>(i - 1)];
        FUZZ_CHECK(item.text == node.DataName && item.tag == i - 1 && item.indentation == node.Level &&
                   item.image == node.DataLocation + 1);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    InputReader in(data, size);
    marbrook::fuzz::MemoryPlatform w;
    auto& p = w.platform;
    const std::uint8_t drives = in.Byte() % 5;
    w.system.drives.clear();
    for (std::uint8_t d = 0; d < drives; ++d) w.system.drives.push_back({d == 0 ? "/" : "/media/d" + std::to_string(d), d == 3 ? 5 : 3});
    marbrook::giDataSourceType = in.Byte() % 3;

    DataNodes list;
    marbrook::ui::ImageCombo combo("ComboLocation");
    for (int ops = 0; ops < 64 && !in.Empty(); ++ops) {
        const int logBefore = w.system.logEntries;
        const std::size_t messagesBefore = w.ui.messages.size();
        const auto failed = [&] { return w.system.logEntries > logBefore || w.ui.messages.size() > messagesBefore; };
        switch (in.Byte() % 8) {
        case 0: {
            const long n = marbrook::InitComboList(p, list, combo, Small(in));
            FUZZ_CHECK(n == static_cast<long>(list.size()) - 1);
            CheckShown(list, combo);
            FUZZ_CHECK(list.front().DataName == marbrook::kCatalogRootName && list.front().Level == 0);
            break;
        }
        case 1: {
            const std::string wanted(in.Bytes(in.Byte() % 4));
            const long n = marbrook::InitComboList1(p, list, combo, wanted);
            FUZZ_CHECK(n == static_cast<long>(list.size()) - 1);
            CheckShown(list, combo);
            if (const auto* sel = combo.SelectedItem()) FUZZ_CHECK(sel->text == wanted);
            break;
        }
        case 2: {
            const DataNode node = NodeFrom(in, list);
            const long after = Small(in);
            const std::size_t sizeBefore = list.size();
            const long at = marbrook::InsertToComboList(p, list, node, after);
            if (at < 0) {
                FUZZ_CHECK(failed() && list.size() == sizeBefore);
            } else {
                FUZZ_CHECK(at == after + 1 && list.size() == sizeBefore + 1);
                FUZZ_CHECK(marbrook::IsComboListEqual(list[static_cast<std::size_t>(at)], node));
            }
            break;
        }
        case 3: {
            const DataNode node = NodeFrom(in, list);
            const long n = marbrook::RefreshComboList(p, list, combo, node);
            if (n > 0) CheckShown(list, combo);
            break;
        }
        case 4: {
            const DataNode node = NodeFrom(in, list);
            const long sel = Small(in);
            const long n = marbrook::RefreshComboListEx(p, list, combo, node, sel);
            if (n >= 0) {
                FUZZ_CHECK(n == static_cast<long>(list.size()) - 1);
                CheckShown(list, combo);
            }
            break;
        }
        case 5: {
            const long index = Small(in);
            const std::size_t sizeBefore = list.size();
            const bool ok = marbrook::DeleteComboList(p, list, index);
            if (ok) FUZZ_CHECK(list.size() + 1 == sizeBefore);
            else FUZZ_CHECK(failed() && list.size() == sizeBefore);
            break;
        }
        case 6: {
            // Damage an entry's indexes.
            if (list.empty()) break;
            DataNode& node = list[in.Byte() % list.size()];
            node.ChildNode = Small(in);
            node.ParentNode = Small(in);
            break;
        }
        default: {
            const DataNode node = NodeFrom(in, list);
            const DataNode copy = marbrook::CloneComboList(node);
            FUZZ_CHECK(marbrook::IsComboListEqual(copy, node));
            break;
        }
        }
    }
    return 0;
}
