#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>
#include "orvanpush/Export.h"

#include "orvanpush/logger/AppendingLogFormatter.h"
#include "orvanpush/logger/LogFormatter.h"

namespace orvanpush {

/// Joins the texts of its formatters, in order, with nothing in between. A formatter that gives
/// nothing is skipped, or, with `hardFail`, makes the whole line absent. A line without any piece
/// is absent.
class ORVANPUSH_EXPORT ConcatenatingLogFormatter : public AppendingLogFormatter {
  public:
    /// Joins the texts of `formatters`, as described above.
    explicit ConcatenatingLogFormatter(LogFormatters formatters, bool hardFail = false);

    /// The values it was built with.
    const LogFormatters& formatters() const { return formatters_; }
    bool hardFail() const { return hardFail_; }

    /// Appends every piece to `line`; true when some piece was appended. A `hardFail` failure
    /// leaves `line` as it was.
    bool appendTo(std::string& line, const LogEntry& entry) const override;

  private:
    LogFormatters formatters_;
    bool hardFail_;
    std::vector<const AppendingLogFormatter*>
        appending_;  // per formatter; null when it only formats
};

}  // namespace orvanpush
