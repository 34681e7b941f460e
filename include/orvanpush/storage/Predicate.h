#pragma once

// A store predicate: a condition on stored messages that the store evaluates in the database,
// with every value bound as a parameter (a predicate can never change the SQL it becomes).
//
//   using orvanpush::Predicate;
//   auto sale = Predicate("title", Predicate::Operator::equalTo, "Sale") &&
//               !Predicate::in("id", {"1", "2"});
//   sale.format();   // title == "Sale" AND NOT id IN {"1", "2"}
//
// Key paths of messages: "id", "title", "subtitle", "body", "messageDate", "contentAvailable",
// "statusName", "statusDate", "channelName" (and their stored names "statusNameInternal",
// "statusDateInternal", "channelNameInternal"), and through the message's links
// "statusLink.name", "channelLink.name", "iconLink.url", "iconLink.value",
// "extraContentLink.messageId", "extraContentLink.mimeType", "extraContentLink.value",
// "messageAttributesLink.classifierdId", "messageAttributesLink.classifierName",
// "messageAttributesLink.isImportant", "messageAttributesLink.messageDate",
// "messageAttributesLink.messageId". Key paths of status changes: "messageLink.id",
// "statusName", "statusDate", "isSent" (and "statusNameInternal", "statusDateInternal",
// "isSentInternal") and "statusLink.name".
//
// A missing value (nil) compares as the original platform compares it: `==` nil matches it,
// `!=` and NOT are true for it, and ordering comparisons are false.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <variant>
#include <vector>
#include "orvanpush/Export.h"

#include "orvanpush/Types.h"
#include "orvanpush/storage/StorageMessageEntity.h"

namespace orvanpush {

/// A value a predicate compares with: nil, a text, a date, a flag or a whole number.
class ORVANPUSH_EXPORT PredicateValue {
  public:
    using Variant = std::variant<std::monostate, std::string, Date, bool, std::int64_t>;

    /// Nil, a text, a date, a flag or a whole number; implicit, so a literal serves as a value.
    PredicateValue(std::nullptr_t) {}
    PredicateValue(std::string text) : value_(std::move(text)) {}
    PredicateValue(const char* text) : value_(std::string(text)) {}
    PredicateValue(Date date) : value_(date) {}
    PredicateValue(bool flag) : value_(flag) {}
    PredicateValue(std::int64_t number) : value_(number) {}
    PredicateValue(int number) : value_(std::int64_t{number}) {}

    /// The value held, and whether it is nil.
    const Variant& variant() const { return value_; }
    bool isNil() const { return std::holds_alternative<std::monostate>(value_); }

  private:
    Variant value_;
};

/// An immutable condition on stored rows; cheap to copy (copies share the expression tree).
class ORVANPUSH_EXPORT Predicate {
  public:
    /// The comparison operators: ==, !=, <, <=, >, >=.
    enum class Operator {
        equalTo,
        notEqualTo,
        lessThan,
        lessThanOrEqualTo,
        greaterThan,
        greaterThanOrEqualTo
    };

    /// `keyPath op value`. Throws PredicateError for an unknown key path or a value whose type
    /// does not suit it (nil suits every key path).
    Predicate(std::string keyPath, Operator op, PredicateValue value);
    /// `keyPath IN {values}`, for lists of any length. Throws as the comparison does.
    static Predicate in(std::string keyPath, std::vector<PredicateValue> values);
    /// True when every operand is (true for no operands).
    static Predicate allOf(std::vector<Predicate> operands);
    /// True when some operand is (false for no operands).
    static Predicate anyOf(std::vector<Predicate> operands);
    /// True when the operand is false.
    static Predicate negation(Predicate operand);

    /// The key paths a predicate on `entity`'s rows may name (listed above), in a fixed order;
    /// none for status and channel rows.
    static std::vector<std::string> keyPaths(StorageMessageEntity entity);

    /// allOf, anyOf and negation of the operands.
    friend Predicate operator&&(Predicate left, Predicate right) {
        return allOf({std::move(left), std::move(right)});
    }
    friend Predicate operator||(Predicate left, Predicate right) {
        return anyOf({std::move(left), std::move(right)});
    }
    friend Predicate operator!(Predicate operand) { return negation(std::move(operand)); }

    /// The predicate's format text: texts quoted with `"`, `\`, line breaks and quotes escaped;
    /// dates in ISO 8601 (UTC); flags as 1 or 0; nil as nil.
    std::string format() const;

    // The expression tree, as the store reads it.
    struct ORVANPUSH_EXPORT Comparison {
        std::string keyPath;
        Operator op;
        PredicateValue value;
    };
    struct ORVANPUSH_EXPORT Membership {
        std::string keyPath;
        std::vector<PredicateValue> values;
    };
    struct ORVANPUSH_EXPORT Compound {
        enum class Type { allOf, anyOf, negation };
        Type type;
        std::vector<Predicate> operands;
    };
    using Node = std::variant<Comparison, Membership, Compound>;

    /// The root of the expression tree.
    const Node& node() const { return *node_; }

  private:
    explicit Predicate(Node node);

    std::shared_ptr<const Node> node_;
};

}  // namespace orvanpush
