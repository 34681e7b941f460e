#pragma once

// Query strings as the push client writes them: each value percent-encoded with only the
// unreserved characters (A-Z a-z 0-9 - . _ ~) left literal, and that text placed into the query
// with each of its percent signs encoded once more, so a space travels as %2520.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orvanpush::server {

/// One "name=value" item of a query, in the order received.
struct QueryParameter {
    std::string rawName;
    std::string rawValue;
    /// The value decoded twice, or nothing when either decoding meets a malformed escape.
    std::optional<std::string> value;
    /// True when `rawValue` is exactly what the client's double encoding makes of `value`
    /// (hexadecimal digits in either case).
    bool canonical = false;
};

/// Splits a raw query (the text after "?", without it) at "&" and "="; an empty query has no items.
std::vector<QueryParameter> parseQuery(std::string_view rawQuery);

/// One round of percent-decoding ("+" is a literal plus); nothing when an escape is malformed.
std::optional<std::string> percentDecode(std::string_view text);

/// The client's double encoding of a value (upper-case hexadecimal digits).
std::string doublePercentEncode(std::string_view value);

}  // namespace orvanpush::server
