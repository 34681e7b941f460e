#pragma once

// PUT "/notifications": reports a message's status, signed over address, message id and status.

#include <optional>
#include <string>

#include "api/ApiTarget.h"
#include "orvanpush/BaseApiResult.h"
#include "platform/UrlSession.h"

namespace orvanpush::detail {

struct NotificationsObject {
    RequestHeaders headers{};
    int retryCount = 0;
    std::optional<double> requestTimeout{};
    std::string address{};
    std::string messageId{};
    /// The raw value of the OrvanPushApiStatus: "Delivered" or "Read".
    std::string status{};
    /// Empty when the caller does not sign the report or signing failed.
    std::string signature{};
};

struct NotificationsTarget {
    using Result = BaseApiResult;

    NotificationsObject value;

    /// Body: "address", "messageId", "status" ("Delivered" or "Read"), "signature".
    ApiParameters parameters() const;
    static Result convert(const platform::HttpResponse& response);
    /// The signed text: address, messageId, status.
    static std::string signedText(const NotificationsObject& object);
};

}  // namespace orvanpush::detail
