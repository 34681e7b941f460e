#pragma once

// POST "/subscriber/update": changes the subscriber's address and attributes, signed over both
// addresses and every attribute in ascending order of its key.

#include <map>
#include <optional>
#include <string>

#include "api/ApiTarget.h"
#include "orvanpush/BaseApiResult.h"
#include "platform/UrlSession.h"

namespace orvanpush::detail {

struct SubscriberUpdateObject {
    RequestHeaders headers{};
    int retryCount = 0;
    std::optional<double> requestTimeout{};
    std::string address{};
    std::string updateAddress{};
    std::map<std::string, std::string> attributes{};
    std::string signature{};
};

struct SubscriberUpdateTarget {
    using Result = BaseApiResult;

    SubscriberUpdateObject value;

    /// Body: "address", "updateAddress", "attributes" (an object of strings), "signature".
    ApiParameters parameters() const;
    static Result convert(const platform::HttpResponse& response);
    /// The signed text: address, updateAddress, then each attribute's key and value by key
    /// (a = 1, b = 2 sign as "a1b2" after the addresses).
    static std::string signedText(const SubscriberUpdateObject& object);
};

}  // namespace orvanpush::detail
