#pragma once

// The pieces shared by the ready-made layouts: the leading timestamp, severity and thread (each
// present only when its style is given and each followed by the delimiter), and the closing
// bracketed call site.

#include <optional>
#include <utility>
#include <vector>

#include "orvanpush/logger/FieldBasedLogFormatter.h"
#include "orvanpush/logger/LogFormatterStyles.h"

namespace orvanpush::detail {

inline std::vector<FieldBasedLogFormatter::Field> leadingFields(
    const std::optional<TimestampStyle>& timestampStyle,
    const std::optional<SeverityStyle>& severityStyle, const DelimiterStyle& delimiterStyle,
    const std::optional<CallingThreadStyle>& callingThreadStyle) {
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
    return fields;
}

/// Appends " [", the call site and "]", the way every layout closes its line.
inline void appendBracketedCallSite(std::vector<FieldBasedLogFormatter::Field>& fields) {
    using Field = FieldBasedLogFormatter::Field;
    fields.push_back(Field::literal(" ["));
    fields.push_back(Field::callSite());
    fields.push_back(Field::literal("]"));
}

}  // namespace orvanpush::detail
