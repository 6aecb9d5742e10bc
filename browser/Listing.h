#pragma once
// A listing of one location off the interface thread: a big folder, a dead
// network mount or an unreachable server must never freeze the host. The
// catalogue call runs on a thread the user-interface service starts, with a
// platform whose user interface is safe there (message boxes are shown by
// the interface thread, the pointer is the form's business); the form takes
// in the entries as they are found and shows them, and the user can cancel.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "catalogue/basOpenDialogs.h"
#include "platform/platform.h"
#include "platform/ui.h"

namespace marbrook::browser {

// The catalogue call of a listing: fills `items` (entries 1..n) using
// `platform` and returns the count, telling `progress` of what it found.
using ListingWork = std::function<long(Platform& platform, DataItems& items, ListingProgress& progress)>;

class Listing final : public ui::BackgroundTask, private ListingProgress {
public:
    // A listing by `work`; with `aliases`, the alias of every entry that
    // names a feature class is read after it (the report view's column).
    Listing(Platform& platform, ListingWork work, bool aliases);
    // Only the aliases of entries 1..n whose dataset names are `names` (an
    // entry without a dataset has none): the report view of a list shown.
    Listing(Platform& platform, DataItems names);
    ~Listing() override;

    // The form's side, set before the listing runs and called on the
    // interface thread from Pump() and ShowBusy().
    std::function<Progress()> onPump;
    std::function<void()> onBusy;

    // Entries found and not yet taken, at most `limit`, appended to `into`;
    // returns the index (from 1) of the first one taken.
    long TakeFound(DataItems& into, std::size_t limit);
    // Aliases read and not yet taken, at most `limit`: (entry index, alias).
    std::vector<std::pair<long, std::string>> TakeAliases(std::size_t limit);
    // Shows the message boxes the work asked for, on the interface thread.
    void ServeMessages(ui::UiService& ui);
    // Entries found so far (for the busy indicator's text).
    [[nodiscard]] long FoundSoFar() const;
    // The work has ended and everything it put out has been taken.
    [[nodiscard]] bool Drained() const;
    // Nothing more to take now, but the work goes on.
    [[nodiscard]] bool Waiting() const;
    [[nodiscard]] bool Cancelled() const noexcept override;

    // After the work has ended: its whole list (entries 1..n) and count.
    long TakeResult(DataItems& items);
    // The first alias that could not be read (none when all could), and a
    // failure of the listing itself (none normally: the catalogue routines
    // report their own).
    [[nodiscard]] std::exception_ptr AliasFailure() const;
    [[nodiscard]] std::exception_ptr Failure() const;

    void Run() noexcept override;
    Progress Pump() noexcept override;
    void ShowBusy() noexcept override;
    void Cancel() noexcept override;

    // The work's side of a message box (called by the listing's own user
    // interface off the interface thread): waits until the interface thread
    // has shown it, or the listing is cancelled.
    void AskMessage(const std::string& text, ui::MessageIcon icon, const std::string& title);

private:
    void Found(const DataItems& items, long upTo) override;
    void ReadAliases(const DataItems& items, long count);

    class ListingUi;
    struct Message {
        std::string text;
        ui::MessageIcon icon;
        std::string title;
        bool answered = false;
        std::exception_ptr failure;
    };

    Platform& platform_;
    std::unique_ptr<ListingUi> ui_;
    // The caller's platform with this listing's user interface; a step
    // watcher, when there is one, sees the steps the work starts too.
    Platform listingPlatform_;
    ListingWork work_;
    DataItems given_;
    bool aliases_;

    mutable std::mutex mutex_;
    std::condition_variable answered_;
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> ran_{false};
    DataItems found_;  // entries published and not yet taken
    long foundFirst_ = 1; // the index of found_[0]
    long published_ = 0;  // entries published so far
    std::vector<std::pair<long, std::string>> aliasesRead_;
    std::vector<std::shared_ptr<Message>> messages_;
    bool done_ = false;
    long count_ = 0;
    DataItems result_;
    std::exception_ptr aliasFailure_;
    std::exception_ptr failure_;
};

// The alias shown for a listed entry: the alias of the feature class its
// dataset name names, none for every other entry and where the alias only
// repeats the entry's name. Throws what the platform throws.
std::string AliasText(Platform& platform, const DataItem& entry);

// Waits up to `limit` until every listing started so far has ended, also
// those the user cancelled while their work still ran (tests, shutdown).
bool ListingsEnded(std::chrono::milliseconds limit);

} // namespace marbrook::browser
