#include "orvanpush/storage/StorageMessageEntity.h"

namespace orvanpush {

std::string toString(StorageMessageEntity entity) {
    switch (entity) {
        case StorageMessageEntity::message:
            return "Message";
        case StorageMessageEntity::messageStatus:
            return "MessageStatus";
        case StorageMessageEntity::status:
            return "Status";
        case StorageMessageEntity::channel:
            return "Channel";
    }
    return "Message";
}

std::optional<StorageMessageEntity> storageMessageEntityFromRawValue(std::string_view rawValue) {
    for (auto entity : {StorageMessageEntity::message, StorageMessageEntity::messageStatus,
                        StorageMessageEntity::status, StorageMessageEntity::channel}) {
        if (toString(entity) == rawValue) {
            return entity;
        }
    }
    return std::nullopt;
}

}  // namespace orvanpush
