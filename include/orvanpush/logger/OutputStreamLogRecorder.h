#pragma once

#include <cstdio>
#include "orvanpush/Export.h"

#include "orvanpush/logger/LogRecorderBase.h"

namespace orvanpush {

/// Writes each message to a buffered standard-I/O stream, ending it with a line feed unless it
/// already ends in one (or in a carriage return); flushes when the caller waits. The stream is
/// not owned and must outlive the recorder.
class ORVANPUSH_EXPORT OutputStreamLogRecorder : public LogRecorderBase {
  public:
    /// A recorder writing to `stream`, on `queue` (made on first use when null).
    OutputStreamLogRecorder(std::FILE* stream, LogFormatters formatters,
                            std::shared_ptr<platform::DispatchQueue> queue = nullptr);

    /// The stream it writes to.
    std::FILE* stream() const { return stream_; }
    /// Writes `message` and a line end if needed; flushes when `synchronousMode`. Write errors are
    /// ignored.
    void record(std::string_view message, const LogEntry& entry,
                platform::DispatchQueue& currentQueue, bool synchronousMode) override;

  private:
    std::FILE* stream_;
};

/// An output-stream recorder writing to the process's standard output.
class ORVANPUSH_EXPORT StandardOutputLogRecorder : public OutputStreamLogRecorder {
  public:
    /// A recorder writing to stdout.
    explicit StandardOutputLogRecorder(LogFormatters formatters,
                                       std::shared_ptr<platform::DispatchQueue> queue = nullptr);
};

/// An output-stream recorder writing to the process's standard error.
class ORVANPUSH_EXPORT StandardErrorLogRecorder : public OutputStreamLogRecorder {
  public:
    /// A recorder writing to stderr.
    explicit StandardErrorLogRecorder(LogFormatters formatters,
                                      std::shared_ptr<platform::DispatchQueue> queue = nullptr);
};

}  // namespace orvanpush
