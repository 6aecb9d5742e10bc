#include "browser/Listing.h"

#include <algorithm>
#include <condition_variable>

#include "platform/error.h"
#include "support/Text.h"

namespace marbrook::browser {

namespace {

// Listings whose work has not ended yet: a process (or a test) must not take
// away the services a cancelled listing still uses.
struct Outstanding {
    std::mutex mutex;
    std::condition_variable changed;
    long count = 0;
};

Outstanding& Registry() {
    static Outstanding* outstanding = new Outstanding; // outlives every static that a listing may still use
    return *outstanding;
}

void Started() {
    const std::lock_guard lock(Registry().mutex);
    ++Registry().count;
}

void Finished() {
    {
        const std::lock_guard lock(Registry().mutex);
        --Registry().count;
    }
    Registry().changed.notify_all();
}

// How many aliases the work reads between two reports of them.
constexpr std::size_t kAliasBatch = 64;

} // namespace

// The user interface a listing's work sees. On the interface thread (a
// service that runs the work there) it is the form's own; elsewhere message
// boxes are handed to the interface thread and the pointer is left to the
// form, which shows the busy pointer for the whole listing.
class Listing::ListingUi final : public ui::UiService {
public:
    ListingUi(Listing& owner, ui::UiService& real) : owner_(owner), real_(real), interfaceThread_(std::this_thread::get_id()) {}

    void MessageBox(const std::string& text, ui::MessageIcon icon, const std::string& title) override {
        if (OnInterfaceThread()) return real_.MessageBox(text, icon, title);
        owner_.AskMessage(text, icon, title);
    }
    void SetMousePointer(ui::MousePointer pointer) override {
        if (OnInterfaceThread()) return real_.SetMousePointer(pointer);
        pointer_ = pointer;
    }
    ui::MousePointer GetMousePointer() const override {
        return OnInterfaceThread() ? real_.GetMousePointer() : pointer_.load();
    }
    ui::Point MousePosition() override { return Interface().MousePosition(); }
    ui::Rect WindowRect(ui::WindowHandle window) override { return Interface().WindowRect(window); }
    int ScreenHeightTwips() override { return Interface().ScreenHeightTwips(); }
    int TwipsPerPixelX() override { return Interface().TwipsPerPixelX(); }
    int TwipsPerPixelY() override { return Interface().TwipsPerPixelY(); }
    ui::WindowHandle HandleOf(ui::Form& form) override { return Interface().HandleOf(form); }
    void SetParentWindow(ui::Form& form, ui::WindowHandle parent) override { Interface().SetParentWindow(form, parent); }
    void SetWindowPosition(ui::Form& form, ui::WindowHandle insertAfter, int left, int top) override {
        Interface().SetWindowPosition(form, insertAfter, left, top);
    }
    void ShowForm(ui::Form& form, bool modal, ui::WindowHandle parent) override { Interface().ShowForm(form, modal, parent); }
    void HideForm(ui::Form& form) override { Interface().HideForm(form); }
    void UnloadForm(ui::Form& form) override { Interface().UnloadForm(form); }
    void RunBackground(ui::Form& form, std::shared_ptr<ui::BackgroundTask> task) override {
        Interface().RunBackground(form, std::move(task));
    }

private:
    [[nodiscard]] bool OnInterfaceThread() const { return std::this_thread::get_id() == interfaceThread_; }
    // Windows belong to the interface thread alone.
    ui::UiService& Interface() const {
        if (!OnInterfaceThread())
            throw PlatformError(errnum::kNotSupported, "Marbrook", "windows cannot be used while a location is being listed");
        return real_;
    }

