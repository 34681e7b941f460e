#include "orvanpush/storage/FetchedResultsController.h"

#include "orvanpush/storage/Message.h"
#include "storage/PredicateSql.h"
#include "storage/StoreRows.h"

namespace orvanpush {

using detail::StoreSession;

FetchedResultsController::FetchedResultsController(
    std::shared_ptr<detail::SharedPersistentContainer> container, FetchRequest fetchRequest)
    : container_(std::move(container)), fetchRequest_(std::move(fetchRequest)) {}

FetchRequest FetchedResultsController::fetchRequest() const {
    std::lock_guard lock(mutex_);
    return fetchRequest_;
}

void FetchedResultsController::setFetchRequest(FetchRequest fetchRequest) {
    std::lock_guard lock(mutex_);
    fetchRequest_ = std::move(fetchRequest);
}

void FetchedResultsController::performFetch() {
    std::lock_guard fetching(fetchMutex_);
    const auto request = fetchRequest();
    std::string sql = std::string("SELECT ") + detail::rows::messageColumns + " FROM Message";
    detail::PredicateSql where;
    if (request.predicate) {
        where = detail::compilePredicate(*request.predicate, StorageMessageEntity::message);
        sql += " WHERE " + where.condition;
    }
    sql += " " + detail::compileSort(request.sortDescriptors, StorageMessageEntity::message);
    auto objects = container_->read([&](StoreSession& session) {
        // A host's predicate is prepared for this fetch only: the cache keeps the store's own.
        auto select = session.connection().prepare(sql);
        where.bind(select, 1);
        std::vector<std::shared_ptr<Message>> messages;
        while (select.step()) {
            messages.push_back(std::make_shared<Message>(container_, select.integer(0),
                                                         detail::rows::readMessage(select)));
        }
        return messages;
    });
    std::lock_guard lock(mutex_);
    fetchedObjects_ = std::move(objects);
}

std::vector<std::shared_ptr<Message>> FetchedResultsController::fetchedObjects() const {
    std::lock_guard lock(mutex_);
    return fetchedObjects_;
}

void FetchedResultsController::setDelegate(
    std::weak_ptr<FetchedResultsControllerDelegate> delegate) {
    std::lock_guard lock(mutex_);
    delegate_ = std::move(delegate);
}

void FetchedResultsController::notifyDelegate() {
    std::shared_ptr<FetchedResultsControllerDelegate> delegate;
    {
        std::lock_guard lock(mutex_);
        delegate = delegate_.lock();
    }
    if (delegate) {
        delegate->controllerDidChangeContent(*this);
    }
}

}  // namespace orvanpush
