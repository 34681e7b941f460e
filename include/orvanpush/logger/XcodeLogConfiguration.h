#pragma once

#include "orvanpush/Export.h"
#include "orvanpush/logger/ConsoleLogConfiguration.h"

namespace orvanpush {

/// The console layout of the SDK: timestamp, " [", the thread id in hexadecimal, "/", in
/// decimal, "] ", then the severity emoji, " -> ", the payload and, with `showCallSite`,
/// " [FILE:LINE]":
///
///   2023-11-05 14:03:27 +0300 [00003A1F/14879] 🔷 -> Send logs is 1 [LogManager.cpp:61]
class ORVANPUSH_EXPORT XcodeLogConfiguration : public ConsoleLogConfiguration {
  public:
    /// `infoMode` and `mimicOSLogOutput` are accepted for compatibility and not used.
    XcodeLogConfiguration(LogSeverity minimumSeverity, bool infoMode,
                          StandardStreamsMode stdStreamsMode, bool mimicOSLogOutput,
                          bool showCallSite, const LogFilters& filters = {});
};

}  // namespace orvanpush
