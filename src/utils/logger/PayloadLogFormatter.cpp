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
      valueFormatter_(std::move(valueFormatter)),
      appendingTrace_(appendingOf(traceFormatter_)),
      appendingMessage_(appendingOf(messageFormatter_)),
      appendingValue_(appendingOf(valueFormatter_)) {}

bool PayloadLogFormatter::appendTo(std::string& line, const LogEntry& entry) const {
    struct Delegate {
        const PayloadLogFormatter& self;
        std::string& line;
        const LogEntry& entry;
        bool operator()(const LogEntry::Message&) const {
            return append(*self.messageFormatter_, self.appendingMessage_, line, entry);
        }
        bool operator()(const LogEntry::Value&) const {
            return append(*self.valueFormatter_, self.appendingValue_, line, entry);
        }
        bool operator()(const LogEntry::Trace&) const {
            return append(*self.traceFormatter_, self.appendingTrace_, line, entry);
        }
    };
    return std::visit(Delegate{*this, line, entry}, entry.payload);
}

}  // namespace orvanpush
