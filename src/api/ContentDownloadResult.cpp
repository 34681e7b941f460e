#include "orvanpush/ContentDownloadResult.h"

#include <utility>

namespace orvanpush {

ContentDownloadResult::ContentDownloadResult(ResultKind resultKind, std::int64_t errorCode,
                                             std::optional<std::string> errorDescription,
                                             std::optional<Bytes> content)
    : BaseApiResult(resultKind, errorCode, std::move(errorDescription)),
      content_(std::move(content)) {}

}  // namespace orvanpush
