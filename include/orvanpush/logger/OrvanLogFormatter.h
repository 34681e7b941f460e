#pragma once

// The layout of the SDK's own log files. With a custom "yyyy-MM-dd HH:mm:ssZZZ" timestamp, the
// simple severity, ";" between pieces, the thread in hexadecimal and the call site shown, a line
// reads
//
//   2023-11-05 14:03:27+0300;Info;000000FF;;Crypto;OSStatus: 0 [KeyChainUtil.cpp:42]
//
// The context and module slots are always there, each followed by the delimiter, even for an
// entry without context.

#include <optional>
#include <string>
#include "orvanpush/Export.h"

#include "orvanpush/logger/FieldBasedLogFormatter.h"
#include "orvanpush/logger/LogFormatterStyles.h"
#include "orvanpush/logger/LoggerModule.h"

namespace orvanpush {

/// The line layout of the SDK's log files, pieces joined by the delimiter (";" there).
class ORVANPUSH_EXPORT OrvanLogFormatter : public FieldBasedLogFormatter {
  public:
    /// Timestamp, severity and thread (each when given, each followed by the delimiter), the
    /// entry's context and module (each followed by the delimiter), the payload, and
    /// " [FILE:LINE]" when `showCallSite`. `context` and `module` name the slots; every entry
    /// prints its own.
    OrvanLogFormatter(std::optional<TimestampStyle> timestampStyle,
                      std::optional<SeverityStyle> severityStyle, DelimiterStyle delimiterStyle,
                      std::optional<CallingThreadStyle> callingThreadStyle,
                      std::optional<std::string> context, LoggerModule module, bool showCallSite);
};

}  // namespace orvanpush
