#pragma once

#include <memory>
#include <string>
#include "orvanpush/Export.h"

#include "orvanpush/logger/LogRecorderBase.h"

namespace orvanpush {

namespace platform {
class AppendFile;
}

/// Appends one line per entry to a file (created 0600 when missing), kept open until the
/// recorder goes. The line is the first formatter's text with its carriage returns and line
/// feeds written as the escapes \r and \n, so that one entry is always one line; the file is
/// flushed after every entry.
class ORVANPUSH_EXPORT FileLogRecorder : public LogRecorderBase {
    struct ORVANPUSH_EXPORT Key {
        explicit Key() = default;
    };

  public:
    /// The recorder for `filePath`; nullptr when the file cannot be opened (for example in a
    /// missing directory: directories are never created). Without a queue the recorder creates
    /// its own when first asked for it.
    static std::shared_ptr<FileLogRecorder> open(
        std::string filePath, LogFormatters formatters,
        std::shared_ptr<platform::DispatchQueue> queue = nullptr);

    /// Not for hosts (they cannot name the key): recorders come from `open`.
    FileLogRecorder(Key, std::string filePath, LogFormatters formatters,
                    std::shared_ptr<platform::DispatchQueue> queue,
                    std::unique_ptr<platform::AppendFile> file);
    /// Closes the file.
    ~FileLogRecorder() override;

    /// The path it appends to.
    const std::string& filePath() const { return filePath_; }
    /// Writes the first formatter's text for `entry`; `message` only decides whether a line
    /// end is added (an empty message always gets one).
    void record(std::string_view message, const LogEntry& entry,
                platform::DispatchQueue& currentQueue, bool synchronousMode) override;

  private:
    std::string filePath_;
    std::unique_ptr<platform::AppendFile> file_;
};

}  // namespace orvanpush
