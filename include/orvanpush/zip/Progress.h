#pragma once

// How far a long archive operation has come, and the way to cancel it. A progress may have
// children that each account for part of its units (one per entry when a directory is zipped);
// their fraction counts toward the parent's, and a finished child's units join the parent's
// completed count.
//
//   auto progress = std::make_shared<orvanpush::zip::Progress>();
//   progress->setObserver([](const Progress& p) { draw(p.fractionCompleted()); });
//   std::thread([progress] { waitForEscape(); progress->cancel(); }).detach();
//   orvanpush::zip::zipItem(source, destination, true, CompressionMethod::deflate, progress);
//
// Every member may be called from any thread.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>
#include "orvanpush/Export.h"

namespace orvanpush::zip {

/// A count of units done out of a total, shared between an operation and whoever watches or
/// cancels it; hold it in a `std::shared_ptr` (children keep their parent alive).
class ORVANPUSH_EXPORT Progress {
  public:
    /// A progress with nothing done of `totalUnitCount` units; no observer, not cancelled.
    explicit Progress(std::int64_t totalUnitCount = 0);
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    /// The units the whole operation accounts for; setting it notifies the observer.
    std::int64_t totalUnitCount() const;
    void setTotalUnitCount(std::int64_t count);
    /// The units done, not counting unfinished children.
    std::int64_t completedUnitCount() const;
    /// Sets the units done and notifies the observer (and the parent's, when this is a child).
    void setCompletedUnitCount(std::int64_t count);
    /// Completed units plus the finished share of each child's units, over the total; between
    /// 0 and 1, and 0 while the total is 0.
    double fractionCompleted() const;

    /// Asks the operation to stop; it throws `ArchiveError` `cancelledOperation` at its next
    /// check and leaves the archive as it was before the entry it was adding.
    void cancel();
    /// True once this progress or one of its ancestors has been cancelled.
    bool isCancelled() const;

    /// A child that accounts for `pendingUnitCount` of this progress's units.
    static std::shared_ptr<Progress> makeChild(const std::shared_ptr<Progress>& parent,
                                               std::int64_t pendingUnitCount);

    /// Called with this progress after each change of its counts or a child's, on the thread
    /// that made the change (so keep it short).
    void setObserver(std::function<void(const Progress&)> observer);

  private:
    struct ORVANPUSH_EXPORT Child {
        std::weak_ptr<Progress> progress;
        std::int64_t pendingUnitCount;
    };

    void changed();
    void childChanged(const Progress& child);
    bool isFinishedLocked() const { return totalUnitCount_ > 0 && completed_ >= totalUnitCount_; }

    mutable std::mutex mutex_;
    std::int64_t totalUnitCount_;
    std::int64_t completed_ = 0;
    std::vector<Child> children_;
    std::function<void(const Progress&)> observer_;
    std::shared_ptr<Progress> parent_;
    std::atomic<bool> cancelled_{false};
};

}  // namespace orvanpush::zip
