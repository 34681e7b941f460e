#include "orvanpush/logger/XcodeLogFormatter.h"

#include <variant>
#include <vector>

namespace orvanpush {
namespace {

using Field = FieldBasedLogFormatter::Field;

std::vector<Field> defaultFields(bool showCallSite) {
    std::vector<Field> fields{Field::severity(SeverityStyle::xcode()), Field::literal(" -> "),
                              Field::payload()};
    if (showCallSite) {
        fields.push_back(Field::literal(" ["));
        fields.push_back(Field::callSite());
        fields.push_back(Field::literal("]"));
    }
    return fields;
}

}  // namespace

XcodeTraceLogFormatter::XcodeTraceLogFormatter()
    : FieldBasedLogFormatter({Field::severity(SeverityStyle::xcode()), Field::literal(" ->"),
                              Field::delimiter(DelimiterStyle::space()), Field::payload(),
                              Field::literal(" ["), Field::callSite(), Field::literal("]")}) {}

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
