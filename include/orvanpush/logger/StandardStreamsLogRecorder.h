#pragma once

#include <cstdio>
#include <memory>
#include "orvanpush/Export.h"

#include "orvanpush/logger/LogRecorderBase.h"
#include "orvanpush/logger/OutputStreamLogRecorder.h"

namespace orvanpush {

/// Sends `error` (and `off`) entries to standard error and `info` and `trace` entries to
/// standard output. Both inner recorders share this recorder's formatters and queue.
class ORVANPUSH_EXPORT StandardStreamsLogRecorder : public LogRecorderBase {
  public:
    /// A recorder writing to the console (platform::Console): by default stdout and stderr
    /// routed as above, elsewhere or nowhere as the host set the console. On `queue` (made on
    /// first use when null).
    explicit StandardStreamsLogRecorder(LogFormatters formatters,
                                        std::shared_ptr<platform::DispatchQueue> queue = nullptr);
    /// The same routing to two given streams (not owned; they must outlive the recorder),
    /// whatever the console does.
    StandardStreamsLogRecorder(std::FILE* outputStream, std::FILE* errorStream,
                               LogFormatters formatters,
                               std::shared_ptr<platform::DispatchQueue> queue = nullptr);

    /// The inner recorders for `info` and `trace`, and for `error` entries.
    const std::shared_ptr<OutputStreamLogRecorder>& standardOutput() const { return output_; }
    const std::shared_ptr<OutputStreamLogRecorder>& standardError() const { return error_; }

    /// Hands the message to the console, or to the inner recorder of the entry's severity.
    void record(std::string_view message, const LogEntry& entry,
                platform::DispatchQueue& currentQueue, bool synchronousMode) override;

  private:
    std::shared_ptr<OutputStreamLogRecorder> output_;
    std::shared_ptr<OutputStreamLogRecorder> error_;
    bool console_ = false;  ///< made without streams: the console decides
};

}  // namespace orvanpush
