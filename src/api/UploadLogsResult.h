#pragma once

// The log server's answer to an upload:
//
//   {"status": "success", "sdk-logging-control": {"log-level": "trace", ...}}
//   {"status": "error", "description": "disk full"}

#include <optional>
#include <string>

#include "api/SDKLoggingControl.h"
#include "orvanpush/BaseApiResult.h"
#include "orvanpush/Types.h"

namespace orvanpush::detail {

struct UploadLogsResult {
    ResultKind status = ResultKind::error;
    std::optional<SDKLoggingControl> sdkLoggingControl{};
    std::optional<std::string> description{};

    /// A failure of the upload itself (building, sending, an unusable answer): an error with
    /// `description`, without logging control.
    static UploadLogsResult failure(std::optional<std::string> description);

    /// The record of an answer. "status" compares without case: "success" (the answer's
    /// description is not read), "error" (with the answer's "description" when it is text), any
    /// other text an error `Invalid data in answer: unknown status "<text>"`, and none an error
    /// `Invalid data in answer: property "status" not found`. A logging control that is there
    /// but unreadable is dropped and makes the description "SDK Logging Control null!". Throws
    /// TextError when the body is not a JSON object.
    static UploadLogsResult decode(const Bytes& body);
};

}  // namespace orvanpush::detail
