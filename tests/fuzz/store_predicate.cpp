// Store predicates as a host or the CLI's `--where` builds them, from arbitrary bytes: key paths
// are any text (the dictionary holds the real ones), values any of the five kinds, and trees a
// few levels of AND, OR and NOT. A predicate that can be built must format, and compile for every
// entity that has its key paths into SQL that prepares against the store's schema with exactly
// its parameters bound.

#include <fuzzer/FuzzedDataProvider.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "orvanpush/storage/Predicate.h"
#include "orvanpush/storage/StorageErrors.h"
#include "platform/MessageDatabase.h"
#include "storage/PredicateSql.h"

using namespace orvanpush;

namespace {

constexpr int kDeepest = 4;
constexpr std::size_t kWidest = 4;

PredicateValue valueFrom(FuzzedDataProvider& input) {
    switch (input.ConsumeIntegralInRange(0, 4)) {
        case 0:
            return nullptr;
        case 1:
            return input.ConsumeRandomLengthString(64);
        case 2:
            return Date(Date::duration(input.ConsumeIntegral<Date::rep>()));
        case 3:
            return input.ConsumeBool();
        default:
            return input.ConsumeIntegral<std::int64_t>();
    }
}

// A predicate, or nothing when a key path or value was refused.
std::optional<Predicate> predicateFrom(FuzzedDataProvider& input, int depth) {
    const int kind = input.ConsumeIntegralInRange(0, depth < kDeepest ? 4 : 1);
    try {
        if (kind == 0) {
            const auto key = input.ConsumeRandomLengthString(48);
            const auto op = static_cast<Predicate::Operator>(input.ConsumeIntegralInRange(0, 5));
            return Predicate(key, op, valueFrom(input));
        }
        if (kind == 1) {
            const auto key = input.ConsumeRandomLengthString(48);
            std::vector<PredicateValue> values;
            for (auto n = input.ConsumeIntegralInRange<std::size_t>(0, kWidest); n > 0; --n) {
                values.push_back(valueFrom(input));
            }
            return Predicate::in(key, std::move(values));
        }
    } catch (const PredicateError&) {
        return std::nullopt;
    }
    std::vector<Predicate> operands;
    for (auto n = input.ConsumeIntegralInRange<std::size_t>(kind == 4, kWidest); n > 0; --n) {
        auto operand = predicateFrom(input, depth + 1);
        if (!operand) {
            return std::nullopt;
        }
        operands.push_back(std::move(*operand));
    }
    if (kind == 4) {
        return Predicate::negation(std::move(operands.front()));
    }
    return kind == 2 ? Predicate::allOf(std::move(operands))
                     : Predicate::anyOf(std::move(operands));
}

// Prepares the condition against a message store in a directory of its own (removed when the
// process ends), binds its parameters and reads every row.
void run(const std::string& table, const detail::PredicateSql& where) {
    static fuzz::TempDirectory directory{"store"};
    static platform::MessageDatabase database{directory.path()};
    database.read([&](platform::MessageDatabase::Session& session) {
        auto select =
            session.connection().prepare("SELECT pk FROM " + table + " WHERE " + where.condition);
        where.bind(select, 1);
        while (select.step()) {
        }
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto predicate = predicateFrom(input, 0);
    if (!predicate) {
        return 0;
    }
    predicate->format();
    for (const auto entity : {StorageMessageEntity::message, StorageMessageEntity::messageStatus}) {
        std::optional<detail::PredicateSql> where;
        try {
            where = detail::compilePredicate(*predicate, entity);
        } catch (const PredicateError&) {
            continue;  // a key path of the other entity
        }
        run(toString(entity), *where);
    }
    return 0;
}
