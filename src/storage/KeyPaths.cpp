#include "storage/KeyPaths.h"

#include <array>

namespace orvanpush::detail {
namespace {

constexpr std::array messageKeyPaths{
    KeyPath{"id", ValueType::text, "Message.id"},
    KeyPath{"title", ValueType::text, "Message.title"},
    KeyPath{"subtitle", ValueType::text, "Message.subtitle"},
    KeyPath{"body", ValueType::text, "Message.body"},
    KeyPath{"messageDate", ValueType::date, "Message.messageDate"},
    KeyPath{"contentAvailable", ValueType::flag, "Message.contentAvailable"},
    KeyPath{"statusName", ValueType::text, "Message.statusNameInternal"},
    KeyPath{"statusNameInternal", ValueType::text, "Message.statusNameInternal"},
    KeyPath{"statusDate", ValueType::date, "Message.statusDateInternal"},
    KeyPath{"statusDateInternal", ValueType::date, "Message.statusDateInternal"},
    KeyPath{"channelName", ValueType::text, "Message.channelNameInternal"},
    KeyPath{"channelNameInternal", ValueType::text, "Message.channelNameInternal"},
    KeyPath{"statusLink.name", ValueType::text,
            "(SELECT name FROM Status WHERE Status.pk = Message.statusLink)"},
    KeyPath{"channelLink.name", ValueType::text,
            "(SELECT name FROM Channel WHERE Channel.pk = Message.channelLink)"},
    KeyPath{"iconLink.url", ValueType::text,
            "(SELECT url FROM Icon WHERE Icon.pk = Message.iconLink)"},
    KeyPath{"iconLink.value", ValueType::text,
            "(SELECT value FROM Icon WHERE Icon.pk = Message.iconLink)"},
    KeyPath{
        "extraContentLink.messageId", ValueType::text,
        "(SELECT messageId FROM ExtraContent WHERE ExtraContent.pk = Message.extraContentLink)"},
    KeyPath{"extraContentLink.mimeType", ValueType::text,
            "(SELECT mimeType FROM ExtraContent WHERE ExtraContent.pk = Message.extraContentLink)"},
    KeyPath{"extraContentLink.value", ValueType::text,
            "(SELECT value FROM ExtraContent WHERE ExtraContent.pk = Message.extraContentLink)"},
    KeyPath{"messageAttributesLink.classifierdId", ValueType::number,
            "(SELECT classifierdId FROM MessageAttributes "
            "WHERE MessageAttributes.pk = Message.messageAttributesLink)"},
    KeyPath{"messageAttributesLink.classifierName", ValueType::text,
            "(SELECT classifierName FROM MessageAttributes "
            "WHERE MessageAttributes.pk = Message.messageAttributesLink)"},
    KeyPath{"messageAttributesLink.isImportant", ValueType::number,
            "(SELECT isImportant FROM MessageAttributes "
            "WHERE MessageAttributes.pk = Message.messageAttributesLink)"},
    KeyPath{"messageAttributesLink.messageDate", ValueType::date,
            "(SELECT messageDate FROM MessageAttributes "
            "WHERE MessageAttributes.pk = Message.messageAttributesLink)"},
    KeyPath{"messageAttributesLink.messageId", ValueType::text,
            "(SELECT messageId FROM MessageAttributes "
            "WHERE MessageAttributes.pk = Message.messageAttributesLink)"},
};

// A status row keeps a copy of its message's id, so "messageLink.id" still answers after the
// message was deleted.
constexpr std::array messageStatusKeyPaths{
    KeyPath{"messageLink.id", ValueType::text, "MessageStatus.messageId"},
    KeyPath{"statusName", ValueType::text, "MessageStatus.statusNameInternal"},
    KeyPath{"statusNameInternal", ValueType::text, "MessageStatus.statusNameInternal"},
    KeyPath{"statusDate", ValueType::date, "MessageStatus.statusDateInternal"},
    KeyPath{"statusDateInternal", ValueType::date, "MessageStatus.statusDateInternal"},
    KeyPath{"isSent", ValueType::flag, "MessageStatus.isSentInternal"},
    KeyPath{"isSentInternal", ValueType::flag, "MessageStatus.isSentInternal"},
    KeyPath{"statusLink.name", ValueType::text,
            "(SELECT name FROM Status WHERE Status.pk = MessageStatus.statusLink)"},
};

template <std::size_t size>
std::optional<KeyPath> find(const std::array<KeyPath, size>& keyPaths, std::string_view name) {
    for (const auto& keyPath : keyPaths) {
        if (keyPath.name == name) {
            return keyPath;
        }
    }
    return std::nullopt;
}

}  // namespace

std::optional<KeyPath> findKeyPath(StorageMessageEntity entity, std::string_view name) {
    switch (entity) {
        case StorageMessageEntity::message:
            return find(messageKeyPaths, name);
        case StorageMessageEntity::messageStatus:
            return find(messageStatusKeyPaths, name);
        case StorageMessageEntity::status:
        case StorageMessageEntity::channel:
            break;
    }
    return std::nullopt;
}

std::vector<std::string_view> keyPathNames(StorageMessageEntity entity) {
    const auto names = [](const auto& keyPaths) {
        std::vector<std::string_view> list;
        for (const auto& keyPath : keyPaths) {
            list.push_back(keyPath.name);
        }
        return list;
    };
    switch (entity) {
        case StorageMessageEntity::message:
            return names(messageKeyPaths);
        case StorageMessageEntity::messageStatus:
            return names(messageStatusKeyPaths);
        case StorageMessageEntity::status:
        case StorageMessageEntity::channel:
            break;
    }
    return {};
}

std::optional<ValueType> keyPathType(std::string_view name) {
    for (auto entity : {StorageMessageEntity::message, StorageMessageEntity::messageStatus}) {
        if (auto keyPath = findKeyPath(entity, name)) {
            return keyPath->type;
        }
    }
    return std::nullopt;
}

}  // namespace orvanpush::detail
