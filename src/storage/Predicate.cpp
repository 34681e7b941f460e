#include "orvanpush/storage/Predicate.h"

#include <type_traits>

#include "orvanpush/storage/StorageErrors.h"
#include "platform/DateFormatter.h"
#include "storage/KeyPaths.h"

namespace orvanpush {
namespace {

using detail::ValueType;

std::string escapedText(std::string_view text) {
    std::string result = "\"";
    for (char c : text) {
        switch (c) {
            case '"':
                result += "\\\"";
                break;
            case '\\':
                result += "\\\\";
                break;
            case '\n':
                result += "\\n";
                break;
            case '\r':
                result += "\\r";
                break;
            default:
                result += c;
        }
    }
    return result + "\"";
}

std::string isoDate(Date date) {
    static const platform::DateFormatter formatter("yyyy-MM-dd'T'HH:mm:ssXXX", "GMT",
                                                   "en_US_POSIX");
    return formatter.string(date);
}

std::string formatValue(const PredicateValue& value) {
    return std::visit(
        [](const auto& held) -> std::string {
            using Held = std::decay_t<decltype(held)>;
            if constexpr (std::is_same_v<Held, std::monostate>) {
                return "nil";
            } else if constexpr (std::is_same_v<Held, std::string>) {
                return escapedText(held);
            } else if constexpr (std::is_same_v<Held, Date>) {
                return isoDate(held);
            } else if constexpr (std::is_same_v<Held, bool>) {
                return held ? "1" : "0";
            } else {
                return std::to_string(held);
            }
        },
        value.variant());
}

bool suits(ValueType type, const PredicateValue& value) {
    switch (value.variant().index()) {  // in the order of PredicateValue::Variant
        case 0:
            return true;  // nil
        case 1:
            return type == ValueType::text;
        case 2:
            return type == ValueType::date;
        case 3:
            return type == ValueType::flag;
        default:
            return type == ValueType::number;
    }
}

void check(const std::string& keyPath, const PredicateValue& value) {
    const auto type = detail::keyPathType(keyPath);
    if (!type) {
        throw PredicateError("Unknown key path " + escapedText(keyPath));
    }
    if (!suits(*type, value)) {
        throw PredicateError("Value of the wrong type for key path " + escapedText(keyPath) + ": " +
                             formatValue(value));
    }
}

const char* symbol(Predicate::Operator op) {
    switch (op) {
        case Predicate::Operator::equalTo:
            return "==";
        case Predicate::Operator::notEqualTo:
            return "!=";
        case Predicate::Operator::lessThan:
            return "<";
        case Predicate::Operator::lessThanOrEqualTo:
            return "<=";
        case Predicate::Operator::greaterThan:
            return ">";
        case Predicate::Operator::greaterThanOrEqualTo:
            return ">=";
    }
    return "==";
}

// An operand inside AND, OR or NOT: compound operands are bracketed.
std::string formatOperand(const Predicate& operand) {
    const bool compound = std::holds_alternative<Predicate::Compound>(operand.node());
    return compound ? "(" + operand.format() + ")" : operand.format();
}

std::string formatCompound(const Predicate::Compound& compound) {
    using Type = Predicate::Compound::Type;
    if (compound.type == Type::negation) {
        return "NOT " + formatOperand(compound.operands.front());
    }
    if (compound.operands.empty()) {
        return compound.type == Type::allOf ? "TRUEPREDICATE" : "FALSEPREDICATE";
    }
    std::string text;
    for (const auto& operand : compound.operands) {
        if (!text.empty()) {
            text += compound.type == Type::allOf ? " AND " : " OR ";
        }
        text += formatOperand(operand);
    }
    return text;
}

}  // namespace

Predicate::Predicate(Node node) : node_(std::make_shared<const Node>(std::move(node))) {}

Predicate::Predicate(std::string keyPath, Operator op, PredicateValue value)
    : Predicate(Node(Comparison{std::move(keyPath), op, std::move(value)})) {
    const auto& comparison = std::get<Comparison>(*node_);
    check(comparison.keyPath, comparison.value);
}

std::vector<std::string> Predicate::keyPaths(StorageMessageEntity entity) {
    const auto names = detail::keyPathNames(entity);
    return {names.begin(), names.end()};
}

Predicate Predicate::in(std::string keyPath, std::vector<PredicateValue> values) {
    for (const auto& value : values) {
        check(keyPath, value);
    }
    if (values.empty()) {
        check(keyPath, nullptr);
    }
    return Predicate(Node(Membership{std::move(keyPath), std::move(values)}));
}

Predicate Predicate::allOf(std::vector<Predicate> operands) {
    return Predicate(Node(Compound{Compound::Type::allOf, std::move(operands)}));
}

Predicate Predicate::anyOf(std::vector<Predicate> operands) {
    return Predicate(Node(Compound{Compound::Type::anyOf, std::move(operands)}));
}

Predicate Predicate::negation(Predicate operand) {
    return Predicate(Node(Compound{Compound::Type::negation, {std::move(operand)}}));
}

std::string Predicate::format() const {
    return std::visit(
        [](const auto& node) -> std::string {
            using Held = std::decay_t<decltype(node)>;
            if constexpr (std::is_same_v<Held, Comparison>) {
                return node.keyPath + " " + symbol(node.op) + " " + formatValue(node.value);
            } else if constexpr (std::is_same_v<Held, Membership>) {
                std::string text = node.keyPath + " IN {";
                for (std::size_t i = 0; i < node.values.size(); ++i) {
                    text += (i == 0 ? "" : ", ") + formatValue(node.values[i]);
                }
                return text + "}";
            } else {
                return formatCompound(node);
            }
        },
        *node_);
}

}  // namespace orvanpush
