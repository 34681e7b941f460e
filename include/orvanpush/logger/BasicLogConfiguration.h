#pragma once

#include <optional>
#include "orvanpush/Export.h"

#include "orvanpush/logger/LogConfiguration.h"

namespace orvanpush {

/// A configuration that stores the five values it is built with.
///
///   auto recorder = std::make_shared<orvanpush::StandardStreamsLogRecorder>(formatters);
///   auto configuration = std::make_shared<orvanpush::BasicLogConfiguration>(
///       orvanpush::LogSeverity::info, orvanpush::LogFilters{},
///       orvanpush::LogRecorders{recorder});
class ORVANPUSH_EXPORT BasicLogConfiguration : public LogConfiguration {
  public:
    /// A configuration holding exactly these values; see LogConfiguration for each one's meaning.
    explicit BasicLogConfiguration(LogSeverity minimumSeverity, LogFilters filters = {},
                                   LogRecorders recorders = {}, bool synchronousMode = false,
                                   std::optional<LogConfigurations> configurations = std::nullopt);

    /// The values it was built with.
    LogSeverity minimumSeverity() const override { return minimumSeverity_; }
    const LogFilters& filters() const override { return filters_; }
    const LogRecorders& recorders() const override { return recorders_; }
    bool synchronousMode() const override { return synchronousMode_; }
    const std::optional<LogConfigurations>& configurations() const override {
        return configurations_;
    }

  private:
    LogSeverity minimumSeverity_;
    LogFilters filters_;
    LogRecorders recorders_;
    bool synchronousMode_;
    std::optional<LogConfigurations> configurations_;
};

}  // namespace orvanpush
