#include "orvanpush/logger/OrvanLogFormatter.h"

#include "utils/logger/LayoutFields.h"

namespace orvanpush {

OrvanLogFormatter::OrvanLogFormatter(std::optional<TimestampStyle> timestampStyle,
                                     std::optional<SeverityStyle> severityStyle,
                                     DelimiterStyle delimiterStyle,
                                     std::optional<CallingThreadStyle> callingThreadStyle,
                                     std::optional<std::string> context, LoggerModule module,
                                     bool showCallSite)
    : FieldBasedLogFormatter(detail::delimitedLayout(
          timestampStyle, severityStyle, delimiterStyle, callingThreadStyle,
          {Field::context(context.value_or("")), Field::module(module)}, showCallSite)) {}

}  // namespace orvanpush
