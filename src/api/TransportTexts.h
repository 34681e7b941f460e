#pragma once

// The transport's own failure texts; each becomes the description of a code-600 result.

#include <string>

namespace orvanpush::detail {

inline constexpr const char* kPathNotSpecifiedText = "Internal framework error: path not specified";
inline constexpr const char* kHttpMethodNotSpecifiedText =
    "Internal framework error: httpMethod not specified";
inline constexpr const char* kInvalidBaseAddressText =
    "Internal framework error: invalid base address";
inline constexpr const char* kInvalidUrlText = "Internal framework error: invalid URL";
inline constexpr const char* kInvalidResponseText = "Invalid response";

/// `Invalid response with status "NNN"`.
inline std::string invalidResponseWithStatus(long statusCode) {
    return "Invalid response with status \"" + std::to_string(statusCode) + "\"";
}

}  // namespace orvanpush::detail
