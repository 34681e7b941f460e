#include "orvanpush/logger/XcodeLogConfiguration.h"

#include <memory>
#include <vector>

#include "orvanpush/logger/FieldBasedLogFormatter.h"
#include "orvanpush/logger/Log.h"
#include "orvanpush/logger/XcodeLogFormatter.h"

namespace orvanpush {
namespace {

LogFormatters consoleFormatters(bool showCallSite) {
    using Field = FieldBasedLogFormatter::Field;
    return {std::make_shared<FieldBasedLogFormatter>(
        std::vector<Field>{Field::timestamp(TimestampStyle::custom("yyyy-MM-dd HH:mm:ss ZZZ")),
                           Field::delimiter(DelimiterStyle::custom(" [")),
                           Field::callingThread(CallingThreadStyle::hex),
                           Field::delimiter(DelimiterStyle::custom("/")),
                           Field::callingThread(CallingThreadStyle::integer),
                           Field::delimiter(DelimiterStyle::custom("] ")),
                           Field::custom(std::make_shared<XcodeLogFormatter>(showCallSite))})};
}

}  // namespace

XcodeLogConfiguration::XcodeLogConfiguration(LogSeverity minimumSeverity, bool infoMode,
                                             StandardStreamsMode stdStreamsMode, bool,
                                             bool showCallSite, const LogFilters& filters)
    : ConsoleLogConfiguration(minimumSeverity, infoMode, stdStreamsMode, filters,
                              consoleFormatters(showCallSite), {}) {}

void Log::enable(LogSeverity minimumSeverity, bool infoMode, StandardStreamsMode stdStreamsMode,
                 bool mimicOSLogOutput, bool showCallSite, const LogFilters& filters) {
    enable(LogConfigurationPtr(std::make_shared<XcodeLogConfiguration>(
        minimumSeverity, infoMode, stdStreamsMode, mimicOSLogOutput, showCallSite, filters)));
}

}  // namespace orvanpush
