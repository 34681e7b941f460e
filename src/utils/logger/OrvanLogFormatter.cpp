#include "orvanpush/logger/OrvanLogFormatter.h"

#include <vector>

#include "utils/logger/LayoutFields.h"

namespace orvanpush {
namespace {

std::vector<FieldBasedLogFormatter::Field> orvanFields(
    const std::optional<TimestampStyle>& timestampStyle,
    const std::optional<SeverityStyle>& severityStyle, const DelimiterStyle& delimiterStyle,
    const std::optional<CallingThreadStyle>& callingThreadStyle,
    const std::optional<std::string>& context, LoggerModule module, bool showCallSite) {
    using Field = FieldBasedLogFormatter::Field;
    auto fields =
        detail::leadingFields(timestampStyle, severityStyle, delimiterStyle, callingThreadStyle);
    fields.push_back(Field::context(context.value_or("")));
    fields.push_back(Field::delimiter(delimiterStyle));
    fields.push_back(Field::module(module));
    fields.push_back(Field::delimiter(delimiterStyle));
    fields.push_back(Field::payload());
    if (showCallSite) {
        detail::appendBracketedCallSite(fields);
    }
    return fields;
}

}  // namespace

OrvanLogFormatter::OrvanLogFormatter(std::optional<TimestampStyle> timestampStyle,
                                     std::optional<SeverityStyle> severityStyle,
                                     DelimiterStyle delimiterStyle,
                                     std::optional<CallingThreadStyle> callingThreadStyle,
                                     std::optional<std::string> context, LoggerModule module,
                                     bool showCallSite)
    : FieldBasedLogFormatter(orvanFields(timestampStyle, severityStyle, delimiterStyle,
                                         callingThreadStyle, context, module, showCallSite)) {}

}  // namespace orvanpush
