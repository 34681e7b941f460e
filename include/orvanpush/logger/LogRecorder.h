#pragma once

#include <memory>
#include <string_view>
#include <vector>
#include "orvanpush/Export.h"

#include "orvanpush/logger/LogEntry.h"
#include "orvanpush/logger/LogFormatter.h"
#include "orvanpush/platform/DispatchQueue.h"

namespace orvanpush {

/// The end of the logging pipeline: writes an entry's formatted text somewhere. The receptacle
/// calls `record` only on the recorder's own queue.
class ORVANPUSH_EXPORT LogRecorder {
  public:
    virtual ~LogRecorder() = default;

    /// The formatters tried in order; the first text obtained is what gets recorded.
    virtual const LogFormatters& formatters() const = 0;
    /// Writes `message` (the formatted text) for `entry`. `currentQueue` is the queue the call
    /// runs on; `synchronousMode` is true when the logging caller waits for the write.
    virtual void record(std::string_view message, const LogEntry& entry,
                        platform::DispatchQueue& currentQueue, bool synchronousMode) = 0;
    /// The recorder's serial queue.
    virtual const std::shared_ptr<platform::DispatchQueue>& queue() const = 0;
};

/// Recorders are shared between configurations; each writes only on its own queue.
using LogRecorderPtr = std::shared_ptr<LogRecorder>;
using LogRecorders = std::vector<LogRecorderPtr>;

}  // namespace orvanpush
