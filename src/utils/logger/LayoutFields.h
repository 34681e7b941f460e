#pragma once

// The pieces shared by the ready-made layouts: the bracketed call site that closes a line, and
// the delimited line itself (optional leading pieces and the layout's own, each followed by the
// delimiter, then the payload).

#include <optional>
#include <utility>
#include <vector>

#include "orvanpush/logger/FieldBasedLogFormatter.h"
#include "orvanpush/logger/LogFormatterStyles.h"

namespace orvanpush::detail {

/// Appends " [", the call site and "]", the way every layout closes its line.
inline void appendBracketedCallSite(std::vector<FieldBasedLogFormatter::Field>& fields) {
    using Field = FieldBasedLogFormatter::Field;
    fields.push_back(Field::literal(" ["));
    fields.push_back(Field::callSite());
    fields.push_back(Field::literal("]"));
}

/// The line of the delimited layouts: timestamp, severity and thread (each only when its style
/// is given), then the `middle` fields, each of these followed by the delimiter; the payload;
/// and the bracketed call site when `bracketedCallSite`.
inline std::vector<FieldBasedLogFormatter::Field> delimitedLayout(
    const std::optional<TimestampStyle>& timestampStyle,
    const std::optional<SeverityStyle>& severityStyle, const DelimiterStyle& delimiterStyle,
    const std::optional<CallingThreadStyle>& callingThreadStyle,
    std::vector<FieldBasedLogFormatter::Field> middle, bool bracketedCallSite) {
    using Field = FieldBasedLogFormatter::Field;
    std::vector<Field> fields;
    auto addWithDelimiter = [&](Field field) {
        fields.push_back(std::move(field));
        fields.push_back(Field::delimiter(delimiterStyle));
    };
    if (timestampStyle) {
        addWithDelimiter(Field::timestamp(*timestampStyle));
    }
    if (severityStyle) {
        addWithDelimiter(Field::severity(*severityStyle));
    }
    if (callingThreadStyle) {
        addWithDelimiter(Field::callingThread(*callingThreadStyle));
    }
    for (auto& field : middle) {
        addWithDelimiter(std::move(field));
    }
    fields.push_back(Field::payload());
    if (bracketedCallSite) {
        appendBracketedCallSite(fields);
    }
    return fields;
}

}  // namespace orvanpush::detail
