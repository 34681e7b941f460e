#pragma once

// Turns a request description into an HTTP request below a base address. The push server's
// client and the log server's client share it; the log server's adds its multipart body to what
// comes out.

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

#include "api/ApiParameters.h"
#include "platform/UrlSession.h"

namespace orvanpush::detail {

struct BuiltRequest {
    platform::HttpRequest request;
    /// The resends allowed ("retryCount").
    std::int64_t retryCount = 0;
};

class ApiRequestBuilder {
  public:
    /// The request `parameters` describe, below `baseAddress` (already without trailing "/"),
    /// with `defaultTimeout` when the parameters give no usable timeout. Throws TextError with
    /// the texts of api/TransportTexts.h, or "Internal framework error: invalid header ..."
    /// for a header name that is not a token or a value with CR, LF or NUL (never quoting the
    /// value). A base address with user info, a query or a fragment is an invalid base address.
    static BuiltRequest build(const ApiParameters& parameters, const std::string& baseAddress,
                              std::chrono::milliseconds defaultTimeout);

    /// A query value as it travels: percent-encoded keeping only A-Z a-z 0-9 - . _ ~, then each
    /// "%" encoded once more, so a space travels as %2520 and "+" as %252B.
    static std::string encodeQueryValue(std::string_view value);

    /// The timeout a "timeout" text gives: a finite positive number of seconds, clamped to the
    /// longest timeout; `defaultTimeout` for anything else (absent, 0, negative, nan, inf, text).
    static std::chrono::milliseconds timeout(const std::string* text,
                                             std::chrono::milliseconds defaultTimeout);
};

}  // namespace orvanpush::detail
