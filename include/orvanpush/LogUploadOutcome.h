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

namespace orvanpush {

/// A plain value, copyable and comparable.
struct LogUploadOutcome {
    /// The path of the archive uploaded ("No path" for an upload without a file).
    std::string file;
    /// True when the log server accepted it.
    bool sent = false;
    /// Why it was not sent: the server's description, or the failure's (such as "Can not get
    /// data from file: <path>"); absent when there is none.
    std::optional<std::string> description;

    /// Equal when every field is.
    bool operator==(const LogUploadOutcome&) const = default;
};

}  // namespace orvanpush
