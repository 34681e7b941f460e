#pragma once

// A stored message, bound to its store as a managed object is bound to its context: its getters
// answer the values read with it, and its setters write through to the store at once, each in
// one transaction, telling the store's controllers afterwards. A setter on a message whose row
// is gone changes nothing and logs, even when a message stored later took the row's key. Setters
// throw TextError (InternalError for the store's fatal faults) when the store cannot be written.
//
//   auto message = controller->fetchedObjects().front();
//   message->setStatusName("Read");   // a new history row and an unsent "Read" report

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>
#include "orvanpush/Export.h"

#include "orvanpush/storage/Entities.h"
#include "orvanpush/storage/FetchedResultsController.h"
#include "orvanpush/storage/MessageProtocols.h"
#include "orvanpush/storage/MessageStatus.h"
#include "orvanpush/storage/MessageValues.h"
#include "orvanpush/storage/StoredObject.h"

namespace orvanpush {

/// A stored message: a MessageProtocol whose setters write to the store. Its getters are
/// thread-safe; each write is one transaction on the calling thread.
class ORVANPUSH_EXPORT Message : public StoredObject, public MessageProtocol {
  public:
    /// Made by the store from the values it read.
    ORVANPUSH_INTERNAL Message(std::shared_ptr<detail::SharedPersistentContainer> container,
                               std::int64_t key, MessageImp values);

    /// The values as read (and re-read after each of this object's writes); see MessageProtocol.
    std::optional<std::string> id() const override;
    std::optional<std::string> title() const override;
    std::optional<std::string> subtitle() const override;
    std::optional<std::string> body() const override;
    std::optional<Date> messageDate() const override;
    bool contentAvailable() const override;
    std::optional<std::string> statusName() const override;
    std::optional<Date> statusDate() const override;
    std::optional<std::string> channelName() const override;

    /// A status change: the current status and its date (now), a history row and an unsent
    /// report of the new name. Nothing happens for an absent name or the name the stored row
    /// already has.
    void setStatusName(const std::optional<std::string>& statusName) override;
    /// Sets the date of the current status (absent clears it); no history row.
    void setStatusDate(const std::optional<Date>& statusDate);
    /// Assigns the channel of that name (created when missing). Nothing happens for an absent
    /// name or the channel the message already has.
    void setChannelName(const std::optional<std::string>& channelName) override;

    /// Fills the message from `message`: texts, flag, dates (a missing message date keeps the
    /// stored one), status (with a history row and an unsent report), channel and attributes.
    void setup(const MessageProtocol& message);
    /// Overwrites the classifier data of the linked attributes row, if there is one.
    void setupAttributes(const MessageAttributesProtocol& attributes);

    // The linked rows, read when asked; nothing when there is no link or the store cannot be
    // read (logged).
    std::shared_ptr<Status> status() const;
    std::shared_ptr<Channel> channel() const;
    std::shared_ptr<ExtraContent> extraContent() const;
    std::shared_ptr<Icon> icon() const;
    std::shared_ptr<MessageAttributes> messageAttributes() const;
    /// The status history, oldest first.
    std::vector<std::shared_ptr<MessageStatus>> messageStatuses() const;

    /// A request for every message, in the order they were stored.
    static FetchRequest fetchRequest() { return {}; }

  private:
    MessageImp values() const;
    /// Reads the row again after a write; false when it is gone or holds another id than `id`.
    bool reload(const std::optional<std::string>& id);

    mutable std::mutex mutex_;
    MessageImp values_;
};

}  // namespace orvanpush
