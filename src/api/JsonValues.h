#pragma once

// Reading the push server's JSON values without unsafe conversions.

#include <cstdint>
#include <optional>
#include <string>

#include "orvanpush/Types.h"

namespace orvanpush::detail {

/// The member `key` of an object when it is a string; nothing otherwise.
std::optional<std::string> stringMember(const Json& object, const char* key);

/// An integral number that fits in 64 bits (17 or 17.0); nothing for any other value.
std::optional<std::int64_t> integralValue(const Json& value);

/// A number of seconds since 2001-01-01 00:00:00 UTC as a date; nothing for any other value
/// and for a number beyond what a date holds.
std::optional<Date> referenceDateValue(const Json& value);

}  // namespace orvanpush::detail
