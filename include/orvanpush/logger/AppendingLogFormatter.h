#pragma once

#include <optional>
#include <string>
#include "orvanpush/Export.h"

#include "orvanpush/logger/LogFormatter.h"

namespace orvanpush {

/// A formatter that appends its text straight to a line being built, so that a line of many
/// pieces is one string rather than one string per piece. Its `format` is the appended text
/// on its own.
class ORVANPUSH_EXPORT AppendingLogFormatter : public LogFormatter {
  public:
    /// Appends the text for `entry` to `line` and returns true; returns false and leaves `line`
    /// as it was when there is no text for this entry.
    virtual bool appendTo(std::string& line, const LogEntry& entry) const = 0;

    /// The text `appendTo` would append to an empty line; nothing when it appends nothing.
    std::optional<std::string> format(const LogEntry& entry) const final;

  protected:
    /// `formatter` as an appending formatter; null when it only formats.
    static const AppendingLogFormatter* appendingOf(const LogFormatterPtr& formatter);
    /// Appends the text of `formatter`, through `appending` (its `appendingOf`) when not null.
    static bool append(const LogFormatter& formatter, const AppendingLogFormatter* appending,
                       std::string& line, const LogEntry& entry);
};

}  // namespace orvanpush
