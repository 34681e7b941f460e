#pragma once

// The logging control the log server may send with its answer to an upload, under
// "sdk-logging-control":
//
//   {"log-level": "trace", "send-logs": "1", "vendor": [], "ios-sdk-version": ["1.0.1"],
//    "android-sdk-version": []}
//
//   if (auto control = SDKLoggingControl::fromJson(answer["sdk-logging-control"])) {
//       applyLoggingControl(*control);  // the upload's part: utils/LoggingControl.h
//   }

#include <optional>
#include <string>
#include <vector>

#include "orvanpush/Types.h"

namespace orvanpush::detail {

struct SDKLoggingControl {
    std::string logLevel;
    std::string sendLogs;
    std::vector<std::string> vendor;             ///< not used by this library
    std::vector<std::string> iosSDKVersion;      ///< the library versions the level applies to
    std::vector<std::string> androidSDKVersion;  ///< not used by this library

    /// The control in `object`; nothing unless all five keys are there with the right types
    /// (two strings, three lists of strings).
    static std::optional<SDKLoggingControl> fromJson(const Json& object);
};

}  // namespace orvanpush::detail
