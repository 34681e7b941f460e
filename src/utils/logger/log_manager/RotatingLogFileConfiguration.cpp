#include "utils/logger/log_manager/RotatingLogFileConfiguration.h"

#include <utility>

namespace orvanpush::detail {

RotatingLogFileConfiguration::RotatingLogFileConfiguration(LogSeverity minimumSeverity,
                                                           int daysToKeep,
                                                           std::string directoryPath,
                                                           bool synchronousMode, LogFilters filters,
                                                           LogFormatters formatters)
    : RotatingLogFileConfiguration(
          minimumSeverity, synchronousMode, std::move(filters),
          std::make_shared<RotatingLogFileRecorder>(daysToKeep, std::move(directoryPath),
                                                    std::move(formatters))) {}

RotatingLogFileConfiguration::RotatingLogFileConfiguration(
    LogSeverity minimumSeverity, bool synchronousMode, LogFilters filters,
    std::shared_ptr<RotatingLogFileRecorder> recorder)
    : BasicLogConfiguration(minimumSeverity, std::move(filters), {recorder}, synchronousMode),
      logFileRecorder_(std::move(recorder)) {}

}  // namespace orvanpush::detail
