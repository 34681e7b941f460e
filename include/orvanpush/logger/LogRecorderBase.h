#pragma once

#include <memory>
#include <mutex>
#include <string_view>

#include "orvanpush/logger/LogRecorder.h"

namespace orvanpush {

/// The common part of the recorders: the formatters and the serial queue. Without a given
/// queue, one is created on first use, labelled with the recorder's type name. Its `record`
/// does nothing.
class LogRecorderBase : public LogRecorder {
  public:
    explicit LogRecorderBase(LogFormatters formatters,
                             std::shared_ptr<platform::DispatchQueue> queue = nullptr);

    const LogFormatters& formatters() const override { return formatters_; }
    void record(std::string_view message, const LogEntry& entry,
                platform::DispatchQueue& currentQueue, bool synchronousMode) override;
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
