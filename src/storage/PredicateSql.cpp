#include "storage/PredicateSql.h"

#include <type_traits>

#include "orvanpush/storage/StorageErrors.h"
#include "storage/KeyPaths.h"
#include "text/Utf8Text.h"

namespace orvanpush::detail {
namespace {

class Compiler {
  public:
    explicit Compiler(StorageMessageEntity entity) : entity_(entity) {}

    PredicateSql take(const Predicate& predicate) {
        result_.condition = condition(predicate);
        return std::move(result_);
    }

  private:
    std::string condition(const Predicate& predicate) {
        return std::visit([this](const auto& node) { return condition(node); }, predicate.node());
    }

    // IS and IS NOT compare NULL as a value; an ordering with NULL is false, not unknown.
    std::string condition(const Predicate::Comparison& comparison) {
        const auto expression = sqlOf(comparison.keyPath);
        add(comparison.value);
        switch (comparison.op) {
            case Predicate::Operator::equalTo:
                return "(" + expression + " IS ?)";
            case Predicate::Operator::notEqualTo:
                return "(" + expression + " IS NOT ?)";
            case Predicate::Operator::lessThan:
                return "coalesce(" + expression + " < ?, 0)";
            case Predicate::Operator::lessThanOrEqualTo:
                return "coalesce(" + expression + " <= ?, 0)";
            case Predicate::Operator::greaterThan:
                return "coalesce(" + expression + " > ?, 0)";
            case Predicate::Operator::greaterThanOrEqualTo:
                return "coalesce(" + expression + " >= ?, 0)";
        }
        return "0";
    }

    // The list travels as one JSON array parameter, so its length never meets SQLite's limit
    // on parameters; nil in the list matches a missing value. A text that is not UTF-8 cannot
    // be JSON: it is compared on its own, byte for byte as `==` compares it.
    std::string condition(const Predicate::Membership& membership) {
        const auto expression = sqlOf(membership.keyPath);
        Json list = Json::array();
        std::vector<const PredicateValue*> unlisted;
        bool matchesNil = false;
        for (const auto& value : membership.values) {
            if (value.isNil()) {
                matchesNil = true;
            } else if (isMalformedText(value)) {
                unlisted.push_back(&value);
            } else {
                list.push_back(jsonOf(value));
            }
        }
        std::string text = "0";
        if (!list.empty()) {
            result_.parameters.emplace_back(list.dump());
            text = "coalesce(" + expression + " IN (SELECT value FROM json_each(?)), 0)";
        }
        for (const auto* value : unlisted) {
            add(*value);
            text = "(" + text + " OR " + expression + " IS ?)";
        }
        if (matchesNil) {
            text = "(" + expression + " IS NULL OR " + text + ")";
        }
        return text;
    }

    std::string condition(const Predicate::Compound& compound) {
        using Type = Predicate::Compound::Type;
        if (compound.type == Type::negation) {
            return "(NOT " + condition(compound.operands.front()) + ")";
        }
        if (compound.operands.empty()) {
            return compound.type == Type::allOf ? "1" : "0";
        }
        std::string text;
        for (const auto& operand : compound.operands) {
            if (!text.empty()) {
                text += compound.type == Type::allOf ? " AND " : " OR ";
            }
            text += condition(operand);
        }
        return "(" + text + ")";
    }

    std::string sqlOf(const std::string& keyPath) const {
        const auto found = findKeyPath(entity_, keyPath);
        if (!found) {
            throw PredicateError("Key path \"" + keyPath + "\" is not a key path of " +
                                 toString(entity_));
        }
        return std::string(found->sql);
    }

    void add(const PredicateValue& value) {
        std::visit(
            [this](const auto& held) {
                using Held = std::decay_t<decltype(held)>;
                if constexpr (std::is_same_v<Held, std::monostate> ||
                              std::is_same_v<Held, std::string>) {
                    result_.parameters.emplace_back(held);
                } else if constexpr (std::is_same_v<Held, Date>) {
                    result_.parameters.emplace_back(storedDate(held));
                } else {
                    result_.parameters.emplace_back(static_cast<std::int64_t>(held));
                }
            },
            value.variant());
    }

    static bool isMalformedText(const PredicateValue& value) {
        const auto* text = std::get_if<std::string>(&value.variant());
        return text != nullptr && repairUtf8(*text) != *text;
    }

    static Json jsonOf(const PredicateValue& value) {
        return std::visit(
            [](const auto& held) -> Json {
                using Held = std::decay_t<decltype(held)>;
                if constexpr (std::is_same_v<Held, std::monostate>) {
                    return nullptr;
                } else if constexpr (std::is_same_v<Held, std::string>) {
                    return held;
                } else if constexpr (std::is_same_v<Held, Date>) {
                    return storedDate(held);
                } else {
                    return static_cast<std::int64_t>(held);
                }
            },
            value.variant());
    }

    StorageMessageEntity entity_;
    PredicateSql result_;
};

}  // namespace

void PredicateSql::bind(platform::SqliteStatement& statement, int firstIndex) const {
    int index = firstIndex;
    for (const auto& parameter : parameters) {
        std::visit(
            [&](const auto& held) {
                using Held = std::decay_t<decltype(held)>;
                if constexpr (std::is_same_v<Held, std::monostate>) {
                    statement.bindNull(index);
                } else if constexpr (std::is_same_v<Held, std::string>) {
                    statement.bindText(index, held);
                } else {
                    statement.bindInteger(index, held);
                }
            },
            parameter);
        ++index;
    }
}

PredicateSql compilePredicate(const Predicate& predicate, StorageMessageEntity entity) {
    return Compiler(entity).take(predicate);
}

std::string compileSort(const std::vector<SortDescriptor>& sortDescriptors,
                        StorageMessageEntity entity) {
    std::string text = "ORDER BY ";
    for (const auto& sort : sortDescriptors) {
        const auto keyPath = findKeyPath(entity, sort.key);
        if (!keyPath) {
            throw PredicateError("Sort key \"" + sort.key + "\" is not a key path of " +
                                 toString(entity));
        }
        text += std::string(keyPath->sql) + (sort.ascending ? " ASC, " : " DESC, ");
    }
    return text + toString(entity) + ".pk";
}

std::int64_t storedDate(Date date) {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(date.time_since_epoch()).count();
}

Date dateFromStored(std::int64_t value) {
    return Date(std::chrono::duration_cast<Date::duration>(std::chrono::nanoseconds(value)));
}

}  // namespace orvanpush::detail
