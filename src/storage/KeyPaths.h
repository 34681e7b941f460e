#pragma once

// The key paths a store predicate or sort may name, per entity, with the SQL each becomes. This
// table is the whole whitelist: nothing else a host writes ever reaches SQL text.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "orvanpush/storage/StorageMessageEntity.h"

namespace orvanpush::detail {

/// How a key path's values are stored and compared.
enum class ValueType { text, date, flag, number };

struct KeyPath {
    std::string_view name;
    ValueType type;
    std::string sql;  ///< an expression over the entity's table
};

/// The key path `name` of `entity`; nothing when the entity has no such key path (status and
/// channel rows are never fetched by predicate).
std::optional<KeyPath> findKeyPath(StorageMessageEntity entity, std::string_view name);

/// The names of `entity`'s key paths, in the table's order; none for status and channel rows.
std::vector<std::string_view> keyPathNames(StorageMessageEntity entity);

/// The type of the key path `name` of any entity; nothing when no entity has it.
std::optional<ValueType> keyPathType(std::string_view name);

}  // namespace orvanpush::detail
