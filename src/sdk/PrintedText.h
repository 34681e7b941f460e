#pragma once

#include <map>
#include <string>
#include <string_view>

namespace orvanpush::detail {

/// `text` as log texts print a string value: quoted and escaped as a logged string value is
/// (see quotedText in LogValue.h), so a printed value never breaks a log line.
std::string printedString(std::string_view text);

/// A string dictionary as log texts print it: `["a": "1", "b": "2"]` in ascending key order,
/// each key and value a printed string; `[:]` when empty.
std::string printedDictionary(const std::map<std::string, std::string>& dictionary);

}  // namespace orvanpush::detail
