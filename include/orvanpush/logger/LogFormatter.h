#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>
#include "orvanpush/Export.h"

#include "orvanpush/logger/LogEntry.h"

namespace orvanpush {

/// Turns an entry into one line of text, or into nothing when it does not apply to the entry.
/// Implementations are immutable and may be called from several threads.
class ORVANPUSH_EXPORT LogFormatter {
  public:
    virtual ~LogFormatter() = default;
    /// The entry's text; nothing when the formatter does not apply to it. Never throws but for
    /// allocation.
    virtual std::optional<std::string> format(const LogEntry& entry) const = 0;
};

/// Formatters are shared, immutable, between recorders and other formatters.
using LogFormatterPtr = std::shared_ptr<const LogFormatter>;
using LogFormatters = std::vector<LogFormatterPtr>;

}  // namespace orvanpush
