#pragma once

// The push server's plain answer envelope, {"result":"success"}, for applications that talk to
// the server themselves.

#include <optional>
#include <string>
#include "orvanpush/Export.h"

#include "orvanpush/Types.h"

namespace orvanpush {

/// A plain value, copyable and comparable.
///
///   auto response = orvanpush::BasicResponse::fromJson(orvanpush::Json::parse(body));
class ORVANPUSH_EXPORT BasicResponse {
  public:
    /// An envelope with `result` ("success" normally).
    explicit BasicResponse(std::string result);

    /// The "result" text.
    const std::string& getResult() const { return result_; }

    /// {"result": ...}.
    Json toJson() const;
    /// The envelope of `json`; nothing unless it is an object with a string "result".
    static std::optional<BasicResponse> fromJson(const Json& json);

    /// Equal when the result texts are.
    bool operator==(const BasicResponse&) const = default;

  private:
    std::string result_;
};

}  // namespace orvanpush
