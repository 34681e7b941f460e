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

std::optional<std::string> XcodeTraceLogFormatter::format(const LogEntry& entry) const {
    if (!std::holds_alternative<LogEntry::Trace>(entry.payload)) {
        return std::nullopt;
    }
    return FieldBasedLogFormatter::format(entry);
}

XcodeLogFormatter::XcodeLogFormatter(bool showCallSite)
    : traceFormatter_(std::make_shared<XcodeTraceLogFormatter>()),
      defaultFormatter_(std::make_shared<FieldBasedLogFormatter>(defaultFields(showCallSite))) {}

std::optional<std::string> XcodeLogFormatter::format(const LogEntry& entry) const {
    if (std::holds_alternative<LogEntry::Trace>(entry.payload)) {
        if (auto text = traceFormatter_->format(entry)) {
            return text;
        }
    }
    return defaultFormatter_->format(entry);
}

}  // namespace orvanpush
