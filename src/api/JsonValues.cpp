#include "api/JsonValues.h"

#include <cmath>
#include <limits>

namespace orvanpush::detail {
namespace {

// Seconds from the Unix epoch to 2001-01-01 00:00:00 UTC.
constexpr double kReferenceDateOffset = 978307200.0;
// Safely inside what a date holds (about 292 years either side of 1970 in nanoseconds).
constexpr double kLargestSeconds = 9.2e9;
// 2^63: the first double beyond the signed 64-bit range.
constexpr double kInt64Bound = 9223372036854775808.0;

}  // namespace

std::optional<std::string> stringMember(const Json& object, const char* key) {
    auto found = object.find(key);
    if (found == object.end() || !found->is_string()) {
        return std::nullopt;
    }
    return found->get<std::string>();
}

std::optional<std::int64_t> integralValue(const Json& value) {
    if (value.is_number_unsigned()) {
        const auto number = value.get<std::uint64_t>();
        if (number > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max())) {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(number);
    }
    if (value.is_number_integer()) {
        return value.get<std::int64_t>();
    }
    if (value.is_number_float()) {
        const double number = value.get<double>();
        if (!std::isfinite(number) || std::trunc(number) != number || number < -kInt64Bound ||
            number >= kInt64Bound) {
            return std::nullopt;
        }
        return static_cast<std::int64_t>(number);
    }
    return std::nullopt;
}

std::optional<Date> referenceDateValue(const Json& value) {
    if (!value.is_number()) {
        return std::nullopt;
    }
    const double seconds = value.get<double>() + kReferenceDateOffset;
    if (!std::isfinite(seconds) || std::fabs(seconds) > kLargestSeconds) {
        return std::nullopt;
    }
    return Date(std::chrono::duration_cast<Date::duration>(std::chrono::duration<double>(seconds)));
}

}  // namespace orvanpush::detail
