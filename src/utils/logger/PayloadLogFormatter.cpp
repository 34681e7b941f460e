#include "orvanpush/logger/PayloadLogFormatter.h"

#include <utility>
#include <variant>

#include "orvanpush/logger/FieldLogFormatters.h"

namespace orvanpush {

PayloadLogFormatter::PayloadLogFormatter()
    : PayloadLogFormatter(std::make_shared<PayloadTraceLogFormatter>(),
                          std::make_shared<PayloadMessageLogFormatter>(),
                          std::make_shared<PayloadValueLogFormatter>()) {}

PayloadLogFormatter::PayloadLogFormatter(LogFormatterPtr traceFormatter,
                                         LogFormatterPtr messageFormatter,
                                         LogFormatterPtr valueFormatter)
    : traceFormatter_(std::move(traceFormatter)),
      messageFormatter_(std::move(messageFormatter)),
      valueFormatter_(std::move(valueFormatter)) {}

std::optional<std::string> PayloadLogFormatter::format(const LogEntry& entry) const {
    struct Delegate {
        const PayloadLogFormatter& self;
        const LogFormatter& operator()(const LogEntry::Message&) const {
            return *self.messageFormatter_;
        }
        const LogFormatter& operator()(const LogEntry::Value&) const {
            return *self.valueFormatter_;
        }
        const LogFormatter& operator()(const LogEntry::Trace&) const {
            return *self.traceFormatter_;
        }
    };
    return std::visit(Delegate{*this}, entry.payload).format(entry);
}

}  // namespace orvanpush
