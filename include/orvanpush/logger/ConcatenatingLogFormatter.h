#pragma once

#include <optional>
#include <string>
#include <utility>

#include "orvanpush/logger/LogFormatter.h"

namespace orvanpush {

/// Joins the texts of its formatters, in order, with nothing in between. A formatter that gives
/// nothing is skipped, or, with `hardFail`, makes the whole line absent. A line without any piece
/// is absent.
class ConcatenatingLogFormatter : public LogFormatter {
  public:
    explicit ConcatenatingLogFormatter(LogFormatters formatters, bool hardFail = false)
        : formatters_(std::move(formatters)), hardFail_(hardFail) {}

    const LogFormatters& formatters() const { return formatters_; }
    bool hardFail() const { return hardFail_; }

    std::optional<std::string> format(const LogEntry& entry) const override;

  private:
    LogFormatters formatters_;
    bool hardFail_;
};

}  // namespace orvanpush
