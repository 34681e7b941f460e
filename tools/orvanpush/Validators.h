#pragma once

// Checks of option values that CLI11 does not make itself. Each refuses a value with a message
// that says what is expected (exit 2 through CLI11's validation error).
//
//   app.add_option("--keep", keep)->check(wholeNumber(0, INT64_MAX));

#include <cstdint>
#include <string>
#include <string_view>

#include <CLI/CLI.hpp>

namespace orvanpush::cli {

/// A whole decimal number from `min` to `max` ("1.5", "1e3", "" and anything beyond the range
/// are refused, never clamped).
CLI::Validator wholeNumber(std::int64_t min, std::int64_t max);

/// A finite number of seconds greater than 0 and at most `max` ("nan", "inf" and "1e300" are
/// refused).
CLI::Validator positiveSeconds(double max);

/// Any text but the empty one.
CLI::Validator nonEmpty();

/// An instance identifier or shared group that the library uses as it is, never replacing it
/// with a fallback: valid UTF-8 that names a settings file ("group." + the name without one
/// leading "group.", then ".sqlite": no "/", NUL, "." or "..", short enough for a file name).
CLI::Validator instanceName();

/// Why the library could not use `name` as it is (see instanceName); empty when it can.
std::string unusableInstanceName(std::string_view name);

}  // namespace orvanpush::cli
