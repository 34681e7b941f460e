#pragma once

#include <memory>
#include <vector>
#include "orvanpush/Export.h"

#include "orvanpush/logger/LogEntry.h"

namespace orvanpush {

/// Decides whether a configuration records an entry. Filters run on the receptacle's accept
/// queue; implementations must not change the entry.
class ORVANPUSH_EXPORT LogFilter {
  public:
    virtual ~LogFilter() = default;
    /// True when the entry may be recorded; one refusal is enough to drop it.
    virtual bool shouldRecord(const LogEntry& entry) const = 0;
};

/// Filters are shared, immutable, between configurations.
using LogFilterPtr = std::shared_ptr<const LogFilter>;
using LogFilters = std::vector<LogFilterPtr>;

}  // namespace orvanpush
