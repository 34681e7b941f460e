#include "orvanpush/BaseApiResult.h"

#include <utility>

namespace orvanpush {

std::string toString(ResultKind kind) {
    return kind == ResultKind::success ? "success" : "error";
}

std::optional<ResultKind> resultKindFromRawValue(std::string_view rawValue) {
    for (auto kind : {ResultKind::success, ResultKind::error}) {
        if (toString(kind) == rawValue) {
            return kind;
        }
    }
    return std::nullopt;
}

BaseApiResult::BaseApiResult(ResultKind resultKind, std::int64_t errorCode,
                             std::optional<std::string> errorDescription)
    : resultKind_(resultKind),
      errorCode_(errorCode),
      errorDescription_(std::move(errorDescription)) {}

}  // namespace orvanpush
