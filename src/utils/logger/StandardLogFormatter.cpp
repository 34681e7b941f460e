#include "orvanpush/logger/StandardLogFormatter.h"

#include <vector>

#include "utils/logger/LayoutFields.h"

namespace orvanpush {
namespace {

std::vector<FieldBasedLogFormatter::Field> standardFields(
    const std::optional<TimestampStyle>& timestampStyle,
    const std::optional<SeverityStyle>& severityStyle, const DelimiterStyle& delimiterStyle,
    const std::optional<CallingThreadStyle>& callingThreadStyle, bool showCallSite) {
    using Field = FieldBasedLogFormatter::Field;
    auto fields =
        detail::leadingFields(timestampStyle, severityStyle, delimiterStyle, callingThreadStyle);
    if (showCallSite) {
        fields.push_back(Field::callSite());
        fields.push_back(Field::delimiter(delimiterStyle));
    }
    fields.push_back(Field::payload());
    return fields;
}

}  // namespace

StandardLogFormatter::StandardLogFormatter(std::optional<TimestampStyle> timestampStyle,
                                           std::optional<SeverityStyle> severityStyle,
                                           DelimiterStyle delimiterStyle,
                                           std::optional<CallingThreadStyle> callingThreadStyle,
                                           bool showCallSite)
    : FieldBasedLogFormatter(standardFields(timestampStyle, severityStyle, delimiterStyle,
                                            callingThreadStyle, showCallSite)) {}

}  // namespace orvanpush
