#pragma once

#include "orvanpush/Export.h"
#include "orvanpush/logger/ConsoleLogConfiguration.h"

namespace orvanpush {

/// Console logging in the layout of the SDK's log files:
///
///   2023-11-05 14:03:27+0300;Info;00003A1F;;SDK Instance;Send logs is 1 [LogManager.cpp:61]
class ORVANPUSH_EXPORT OrvanLogConfiguration : public ConsoleLogConfiguration {
  public:
    /// `infoMode` is accepted for compatibility and not used.
    OrvanLogConfiguration(LogSeverity minimumSeverity, bool infoMode,
                          StandardStreamsMode stdStreamsMode, bool showCallSite,
                          const LogFilters& filters = {});
};

}  // namespace orvanpush
