#include "orvanpush/logger/XcodeLogFormatter.h"

#include <variant>
#include <vector>

#include "utils/logger/LayoutFields.h"

namespace orvanpush {
namespace {

using Field = FieldBasedLogFormatter::Field;

std::vector<Field> traceFields() {
    std::vector<Field> fields{Field::severity(SeverityStyle::xcode()), Field::literal(" ->"),
                              Field::delimiter(DelimiterStyle::space()), Field::payload()};
    detail::appendBracketedCallSite(fields);
    return fields;
}

std::vector<Field> defaultFields(bool showCallSite) {
    std::vector<Field> fields{Field::severity(SeverityStyle::xcode()), Field::literal(" -> "),
                              Field::payload()};
    if (showCallSite) {
        detail::appendBracketedCallSite(fields);
    }
    return fields;
}

}  // namespace

XcodeTraceLogFormatter::XcodeTraceLogFormatter() : FieldBasedLogFormatter(traceFields()) {}

bool XcodeTraceLogFormatter::appendTo(std::string& line, const LogEntry& entry) const {
    if (!std::holds_alternative<LogEntry::Trace>(entry.payload)) {
        return false;
    }
    return FieldBasedLogFormatter::appendTo(line, entry);
}

XcodeLogFormatter::XcodeLogFormatter(bool showCallSite)
    : traceFormatter_(std::make_shared<XcodeTraceLogFormatter>()),
      defaultFormatter_(std::make_shared<FieldBasedLogFormatter>(defaultFields(showCallSite))) {}

bool XcodeLogFormatter::appendTo(std::string& line, const LogEntry& entry) const {
    if (std::holds_alternative<LogEntry::Trace>(entry.payload) &&
        traceFormatter_->appendTo(line, entry)) {
        return true;
    }
    return defaultFormatter_->appendTo(line, entry);
}

}  // namespace orvanpush
