#pragma once

// What became of one log file that PushSDK::sendLogs uploaded:
//
//   sdk->sendLogs([](std::vector<orvanpush::LogUploadOutcome> outcomes) {
//       for (const auto& outcome : outcomes) {
//           if (!outcome.sent) { /* outcome.file, outcome.description */ }
//       }
//   });

#include <optional>
#include <string>
#include "orvanpush/Export.h"

namespace orvanpush {

/// A plain value, copyable and comparable.
struct ORVANPUSH_EXPORT LogUploadOutcome {
    /// The description of every file when no log server is configured for the instance and the
    /// build's default log server is only a placeholder: nothing was sent anywhere.
    static constexpr const char* noLogServer = "no log server configured (init --log-server URL)";

    /// The path of the archive uploaded ("No path" for an upload without a file).
    std::string file;
    /// True when the log server accepted it.
    bool sent = false;
    /// Why it was not sent: the server's description, or the failure's (such as "Can not get
    /// data from file: <path>", or `noLogServer`); absent when there is none.
    std::optional<std::string> description;

    /// Equal when every field is.
    bool operator==(const LogUploadOutcome&) const = default;
};

}  // namespace orvanpush
