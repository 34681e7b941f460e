#pragma once

// Ready-made line layouts: the given pieces, each followed by the delimiter, then the payload.
//
//   StandardLogFormatter formatter(TimestampStyle::default_(), SeverityStyle::simple(),
//                                  DelimiterStyle::spacedPipe(), std::nullopt, true);
//   formatter.format(entry);  // "2023-11-05 14:03:27.512 +03:00 | Info | Foo.cpp:7 | Hello"

#include <optional>
#include <utility>
#include "orvanpush/Export.h"

#include "orvanpush/logger/FieldBasedLogFormatter.h"
#include "orvanpush/logger/LogFormatterStyles.h"

namespace orvanpush {

/// The general line layout, each piece optional but the payload.
class ORVANPUSH_EXPORT StandardLogFormatter : public FieldBasedLogFormatter {
  public:
    /// Timestamp, severity, thread and call site (each when given, each followed by the
    /// delimiter), then the payload.
    StandardLogFormatter(std::optional<TimestampStyle> timestampStyle,
                         std::optional<SeverityStyle> severityStyle, DelimiterStyle delimiterStyle,
                         std::optional<CallingThreadStyle> callingThreadStyle, bool showCallSite);
};

/// The standard layout with defaults meant for people: local time with milliseconds, severity
/// in upper case padded to five characters, " | " between pieces, the thread in hexadecimal.
class ORVANPUSH_EXPORT ReadableLogFormatter : public StandardLogFormatter {
  public:
    /// The standard layout with the given pieces; the defaults are the ones above.
    explicit ReadableLogFormatter(
        std::optional<TimestampStyle> timestampStyle = TimestampStyle::default_(),
        std::optional<SeverityStyle> severityStyle =
            SeverityStyle::custom(SeverityStyle::TextRepresentation::uppercase, 5, 5, false),
        DelimiterStyle delimiterStyle = DelimiterStyle::spacedPipe(),
        std::optional<CallingThreadStyle> callingThreadStyle = CallingThreadStyle::hex,
        bool showCallSite = true)
        : StandardLogFormatter(std::move(timestampStyle), severityStyle, std::move(delimiterStyle),
                               callingThreadStyle, showCallSite) {}
};

/// The standard layout with defaults meant for programs: seconds since 1970, the raw severity,
/// tabs between pieces, the thread in decimal.
class ORVANPUSH_EXPORT ParsableLogFormatter : public StandardLogFormatter {
  public:
    /// The standard layout with the given pieces; the defaults are the ones above.
    explicit ParsableLogFormatter(
        std::optional<TimestampStyle> timestampStyle = TimestampStyle::unix_(),
        std::optional<SeverityStyle> severityStyle = SeverityStyle::numeric(),
        DelimiterStyle delimiterStyle = DelimiterStyle::tab(),
        std::optional<CallingThreadStyle> callingThreadStyle = CallingThreadStyle::integer,
        bool showCallSite = true)
        : StandardLogFormatter(std::move(timestampStyle), severityStyle, std::move(delimiterStyle),
                               callingThreadStyle, showCallSite) {}
};

}  // namespace orvanpush
