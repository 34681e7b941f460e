#include "storage/KeyPaths.h"

#include <array>
#include <span>

namespace orvanpush::detail {
namespace {

// A key path: a column of the entity's own row (`column`, or the name itself when that is
// empty), or, when `linkedTable` is given, the column named after the dot of "<link>.<column>"
// in the row of `linkedTable` that the entity's column <link> points at.
struct Row {
    std::string_view name;
    ValueType type;
    std::string_view column = {};
    std::string_view linkedTable = {};
};

constexpr std::array messageRows{
    Row{"id", ValueType::text},
    Row{"title", ValueType::text},
    Row{"subtitle", ValueType::text},
    Row{"body", ValueType::text},
    Row{"messageDate", ValueType::date},
    Row{"contentAvailable", ValueType::flag},
    Row{"statusName", ValueType::text, "statusNameInternal"},
    Row{"statusNameInternal", ValueType::text},
    Row{"statusDate", ValueType::date, "statusDateInternal"},
    Row{"statusDateInternal", ValueType::date},
    Row{"channelName", ValueType::text, "channelNameInternal"},
    Row{"channelNameInternal", ValueType::text},
    Row{"statusLink.name", ValueType::text, {}, "Status"},
    Row{"channelLink.name", ValueType::text, {}, "Channel"},
    Row{"iconLink.url", ValueType::text, {}, "Icon"},
    Row{"iconLink.value", ValueType::text, {}, "Icon"},
    Row{"extraContentLink.messageId", ValueType::text, {}, "ExtraContent"},
    Row{"extraContentLink.mimeType", ValueType::text, {}, "ExtraContent"},
    Row{"extraContentLink.value", ValueType::text, {}, "ExtraContent"},
    Row{"messageAttributesLink.classifierdId", ValueType::number, {}, "MessageAttributes"},
    Row{"messageAttributesLink.classifierName", ValueType::text, {}, "MessageAttributes"},
    Row{"messageAttributesLink.isImportant", ValueType::number, {}, "MessageAttributes"},
    Row{"messageAttributesLink.messageDate", ValueType::date, {}, "MessageAttributes"},
    Row{"messageAttributesLink.messageId", ValueType::text, {}, "MessageAttributes"},
};

// A status row keeps a copy of its message's id, so "messageLink.id" still answers after the
// message was deleted.
constexpr std::array messageStatusRows{
    Row{"messageLink.id", ValueType::text, "messageId"},
    Row{"statusName", ValueType::text, "statusNameInternal"},
    Row{"statusNameInternal", ValueType::text},
    Row{"statusDate", ValueType::date, "statusDateInternal"},
    Row{"statusDateInternal", ValueType::date},
    Row{"isSent", ValueType::flag, "isSentInternal"},
    Row{"isSentInternal", ValueType::flag},
    Row{"statusLink.name", ValueType::text, {}, "Status"},
};

std::span<const Row> rowsOf(StorageMessageEntity entity) {
    switch (entity) {
        case StorageMessageEntity::message:
            return messageRows;
        case StorageMessageEntity::messageStatus:
            return messageStatusRows;
        case StorageMessageEntity::status:
        case StorageMessageEntity::channel:
            break;
    }
    return {};
}

std::string sqlOf(const Row& row, StorageMessageEntity entity) {
    const std::string table = toString(entity);
    if (row.linkedTable.empty()) {
        return table + "." + std::string(row.column.empty() ? row.name : row.column);
    }
    const auto dot = row.name.find('.');
    const std::string link(row.name.substr(0, dot));
    const std::string column(row.name.substr(dot + 1));
    const std::string linked(row.linkedTable);
    return "(SELECT " + column + " FROM " + linked + " WHERE " + linked + ".pk = " + table + "." +
           link + ")";
}

}  // namespace

std::optional<KeyPath> findKeyPath(StorageMessageEntity entity, std::string_view name) {
    for (const auto& row : rowsOf(entity)) {
        if (row.name == name) {
            return KeyPath{row.name, row.type, sqlOf(row, entity)};
        }
    }
    return std::nullopt;
}

std::vector<std::string_view> keyPathNames(StorageMessageEntity entity) {
    std::vector<std::string_view> names;
    for (const auto& row : rowsOf(entity)) {
        names.push_back(row.name);
    }
    return names;
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
