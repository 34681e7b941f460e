#pragma once

#include <optional>
#include <string>
#include <string_view>
#include "orvanpush/Export.h"

namespace orvanpush {

/// The names of the stored entities that the store fetches by name.
enum class StorageMessageEntity { message, messageStatus, status, channel };

/// "Message", "MessageStatus", "Status" or "Channel".
ORVANPUSH_EXPORT std::string toString(StorageMessageEntity entity);
/// The case with exactly that raw value; nothing for any other text.
ORVANPUSH_EXPORT std::optional<StorageMessageEntity> storageMessageEntityFromRawValue(
    std::string_view rawValue);

}  // namespace orvanpush
