#include "orvanpush/logger/FieldBasedLogFormatter.h"

#include <memory>

#include "orvanpush/logger/FieldLogFormatters.h"
#include "orvanpush/logger/PayloadLogFormatter.h"

namespace orvanpush {
namespace {

LogFormatters formattersOf(const std::vector<FieldBasedLogFormatter::Field>& fields) {
    LogFormatters formatters;
    formatters.reserve(fields.size());
    for (const auto& field : fields) {
        formatters.push_back(field.formatter());
    }
    return formatters;
}

}  // namespace

using Field = FieldBasedLogFormatter::Field;

Field Field::timestamp(TimestampStyle style) {
    return Field(std::make_shared<TimestampLogFormatter>(std::move(style)));
}
Field Field::context(const std::string&) {
    return Field(std::make_shared<ContextLogFormatter>());
}
Field Field::module(LoggerModule) {
    return Field(std::make_shared<ModuleLogFormatter>());
}
Field Field::severity(SeverityStyle style) {
    return Field(std::make_shared<SeverityLogFormatter>(style));
}
Field Field::callingThread(CallingThreadStyle style) {
    return Field(std::make_shared<CallingThreadLogFormatter>(style));
}
Field Field::delimiter(DelimiterStyle style) {
    return Field(std::make_shared<DelimiterLogFormatter>(std::move(style)));
}
Field Field::literal(std::string text) {
    return Field(std::make_shared<LiteralLogFormatter>(std::move(text)));
}
Field Field::custom(LogFormatterPtr formatter) {
    return Field(std::move(formatter));
}
Field Field::callSite() {
    return Field(std::make_shared<CallSiteLogFormatter>());
}
Field Field::stackFrame() {
    return Field(std::make_shared<StackFrameLogFormatter>());
}
Field Field::payload() {
    return Field(std::make_shared<PayloadLogFormatter>());
}
Field Field::processName() {
    return Field(std::make_shared<ProcessNameLogFormatter>());
}
Field Field::processID() {
    return Field(std::make_shared<ProcessIDLogFormatter>());
}

FieldBasedLogFormatter::FieldBasedLogFormatter(const std::vector<Field>& fields, bool hardFail)
    : ConcatenatingLogFormatter(formattersOf(fields), hardFail) {}

}  // namespace orvanpush
