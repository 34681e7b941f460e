#pragma once

// The history of messages sent to a subscriber, as PushSDK::getMessages delivers it: on success
// the messages in the server's order, on failure an error code and no messages.

#include <optional>
#include <string>
#include <vector>
#include "orvanpush/Export.h"

#include "orvanpush/BaseApiResult.h"
#include "orvanpush/Types.h"

namespace orvanpush {

/// One message of the history.
class ORVANPUSH_EXPORT MessageElement {
  public:
    /// An element with exactly these values; a plain value, copyable and comparable.
    MessageElement(std::string messageId, Date date,
                   std::optional<std::string> title = std::nullopt,
                   std::optional<std::string> text = std::nullopt);

    /// The message's id.
    const std::string& getMessageId() const { return messageId_; }
    /// When the message was sent.
    Date getDate() const { return date_; }
    /// Its title, when it has one.
    const std::optional<std::string>& getTitle() const { return title_; }
    /// Its text, when it has one.
    const std::optional<std::string>& getText() const { return text_; }

    /// Equal when every value is.
    bool operator==(const MessageElement&) const = default;

  private:
    std::string messageId_;
    Date date_;
    std::optional<std::string> title_;
    std::optional<std::string> text_;
};

/// A result with the message history; a plain value, copyable and comparable.
///
///   sdk->getMessages(std::nullopt, std::nullopt, 0, from, std::nullopt, std::nullopt,
///                    [](std::optional<orvanpush::StatisticsResult> result) {
///                        if (result && result->getMessages()) {
///                            for (const auto& message : *result->getMessages()) { ... }
///                        }
///                    });
class ORVANPUSH_EXPORT StatisticsResult : public BaseApiResult {
  public:
    /// A result with exactly these values.
    StatisticsResult(ResultKind resultKind, std::int64_t errorCode,
                     std::optional<std::string> errorDescription = std::nullopt,
                     std::optional<std::vector<MessageElement>> messages = std::nullopt);

    /// The messages on success (possibly none); absent on failure.
    const std::optional<std::vector<MessageElement>>& getMessages() const { return messages_; }

    /// Equal when every value is.
    bool operator==(const StatisticsResult&) const = default;

  private:
    std::optional<std::vector<MessageElement>> messages_;
};

}  // namespace orvanpush
