#include "orvanpush/logger/LogSeverityFilter.h"

namespace orvanpush {

bool LogSeverityFilter::shouldRecord(const LogEntry& entry) const {
    return entry.severity >= severity_;
}

}  // namespace orvanpush
