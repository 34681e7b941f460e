#include "utils/LoggingUtils.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <exception>
#include <string_view>
#include <utility>

#include "api/LogServerService.h"
#include "api/UploadLogsTarget.h"
#include "orvanpush/BuildInfo.h"
#include "orvanpush/logger/Log.h"
#include "orvanpush/zip/ZipItem.h"
#include "platform/CurlTransport.h"
#include "platform/DateFormatter.h"
#include "platform/FileSystem.h"
#include "platform/OutstandingWork.h"
#include "platform/ProcessInfo.h"
#include "utils/LoggingControl.h"
#include "utils/logger/log_manager/ConsoleLog.h"
#include "utils/logger/log_manager/LogManager.h"
#include "utils/logger/log_manager/LogSettings.h"
#include "utils/logger/log_manager/SdkLog.h"

namespace orvanpush::detail {
namespace {

namespace fs = std::filesystem;

// Readers of the logs know these two messages by their place.
constexpr const char* kSourceFile = "utils/LoggingUtils.cpp";
constexpr FixedSite kSendLogsSite{"uploadLogFile(file:)", kSourceFile, 172};
constexpr FixedSite kOutcomeSite{"uploadLogFile(file:)", kSourceFile, 187};

constexpr const char* kNoPath = "No path";
constexpr const char* kNoService = "Log Server Service not initialized";

void logInfo(std::string text, SourceLocation site = SourceLocation::current()) {
    logOnChannel(Log::info(), std::move(text), site);
}

// The absolute string of a file URL, as the platform prints one: "file:///var/a%20b.log", a
// directory's ending in "/".
std::string absoluteUrlString(const fs::path& path, bool isDirectory = false) {
    static constexpr std::string_view kLiteral = "-._~!$&'()*+,;=:@/";
    static constexpr std::string_view kHexDigits = "0123456789ABCDEF";
    std::string url = "file://";
    for (const unsigned char c : path.string()) {
        if (std::isalnum(c) || kLiteral.find(static_cast<char>(c)) != std::string_view::npos) {
            url += static_cast<char>(c);
        } else {
            url += '%';
            url += kHexDigits[c >> 4];
            url += kHexDigits[c & 0x0F];
        }
    }
    if (isDirectory && !url.ends_with('/')) {
        url += '/';
    }
    return url;
}

bool endsWithIgnoringCase(std::string_view text, std::string_view lowercaseSuffix) {
    return text.size() >= lowercaseSuffix.size() &&
           std::ranges::equal(
               text.substr(text.size() - lowercaseSuffix.size()), lowercaseSuffix,
               [](unsigned char a, unsigned char b) { return std::tolower(a) == b; });
}

// Today's date as the daily log files' names carry it.
std::string todaysMark() {
    return platform::DateFormatter("yyyy-MM-dd").string(std::chrono::system_clock::now());
}

// The entries of the log directory whose names hold `mark` and end in `suffix` (any case), in
// the order of their names.
std::vector<fs::path> entriesOfTheDay(const std::string& mark, std::string_view suffix) {
    std::vector<fs::path> entries;
    for (auto& entry : LogManager::getLogFiles()) {
        const std::string name = entry.filename().string();
        if (endsWithIgnoringCase(name, suffix) && name.find(mark) != std::string::npos) {
            entries.push_back(std::move(entry));
        }
    }
    std::ranges::sort(entries);
    return entries;
}

std::string settingOr(const SettingsUtils& settings, Setting setting, const char* fallback) {
    return settings.get(setting).value_or(fallback);
}

// protocol "://" address ":" port "/" context; the context without its leading and trailing
// "/", so that "/logs/" gives ".../logs" and never a doubled slash before the path.
std::string logServerBaseAddress(const SettingsUtils& settings) {
    std::string context = settingOr(settings, Setting::LogServerContext, "");
    const auto first = context.find_first_not_of('/');
    context = first == std::string::npos
                  ? std::string()
                  : context.substr(first, context.find_last_not_of('/') - first + 1);
    return settingOr(settings, Setting::LogServerProtocolType, "https") + "://" +
           settingOr(settings, Setting::LogServerAddress, kDefaultLogServerHost) + ":" +
           settingOr(settings, Setting::LogServerPort, "443") + "/" + context;
}

// True when the settings name no log server and the built-in one is only a placeholder.
bool lacksLogServer(const SettingsUtils& settings) {
    return kDefaultLogServerIsPlaceholder && !settings.get(Setting::LogServerAddress);
}

// Runs `task` on the URL session's callback pool, where upload answers are handled.
void onCallbackPool(std::function<void()> task) {
    platform::CurlTransport::shared().complete(
        {}, [task = std::move(task),
             work = platform::OutstandingWork::begin()](const platform::HttpOutcome&) { task(); });
}

// Applies the answer's logging control, then logs the outcome and records it in the log files.
LogUploadOutcome handleAnswer(const std::string& path, const UploadLogsResult& result) {
    if (result.sdkLoggingControl) {
        applyLoggingControl(*result.sdkLoggingControl, Log::info(), kSendLogsSite);
    }
    const bool sent = result.status == ResultKind::success;
    const std::string text = sent ? "File \"" + path + "\" successfully sent"
                                  : "File \"" + path + "\" not sent. Description: \"" +
                                        result.description.value_or("no description") + "\"";
    logOnChannel(Log::info(), text, kOutcomeSite);
    SdkLog::record(sent ? LogSeverity::info : LogSeverity::error, LoggerModule::sdk, text,
                   kOutcomeSite);
    return {.file = path, .sent = sent, .description = result.description};
}

// The uploads of one uploadLogFiles call: each outcome in its place, all of them handed on when
// the last upload has answered.
class UploadBatch {
  public:
    UploadBatch(std::size_t count, LoggingUtils::UploadsCompletion postCompleted)
        : outcomes_(count), remaining_(count), postCompleted_(std::move(postCompleted)) {}

