#pragma once

// The console layouts: a severity emoji, " -> ", the payload and, when shown, " [FILE:LINE]".
//
//   XcodeLogFormatter formatter(true);
//   formatter.format(entry);  // "🔷 -> Send logs is 1 [LogManager.cpp:62]"

#include <memory>
#include <optional>
#include <string>
#include "orvanpush/Export.h"

#include "orvanpush/logger/AppendingLogFormatter.h"
#include "orvanpush/logger/FieldBasedLogFormatter.h"

namespace orvanpush {

/// The console line of a trace entry: emoji, " -> ", the function name, " [FILE:LINE]". Gives
/// nothing for any other payload.
class ORVANPUSH_EXPORT XcodeTraceLogFormatter : public FieldBasedLogFormatter {
  public:
    /// The trace line, call site included.
    XcodeTraceLogFormatter();

    /// Appends the line for a trace entry; false for any other.
    bool appendTo(std::string& line, const LogEntry& entry) const override;
};

/// The console line of any entry: trace entries through `traceFormatter`, everything else (and
/// a trace the trace formatter has nothing for) through `defaultFormatter`.
class ORVANPUSH_EXPORT XcodeLogFormatter : public AppendingLogFormatter {
  public:
    /// The console line, with " [FILE:LINE]" when `showCallSite`.
    explicit XcodeLogFormatter(bool showCallSite);

    /// The formatters it chooses between.
    const std::shared_ptr<const XcodeTraceLogFormatter>& traceFormatter() const {
        return traceFormatter_;
    }
    const std::shared_ptr<const FieldBasedLogFormatter>& defaultFormatter() const {
        return defaultFormatter_;
    }

    bool appendTo(std::string& line, const LogEntry& entry) const override;

  private:
    std::shared_ptr<const XcodeTraceLogFormatter> traceFormatter_;
    std::shared_ptr<const FieldBasedLogFormatter> defaultFormatter_;
};

}  // namespace orvanpush
