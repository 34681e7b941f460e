#pragma once

// The description of one request, as an endpoint's target produces it and the transport reads
// it: a flat dictionary of strings.
//
//   ApiParameters parameters{{kPathKey, "/subscriber/get"}, {kHttpMethodKey, "GET"},
//                            {kRetryCountKey, "3"}, {"p.address", "dev.client"},
//                            {"h.rid", "0F8E...C1"}};

#include <map>
#include <string>

namespace orvanpush::detail {

using ApiParameters = std::map<std::string, std::string>;

/// The path below the base address, with its leading "/" (required).
inline constexpr const char* kPathKey = "path";
/// "GET", "POST", "PUT" or "DELETE" (required).
inline constexpr const char* kHttpMethodKey = "httpMethod";
/// The body text, sent as its UTF-8 bytes.
inline constexpr const char* kBodyKey = "body";
/// Decimal number of resends allowed; 0 when absent or unreadable.
inline constexpr const char* kRetryCountKey = "retryCount";
/// Request timeout in seconds ("15.0"); the default when absent or not a positive number.
inline constexpr const char* kTimeoutKey = "timeout";
/// Prefix of a query parameter's key: "p." + name.
inline constexpr const char* kQueryPrefix = "p.";
/// Prefix of a header's key: "h." + name.
inline constexpr const char* kHeaderPrefix = "h.";

}  // namespace orvanpush::detail
