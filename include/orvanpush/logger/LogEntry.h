#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include "orvanpush/Export.h"

#include "orvanpush/Types.h"
#include "orvanpush/logger/LogSeverity.h"
#include "orvanpush/logger/LogValue.h"
#include "orvanpush/logger/LoggerModule.h"

namespace orvanpush {

/// One log record: what is logged, how important it is, and where and when it was made.
struct ORVANPUSH_EXPORT LogEntry {
    /// A text message.
    struct ORVANPUSH_EXPORT Message {
        std::string text;
    };
    /// An arbitrary value, possibly absent.
    struct ORVANPUSH_EXPORT Value {
        std::optional<LogValue> value;
    };
    /// A bare marker that the calling function was entered; its text is the function's name.
    struct Trace {};
    using Payload = std::variant<Message, Value, Trace>;

    /// Builds an entry; the process name and id are read once per process and copied.
    LogEntry(Payload payload, LogSeverity severity, std::optional<std::string> context,
             LoggerModule loggerModule, std::string callingFilePath, int callingFileLine,
             std::string callingStackFrame, std::uint64_t callingThreadID, Date timestamp);

    /// The constructor's arguments: `context` is free text of the caller, `callingStackFrame` the
    /// calling function's name, `timestamp` when the entry was made.
    Payload payload;
    LogSeverity severity;
    std::optional<std::string> context;
    LoggerModule loggerModule;
    std::string callingFilePath;
    int callingFileLine;
    std::string callingStackFrame;
    std::uint64_t callingThreadID;
    Date timestamp;
    /// This process's name and id.
    std::string processName;
    std::int32_t processID;
};

}  // namespace orvanpush
