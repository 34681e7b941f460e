#pragma once

// A delivered notification (the request the system hands the extension) and the user's answer
// to it (what the application gets when the user opens it):
//
//   orvanpush::NotificationRequest request{"push-1",
//                                          orvanpush::NotificationContent::fromPayload(payload)};
//   sdk->onMessageRead(orvanpush::NotificationResponse{request}, completion);

#include <string>

#include "orvanpush/NotificationContent.h"

namespace orvanpush {

struct NotificationRequest {
    /// The system's identifier of the notification.
    std::string identifier;
    NotificationContent content;
};

struct NotificationResponse {
    /// The notification the user opened.
    NotificationRequest request;
};

}  // namespace orvanpush
