#pragma once

// The message store: every read and write of the message database goes through it. Each
// operation is one transaction (deletions of many rows are several short ones, so the other
// process sharing the store gets its turn) and is written at once. Operations run on the
// calling thread and throw TextError when the store cannot be read or written (InternalError
// for the store's fatal faults, StorageMessageError for failed saves).

#include <memory>
#include <optional>
#include <string>
#include <vector>
#include "orvanpush/Export.h"

#include "orvanpush/storage/Entities.h"
#include "orvanpush/storage/Message.h"
#include "orvanpush/storage/MessageProtocols.h"
#include "orvanpush/storage/MessageValues.h"
#include "orvanpush/storage/Predicate.h"

namespace orvanpush {

/// The store's operations; the library implements it over the shared message database.
class ORVANPUSH_EXPORT StorageMessageProtocol {
  public:
    virtual ~StorageMessageProtocol() = default;

    /// The first message stored with `messageId`; nothing when there is none, and for an absent
    /// id without touching the store.
    virtual std::shared_ptr<Message> messageById(const std::optional<std::string>& messageId) = 0;
    /// Stores a new message filled from `message`, with an unsent report of its status. Does not
    /// look for an earlier message with the same id. Throws StorageMessageError notSaved.
    virtual void saveMessage(const MessageProtocol& message) = 0;
    /// The same, then fills the message's attributes from `attributes`.
    virtual void saveMessage(const MessageProtocol& message,
                             const MessageAttributesProtocol& attributes) = 0;
    /// Stores one new message per value, all in one transaction.
    virtual void saveMessages(const std::vector<std::shared_ptr<MessageProtocol>>& messages) = 0;
    /// True when a message with `id` is stored.
    virtual bool isMessageExists(const std::string& id) = 0;
    /// Every status not yet reported, in the order they were stored, each with its message's
    /// id (kept when the message was deleted).
    virtual std::vector<MessageStatusExternal> getMessageStatusesUnsent() = 0;
    /// Marks every status row of (message id, status name) sent, whatever its date; a sent row
    /// whose message is gone is deleted. An absent id or name counts as "".
    virtual void markMessageStatusAsSent(const MessageStatusExternalProtocol& status) = 0;
    /// Marks every status row of (message id, status name) unsent.
    virtual void markMessageStatusAsUnsent(const MessageStatusExternalProtocol& status) = 0;
    /// Deletes every message, channel and status name; unsent reports stay.
    virtual void removeAllMessages() = 0;
    /// Deletes the messages with `id`.
    virtual void removeMessage(const std::string& id) = 0;
    /// Deletes the messages whose id is in `ids` (of any length).
    virtual void removeMessages(const std::vector<std::string>& ids) = 0;
    /// Deletes the messages that match `predicate`. Throws PredicateError for a predicate on
    /// key paths that messages do not have.
    virtual void removeMessages(const Predicate& predicate) = 0;
    /// The rich content of a message id; nothing when none is stored.
    virtual std::shared_ptr<ExtraContent> extraContent(const std::string& messageId) = 0;
    /// Stores rich content (the first one stored for a message id is kept) and links it to the
    /// first message with its id. Throws StorageMessageError notSaved.
    virtual void storeExtraContent(const ExtraContentProtocol& content) = 0;
};

}  // namespace orvanpush
