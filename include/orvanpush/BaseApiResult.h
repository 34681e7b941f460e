#pragma once

// The result of every push-server operation, handed to the operation's completion:
//
//   sdk->unsubscribe(std::nullopt, std::nullopt, [](std::optional<BaseApiResult> result) {
//       if (result && result->getResultKind() == ResultKind::error) {
//           std::cerr << result->getErrorCode() << " " <<
//           result->getErrorDescription().value_or("");
//       }
//   });
//
// Error codes: 0 on success; 600 when building, sending or decoding the request failed; 602 when
// the answer's content is unusable; 700 when an update-subscription answer is missing; any other
// code is the server's.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include "orvanpush/Export.h"

namespace orvanpush {

/// The outcome of an operation; its raw value is the "result" text of the server's answer.
enum class ResultKind { success, error };

/// "success" or "error".
ORVANPUSH_EXPORT std::string toString(ResultKind kind);

/// The kind with exactly that raw value (case-sensitive); nothing for any other text.
ORVANPUSH_EXPORT std::optional<ResultKind> resultKindFromRawValue(std::string_view rawValue);

/// An operation's outcome: its kind, error code and reason. A plain value: copyable,
/// comparable, safe to keep and pass between threads.
class ORVANPUSH_EXPORT BaseApiResult {
  public:
    /// A result with exactly these values.
    BaseApiResult(ResultKind resultKind, std::int64_t errorCode,
                  std::optional<std::string> errorDescription = std::nullopt);

    /// Success or error.
    ResultKind getResultKind() const { return resultKind_; }
    /// 0 on success, else the server's or the library's code (600, 602, 700).
    std::int64_t getErrorCode() const { return errorCode_; }
    /// Why the operation failed; absent on success and when the server gave no reason.
    const std::optional<std::string>& getErrorDescription() const { return errorDescription_; }

    /// Equal when every value is.
    bool operator==(const BaseApiResult&) const = default;

  private:
    ResultKind resultKind_;
    std::int64_t errorCode_;
    std::optional<std::string> errorDescription_;
};

}  // namespace orvanpush
