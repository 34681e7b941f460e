#pragma once

// The protocols through which the library hands out stored messages and their parts, and takes
// message data in. Entities bound to the store (`Message`, ...) and plain value classes
// (`MessageImp`, ...) both implement them. Texts and dates are optional; flags and numbers are
// not. Getters never throw.

#include <cstdint>
#include <optional>
#include <string>
#include "orvanpush/Export.h"

#include "orvanpush/Types.h"

namespace orvanpush {

/// A message: its texts as the notification carried them, its dates, current status and
/// channel. Setters of stored messages write through to the store (see Message).
class ORVANPUSH_EXPORT MessageProtocol {
  public:
    virtual ~MessageProtocol() = default;
    /// The "message-id" the push server gave the message.
    virtual std::optional<std::string> id() const = 0;
    /// The texts shown in the notification.
    virtual std::optional<std::string> title() const = 0;
    virtual std::optional<std::string> subtitle() const = 0;
    virtual std::optional<std::string> body() const = 0;
    /// When the message was received.
    virtual std::optional<Date> messageDate() const = 0;
    /// The message was silent (the payload carried "content-available").
    virtual bool contentAvailable() const = 0;
    /// The current status: "Delivered" or "Read".
    virtual std::optional<std::string> statusName() const = 0;
    /// Sets the current status (for a stored message: with a history row and an unsent report).
    virtual void setStatusName(const std::optional<std::string>& statusName) = 0;
    /// When the current status was set.
    virtual std::optional<Date> statusDate() const = 0;
    /// The name of the channel the message arrived on, and its setter.
    virtual std::optional<std::string> channelName() const = 0;
    virtual void setChannelName(const std::optional<std::string>& channelName) = 0;
};

/// One status change of a message.
class ORVANPUSH_EXPORT MessageStatusProtocol {
  public:
    virtual ~MessageStatusProtocol() = default;
    /// The status's name ("Delivered", "Read") and when it was set, with their setters.
    virtual std::optional<std::string> statusName() const = 0;
    virtual void setStatusName(const std::optional<std::string>& statusName) = 0;
    virtual std::optional<Date> statusDate() const = 0;
    virtual void setStatusDate(const std::optional<Date>& statusDate) = 0;
    /// The status has been reported to the push server.
    virtual bool isSent() const = 0;
    virtual void setIsSent(bool isSent) = 0;
};

/// A status change with the id of its message, so it can be reported and marked on its own.
class ORVANPUSH_EXPORT MessageStatusExternalProtocol : public MessageStatusProtocol {
  public:
    /// The id of the message the status belongs to, and its setter.
    virtual std::optional<std::string> messageId() const = 0;
    virtual void setMessageId(const std::optional<std::string>& messageId) = 0;
};

/// A distinct status name, as stored once for every message that has it.
class ORVANPUSH_EXPORT StatusProtocol {
  public:
    virtual ~StatusProtocol() = default;
    /// The status name.
    virtual std::optional<std::string> name() const = 0;
};

/// A distinct channel, as stored once for every message that arrived on it.
class ORVANPUSH_EXPORT ChannelProtocol {
  public:
    virtual ~ChannelProtocol() = default;
    /// The channel's name.
    virtual std::optional<std::string> name() const = 0;
};

/// An icon a message links to.
class ORVANPUSH_EXPORT IconProtocol {
  public:
    virtual ~IconProtocol() = default;
    /// Where the icon comes from (unique among icons).
    virtual std::optional<std::string> url() const = 0;
    /// The icon's content, as stored.
    virtual std::optional<std::string> value() const = 0;
};

/// Rich content of a message.
class ORVANPUSH_EXPORT ExtraContentProtocol {
  public:
    virtual ~ExtraContentProtocol() = default;
    /// The content's MIME type (as the server sent it).
    virtual std::optional<std::string> mimeType() const = 0;
    /// The content itself.
    virtual std::optional<std::string> value() const = 0;
    /// The id of the message it belongs to.
    virtual std::optional<std::string> messageId() const = 0;
};

/// Classifier data of a message, taken from its custom data.
class ORVANPUSH_EXPORT MessageAttributesProtocol {
  public:
    virtual ~MessageAttributesProtocol() = default;
    /// The custom data's "classifierId" as a number (0 when missing or not a 16-bit number).
    virtual std::int16_t classifierdId() const = 0;
    /// The custom data's "classifier".
    virtual std::optional<std::string> classifierName() const = 0;
    /// The custom data's "isImportant" as a number (0 when missing or not a 16-bit number).
    virtual std::int16_t isImportant() const = 0;
    /// When the message was sent, as its custom data says.
    virtual std::optional<Date> messageDate() const = 0;
    /// The id of the message the data belongs to.
    virtual std::optional<std::string> messageId() const = 0;
};

}  // namespace orvanpush
