#pragma once

// One status change of a message, as stored: the queue of delivery reports is the set of rows
// not yet sent. Its setters write through at once (see Message); a row that is gone changes
// nothing and logs.

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include "orvanpush/Export.h"

#include "orvanpush/storage/MessageProtocols.h"
#include "orvanpush/storage/MessageValues.h"
#include "orvanpush/storage/StoredObject.h"

namespace orvanpush {

class Message;

/// A stored status change whose setters write to the store on the calling thread, as
/// Message's do. Thread-safe.
class ORVANPUSH_EXPORT MessageStatus : public StoredObject, public MessageStatusProtocol {
  public:
    /// Made by the store from the values it read.
    ORVANPUSH_INTERNAL MessageStatus(std::shared_ptr<detail::SharedPersistentContainer> container,
                                     std::int64_t key, MessageStatusExternal values);

    /// The values as read (and after this object's writes); see MessageStatusProtocol.
    std::optional<std::string> statusName() const override;
    std::optional<Date> statusDate() const override;
    bool isSent() const override;
    /// The id of the message the status belongs to; kept when the message is deleted.
    std::optional<std::string> messageId() const;

    /// Writes the name unless it equals the stored one (two absent names are equal).
    void setStatusName(const std::optional<std::string>& statusName) override;
    /// Writes the date.
    void setStatusDate(const std::optional<Date>& statusDate) override;
    /// Writes the flag unless it is unchanged.
    void setIsSent(bool isSent) override;

    /// The message, read when asked; nothing when it is gone or cannot be read (logged).
    std::shared_ptr<Message> message() const;

  private:
    template <class Change>
    void write(const char* sql, Change&& bind);

    mutable std::mutex mutex_;
    MessageStatusExternal values_;
};

}  // namespace orvanpush
