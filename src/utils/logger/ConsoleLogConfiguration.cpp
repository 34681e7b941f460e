#include "orvanpush/logger/ConsoleLogConfiguration.h"

#include <memory>

#include "orvanpush/logger/OSLogRecorder.h"
#include "orvanpush/logger/StandardStreamsLogRecorder.h"
#include "platform/ProcessInfo.h"

namespace orvanpush {

ConsoleLogConfiguration::ConsoleLogConfiguration(LogSeverity minimumSeverity, bool,
                                                 StandardStreamsMode, const LogFilters& filters,
                                                 const LogFormatters& osLogFormatters,
                                                 const LogFormatters&)
    : BasicLogConfiguration(minimumSeverity, filters,
                            {std::make_shared<StandardStreamsLogRecorder>(osLogFormatters)}) {}

bool ConsoleLogConfiguration::willUseOSLog(StandardStreamsMode mode) {
    return mode != StandardStreamsMode::useExclusively && OSLogRecorder::isAvailable();
}

bool ConsoleLogConfiguration::shouldUseStandardStreams(StandardStreamsMode mode) {
    if (mode != StandardStreamsMode::useAsFallback) {
        return true;
    }
    return !OSLogRecorder::isAvailable() ||
           platform::ProcessInfo::environment("OS_ACTIVITY_MODE") == "disable";
}

}  // namespace orvanpush
