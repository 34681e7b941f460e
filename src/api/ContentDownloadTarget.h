#pragma once

// GET "/content/download": a message's rich content, signed over address and message id.

#include <optional>
#include <string>

#include "api/ApiTarget.h"
#include "orvanpush/ContentDownloadResult.h"
#include "platform/UrlSession.h"

namespace orvanpush::detail {

struct ContentDownloadObject {
    RequestHeaders headers{};
    int retryCount = 0;
    std::optional<double> requestTimeout{};
    std::string address{};
    std::string messageId{};
    std::string signature{};
};

struct ContentDownloadTarget {
    using Result = ContentDownloadResult;

    ContentDownloadObject value;

    /// Query: "address", "messageId", "signature".
    ApiParameters parameters() const;
    /// The body as content unless it is an error object or answers an error status.
    static Result convert(const platform::HttpResponse& response);
    /// The signed text: address, messageId.
    static std::string signedText(const ContentDownloadObject& object);
};

}  // namespace orvanpush::detail
