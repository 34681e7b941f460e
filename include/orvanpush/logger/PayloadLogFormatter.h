#pragma once

#include <memory>
#include <optional>
#include <string>
#include "orvanpush/Export.h"

#include "orvanpush/logger/AppendingLogFormatter.h"

namespace orvanpush {

/// Prints an entry's payload by handing it to the formatter of its kind: trace, message or value.
class ORVANPUSH_EXPORT PayloadLogFormatter : public AppendingLogFormatter {
  public:
    /// The three payload field formatters (function name, message text, value text).
    PayloadLogFormatter();
    /// The given formatter for each payload kind.
    PayloadLogFormatter(LogFormatterPtr traceFormatter, LogFormatterPtr messageFormatter,
                        LogFormatterPtr valueFormatter);

    /// The formatters of trace, message and value payloads.
    const LogFormatterPtr& traceFormatter() const { return traceFormatter_; }
    const LogFormatterPtr& messageFormatter() const { return messageFormatter_; }
    const LogFormatterPtr& valueFormatter() const { return valueFormatter_; }

    /// Appends what the formatter of the entry's payload kind gives.
    bool appendTo(std::string& line, const LogEntry& entry) const override;

  private:
    LogFormatterPtr traceFormatter_;
    LogFormatterPtr messageFormatter_;
    LogFormatterPtr valueFormatter_;
    const AppendingLogFormatter* appendingTrace_;
    const AppendingLogFormatter* appendingMessage_;
    const AppendingLogFormatter* appendingValue_;
};

}  // namespace orvanpush