    Listing& owner_;
    ui::UiService& real_;
    std::thread::id interfaceThread_;
    std::atomic<ui::MousePointer> pointer_{ui::MousePointer::Default};
};

Listing::Listing(Platform& platform, ListingWork work, bool aliases)
    : platform_(platform), ui_(std::make_unique<ListingUi>(*this, platform.ui)),
      listingPlatform_{platform.gis, *ui_, platform.system, platform.steps}, work_(std::move(work)), aliases_(aliases) {
    Started();
}

Listing::Listing(Platform& platform, DataItems names)
    : platform_(platform), ui_(std::make_unique<ListingUi>(*this, platform.ui)),
      listingPlatform_{platform.gis, *ui_, platform.system, platform.steps}, given_(std::move(names)), aliases_(true) {
    Started();
}

Listing::~Listing() {
    // A listing that never ran counts as ended.
    if (!ran_) Finished();
}

void Listing::Run() noexcept {
    try {
        platform_.gis.EnterThread();
        DataItems items;
        long count = 0;
        if (work_) {
            items.assign(1, DataItem{});
            count = work_(listingPlatform_, items, *this);
            count = std::clamp(count, 0L, static_cast<long>(items.size()) - 1);
            // Whatever the routine reports it left, every entry it counts is
            // complete now.
            if (count > published_) Found(items, count);
        } else {
            items = std::move(given_);
            count = static_cast<long>(items.size()) - 1;
        }
        if (aliases_ && !cancelled_) ReadAliases(items, count);
        const std::lock_guard lock(mutex_);
        result_ = std::move(items);
        count_ = count;
        done_ = true;
    } catch (...) {
        const std::lock_guard lock(mutex_);
        failure_ = std::current_exception();
        done_ = true;
    }
    Wake();
    ran_ = true;
    Finished();
}

void Listing::ReadAliases(const DataItems& items, long count) {
    std::vector<std::pair<long, std::string>> batch;
    const auto publish = [&] {
        if (batch.empty()) return;
        {
            const std::lock_guard lock(mutex_);
            std::move(batch.begin(), batch.end(), std::back_inserter(aliasesRead_));
        }
        batch.clear();
        Wake();
    };
    for (long i = 1; i <= count && !cancelled_; ++i) {
        const DataItem& entry = items[static_cast<std::size_t>(i)];
        if (!entry.pDataSetObj) continue;
        std::string alias;
        try {
            alias = AliasText(listingPlatform_, entry);
        } catch (...) {
            // A broken dataset must not hide the rest of the folder; the
            // first failure is reported once by the form.
            const std::lock_guard lock(mutex_);
            if (!aliasFailure_) aliasFailure_ = std::current_exception();
        }
        if (!alias.empty()) batch.emplace_back(i, std::move(alias));
        if (batch.size() >= kAliasBatch) publish();
    }
    publish();
}

void Listing::Found(const DataItems& items, long upTo) {
    upTo = std::min(upTo, static_cast<long>(items.size()) - 1);
    if (upTo <= published_) return;
    DataItems copies(items.begin() + published_ + 1, items.begin() + upTo + 1);
    {
        const std::lock_guard lock(mutex_);
        if (found_.empty()) foundFirst_ = published_ + 1;
        std::move(copies.begin(), copies.end(), std::back_inserter(found_));
        published_ = upTo;
    }
    Wake();
}

bool Listing::Cancelled() const noexcept { return cancelled_.load(); }

long Listing::TakeFound(DataItems& into, std::size_t limit) {
    const std::lock_guard lock(mutex_);
    const long first = foundFirst_;
    const std::size_t n = std::min(limit, found_.size());
    std::move(found_.begin(), found_.begin() + static_cast<std::ptrdiff_t>(n), std::back_inserter(into));
    found_.erase(found_.begin(), found_.begin() + static_cast<std::ptrdiff_t>(n));
    foundFirst_ += static_cast<long>(n);
    return first;
}

std::vector<std::pair<long, std::string>> Listing::TakeAliases(std::size_t limit) {
    const std::lock_guard lock(mutex_);
    const std::size_t n = std::min(limit, aliasesRead_.size());
    std::vector<std::pair<long, std::string>> taken(std::make_move_iterator(aliasesRead_.begin()),
                                                    std::make_move_iterator(aliasesRead_.begin() + static_cast<std::ptrdiff_t>(n)));
    aliasesRead_.erase(aliasesRead_.begin(), aliasesRead_.begin() + static_cast<std::ptrdiff_t>(n));
    return taken;
}

void Listing::ServeMessages(ui::UiService& ui) {
    for (;;) {
        std::shared_ptr<Message> message;
        {
            const std::lock_guard lock(mutex_);
            const auto open = std::find_if(messages_.begin(), messages_.end(), [](const auto& m) { return !m->answered; });
            if (open == messages_.end()) return;
            message = *open;
        }
        std::exception_ptr failure;
        try {
            ui.MessageBox(message->text, message->icon, message->title);
        } catch (...) {
            failure = std::current_exception();
        }
        {
            const std::lock_guard lock(mutex_);
            message->failure = failure;
            message->answered = true;
            std::erase(messages_, message);
        }
        answered_.notify_all();
    }
}

void Listing::AskMessage(const std::string& text, ui::MessageIcon icon, const std::string& title) {
    auto message = std::make_shared<Message>(Message{text, icon, title, false, nullptr});
    {
        std::unique_lock lock(mutex_);
        if (cancelled_) return; // nobody is looking any more
        messages_.push_back(message);
    }
    Wake();
    std::unique_lock lock(mutex_);
    answered_.wait(lock, [&] { return message->answered || cancelled_.load(); });
    if (message->failure) std::rethrow_exception(message->failure);
}

long Listing::FoundSoFar() const {
    const std::lock_guard lock(mutex_);
    return published_;
}

bool Listing::Drained() const {
    const std::lock_guard lock(mutex_);
    return done_ && found_.empty() && aliasesRead_.empty() && messages_.empty();
}

bool Listing::Waiting() const {
    const std::lock_guard lock(mutex_);
    return found_.empty() && aliasesRead_.empty() && messages_.empty();
}

long Listing::TakeResult(DataItems& items) {
    const std::lock_guard lock(mutex_);
    items = std::move(result_);
    if (items.empty()) items.emplace_back();
    return count_;
}

std::exception_ptr Listing::AliasFailure() const {
    const std::lock_guard lock(mutex_);
    return aliasFailure_;
}

std::exception_ptr Listing::Failure() const {
    const std::lock_guard lock(mutex_);
    return failure_;
}

ui::BackgroundTask::Progress Listing::Pump() noexcept {
    if (!onPump) return Progress::Finished;
    return onPump();
}

void Listing::ShowBusy() noexcept {
    if (onBusy) onBusy();
}

void Listing::Cancel() noexcept {
    {
        const std::lock_guard lock(mutex_);
        cancelled_ = true;
    }
    // A work waiting for a message box goes on without it.
    answered_.notify_all();
    Wake();
}

std::string AliasText(Platform& platform, const DataItem& entry) {
    if (!entry.pDataSetObj) return {};
    // Rasters, feature datasets, drawings and tables have no alias: they
    // are listed with an empty column, without opening anything.
    if (entry.pDataSetObj->Kind() != gis::kind::kFeatureClass) return {};
    const auto featureClass = std::dynamic_pointer_cast<gis::FeatureClass>(platform.gis.OpenName(*entry.pDataSetObj));
    if (!featureClass) return {};
    std::string alias = featureClass->AliasName();
    // A column that repeats the name beside it tells nothing: stores
    // without aliases (shapefiles, drawings) give the dataset's own name.
    const std::string stem = entry.DataName.substr(0, entry.DataName.rfind('.'));
    if (alias == entry.DataName || alias == stem || alias == text::SanitizeUtf8(stem)) return {};
    return alias;
}

bool ListingsEnded(std::chrono::milliseconds limit) {
    std::unique_lock lock(Registry().mutex);
    return Registry().changed.wait_for(lock, limit, [] { return Registry().count == 0; });
}

} // namespace marbrook::browser
