#pragma once

// DELETE "/unsubscribe": removes the subscription, signed over address, token and note.

#include <optional>
#include <string>

#include "api/ApiTarget.h"
#include "orvanpush/BaseApiResult.h"
#include "platform/UrlSession.h"

namespace orvanpush::detail {

struct UnsubscribeObject {
    RequestHeaders headers{};
    int retryCount = 0;
    std::optional<double> requestTimeout{};
    std::string address{};
    std::string token{};
    std::optional<std::string> note{};
    std::string signature{};
};

struct UnsubscribeTarget {
    using Result = BaseApiResult;

    UnsubscribeObject value;

    /// Body: "address", "token", "signature", and "note" only when there is one.
    ApiParameters parameters() const;
    static Result convert(const platform::HttpResponse& response);
    /// The signed text: address, token, note.
    static std::string signedText(const UnsubscribeObject& object);
};

}  // namespace orvanpush::detail
