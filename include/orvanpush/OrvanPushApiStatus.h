#pragma once

// The message statuses the push server receives, and the names of its API methods.

#include <optional>
#include <string>
#include <string_view>
#include "orvanpush/Export.h"

namespace orvanpush {

/// A message's status; its raw value is what the server receives and the store keeps.
enum class OrvanPushApiStatus { delivered, read };

/// "Delivered" or "Read".
ORVANPUSH_EXPORT std::string toString(OrvanPushApiStatus status);

/// The status with exactly that raw value (case-sensitive); nothing for any other text.
ORVANPUSH_EXPORT std::optional<OrvanPushApiStatus> orvanPushApiStatusFromRawValue(
    std::string_view rawValue);

/// The push server's API methods; their printed names are the request URIs handed to
/// HttpRequestAdditionalHeaderManager::getAdditionalHeaders.
enum class ApiMethods {
    subscribe,
    unsubscribe,
    notifications,
    updateSubscriber,
    downloadContent,
    getSubscriberData,
    statistics,
};

/// The method's name: "subscribe", "unsubscribe", "notifications", "subscriber/update",
/// "content/download", "subscriber/get" or "statistics".
ORVANPUSH_EXPORT std::string toString(ApiMethods method);

}  // namespace orvanpush
