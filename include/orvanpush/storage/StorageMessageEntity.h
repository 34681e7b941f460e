#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace orvanpush {

/// The names of the stored entities that the store fetches by name.
enum class StorageMessageEntity { message, messageStatus, status, channel };

/// "Message", "MessageStatus", "Status" or "Channel".
std::string toString(StorageMessageEntity entity);
/// The case with exactly that raw value; nothing for any other text.
std::optional<StorageMessageEntity> storageMessageEntityFromRawValue(std::string_view rawValue);

}  // namespace orvanpush
