#pragma once

// A live view of stored messages for a host's user interface: it holds a fetch request, the
// messages of its last fetch and a delegate. When the store changes (in this process, or in
// the other process sharing it) the controller refetches on the main queue and tells its
// delegate, so a list can redraw.
//
//   auto controller = sdk->getFetchedResultsController();
//   controller->setDelegate(myListView);                   // held weakly
//   for (const auto& message : controller->fetchedObjects()) { ... }
//
// Safe to use from any thread; a fetch runs on the calling thread.

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>
#include "orvanpush/Export.h"

#include "orvanpush/storage/Predicate.h"

namespace orvanpush {

class Message;
class FetchedResultsController;

namespace detail {
class SharedPersistentContainer;
class StorageMessage;
}  // namespace detail

/// One sort key of a fetch: a message key path (see Predicate) and its direction.
struct ORVANPUSH_EXPORT SortDescriptor {
    /// The key path to sort by, and whether smaller values come first.
    std::string key;
    bool ascending = true;
};

/// The messages that match `predicate` (all of them without one), ordered by the sort
/// descriptors and then in the order they were stored.
struct ORVANPUSH_EXPORT FetchRequest {
    /// Which messages (all when absent), and how they are ordered.
    std::optional<Predicate> predicate;
    std::vector<SortDescriptor> sortDescriptors;
};

/// What a host implements to hear of store changes; the controller holds it weakly.
class ORVANPUSH_EXPORT FetchedResultsControllerDelegate {
  public:
    virtual ~FetchedResultsControllerDelegate() = default;
    /// Called on the main queue after the controller refetched because the store changed; every
    /// object may have changed.
    virtual void controllerDidChangeContent(FetchedResultsController& controller) = 0;
};

/// A fetch request, the messages its last fetch found, and a delegate told of changes.
class ORVANPUSH_EXPORT FetchedResultsController {
  public:
    /// Made by the store; hosts obtain theirs from PushSDK.
    ORVANPUSH_INTERNAL FetchedResultsController(
        std::shared_ptr<detail::SharedPersistentContainer> container, FetchRequest fetchRequest);

    /// A copy of the current fetch request.
    FetchRequest fetchRequest() const;
    /// Replaces the fetch request; the objects change at the next fetch.
    void setFetchRequest(FetchRequest fetchRequest);

    /// Fetches the request's messages now. Throws PredicateError for a sort key that is not a
    /// message key path, and TextError when the store cannot be read (the objects stay as they
    /// were).
    void performFetch();

    /// The messages of the last fetch; empty before the first.
    std::vector<std::shared_ptr<Message>> fetchedObjects() const;

    /// Sets the delegate, held weakly.
    void setDelegate(std::weak_ptr<FetchedResultsControllerDelegate> delegate);

  private:
    friend class detail::StorageMessage;
    /// Tells the delegate that the content changed (on the main queue).
    void notifyDelegate();

    const std::shared_ptr<detail::SharedPersistentContainer> container_;
    std::mutex fetchMutex_;  // one fetch at a time, so an older fetch never lands last
    mutable std::mutex mutex_;
    FetchRequest fetchRequest_;
    std::vector<std::shared_ptr<Message>> fetchedObjects_;
    std::weak_ptr<FetchedResultsControllerDelegate> delegate_;
};

}  // namespace orvanpush
