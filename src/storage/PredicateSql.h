#pragma once

// Store predicates and sorts as SQL: key paths become the whitelisted expressions of KeyPaths,
// values become bound parameters, and every condition is two-valued (a missing value compares
// as the original platform compares nil, never as SQL's unknown).

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "orvanpush/storage/FetchedResultsController.h"
#include "orvanpush/storage/Predicate.h"
#include "orvanpush/storage/StorageMessageEntity.h"
#include "platform/SqliteDatabase.h"

namespace orvanpush::detail {

struct PredicateSql {
    using Parameter = std::variant<std::monostate, std::string, std::int64_t>;

    std::string condition;              ///< an SQL expression that is 0 or 1, with `?` parameters
    std::vector<Parameter> parameters;  ///< in the order of their `?`

    /// Binds the parameters to `statement`, the first at `firstIndex`.
    void bind(platform::SqliteStatement& statement, int firstIndex) const;
};

/// The condition of `predicate` over the table of `entity`. Throws PredicateError for a key
/// path that the entity does not have.
PredicateSql compilePredicate(const Predicate& predicate, StorageMessageEntity entity);

/// "ORDER BY" with the sort keys and then the row key, so equal keys keep the stored order.
/// Throws PredicateError for a key that the entity does not have.
std::string compileSort(const std::vector<SortDescriptor>& sortDescriptors,
                        StorageMessageEntity entity);

/// A date as the store keeps it (nanoseconds since 1970) and back.
std::int64_t storedDate(Date date);
Date dateFromStored(std::int64_t value);

}  // namespace orvanpush::detail
