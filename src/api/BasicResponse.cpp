#include "orvanpush/BasicResponse.h"

#include <utility>

#include "api/JsonValues.h"

namespace orvanpush {

BasicResponse::BasicResponse(std::string result) : result_(std::move(result)) {}

Json BasicResponse::toJson() const {
    return {{"result", result_}};
}

std::optional<BasicResponse> BasicResponse::fromJson(const Json& json) {
    if (!json.is_object()) {
        return std::nullopt;
    }
    auto result = detail::stringMember(json, "result");
    if (!result) {
        return std::nullopt;
    }
    return BasicResponse(std::move(*result));
}

}  // namespace orvanpush
