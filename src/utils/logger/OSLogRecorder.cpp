#include "orvanpush/logger/OSLogRecorder.h"

#include <utility>

#include "orvanpush/platform/PlatformConfig.h"
#include "platform/SystemLog.h"

namespace orvanpush {
namespace {

OSLogType bySeverity(const LogEntry& entry) {
    switch (entry.severity) {
        case LogSeverity::error:
            return OSLogType::error;
        case LogSeverity::info:
            return OSLogType::info;
        case LogSeverity::trace:
        case LogSeverity::off:
            break;
    }
    return OSLogType::default_;
}

platform::SystemLogPriority priorityOf(OSLogType type) {
    switch (type) {
        case OSLogType::default_:
            return platform::SystemLogPriority::notice;
        case OSLogType::info:
            return platform::SystemLogPriority::info;
        case OSLogType::debug:
            return platform::SystemLogPriority::debug;
        case OSLogType::error:
            return platform::SystemLogPriority::error;
        case OSLogType::fault:
            return platform::SystemLogPriority::critical;
    }
    return platform::SystemLogPriority::notice;
}

}  // namespace

OSLogTypeTranslator::OSLogTypeTranslator(Kind kind)
    : kind_(kind == Kind::function ? Kind::default_ : kind) {}

OSLogTypeTranslator OSLogTypeTranslator::function(Function function) {
    OSLogTypeTranslator translator;
    if (function) {
        translator.kind_ = Kind::function;
        translator.function_ = std::move(function);
    }
    return translator;
}

OSLogType OSLogTypeTranslator::logType(const LogEntry& entry) const {
    switch (kind_) {
        case Kind::function:
            return function_(entry);
        case Kind::default_:
        case Kind::strict:
        case Kind::relaxed:
            return bySeverity(entry);
        case Kind::allAsDefault:
            return OSLogType::default_;
        case Kind::allAsInfo:
            return OSLogType::info;
        case Kind::allAsDebug:
            return OSLogType::debug;
    }
    return OSLogType::default_;
}

OSLogRecorder::OSLogRecorder(LogFormatters formatters, std::string subsystem,
                             OSLogTypeTranslator logTypeTranslator,
                             std::shared_ptr<platform::DispatchQueue> queue)
    : formatters_(std::move(formatters)),
      logTypeTranslator_(std::move(logTypeTranslator)),
      log_(std::make_shared<const platform::SystemLog>(
          subsystem.empty() ? platform::PlatformConfig::current()->bundleIdentifier
                            : std::move(subsystem))),
      queue_(queue ? std::move(queue)
                   : std::make_shared<platform::DispatchQueue>("OSLogRecorder")) {}

bool OSLogRecorder::isAvailable() {
    return true;
}

const std::string& OSLogRecorder::subsystem() const {
    return log_->subsystem();
}

void OSLogRecorder::record(std::string_view message, const LogEntry& entry,
                           platform::DispatchQueue&, bool) {
    log_->write(priorityOf(logTypeTranslator_.logType(entry)), message);
}

}  // namespace orvanpush
