#include "orvanpush/logger/LogChannel.h"

#include <chrono>
#include <utility>

#include "orvanpush/logger/LogEntry.h"
#include "orvanpush/logger/LogReceptacle.h"
#include "platform/ProcessInfo.h"
#include "utils/logger/FunctionName.h"

namespace orvanpush {
namespace {

using detail::functionName;

void logEntry(LogReceptacle& receptacle, LogEntry::Payload payload, LogSeverity severity,
              std::string function, std::string filePath, int fileLine) {
    receptacle.log(LogEntry(std::move(payload), severity, std::nullopt, LoggerModule::sdk,
                            std::move(filePath), fileLine, std::move(function),
                            platform::ProcessInfo::threadNumber(),
                            std::chrono::system_clock::now()));
}

}  // namespace

LogChannel::LogChannel(LogSeverity severity, std::shared_ptr<LogReceptacle> receptacle)
    : severity_(severity), receptacle_(std::move(receptacle)) {}

void LogChannel::message(std::string text, std::string function, std::string filePath,
                         int fileLine) const {
    logEntry(*receptacle_, LogEntry::Message{std::move(text)}, severity_, std::move(function),
             std::move(filePath), fileLine);
}

void LogChannel::message(std::string text, SourceLocation site) const {
    message(std::move(text), functionName(site), site.file_name(), static_cast<int>(site.line()));
}

void LogChannel::value(std::optional<LogValue> value, std::string function, std::string filePath,
                       int fileLine) const {
    logEntry(*receptacle_, LogEntry::Value{std::move(value)}, severity_, std::move(function),
             std::move(filePath), fileLine);
}

void LogChannel::value(std::optional<LogValue> value, SourceLocation site) const {
    this->value(std::move(value), functionName(site), site.file_name(),
                static_cast<int>(site.line()));
}

void LogChannel::trace(std::string function, std::string filePath, int fileLine) const {
    logEntry(*receptacle_, LogEntry::Trace{}, severity_, std::move(function), std::move(filePath),
             fileLine);
}

void LogChannel::trace(SourceLocation site) const {
    trace(functionName(site), site.file_name(), static_cast<int>(site.line()));
}

}  // namespace orvanpush
