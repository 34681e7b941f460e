#pragma once

// One request as an endpoint describes it to the transport: its parameters, and the two ways
// an outcome becomes the endpoint's result record R.

#include <exception>
#include <functional>
#include <string>

#include "api/ApiParameters.h"
#include "api/ResultDecoding.h"
#include "platform/UrlSession.h"

namespace orvanpush::detail {

template <typename R>
struct AnyTarget {
    /// The record an answer with a body decodes to; may throw (the error processor then makes
    /// the record from the error's text).
    using ResponseConverter = std::function<R(const platform::HttpResponse&)>;
    /// The code-600 record of a failure: kind error, code 600, the failure's text, no payload.
    using ErrorProcessor = std::function<R(const std::string& errorDescription)>;

    ApiParameters parameters;
    ResponseConverter responseConverter;
    ErrorProcessor errorProcessor = [](const std::string& errorDescription) {
        return R(ResultKind::error, kLibraryErrorCode, errorDescription);
    };

    /// The request of an endpoint's target: its parameters and its decoding of answers.
    template <typename Target>
    static AnyTarget from(const Target& target) {
        return {.parameters = target.parameters(), .responseConverter = &Target::convert};
    }

    /// The record an answer with a body gives: the converter's, or the error processor's when
    /// the converter fails.
    R convert(const platform::HttpResponse& response) const {
        try {
            return responseConverter(response);
        } catch (const std::exception& error) {
            return errorProcessor(error.what());
        }
    }
};

}  // namespace orvanpush::detail
