#pragma once

// Payloads and notification contents a host hands the library, made valid UTF-8 on entry (each
// ill-formed sequence becomes U+FFFD, valid text is unchanged) as `repaired` makes its strings,
// before they are stored, signed or sent.

#include "orvanpush/NotificationContent.h"
#include "orvanpush/Types.h"

namespace orvanpush::detail {

/// `value` with every string and member name repaired. Throws TextError for a value that nests
/// deeper than platform::ForeignJson::kMaxDepth (the walk stops there).
Json repairedJson(const Json& value);

/// A copy of `content` with its texts, sound name and payload repaired; throws as repairedJson.
MutableNotificationContent repairedContent(const NotificationContent& content);

}  // namespace orvanpush::detail
