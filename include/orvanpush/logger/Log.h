#pragma once

#include <memory>
#include <optional>
#include <string>
#include "orvanpush/Export.h"
#include "orvanpush/logger/SourceLocation.h"

#include "orvanpush/logger/LogChannel.h"
#include "orvanpush/logger/LogConfiguration.h"
#include "orvanpush/logger/LogFilter.h"
#include "orvanpush/logger/LogReceptacle.h"
#include "orvanpush/logger/LogSeverity.h"
#include "orvanpush/logger/LogValue.h"
#include "orvanpush/logger/StandardStreamsMode.h"

namespace orvanpush {

/// The process-wide log channels. They are absent, so every logging call is a no-op, until the
/// first enabling call installs them; later enabling calls change nothing.
///
///   orvanpush::Log::enable(configuration);
///   if (const auto& channel = orvanpush::Log::trace()) {
///       channel->trace();
///   }
///   orvanpush::Log::message(orvanpush::LogSeverity::info, "Send logs is 1");
class ORVANPUSH_EXPORT Log {
  public:
    /// Only static members: the channels belong to the process. Every member is thread-safe.
    Log() = delete;

    /// The current channels; absent before enabling and for severities the set-up excluded.
    static const std::optional<LogChannel>& error();
    static const std::optional<LogChannel>& info();
    static const std::optional<LogChannel>& trace();
    /// The channel of `severity`; `off` has none.
    static const std::optional<LogChannel>& channel(LogSeverity severity);

    /// Installs the three channels, the first time any enabling call runs.
    static void enable(std::optional<LogChannel> errorChannel,
                       std::optional<LogChannel> infoChannel,
                       std::optional<LogChannel> traceChannel);
    /// Keeps logging off for the life of the process.
    static void neverEnable();
    /// Installs a channel bound to `receptacle` for each severity at or above its minimum.
    static void enable(const std::shared_ptr<LogReceptacle>& receptacle);
    /// Enables a receptacle built from the configuration(s).
    static void enable(const LogConfigurationPtr& configuration);
    /// The same for several configurations.
    static void enable(const LogConfigurations& configurations);
    /// Enables one console configuration (an `XcodeLogConfiguration`) built from the arguments.
    static void enable(LogSeverity minimumSeverity, bool infoMode = false,
                       StandardStreamsMode stdStreamsMode = StandardStreamsMode::useAsFallback,
                       bool mimicOSLogOutput = true, bool showCallSite = true,
                       const LogFilters& filters = {});

    /// Forward to the channel of `severity` when there is one; `off` does nothing.
    static void trace(LogSeverity severity, std::string function, std::string filePath,
                      int fileLine);
    /// Trace, message and value entries of `severity`, as the channel's members of the same name
    /// make them: with an explicit call site or the caller's.
    static void trace(LogSeverity severity, SourceLocation site = SourceLocation::current());
    static void message(LogSeverity severity, std::string text, std::string function,
                        std::string filePath, int fileLine);
    static void message(LogSeverity severity, std::string text,
                        SourceLocation site = SourceLocation::current());
    static void value(LogSeverity severity, std::optional<LogValue> value, std::string function,
                      std::string filePath, int fileLine);
    static void value(LogSeverity severity, std::optional<LogValue> value,
                      SourceLocation site = SourceLocation::current());
};

}  // namespace orvanpush
