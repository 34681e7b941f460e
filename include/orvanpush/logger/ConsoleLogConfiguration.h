#pragma once

// Console logging: one standard-streams recorder on its own queue, asynchronous, without nested
// configurations.
//
//   auto console = std::make_shared<orvanpush::XcodeLogConfiguration>(
//       orvanpush::LogSeverity::info, false,
//       orvanpush::ConsoleLogConfiguration::StandardStreamsMode::useExclusively, false, true);
//   orvanpush::Log::enable(console);

#include "orvanpush/Export.h"
#include "orvanpush/logger/BasicLogConfiguration.h"
#include "orvanpush/logger/LogFilter.h"
#include "orvanpush/logger/LogFormatter.h"
#include "orvanpush/logger/LogSeverity.h"
#include "orvanpush/logger/StandardStreamsMode.h"

namespace orvanpush {

/// A configuration that writes to the console (the standard streams).
class ORVANPUSH_EXPORT ConsoleLogConfiguration : public BasicLogConfiguration {
  public:
    using StandardStreamsMode = orvanpush::StandardStreamsMode;

    /// Writes entries of at least `minimumSeverity` that pass `filters` to the standard streams,
    /// formatted by `osLogFormatters`. Whatever the mode and info flag, the console is the
    /// standard streams; `stdoutFormatters` is accepted for compatibility and not used.
    ConsoleLogConfiguration(LogSeverity minimumSeverity, bool infoMode,
                            StandardStreamsMode stdStreamsMode, const LogFilters& filters,
                            const LogFormatters& osLogFormatters,
                            const LogFormatters& stdoutFormatters);

    /// True for `useAsFallback` and `useAlways` when the system log is available.
    static bool willUseOSLog(StandardStreamsMode mode);
    /// True for `useAlways` and `useExclusively`; for `useAsFallback`, when the system log is
    /// unavailable or OS_ACTIVITY_MODE is "disable".
    static bool shouldUseStandardStreams(StandardStreamsMode mode);
};

}  // namespace orvanpush
