#pragma once

// The one way library code logs: a trace marker on the global trace channel, then an entry with
// the site's severity and module handed to the SDK log files (LogManager::saveLogRecord).
//
//   SdkLog::message(LogSeverity::info, LoggerModule::crypto, "OSStatus: " + std::to_string(s));
//   SdkLog::trace(LogSeverity::error, LoggerModule::crypto);
//
// File, line and function (see functionName) come from the call site.

#include <string>

#include "orvanpush/logger/LogSeverity.h"
#include "orvanpush/logger/LoggerModule.h"
#include "orvanpush/logger/SourceLocation.h"
#include "utils/logger/log_manager/FixedSite.h"

namespace orvanpush::detail {

class SdkLog {
  public:
    /// Logs `text` as a message entry of `severity`.
    static void message(LogSeverity severity, LoggerModule module, std::string text,
                        SourceLocation site = SourceLocation::current());
    /// Records `text` in the SDK log files as a message entry of `severity` made at `site`,
    /// without a trace marker: for the few messages that log readers know by a fixed site.
    static void record(LogSeverity severity, LoggerModule module, std::string text,
                       const FixedSite& site);
    /// Logs a trace entry (its text is the calling function's name) of `severity`.
    static void trace(LogSeverity severity, LoggerModule module,
                      SourceLocation site = SourceLocation::current());
};

}  // namespace orvanpush::detail
