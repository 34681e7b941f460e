#pragma once

#include <cstdio>

#include "orvanpush/logger/LogRecorderBase.h"

namespace orvanpush {

/// Writes each message to a buffered standard-I/O stream, ending it with a line feed unless it
/// already ends in one (or in a carriage return); flushes when the caller waits. The stream is
/// not owned and must outlive the recorder.
class OutputStreamLogRecorder : public LogRecorderBase {
  public:
    OutputStreamLogRecorder(std::FILE* stream, LogFormatters formatters,
                            std::shared_ptr<platform::DispatchQueue> queue = nullptr);

    std::FILE* stream() const { return stream_; }
    void record(std::string_view message, const LogEntry& entry,
                platform::DispatchQueue& currentQueue, bool synchronousMode) override;

  private:
    std::FILE* stream_;
};

/// An output-stream recorder writing to the process's standard output.
class StandardOutputLogRecorder : public OutputStreamLogRecorder {
  public:
    explicit StandardOutputLogRecorder(LogFormatters formatters,
                                       std::shared_ptr<platform::DispatchQueue> queue = nullptr);
};

/// An output-stream recorder writing to the process's standard error.
class StandardErrorLogRecorder : public OutputStreamLogRecorder {
  public:
    explicit StandardErrorLogRecorder(LogFormatters formatters,
                                      std::shared_ptr<platform::DispatchQueue> queue = nullptr);
};

}  // namespace orvanpush
