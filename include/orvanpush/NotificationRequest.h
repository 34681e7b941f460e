#pragma once

// A delivered notification (the request the system hands the extension) and the user's answer
// to it (what the application gets when the user opens it):
//
//   orvanpush::NotificationRequest request{"push-1",
//                                          orvanpush::NotificationContent::fromPayload(payload)};
//   sdk->onMessageRead(orvanpush::NotificationResponse{request}, completion);

#include <string>
#include "orvanpush/Export.h"

#include "orvanpush/NotificationContent.h"

namespace orvanpush {

/// A delivered notification, as the extension receives it; a plain value.
struct ORVANPUSH_EXPORT NotificationRequest {
    /// The system's identifier of the notification.
    std::string identifier;
    /// What the notification shows, and its payload.
    NotificationContent content;
};

/// The user's opening of a notification, as the application receives it; a plain value.
struct ORVANPUSH_EXPORT NotificationResponse {
    /// The notification the user opened.
    NotificationRequest request;
};

}  // namespace orvanpush
