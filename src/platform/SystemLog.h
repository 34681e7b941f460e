#pragma once

// The system log (syslog): the place where a host's administrator looks for its messages.

#include <string>
#include <string_view>

namespace orvanpush::platform {

/// How important a system-log message is, from the least to the most.
enum class SystemLogPriority { debug, info, notice, error, critical };

class SystemLog {
  public:
    /// Messages are tagged with `subsystem` ("com.example.app: message"); an empty subsystem
    /// leaves them untagged.
    explicit SystemLog(std::string subsystem);

    const std::string& subsystem() const { return subsystem_; }
    /// Writes one message under the process's name. Safe from several threads at once; errors
    /// are ignored.
    void write(SystemLogPriority priority, std::string_view message) const;

  private:
    std::string subsystem_;
};

}  // namespace orvanpush::platform
