#pragma once

// The leading pieces shared by the ready-made layouts: timestamp, severity and thread, each
// present only when its style is given and each followed by the delimiter.

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

}  // namespace orvanpush::detail
