#pragma once

// POST "/subscribe": registers the device with its fresh public key. Carries no signature.

#include <optional>
#include <string>

#include "api/ApiTarget.h"
#include "orvanpush/BaseApiResult.h"
#include "platform/UrlSession.h"

namespace orvanpush::detail {

struct SubscribeObject {
    RequestHeaders headers{};
    int retryCount = 0;
    std::optional<double> requestTimeout{};
    std::string address{};
    std::string osVersion{};
    std::string vendorInfo{};
    std::string token{};
    /// The public key string (Base64 of its SubjectPublicKeyInfo).
    std::string publicKey{};
};

struct SubscribeTarget {
    using Result = BaseApiResult;

    SubscribeObject value;

    /// Body: "address", "osType" ("ios"), "osVersion", "vendorInfo", "token", "pubKey".
    ApiParameters parameters() const;
    static Result convert(const platform::HttpResponse& response);
};

}  // namespace orvanpush::detail
