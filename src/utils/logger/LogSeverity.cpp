#include "orvanpush/logger/LogSeverity.h"

namespace orvanpush {

std::string toString(LogSeverity severity) {
    switch (severity) {
        case LogSeverity::off:
            return "off";
        case LogSeverity::error:
            return "error";
        case LogSeverity::info:
            return "info";
        case LogSeverity::trace:
            return "trace";
    }
    return "off";
}

std::optional<LogSeverity> logSeverityFromRawValue(std::string_view rawValue) {
    for (LogSeverity severity : allLogSeverities) {
        if (toString(severity) == rawValue) {
            return severity;
        }
    }
    return std::nullopt;
}

}  // namespace orvanpush
