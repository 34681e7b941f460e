#pragma once

// The push server's error envelope, {"result":"error","errorCode":104,"errorDescription":"..."},
// for applications that talk to the server themselves.

#include <cstdint>
#include <optional>
#include <string>
#include "orvanpush/Export.h"

#include "orvanpush/Types.h"

namespace orvanpush {

/// A plain value, copyable and comparable.
class ORVANPUSH_EXPORT ErrorResponse {
  public:
    /// An envelope whose result is "error".
    ErrorResponse(std::int64_t errorCode, std::optional<std::string> errorDescription);

    /// The "result" text ("error" for envelopes made here).
    const std::string& getResult() const { return result_; }
    /// The error code.
    std::int64_t getErrorCode() const { return errorCode_; }
    /// The reason, when there is one.
    const std::optional<std::string>& getErrorDescription() const { return errorDescription_; }

    /// The envelope as a JSON object; an absent description is left out.
    Json toJson() const;
    /// The envelope of `json`; nothing unless it is an object with a string "result" and an
    /// integral "errorCode" (a description that is not a string counts as absent).
    static std::optional<ErrorResponse> fromJson(const Json& json);

    /// Equal when every value is.
    bool operator==(const ErrorResponse&) const = default;

  private:
    ErrorResponse(std::string result, std::int64_t errorCode,
                  std::optional<std::string> errorDescription);

    std::string result_;
    std::int64_t errorCode_;
    std::optional<std::string> errorDescription_;
};

}  // namespace orvanpush
