#pragma once

// The logging control the log server may send with its answer to an upload, under
// "sdk-logging-control":
//
//   {"log-level": "trace", "send-logs": "1", "vendor": [], "ios-sdk-version": ["1.0.1"],
//    "android-sdk-version": []}
//
//   if (auto control = SDKLoggingControl::fromJson(answer["sdk-logging-control"])) {
//       applyLoggingControl(*control);
//   }

#include <optional>
#include <string>
#include <vector>

#include "orvanpush/Types.h"
#include "orvanpush/logger/Log.h"
#include "orvanpush/logger/LogChannel.h"
#include "utils/logger/log_manager/FixedSite.h"

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

/// Applies a control to the logging settings: a different send-logs value is stored and
/// announced ("Send logs is 1", made at `sendLogsSite` when one is given); a log level that
/// differs (ignoring case) is stored in lower case and announced ("Log level parameter change to
/// trace") when the version list names this library's version. A level other than off, error,
/// info and trace (in any case) is announced as ignored and changes nothing. Announcements go
/// to `console`.
void applyLoggingControl(const SDKLoggingControl& control,
                         const std::optional<LogChannel>& console = Log::info(),
                         const std::optional<FixedSite>& sendLogsSite = std::nullopt);

}  // namespace orvanpush::detail
