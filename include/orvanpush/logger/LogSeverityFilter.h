#pragma once

#include "orvanpush/Export.h"
#include "orvanpush/logger/LogFilter.h"
#include "orvanpush/logger/LogSeverity.h"

namespace orvanpush {

/// Accepts the entries at or above a severity: with `info`, `info` and `error` entries pass.
class ORVANPUSH_EXPORT LogSeverityFilter : public LogFilter {
  public:
    /// A filter that passes entries of at least `severity`.
    explicit LogSeverityFilter(LogSeverity severity) : severity_(severity) {}

    /// The least severity it passes.
    LogSeverity severity() const { return severity_; }
    /// True when the entry's severity is at least `severity()`.
    bool shouldRecord(const LogEntry& entry) const override;

  private:
    LogSeverity severity_;
};

}  // namespace orvanpush
