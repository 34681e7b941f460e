#include "utils/logger/log_manager/LogManager.h"

#include <mutex>
#include <string>

#include "orvanpush/TextError.h"
#include "orvanpush/logger/Log.h"
#include "orvanpush/logger/XcodeLogConfiguration.h"
#include "orvanpush/platform/DispatchQueue.h"
#include "platform/FileSystem.h"
#include "platform/Home.h"
#include "utils/logger/log_manager/ConsoleLog.h"
#include "utils/logger/log_manager/LogSettings.h"
#include "utils/logger/log_manager/SdkLogFileFormatter.h"

namespace orvanpush::detail {
namespace {

constexpr int daysToKeep = 7;
constexpr const char* kSourceFile = "utils/logger/log_manager/LogManager.cpp";
constexpr FixedSite kEnableLoggingSite{"enableLogging()", kSourceFile, 87};
constexpr FixedSite kSaveLogRecordSite{"saveLogRecord(with:)", kSourceFile, 98};

bool levelAdmits(LogSeverity level, LogSeverity entrySeverity) {
    switch (level) {
        case LogSeverity::off:
            return false;
        case LogSeverity::error:
            return entrySeverity == LogSeverity::error;
        case LogSeverity::info:
            return entrySeverity != LogSeverity::trace;
        case LogSeverity::trace:
            return true;
    }
    return false;
}

std::shared_ptr<RotatingLogFileRecorder> makeLogRecorder() {
    auto directory = LogManager::logDirectory();
    if (!directory) {
        return nullptr;
    }
    return std::make_shared<RotatingLogFileRecorder>(daysToKeep, directory->string(),
                                                     LogFormatters{makeSdkLogFileFormatter(true)});
}

std::vector<std::string> namesIn(const std::optional<std::filesystem::path>& directory) {
    std::vector<std::string> names;
    if (!directory || !platform::FileSystem::listDirectory(*directory, names)) {
        return {};
    }
    return names;
}

}  // namespace

void LogManager::enableLogging() {
    // Only the process's first enabling call has an effect, so the console configuration (a
    // queue and a date formatter) is built only once.
    static std::once_flag console;
    std::call_once(console, [] {
        Log::enable(LogConfigurationPtr(std::make_shared<XcodeLogConfiguration>(
            LogSeverity::info, false, StandardStreamsMode::useExclusively, false, true)));
    });
    LogSettings::reload();
    logOnChannel(Log::info(), "Send logs is " + LogSettings::sendLogs(), kEnableLoggingSite);
    if (const auto& recorder = logRecorder()) {
        recorder->createLogDirectory();
    }
}

void LogManager::saveLogRecord(const LogEntry& entry) {
    auto level = logSeverityFromRawValue(LogSettings::logLevel());
    if (!level) {
        logOnChannel(Log::info(), "Current log level undefined", kSaveLogRecordSite);
        return;
    }
    if (LogSettings::sendLogs() != "1" || !levelAdmits(*level, entry.severity)) {
        return;
    }
    if (const auto& recorder = logRecorder()) {
        recorder->record("", entry, platform::DispatchQueue::globalBackground(), false);
    }
}

const std::shared_ptr<RotatingLogFileRecorder>& LogManager::logRecorder() {
    static const std::shared_ptr<RotatingLogFileRecorder> recorder = makeLogRecorder();
    return recorder;
}

std::optional<std::filesystem::path> LogManager::logDirectory() {
    try {
        return platform::Home::documentsDirectory() / "OrvanPushSDKLogs";
    } catch (const TextError&) {
        return std::nullopt;
    }
}

std::optional<std::filesystem::path> LogManager::getLogFile(Date date) {
    const auto wanted = RotatingLogFileRecorder::logFilename(date);
    auto directory = logDirectory();
    for (const auto& name : namesIn(directory)) {
        if (name == wanted) {
            return *directory / name;
        }
    }
    return std::nullopt;
}

std::vector<std::filesystem::path> LogManager::getLogFiles() {
    std::vector<std::filesystem::path> files;
    auto directory = logDirectory();
    for (const auto& name : namesIn(directory)) {
        files.push_back(*directory / name);
    }
    return files;
}

}  // namespace orvanpush::detail
