#include "orvanpush/logger/StandardLogFormatter.h"

#include <vector>

#include "utils/logger/LayoutFields.h"

namespace orvanpush {

StandardLogFormatter::StandardLogFormatter(std::optional<TimestampStyle> timestampStyle,
                                           std::optional<SeverityStyle> severityStyle,
                                           DelimiterStyle delimiterStyle,
                                           std::optional<CallingThreadStyle> callingThreadStyle,
                                           bool showCallSite)
    : FieldBasedLogFormatter(detail::delimitedLayout(
          timestampStyle, severityStyle, delimiterStyle, callingThreadStyle,
          showCallSite ? std::vector{Field::callSite()} : std::vector<Field>{}, false)) {}

}  // namespace orvanpush
