#include "orvanpush/logger/OrvanLogConfiguration.h"

#include "utils/logger/log_manager/SdkLogFileFormatter.h"

namespace orvanpush {

OrvanLogConfiguration::OrvanLogConfiguration(LogSeverity minimumSeverity, bool infoMode,
                                             StandardStreamsMode stdStreamsMode, bool showCallSite,
                                             const LogFilters& filters)
    : ConsoleLogConfiguration(minimumSeverity, infoMode, stdStreamsMode, filters,
                              {detail::makeSdkLogFileFormatter(showCallSite)}, {}) {}

}  // namespace orvanpush
