#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include "orvanpush/Export.h"

namespace orvanpush {

/// How important a log entry is. Ordered by importance: trace < info < error < off, so a
/// minimum of `info` admits `info` and `error` entries.
enum class LogSeverity { off, error, info, trace };

/// Every severity in declaration order.
inline constexpr std::array<LogSeverity, 4> allLogSeverities{LogSeverity::off, LogSeverity::error,
                                                             LogSeverity::info, LogSeverity::trace};

/// The raw value: "off", "error", "info" or "trace".
ORVANPUSH_EXPORT std::string toString(LogSeverity severity);

/// The severity with exactly that raw value (case-sensitive); nothing for any other text.
ORVANPUSH_EXPORT std::optional<LogSeverity> logSeverityFromRawValue(std::string_view rawValue);

namespace detail {
constexpr int importance(LogSeverity severity) {
    switch (severity) {
        case LogSeverity::trace:
            return 0;
        case LogSeverity::info:
            return 1;
        case LogSeverity::error:
            return 2;
        case LogSeverity::off:
            return 3;
    }
    return 3;
}
}  // namespace detail

/// Compare by importance (trace < info < error < off), not by declaration order.
constexpr bool operator<(LogSeverity a, LogSeverity b) {
    return detail::importance(a) < detail::importance(b);
}
constexpr bool operator>(LogSeverity a, LogSeverity b) {
    return b < a;
}
constexpr bool operator<=(LogSeverity a, LogSeverity b) {
    return !(b < a);
}
constexpr bool operator>=(LogSeverity a, LogSeverity b) {
    return !(a < b);
}

}  // namespace orvanpush
