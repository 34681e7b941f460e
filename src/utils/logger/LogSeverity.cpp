#include "orvanpush/logger/LogSeverity.h"

namespace orvanpush {

namespace {

// A view, so that reading a level back compares without building strings.
constexpr std::string_view nameOf(LogSeverity severity) {
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

}  // namespace

std::string toString(LogSeverity severity) {
    return std::string(nameOf(severity));
}

std::optional<LogSeverity> logSeverityFromRawValue(std::string_view rawValue) {
    for (LogSeverity severity : allLogSeverities) {
        if (nameOf(severity) == rawValue) {
            return severity;
        }
    }
    return std::nullopt;
}

}  // namespace orvanpush
