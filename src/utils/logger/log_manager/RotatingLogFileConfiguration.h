#pragma once

#include <memory>
#include <string>

#include "orvanpush/logger/BasicLogConfiguration.h"
#include "orvanpush/logger/RotatingLogFileRecorder.h"

namespace orvanpush::detail {

/// A configuration that writes entries to one file per day in a directory, keeping
/// `daysToKeep` days, through its own rotating recorder.
class RotatingLogFileConfiguration : public BasicLogConfiguration {
  public:
    RotatingLogFileConfiguration(LogSeverity minimumSeverity, int daysToKeep,
                                 std::string directoryPath, bool synchronousMode = false,
                                 LogFilters filters = {}, LogFormatters formatters = {});

    const std::shared_ptr<RotatingLogFileRecorder>& logFileRecorder() const {
        return logFileRecorder_;
    }
    /// Creates the recorder's directory when it is missing.
    void createLogDirectory() const { logFileRecorder_->createLogDirectory(); }

  private:
    RotatingLogFileConfiguration(LogSeverity minimumSeverity, bool synchronousMode,
                                 LogFilters filters,
                                 std::shared_ptr<RotatingLogFileRecorder> recorder);

    std::shared_ptr<RotatingLogFileRecorder> logFileRecorder_;
};

}  // namespace orvanpush::detail
