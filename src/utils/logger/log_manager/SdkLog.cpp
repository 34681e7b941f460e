#include "utils/logger/log_manager/SdkLog.h"

#include <chrono>
#include <utility>

#include "orvanpush/logger/Log.h"
#include "orvanpush/logger/LogEntry.h"
#include "platform/ProcessInfo.h"
#include "utils/logger/FunctionName.h"
#include "utils/logger/log_manager/LogManager.h"

namespace orvanpush::detail {
namespace {

LogEntry makeEntry(LogEntry::Payload payload, LogSeverity severity, LoggerModule module,
                   std::string file, int line, std::string function) {
    return LogEntry(std::move(payload), severity, std::nullopt, module, std::move(file), line,
                    std::move(function), platform::ProcessInfo::threadNumber(),
                    std::chrono::system_clock::now());
}

LogEntry makeEntry(LogEntry::Payload payload, LogSeverity severity, LoggerModule module,
                   const SourceLocation& site, std::string function) {
    return makeEntry(std::move(payload), severity, module, site.file_name(),
                     static_cast<int>(site.line()), std::move(function));
}

// The trace marker on the console channel, when it is installed.
void markOnTraceChannel(const std::string& function, const SourceLocation& site) {
    if (const auto& channel = Log::trace()) {
        channel->trace(function, site.file_name(), static_cast<int>(site.line()));
    }
}

}  // namespace

void SdkLog::message(LogSeverity severity, LoggerModule module, std::string text,
                     SourceLocation site) {
    auto function = functionName(site);
    markOnTraceChannel(function, site);
    LogManager::saveLogRecord(
        makeEntry(LogEntry::Message{std::move(text)}, severity, module, site, std::move(function)));
}

void SdkLog::record(LogSeverity severity, LoggerModule module, std::string text,
                    const FixedSite& site) {
    LogManager::saveLogRecord(makeEntry(LogEntry::Message{std::move(text)}, severity, module,
                                        site.file, site.line, site.function));
}

void SdkLog::trace(LogSeverity severity, LoggerModule module, SourceLocation site) {
    auto function = functionName(site);
    markOnTraceChannel(function, site);
    LogManager::saveLogRecord(
        makeEntry(LogEntry::Trace{}, severity, module, site, std::move(function)));
}

}  // namespace orvanpush::detail
