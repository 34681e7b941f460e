#pragma once

#include <cstdio>
#include <memory>

#include "orvanpush/logger/LogRecorderBase.h"
#include "orvanpush/logger/OutputStreamLogRecorder.h"

namespace orvanpush {

/// Sends `error` (and `off`) entries to standard error and `info` and `trace` entries to
/// standard output. Both inner recorders share this recorder's formatters and queue.
class StandardStreamsLogRecorder : public LogRecorderBase {
  public:
    /// A recorder routing to stdout and stderr, on `queue` (made on first use when null).
    explicit StandardStreamsLogRecorder(LogFormatters formatters,
                                        std::shared_ptr<platform::DispatchQueue> queue = nullptr);
    /// The same routing to two other streams (not owned; they must outlive the recorder).
    StandardStreamsLogRecorder(std::FILE* outputStream, std::FILE* errorStream,
                               LogFormatters formatters,
                               std::shared_ptr<platform::DispatchQueue> queue = nullptr);

    /// The inner recorders for `info` and `trace`, and for `error` entries.
    const std::shared_ptr<OutputStreamLogRecorder>& standardOutput() const { return output_; }
    const std::shared_ptr<OutputStreamLogRecorder>& standardError() const { return error_; }

    /// Hands the message to the inner recorder of the entry's severity.
    void record(std::string_view message, const LogEntry& entry,
                platform::DispatchQueue& currentQueue, bool synchronousMode) override;

  private:
    std::shared_ptr<OutputStreamLogRecorder> output_;
    std::shared_ptr<OutputStreamLogRecorder> error_;
};

}  // namespace orvanpush
