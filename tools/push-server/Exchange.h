#pragma once

// A request as the server received it and the reply it sends, independent of the HTTP library.

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvanpush::server {

/// Every JSON value the server reads or writes; members keep the order they were given in.
using Json = nlohmann::ordered_json;

/// Compact JSON text; bytes that are not UTF-8 are replaced by U+FFFD rather than thrown on.
std::string compactText(const Json& value);

struct IncomingRequest {
    std::string method;
    std::string path;       // as received, before any percent-decoding, without the query
    bool hasQuery = false;  // whether the target had a "?"
    std::string rawQuery;   // the text after "?", as received
    std::vector<std::pair<std::string, std::string>> headers;  // as received, in order
    std::string body;

    /// The values of every header named `name` (letter case ignored), in order.
    std::vector<std::string> headerValues(std::string_view name) const;
};

struct Reply {
    int status = 200;
    std::string body;
    std::string contentType = "application/json";

    static Reply json(int status, const Json& value) { return {status, compactText(value)}; }
};

}  // namespace orvanpush::server
