#pragma once

// The storage facade of one PushSDK instance: it finds the instance's application group,
// opens the shared message store on first use (then, in the application, schedules the
// retention clean-up), and runs store operations as jobs on the main queue, one at a time in
// the order they were called.
//
//   storageUtil->isMessageExists(id, [](const std::string& status, bool exists,
//                                       const std::optional<TextError>& error) { ... });
//
// Each asynchronous operation first obtains the store; when it cannot be opened the operation
// throws (TextError "Initialization settings utils error", "Shared Application Group not found
// in settings" or "Initialization storage error") and nothing is scheduled. Otherwise its
// completion is called exactly once, on the main queue: with "success" (and the value, if the
// operation has one), or with "error", the value's default and the failure when the store
// call failed. Every scheduled job counts as outstanding work until its completion has run.

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "orvanpush/OrvanPushApiStatus.h"
#include "orvanpush/TextError.h"
#include "orvanpush/Types.h"
#include "orvanpush/storage/FetchedResultsController.h"
#include "orvanpush/storage/Message.h"
#include "orvanpush/storage/MessageValues.h"
#include "orvanpush/storage/Predicate.h"
#include "storage/StorageMessage.h"
#include "utils/SettingsUtils.h"

namespace orvanpush::detail {

class StorageUtil {
  public:
    using Completion =
        std::function<void(const std::string& status, const std::optional<TextError>& error)>;
    template <class Value>
    using ValueCompletion = std::function<void(const std::string& status, Value value,
                                               const std::optional<TextError>& error)>;

    /// The facade of the instance `instance`, reading its group and limits from `settingsUtils`.
    StorageUtil(std::string instance, std::shared_ptr<SettingsUtils> settingsUtils);

    /// The store, opened on first use and kept (a failed opening is tried again next time).
    /// Two threads never open two stores or schedule two clean-ups. Throws the texts above.
    std::shared_ptr<StorageMessage> storage();

    /// Stores a received message unless its id is stored (one transaction): its status is
    /// "Read" for `read`, else "Delivered"; its dates are the time of storing.
    void messageReceived(const std::string& id, const std::optional<std::string>& title,
                         const std::optional<std::string>& subtitle,
                         const std::optional<std::string>& body, OrvanPushApiStatus status,
                         const std::optional<std::string>& channelName, Completion postCompleted);
    /// The same with the notification's custom data: "content-available" and the attributes.
    void messageReceived(const std::string& id, const Json& customData,
                         const std::optional<std::string>& title,
                         const std::optional<std::string>& subtitle,
                         const std::optional<std::string>& body, OrvanPushApiStatus status,
                         const std::optional<std::string>& channelName, Completion postCompleted);
    /// Stores a received message as messageReceived does (with the custom data, when given),
    /// answering whether it was stored: false when a message with its id was there already.
    /// The check and the insert are one transaction, so of two processes receiving one push,
    /// exactly one stores it.
    void storeReceivedMessage(const std::string& id, const std::optional<Json>& customData,
                              const std::optional<std::string>& title,
                              const std::optional<std::string>& subtitle,
                              const std::optional<std::string>& body, OrvanPushApiStatus status,
                              const std::optional<std::string>& channelName,
                              ValueCompletion<bool> postCompleted);
    /// Sets the status of the first message with `id` to "Read" (a history row and an unsent
    /// report, written at once); "error" with "Message with id <id> not found" when there is
    /// none.
    void setMessageRead(const std::string& id, Completion postCompleted);
    /// Marks every status row of (message id, status name) sent.
    void markMessageStatusAsSent(const std::string& messageId, const std::string& statusName,
                                 Completion postCompleted);
    /// Marks every status row of (message id, status name) unsent.
    void markMessageStatusAsUnsent(const std::string& messageId, const std::string& statusName,
                                   Completion postCompleted);
    /// Every status not yet reported, in the order they were stored.
    void getMessageStatusesUnsent(
        ValueCompletion<std::vector<MessageStatusExternal>> postCompleted);
    /// The unsent statuses that `choose` picks among those no report is sending, leased to the
    /// caller's re-sends (StorageMessage::leaseMessageStatusesUnsent).
    void leaseMessageStatusesUnsent(
        StorageMessage::UnsentChooser choose,
        ValueCompletion<std::vector<MessageStatusExternal>> postCompleted);
    /// The first message with `id`, or none.
    void getMessageById(const std::string& id,
                        ValueCompletion<std::shared_ptr<Message>> postCompleted);
    void isMessageExists(const std::string& id, ValueCompletion<bool> postCompleted);
    void removeAllMessages(Completion postCompleted);
    /// Deletes the messages that match; "error" (PredicateError's text) for a predicate on key
    /// paths messages do not have.
    void removeMessages(const Predicate& predicate, Completion postCompleted);
    void removeMessage(const std::string& id, Completion postCompleted);
    /// The stored rich content of message `id`, or none.
    void getNotificationContent(
        const std::string& id,
        ValueCompletion<std::shared_ptr<ExtraContentProtocol>> postCompleted);
    /// Stores rich content (the first stored for a message id is kept).
    void saveNotificationContent(const ExtraContentProtocol& content, Completion postCompleted);

    /// The store's controller, refiltered by `predicate` (sorted by message date, oldest first)
    /// and fetched. The controller is shared, so the predicate stays for every later user of it.
    /// Throws the store's opening errors, PredicateError, or InternalError "Failed to get
    /// FetchedResultsController by predicate: ..." (the earlier request is kept then).
    std::shared_ptr<FetchedResultsController> getMessages(const Predicate& by);
    /// The store's controller. Throws the store's opening errors or InternalError.
    std::shared_ptr<FetchedResultsController> fetchedResultsController();

  private:
    std::string sharedAppGroup() const;
    std::optional<std::int64_t> limit(Setting setting) const;
    void scheduleCleanup(const std::shared_ptr<StorageMessage>& store) const;
    /// Obtains the store (throwing as storage() does), then runs `job(store)` on the main queue.
    template <class Job>
    void schedule(Job job);

    const std::string instance_;
    const std::shared_ptr<SettingsUtils> settingsUtils_;
    std::mutex mutex_;
    std::shared_ptr<StorageMessage> storageMessage_;
};

}  // namespace orvanpush::detail
