#pragma once

// The console: where the library writes for a person. That is a few lines of its own (key
// generation, migrated settings, the log server's answer, recorder errors) and its console
// log, which it enables at an instance's first use (info entries and above). By default both go
// to the standard streams: lines and log entries on standard output, error entries on standard
// error. A host whose standard output carries data sends them elsewhere before its first call:
//
//   orvanpush::platform::Console::sendTo(orvanpush::platform::Console::Destination::standardError);
//   orvanpush::platform::Console::sendTo(orvanpush::platform::Console::Destination::nowhere);
//   orvanpush::platform::Console::redirect([](std::string_view line) { myLog(line); });
//
// The library's log files are not the console: they are kept whatever the console does.

#include <functional>
#include <string_view>
#include "orvanpush/Export.h"

namespace orvanpush::platform {

/// Static members only; all are thread-safe, and lines never interleave.
class ORVANPUSH_EXPORT Console {
  public:
    /// Receives one line, without its line end.
    using Writer = std::function<void(std::string_view line)>;

    /// Where the console goes when no writer is installed.
    enum class Destination {
        standardStreams,  ///< the default: standard output, error log entries on standard error
        standardError,    ///< everything on standard error
        nowhere,          ///< nothing is written
    };

    /// Writes `line` and a line feed to the console.
    static void printLine(std::string_view line);
    /// Writes a console log entry already formatted (a trailing line feed is not doubled);
    /// `isError` entries go to standard error where the destination splits the streams.
    static void printLogLine(std::string_view line, bool isError);

    /// Sends every later line and log entry to `writer`; an empty writer restores the
    /// destination.
    static void redirect(Writer writer);
    /// Sends every later line and log entry to `destination`, removing any writer.
    static void sendTo(Destination destination);
};

}  // namespace orvanpush::platform
