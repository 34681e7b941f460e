#include "orvanpush/logger/BasicLogConfiguration.h"

#include <utility>

namespace orvanpush {

BasicLogConfiguration::BasicLogConfiguration(LogSeverity minimumSeverity, LogFilters filters,
                                             LogRecorders recorders, bool synchronousMode,
                                             std::optional<LogConfigurations> configurations)
    : minimumSeverity_(minimumSeverity),
      filters_(std::move(filters)),
      recorders_(std::move(recorders)),
      synchronousMode_(synchronousMode),
      configurations_(std::move(configurations)) {}

}  // namespace orvanpush
