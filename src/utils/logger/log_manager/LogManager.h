#pragma once

// The SDK's own log management: the console set-up, and the daily log files in the process's
// documents directory ("OrvanPushSDKLogs") that the log level and send-logs switch govern.
//
//   LogManager::enableLogging();          // at every instance creation or look-up
//   LogManager::saveLogRecord(entry);     // from any thread
//   auto today = LogManager::getLogFile(std::chrono::system_clock::now());
//   LogManager::setupUtils("myInstance", settings);   // at every instance creation or look-up
//   LogManager::uploadLogFiles();                     // zips and uploads today's log files

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "orvanpush/LogUploadOutcome.h"
#include "orvanpush/Types.h"
#include "orvanpush/logger/LogEntry.h"
#include "orvanpush/logger/RotatingLogFileRecorder.h"

namespace orvanpush::detail {

class LoggingUtils;
class SettingsUtils;

class LogManager {
  public:
    LogManager() = delete;

    /// Enables the console (info and error entries to the standard streams; only the process's
    /// first enabling call has an effect), reloads the log level and send-logs switch from the
    /// store, announces "Send logs is ..." and creates the log directory.
    static void enableLogging();

    /// Appends `entry` to the day's log file when send-logs is "1" and the log level admits the
    /// entry's severity ("error": error entries only; "info": all but trace; "trace": all;
    /// "off": none). An invalid level writes nothing and says "Current log level undefined" on
    /// the console. Safe to call from any thread; each entry is one whole line.
    static void saveLogRecord(const LogEntry& entry);

    /// The recorder of the log files, made on first use; null without a documents directory.
    static const std::shared_ptr<RotatingLogFileRecorder>& logRecorder();

    /// The directory of the log files; nothing without a documents directory.
    static std::optional<std::filesystem::path> logDirectory();
    /// The log file of `date`'s day, when it exists.
    static std::optional<std::filesystem::path> getLogFile(Date date);
    /// Every entry of the log directory (empty when it cannot be listed).
    static std::vector<std::filesystem::path> getLogFiles();

    // The upload of the log files. LoggingUtils zips and posts them, so it sits above the
    // logging core, and these members are defined beside it (utils/LoggingUtils.cpp): a program
    // that calls them links the upload (orvanpush_log_upload).

    /// The upload object of the latest instance creation or look-up in the process; null
    /// before the first. Safe from any thread, while another replaces it.
    static std::shared_ptr<LoggingUtils> utils();
    /// Replaces `utils` with a new LoggingUtils for the instance `identifier` and its settings.
    static void setupUtils(const std::string& identifier,
                           std::shared_ptr<SettingsUtils> settingsUtils);
    /// Uploads today's log file as it is, when there is an upload object.
    static void uploadLogFile();
    /// Zips today's log files and uploads the day's archives (LoggingUtils::uploadLogFiles),
    /// when there is an upload object. `postCompleted` runs exactly once on the callback pool
    /// with the outcome of each upload (an empty list without an upload object).
    static void uploadLogFiles(
        std::function<void(std::vector<LogUploadOutcome>)> postCompleted = nullptr);
};

}  // namespace orvanpush::detail
