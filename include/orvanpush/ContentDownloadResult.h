#pragma once

// The rich content attached to a message, as PushSDK::downloadContent delivers it: on success
// the bytes exactly as the server sent them, on failure an error code and no content.

#include <optional>
#include <string>
#include "orvanpush/Export.h"

#include "orvanpush/BaseApiResult.h"
#include "orvanpush/Types.h"

namespace orvanpush {

/// A result with the downloaded content; a plain value, copyable and comparable.
///
///   sdk->downloadContent(messageId, std::nullopt, [](auto result) {
///       if (result && result->getContent()) { show(*result->getContent()); }
///   });
class ORVANPUSH_EXPORT ContentDownloadResult : public BaseApiResult {
  public:
    /// A result with exactly these values.
    ContentDownloadResult(ResultKind resultKind, std::int64_t errorCode,
                          std::optional<std::string> errorDescription = std::nullopt,
                          std::optional<Bytes> content = std::nullopt);

    /// The content on success; absent on failure.
    const std::optional<Bytes>& getContent() const { return content_; }

    /// Equal when every value is.
    bool operator==(const ContentDownloadResult&) const = default;

  private:
    std::optional<Bytes> content_;
};

}  // namespace orvanpush
