#pragma once

// What the endpoints' targets share: the request fields every Object begins with, and how they
// and the body become parameters. A target turns its Object into the parameters of one request
// and names the result record its answers decode to; it never fails and never throws.

#include <map>
#include <optional>
#include <string>

#include "api/ApiParameters.h"
#include "orvanpush/Types.h"
#include "platform/DateFormatter.h"

namespace orvanpush::detail {

using RequestHeaders = std::map<std::string, std::string>;

/// The parameters shared by every request: path, method, retry count, the timeout when there is
/// one (in the decimal form of a double, "20.0"), and one "h." entry per header.
template <typename Object>
ApiParameters requestParameters(const Object& object, const char* path, const char* method) {
    ApiParameters parameters{{kPathKey, path},
                             {kHttpMethodKey, method},
                             {kRetryCountKey, std::to_string(object.retryCount)}};
    if (object.requestTimeout) {
        parameters[kTimeoutKey] = platform::formatDouble(*object.requestTimeout);
    }
    for (const auto& [name, value] : object.headers) {
        parameters[kHeaderPrefix + name] = value;
    }
    return parameters;
}

/// Adds the query parameter `name`.
void addQuery(ApiParameters& parameters, const std::string& name, const std::string& value);

/// The parameters of a GET: those shared by every request and one "p." entry per member of
/// `query`.
template <typename Object>
ApiParameters getParameters(const Object& object, const char* path, const ApiParameters& query) {
    auto parameters = requestParameters(object, path, "GET");
    for (const auto& [name, value] : query) {
        addQuery(parameters, name, value);
    }
    return parameters;
}

/// `members` as compact JSON; text that is not valid UTF-8 is sent with U+FFFD in its place
/// rather than failing.
std::string compactJson(const Json& members);

}  // namespace orvanpush::detail
