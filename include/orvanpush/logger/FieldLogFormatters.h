#pragma once

// Field formatters: each prints one piece of a log line (timestamp, severity, thread, call site,
// payload, ...). A concatenating formatter joins them into a line, appending each piece in place:
//
//   TimestampLogFormatter timestamp(TimestampStyle::custom("HH:mm:ss"));
//   CallSiteLogFormatter callSite;
//   callSite.format(entry);  // "KeyChainUtil.cpp:42"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include "orvanpush/Export.h"

#include "orvanpush/logger/AppendingLogFormatter.h"
#include "orvanpush/logger/LogFormatterStyles.h"

namespace orvanpush {

namespace platform {
class DateFormatter;
}

/// The entry's timestamp, as the style renders it. The date formatter is built once, here.
/// Each formatter below appends its piece as AppendingLogFormatter::appendTo states, returning
/// false when it has nothing for the entry; all are immutable and thread-safe.
class ORVANPUSH_EXPORT TimestampLogFormatter : public AppendingLogFormatter {
  public:
    /// `timeZone` (an Olson id or "GMT") fixes the zone of the date patterns; empty means the
    /// device's. Throws `TextError` for a pattern the date formatter refuses.
    explicit TimestampLogFormatter(TimestampStyle style, const std::string& timeZone = {});

    /// The style it was built with.
    const TimestampStyle& style() const { return style_; }
    bool appendTo(std::string& line, const LogEntry& entry) const override;

  private:
    TimestampStyle style_;
    std::shared_ptr<const platform::DateFormatter> dateFormatter_;  // null for `unix_`
};

/// The entry's severity, as the style shows it.
class ORVANPUSH_EXPORT SeverityLogFormatter : public AppendingLogFormatter {
  public:
    /// A formatter of the severity in `style`.
    explicit SeverityLogFormatter(SeverityStyle style) : style_(style) {}

    /// The style it was built with.
    const SeverityStyle& style() const { return style_; }
    bool appendTo(std::string& line, const LogEntry& entry) const override;

  private:
    SeverityStyle style_;
};

/// The style's delimiter text, for every entry.
class ORVANPUSH_EXPORT DelimiterLogFormatter : public AppendingLogFormatter {
  public:
    /// A formatter of the delimiter of `style`.
    explicit DelimiterLogFormatter(DelimiterStyle style) : style_(std::move(style)) {}

    /// The style it was built with.
    const DelimiterStyle& style() const { return style_; }
    bool appendTo(std::string& line, const LogEntry& entry) const override;

  private:
    DelimiterStyle style_;
};

/// The calling thread's id: "%08X" (all digits of ids above 32 bits) or decimal.
class ORVANPUSH_EXPORT CallingThreadLogFormatter : public AppendingLogFormatter {
  public:
    /// A formatter of the thread id in `style`.
    explicit CallingThreadLogFormatter(CallingThreadStyle style) : style_(style) {}

    /// The style it was built with.
    CallingThreadStyle style() const { return style_; }
    bool appendTo(std::string& line, const LogEntry& entry) const override;

  private:
    CallingThreadStyle style_;
};

/// The call site's file name and line: "Foo.cc:7"; "redacted:7" when the path names no file.
class ORVANPUSH_EXPORT CallSiteLogFormatter : public AppendingLogFormatter {
  public:
    bool appendTo(std::string& line, const LogEntry& entry) const override;
};

/// The calling function's name.
class ORVANPUSH_EXPORT StackFrameLogFormatter : public AppendingLogFormatter {
  public:
    bool appendTo(std::string& line, const LogEntry& entry) const override;
};

/// The entry's context; nothing when the entry has none.
class ORVANPUSH_EXPORT ContextLogFormatter : public AppendingLogFormatter {
  public:
    bool appendTo(std::string& line, const LogEntry& entry) const override;
};

/// The description of the entry's module ("Crypto", "Storage", "SDK Instance").
class ORVANPUSH_EXPORT ModuleLogFormatter : public AppendingLogFormatter {
  public:
    bool appendTo(std::string& line, const LogEntry& entry) const override;
};

/// The name of the process that made the entry.
class ORVANPUSH_EXPORT ProcessNameLogFormatter : public AppendingLogFormatter {
  public:
    bool appendTo(std::string& line, const LogEntry& entry) const override;
};

/// The id of the process that made the entry, in decimal.
class ORVANPUSH_EXPORT ProcessIDLogFormatter : public AppendingLogFormatter {
  public:
    bool appendTo(std::string& line, const LogEntry& entry) const override;
};

/// A fixed text, for every entry.
class ORVANPUSH_EXPORT LiteralLogFormatter : public AppendingLogFormatter {
  public:
    /// A formatter that always appends `literal`.
    explicit LiteralLogFormatter(std::string literal) : literal_(std::move(literal)) {}

    /// The text it appends.
    const std::string& literal() const { return literal_; }
    bool appendTo(std::string& line, const LogEntry& entry) const override;

  private:
    std::string literal_;
};

/// The text of a message payload; nothing for other payloads.
class ORVANPUSH_EXPORT PayloadMessageLogFormatter : public AppendingLogFormatter {
  public:
    bool appendTo(std::string& line, const LogEntry& entry) const override;
};

/// The calling function's name for a trace payload; nothing for other payloads.
class ORVANPUSH_EXPORT PayloadTraceLogFormatter : public AppendingLogFormatter {
  public:
    bool appendTo(std::string& line, const LogEntry& entry) const override;
};

/// The text of a value payload ("= Int: 5", "= nil"); nothing for other payloads.
class ORVANPUSH_EXPORT PayloadValueLogFormatter : public AppendingLogFormatter {
  public:
    bool appendTo(std::string& line, const LogEntry& entry) const override;
};

}  // namespace orvanpush
