#include "platform/SystemLog.h"

#include <syslog.h>

#include <utility>

namespace orvanpush::platform {
namespace {

int syslogPriority(SystemLogPriority priority) {
    switch (priority) {
        case SystemLogPriority::debug:
            return LOG_DEBUG;
        case SystemLogPriority::info:
            return LOG_INFO;
        case SystemLogPriority::notice:
            return LOG_NOTICE;
        case SystemLogPriority::error:
            return LOG_ERR;
        case SystemLogPriority::critical:
            return LOG_CRIT;
    }
    return LOG_NOTICE;
}

}  // namespace

SystemLog::SystemLog(std::string subsystem) : subsystem_(std::move(subsystem)) {}

void SystemLog::write(SystemLogPriority priority, std::string_view message) const {
    const int level = LOG_USER | syslogPriority(priority);
    const int length = static_cast<int>(message.size());
    if (subsystem_.empty()) {
        syslog(level, "%.*s", length, message.data());
    } else {
        syslog(level, "%s: %.*s", subsystem_.c_str(), length, message.data());
    }
}

}  // namespace orvanpush::platform
