#pragma once

// The configuration records a host passes to PushSDK::createInstance.
//
//   orvanpush::ServerParams push{.protocolType = "https", .serverURL = "push.example.com",
//                                .serverPort = 443, .context = "api"};

#include <cstdint>
#include <optional>
#include <string>
#include "orvanpush/Export.h"

namespace orvanpush {

/// Where a server lives: the base address is protocol "://" server ":" port, then the context.
struct ORVANPUSH_EXPORT ServerParams {
    /// URL scheme of the server, written before "://" ("https").
    std::string protocolType;
    /// Host name or address of the server.
    std::string serverURL;
    /// TCP port.
    std::int64_t serverPort = 0;
    /// Path prefix under which the API lives; leading and trailing "/" do not matter.
    std::optional<std::string> context = std::nullopt;

    /// Equal when every field is.
    bool operator==(const ServerParams&) const = default;
};

/// The record as log texts print it:
/// `ServerParams(protocolType: "https", serverURL: "logs.example.com", serverPort: 443,
/// context: "logs")`, an absent context as `nil`.
ORVANPUSH_EXPORT std::string toString(const ServerParams& params);

/// Retention limits of the local message store, applied by the application process when it
/// first opens the store. Only both limits together take effect: with either absent, nothing is
/// ever removed for age or number.
struct ORVANPUSH_EXPORT StorageParams {
    /// The most messages the store holds.
    std::optional<std::int64_t> quantityLimit = std::nullopt;
    /// The most days a message stays in the store.
    std::optional<std::int64_t> daysLimit = std::nullopt;

    /// Equal when both limits are.
    bool operator==(const StorageParams&) const = default;
};

}  // namespace orvanpush