    void finished(std::size_t index, LogUploadOutcome outcome) {
        {
            std::lock_guard lock(mutex_);
            outcomes_[index] = std::move(outcome);
            if (--remaining_ > 0) {
                return;
            }
        }
        if (postCompleted_) {
            postCompleted_(std::move(outcomes_));
        }
    }

  private:
    std::mutex mutex_;
    std::vector<LogUploadOutcome> outcomes_;
    std::size_t remaining_;
    LoggingUtils::UploadsCompletion postCompleted_;
};

}  // namespace

LoggingUtils::LoggingUtils(std::string identifier, std::shared_ptr<SettingsUtils> settingsUtils)
    : identifier_(std::move(identifier)), settingsUtils_(std::move(settingsUtils)) {}

LoggingUtils::~LoggingUtils() = default;

std::shared_ptr<const LogServerService> LoggingUtils::logServerService() {
    std::call_once(logServerServiceMade_, [this] {
        if (!settingsUtils_) {
            return;
        }
        try {
            if (lacksLogServer(*settingsUtils_)) {
                withoutLogServer_ = true;
                return;
            }
            logServerService_ =
                std::make_shared<const LogServerService>(logServerBaseAddress(*settingsUtils_));
        } catch (const std::exception& error) {
            logInfo(std::string("Log server settings cannot be read: ") + error.what());
        }
    });
    return logServerService_;
}

void LoggingUtils::uploadLogFiles(UploadsCompletion postCompleted) {
    const std::string sendLogs = LogSettings::sendLogs();
    logInfo("Send logs is " + sendLogs);
    std::vector<fs::path> archives;
    if (sendLogs == "1" && LogSettings::logLevel() != "off") {
        try {
            const std::string mark = todaysMark();
            logInfo("Start zipping files...");
            if (auto directory = LogManager::logDirectory()) {
                logInfo("Log directory is " + absoluteUrlString(*directory, true));
                for (const auto& logFile : entriesOfTheDay(mark, ".log")) {
                    zipFile(logFile, logFile.string() + ".zip");
                }
            } else {
                logInfo("Log directory not found");
            }
            archives = entriesOfTheDay(mark, ".zip");
        } catch (const std::exception& error) {
            logInfo(std::string("Log files cannot be zipped: ") + error.what());
        }
    }
    if (archives.empty()) {
        if (postCompleted) {
            onCallbackPool([postCompleted = std::move(postCompleted)] { postCompleted({}); });
        }
        return;
    }
    auto batch = std::make_shared<UploadBatch>(archives.size(), std::move(postCompleted));
    for (std::size_t index = 0; index < archives.size(); ++index) {
        uploadLogFile(archives[index], [batch, index](LogUploadOutcome outcome) {
            batch->finished(index, std::move(outcome));
        });
    }
}

void LoggingUtils::uploadLogFile(const std::optional<fs::path>& file,
                                 UploadCompletion postCompleted) {
    const std::string path = file ? file->string() : kNoPath;
    const auto service = logServerService();
    if (!service) {
        logInfo(kNoService);
        const std::string why = withoutLogServer_ ? LogUploadOutcome::noLogServer : kNoService;
        if (postCompleted) {
            onCallbackPool([postCompleted = std::move(postCompleted), path, why] {
                postCompleted({.file = path, .sent = false, .description = why});
            });
        }
        return;
    }
    const auto identity = [this](ClientSetting setting) {
        try {
            return settingsUtils_->get(setting).value_or("");
        } catch (const std::exception&) {
            return std::string();
        }
    };
    UploadLogsObject object{.clientId = identity(ClientSetting::ClientId),
                            .deviceId = identity(ClientSetting::DeviceId)};
    if (file) {
        object.pathToFile = file->string();
        object.filename = file->filename().string();
    }
    service->send(UploadLogsTarget{std::move(object)},
                  [path, postCompleted = std::move(postCompleted)](UploadLogsResult result) {
                      auto outcome = handleAnswer(path, result);
                      if (postCompleted) {
                          postCompleted(std::move(outcome));
                      }
                  });
}

bool LoggingUtils::zipFile(const fs::path& srcFile, const fs::path& dstFile) {
    logInfo("Zipping file: " + absoluteUrlString(srcFile) + " to " + absoluteUrlString(dstFile));
    // Written under a name of its own and moved into place whole, so an upload running at the
    // same time, here or in another process, sends the archive before or after, never one half
    // written (the writer removes what it made when it fails).
    const fs::path partial = dstFile.string() + "." + platform::makeUuid() + ".part";
    try {
        zip::zipItem(srcFile, partial, true, zip::CompressionMethod::deflate);
        const auto existing = fs::symlink_status(dstFile).type();
        if (existing != fs::file_type::not_found && existing != fs::file_type::regular) {
            if (auto removed = platform::FileSystem::removeItem(dstFile); !removed) {
                throw std::runtime_error(removed.error);
            }
        }
        if (auto moved = platform::FileSystem::moveItem(partial, dstFile); !moved) {
            throw std::runtime_error(moved.error);
        }
        if (existing != fs::file_type::not_found) {
            logInfo("Exist file removed");
        }
        logInfo("File " + srcFile.filename().string() + " zipped");
        return true;
    } catch (const std::exception& error) {
        platform::FileSystem::removeItem(partial);
        logInfo(std::string("Creation of ZIP archive failed with error: ") + error.what());
        return false;
    }
}

void LoggingUtils::removeFiles(const fs::path& at) {
    if (auto removed = platform::FileSystem::removeItem(at)) {
        logInfo("File removed!");
    } else {
        logInfo("File " + at.string() + " not removed. Cause: " + removed.error);
    }
}

// LogManager's hold on the upload object of the latest instance.

namespace {

struct UtilsSlot {
    std::mutex mutex;
    std::shared_ptr<LoggingUtils> utils;
};

UtilsSlot& utilsSlot() {
    static UtilsSlot slot;
    return slot;
}

}  // namespace

std::shared_ptr<LoggingUtils> LogManager::utils() {
    auto& slot = utilsSlot();
    std::lock_guard lock(slot.mutex);
    return slot.utils;
}

void LogManager::setupUtils(const std::string& identifier,
                            std::shared_ptr<SettingsUtils> settingsUtils) {
    auto made = std::make_shared<LoggingUtils>(identifier, std::move(settingsUtils));
    auto& slot = utilsSlot();
    std::lock_guard lock(slot.mutex);
    slot.utils.swap(made);  // the one replaced goes after the lock is released
}

void LogManager::uploadLogFile() {
    if (auto utils = LogManager::utils()) {
        utils->uploadLogFile(getLogFile(std::chrono::system_clock::now()));
    }
}

void LogManager::uploadLogFiles(LoggingUtils::UploadsCompletion postCompleted) {
    if (auto utils = LogManager::utils()) {
        utils->uploadLogFiles(std::move(postCompleted));
    } else if (postCompleted) {
        onCallbackPool([postCompleted = std::move(postCompleted)] { postCompleted({}); });
    }
}

}  // namespace orvanpush::detail
