#pragma once

#include <memory>
#include <optional>
#include <vector>
#include "orvanpush/Export.h"

#include "orvanpush/logger/LogFilter.h"
#include "orvanpush/logger/LogRecorder.h"
#include "orvanpush/logger/LogSeverity.h"

namespace orvanpush {

class LogConfiguration;
/// Configurations are shared, immutable, between receptacles and their queued work.
using LogConfigurationPtr = std::shared_ptr<const LogConfiguration>;
using LogConfigurations = std::vector<LogConfigurationPtr>;

/// Where entries of at least a minimum severity go: through the filters to the recorders, and
/// on to any nested configurations. Read by the receptacle from several threads; immutable.
class ORVANPUSH_EXPORT LogConfiguration {
  public:
    virtual ~LogConfiguration() = default;

    /// Entries below this severity never reach the configuration.
    virtual LogSeverity minimumSeverity() const = 0;
    /// Asked in order; the first refusal drops the entry.
    virtual const LogFilters& filters() const = 0;
    /// Each accepted entry is handed to every recorder, in order.
    virtual const LogRecorders& recorders() const = 0;
    /// True when the logging caller waits until the recorders have written the entry.
    virtual bool synchronousMode() const = 0;
    /// Nested configurations; absent unless a type provides them.
    virtual const std::optional<LogConfigurations>& configurations() const;
};

}  // namespace orvanpush
