#pragma once

#include <memory>
#include <mutex>
#include <string_view>
#include "orvanpush/Export.h"

#include "orvanpush/logger/LogRecorder.h"

namespace orvanpush {

/// The common part of the recorders: the formatters and the serial queue. Without a given
/// queue, one is created on first use, labelled with the recorder's type name. Its `record`
/// does nothing.
class ORVANPUSH_EXPORT LogRecorderBase : public LogRecorder {
  public:
    /// A recorder with `formatters`, writing on `queue` (made on first use when null).
    explicit LogRecorderBase(LogFormatters formatters,
                             std::shared_ptr<platform::DispatchQueue> queue = nullptr);

    /// The formatters it was built with.
    const LogFormatters& formatters() const override { return formatters_; }
    /// Does nothing; recorders that write override it.
    void record(std::string_view message, const LogEntry& entry,
                platform::DispatchQueue& currentQueue, bool synchronousMode) override;
    /// The given queue, or the one made on first use (thread-safe).
    const std::shared_ptr<platform::DispatchQueue>& queue() const override;

  protected:
    /// True unless `message` already ends in a line feed or a carriage return; an empty message
    /// always needs one.
    static bool needsLineEnd(std::string_view message);

  private:
    LogFormatters formatters_;
    mutable std::once_flag queueOnce_;
    mutable std::shared_ptr<platform::DispatchQueue> queue_;
};

}  // namespace orvanpush
