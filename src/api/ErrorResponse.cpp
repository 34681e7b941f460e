#include "orvanpush/ErrorResponse.h"

#include <utility>

#include "api/JsonValues.h"

namespace orvanpush {

ErrorResponse::ErrorResponse(std::int64_t errorCode, std::optional<std::string> errorDescription)
    : ErrorResponse("error", errorCode, std::move(errorDescription)) {}

ErrorResponse::ErrorResponse(std::string result, std::int64_t errorCode,
                             std::optional<std::string> errorDescription)
    : result_(std::move(result)),
      errorCode_(errorCode),
      errorDescription_(std::move(errorDescription)) {}

Json ErrorResponse::toJson() const {
    Json json = {{"result", result_}, {"errorCode", errorCode_}};
    if (errorDescription_) {
        json["errorDescription"] = *errorDescription_;
    }
    return json;
}

std::optional<ErrorResponse> ErrorResponse::fromJson(const Json& json) {
    if (!json.is_object()) {
        return std::nullopt;
    }
    auto result = detail::stringMember(json, "result");
    auto code =
        json.contains("errorCode") ? detail::integralValue(json.at("errorCode")) : std::nullopt;
    if (!result || !code) {
        return std::nullopt;
    }
    return ErrorResponse(std::move(*result), *code, detail::stringMember(json, "errorDescription"));
}

}  // namespace orvanpush
