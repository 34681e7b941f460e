#pragma once

// A text stream that appends to a log file of the current GMT day in a directory:
// "<directory>/20231105.<bundle identifier>.log" (or "...KestFileLogger.log" without a bundle
// identifier). The file and its missing parent directories are created on the first write.
//
//   KestFileLogger logger("/path/to/logs", 7);
//   logger.write("started\n");

#include <optional>
#include <string>
#include <string_view>

#include "orvanpush/Types.h"
#include "platform/FileSystem.h"

namespace orvanpush::detail {

/// Marks a logging configuration meant for file loggers; it has no members.
class KestLoggerConfiguration {
  public:
    virtual ~KestLoggerConfiguration() = default;
};

class KestFileLogger {
  public:
    KestFileLogger(std::string logsDirectoryPath, int logDays)
        : logsDirectoryPath_(std::move(logsDirectoryPath)), logDays_(logDays) {}

    const std::string& logsDirectoryPath() const { return logsDirectoryPath_; }
    int logDays() const { return logDays_; }

    /// Appends the UTF-8 bytes of `text` at the end of the file. A failure to create the
    /// directory is printed on the console and the text is dropped.
    void write(std::string_view text);

    /// The name of the file for `date`: "yyyyMMdd" in GMT, ".", the bundle identifier, ".log".
    static std::string fileName(Date date);

  private:
    std::optional<platform::AppendFile>& file();

    std::string logsDirectoryPath_;
    int logDays_;
    std::optional<platform::AppendFile> file_;
};

}  // namespace orvanpush::detail
