// Small out-of-line parts of the platform interfaces (no outside dependency).
#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <new>
#include <string>
#include <system_error>

#include "platform/error.h"
#include "platform/gis.h"
#include "platform/object.h"
#include "platform/ui.h"

namespace marbrook {

std::size_t Collection::Slot(long index) const {
    if (index < 1 || index > Count()) throw std::out_of_range("collection index out of range");
    return static_cast<std::size_t>(index - 1);
}

namespace {

long NumberOfErrc(const std::error_code& ec) {
    if (ec == std::errc::no_such_file_or_directory) return errnum::kFileNotFound;
    if (ec == std::errc::not_a_directory) return errnum::kPathNotFound;
    if (ec == std::errc::permission_denied || ec == std::errc::operation_not_permitted) return errnum::kPermissionDenied;
    if (ec == std::errc::file_exists) return errnum::kFileAlreadyExists;
    if (ec == std::errc::read_only_file_system) return errnum::kPermissionDenied;
    return errnum::kPathFileAccessError;
}

} // namespace

ErrorInfo DescribeCurrentException() noexcept {
    try {
        throw;
    } catch (const PlatformError& e) {
        return {e.Number(), e.Source(), e.Description()};
    } catch (const std::filesystem::filesystem_error& e) {
        return {NumberOfErrc(e.code()), "Marbrook", e.what()};
    } catch (const std::system_error& e) {
        return {NumberOfErrc(e.code()), "Marbrook", e.what()};
    } catch (const std::out_of_range& e) {
        return {errnum::kSubscriptOutOfRange, "Marbrook", "Subscript out of range"};
    } catch (const std::overflow_error& e) {
        return {errnum::kOverflow, "Marbrook", "Overflow"};
    } catch (const std::bad_alloc&) {
        return {errnum::kOutOfMemory, "Marbrook", "Out of memory"};
    } catch (const std::exception& e) {
        return {errnum::kAutomationError, "Marbrook", e.what()};
    } catch (...) {
        return {errnum::kAutomationError, "Marbrook", "Unknown failure"};
    }
}

namespace gis {

namespace {
bool SameName(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}
} // namespace

std::vector<DatasetNamePtr> Workspace::FeatureDatasetsNamed(const std::string& name) {
    auto datasets = ListDatasetNames(kind::kFeatureDataset);
    datasets.erase(std::remove_if(datasets.begin(), datasets.end(),
                                  [&](const DatasetNamePtr& dataset) { return dataset->Name() != name; }),
                   datasets.end());
    return datasets;
}

void PropertySet::SetProperty(const std::string& name, const std::string& value) {
    for (auto& [n, v] : items_) {
        if (SameName(n, name)) {
            v = value;
            return;
        }
    }
    items_.emplace_back(name, value);
}

std::optional<std::string> PropertySet::GetProperty(const std::string& name) const {
    for (const auto& [n, v] : items_)
        if (SameName(n, name)) return v;
    return std::nullopt;
}

FeatureClassPtr AsFeatureClass(const DatasetPtr& dataset) {
    auto fc = std::dynamic_pointer_cast<FeatureClass>(dataset);
    if (!fc) throw PlatformError(errnum::kTypeMismatch, "Marbrook", "Type mismatch: the dataset is not a feature class");
    return fc;
}

RasterDatasetPtr AsRasterDataset(const DatasetPtr& dataset) {
    auto r = std::dynamic_pointer_cast<RasterDataset>(dataset);
    if (!r) throw PlatformError(errnum::kTypeMismatch, "Marbrook", "Type mismatch: the dataset is not a raster dataset");
    return r;
}

DataLayer& AsDataLayer(Layer& layer) {
    auto* dl = dynamic_cast<DataLayer*>(&layer);
    if (!dl) throw PlatformError(errnum::kTypeMismatch, "Marbrook", "Type mismatch: the layer has no data source");
    return *dl;
}

FeatureClassDetails RequireDetails(const DatasetName& name) {
    auto d = name.Details();
    if (!d) throw PlatformError(errnum::kTypeMismatch, "Marbrook", "Type mismatch: '" + name.Name() + "' is not a feature class");
    return *d;
}

std::string DescribeTable(const TablePath& table) {
    // A plain lower-case name reads back as itself; anything else is quoted.
    auto sql = [](const std::string& name) {
        const bool plain = !name.empty() && !(name[0] >= '0' && name[0] <= '9') &&
                           std::all_of(name.begin(), name.end(), [](char c) {
                               return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
                           });
        if (plain) return name;
        std::string quoted = "\"";
        for (char c : name) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
        return quoted + '"';
    };
    std::string text = table.schema.empty() ? sql(table.table) : sql(table.schema) + "." + sql(table.table);
    if (!table.column.empty()) text += " (" + sql(table.column) + ")";
    return text;
}

} // namespace gis

namespace ui {

void DropDownList::SetListIndex(int index) {
    if (index < -1 || index >= ListCount()) throw PlatformError(380, "Marbrook", "Invalid property value");
    listIndex_ = index;
    Changed();
}

long ImageCombo::Add(std::string text, int image, int selectedImage) {
    items_.push_back({std::move(text), image, selectedImage, 0, 0});
    Changed();
    return Count();
}

ImageCombo::Item& ImageCombo::At(long index) {
    if (index < 1 || index > Count()) throw std::out_of_range("image combo index");
    return items_[static_cast<std::size_t>(index - 1)];
}

const ImageCombo::Item& ImageCombo::At(long index) const {
    if (index < 1 || index > Count()) throw std::out_of_range("image combo index");
    return items_[static_cast<std::size_t>(index - 1)];
}

void ImageCombo::Select(long index) {
    if (index < 0 || index > Count()) throw std::out_of_range("image combo index");
    selected_ = index - 1;
    Changed();
}

long ListView::AddItem(std::string text, int icon, int smallIcon) {
    items_.push_back({std::move(text), icon, smallIcon, 0, false, {}});
    Changed();
    return Count();
}

std::vector<ListView::Item> ListView::TakeItems() {
    std::vector<Item> taken = std::move(items_);
    items_.clear();
    ++revision_;
    Changed();
    return taken;
}

void ListView::RestoreItems(std::vector<Item> items) {
    items_ = std::move(items);
    ++revision_;
    Changed();
}

void ListView::Truncate(long count) {
    if (count < 0 || count >= Count()) return;
    items_.resize(static_cast<std::size_t>(count));
    ++revision_;
    Changed();
}

void ListView::Reorder(const std::vector<std::size_t>& order) {
    if (order.size() != items_.size()) throw std::out_of_range("list view order");
    std::vector<Item> sorted;
    sorted.reserve(items_.size());
    for (const std::size_t i : order) sorted.push_back(std::move(items_.at(i)));
    items_ = std::move(sorted);
    ++revision_;
    Changed();
}

ListView::Item& ListView::At(long index) {
    if (index < 1 || index > Count()) throw std::out_of_range("list view index");
    return items_[static_cast<std::size_t>(index - 1)];
}

const ListView::Item& ListView::At(long index) const {
    if (index < 1 || index > Count()) throw std::out_of_range("list view index");
    return items_[static_cast<std::size_t>(index - 1)];
}

void ListView::SetSubItem(long index, std::size_t sub, std::string text) {
    auto& item = At(index);
    if (sub == 0) throw std::out_of_range("sub-item index");
    if (item.subItems.size() < sub) item.subItems.resize(sub);
    item.subItems[sub - 1] = std::move(text);
    touchedFrom_ = std::min(touchedFrom_, index);
    Changed();
}

void ListView::SetSelected(long index, bool selected) {
    auto& item = At(index);
    if (selected && !multiSelect_)
        for (auto& other : items_) other.selected = false;
    item.selected = selected;
    Changed();
}

void ListView::ClearSelection() {
    for (auto& item : items_) item.selected = false;
    Changed();
}

long ListView::SelectedIndex() const noexcept {
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (items_[i].selected) return static_cast<long>(i + 1);
    return 0;
}

const ListView::Item* ListView::SelectedItem() const noexcept {
    const long i = SelectedIndex();
    return i == 0 ? nullptr : &items_[static_cast<std::size_t>(i - 1)];
}

long ListView::SelectedCount() const noexcept {
    return static_cast<long>(std::count_if(items_.begin(), items_.end(), [](const Item& i) { return i.selected; }));
}

void BackgroundTask::SetWake(std::function<void()> wake) {
    const std::lock_guard lock(wakeMutex_);
    wake_ = std::move(wake);
}

void BackgroundTask::Wake() {
    const std::lock_guard lock(wakeMutex_);
    if (wake_) wake_();
}

void BackgroundTask::MarkEnded() {
    {
        const std::lock_guard lock(endMutex_);
        ended_ = true;
    }
    endChanged_.notify_all();
}

bool BackgroundTask::WaitEnded(std::chrono::milliseconds limit) {
    std::unique_lock lock(endMutex_);
    return endChanged_.wait_for(lock, limit, [this] { return ended_.load(); });
}

void RunHere(BackgroundTask& task) {
    task.Run();
    task.MarkEnded();
    while (task.Pump() != BackgroundTask::Progress::Finished) {
    }
}

void Form::EnsureLoaded() {
    if (loaded_) return;
    loaded_ = true;
    Form_Load();
}

void Form::Hide() { ui_.HideForm(*this); }

Control* Form::FindControl(const std::string& name) {
    for (Control* c : Controls())
        if (c->ControlName() == name) return c;
    return nullptr;
}

} // namespace ui
} // namespace marbrook
