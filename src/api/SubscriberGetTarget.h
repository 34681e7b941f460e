#pragma once

// GET "/subscriber/get": the subscriber records of a device, signed over both addresses.

#include <optional>
#include <string>

#include "api/ApiTarget.h"
#include "orvanpush/SubscriberGetResult.h"
#include "platform/UrlSession.h"

namespace orvanpush::detail {

struct SubscriberGetObject {
    RequestHeaders headers{};
    int retryCount = 0;
    std::optional<double> requestTimeout{};
    std::string address{};
    std::string requestAddress{};
    std::string signature{};
};

struct SubscriberGetTarget {
    using Result = SubscriberGetResult;

    SubscriberGetObject value;

    /// Query: "address", "requestAddress", "signature".
    ApiParameters parameters() const;
    static Result convert(const platform::HttpResponse& response);
    /// The signed text: address, requestAddress.
    static std::string signedText(const SubscriberGetObject& object);
};

}  // namespace orvanpush::detail
