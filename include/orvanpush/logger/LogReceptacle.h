#pragma once

#include <memory>
#include <mutex>
#include "orvanpush/Export.h"

#include "orvanpush/logger/LogConfiguration.h"
#include "orvanpush/logger/LogEntry.h"
#include "orvanpush/platform/DispatchQueue.h"

namespace orvanpush {

/// Dispatches entries to the configurations that accept them. The nested configurations are
/// flattened once, parents before their children; filters run on the serial queue
/// "LogReceptacle.acceptQueue", writes on each recorder's own queue. Receptacles are made by
/// `create` only: queued work holds its receptacle weakly and does nothing once it is gone, which
/// needs a receptacle owned by a std::shared_ptr.
class ORVANPUSH_EXPORT LogReceptacle : public std::enable_shared_from_this<LogReceptacle> {
  public:
    /// A receptacle for the configurations (and their nested configurations).
    static std::shared_ptr<LogReceptacle> create(const LogConfigurations& configuration);

    /// Not copyable: queued work refers to the one shared receptacle.
    LogReceptacle(const LogReceptacle&) = delete;
    LogReceptacle& operator=(const LogReceptacle&) = delete;

    /// The flattened configurations: each one with recorders, followed by its children.
    const LogConfigurations& configuration() const { return configuration_; }
    /// The least minimum severity of the configurations; `off` when there are none.
    LogSeverity minimumSeverity() const { return minimumSeverity_; }

    /// Hands `entry` to every configuration whose minimum it reaches: asynchronously for the
    /// ordinary ones, and for the synchronous ones waiting until their recorders have written it.
    /// Safe to call from any thread, including from inside a recorder.
    void log(const LogEntry& entry);

    /// The queue on which filters run, created on first use.
    const std::shared_ptr<platform::DispatchQueue>& acceptQueue();

  private:
    explicit LogReceptacle(const LogConfigurations& configuration);
    void dispatchAsynchronously(const LogConfigurationPtr& configuration,
                                const std::shared_ptr<const LogEntry>& entry);
    void dispatchSynchronously(const LogConfiguration& configuration, const LogEntry& entry);

    LogConfigurations configuration_;
    LogSeverity minimumSeverity_;
    std::once_flag acceptQueueOnce_;
    std::shared_ptr<platform::DispatchQueue> acceptQueue_;
};

}  // namespace orvanpush
