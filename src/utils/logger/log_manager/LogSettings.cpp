#include "utils/logger/log_manager/LogSettings.h"

#include <mutex>

#include "utils/logger/log_manager/LogService.h"

namespace orvanpush::detail {
namespace {

// One setting: loaded from the store on first use, then served from memory.
class CachedSetting {
  public:
    CachedSetting(std::string key, std::string fallback)
        : key_(std::move(key)), fallback_(std::move(fallback)) {}

    std::string value() {
        std::call_once(loaded_, [this] { load(); });
        std::lock_guard lock(mutex_);
        return value_;
    }

    void assign(const std::string& value) {
        std::call_once(loaded_, [this] { load(); });
        std::lock_guard lock(mutex_);
        if (value == value_) {
            return;
        }
        value_ = value;
        LogService<std::string>().set(std::optional(value), key_);
    }

  private:
    void load() { value_ = LogService<std::string>().get(key_).value_or(fallback_); }

    const std::string key_;
    const std::string fallback_;
    std::once_flag loaded_;
    std::mutex mutex_;
    std::string value_;
};

CachedSetting& logLevelSetting() {
    static CachedSetting setting(LogSettings::logLevelKey, LogSettings::defaultLogLevel);
    return setting;
}

CachedSetting& sendLogsSetting() {
    static CachedSetting setting(LogSettings::sendLogsKey, LogSettings::defaultSendLogs);
    return setting;
}

}  // namespace

std::string LogSettings::logLevel() {
    return logLevelSetting().value();
}

void LogSettings::setLogLevel(const std::string& level) {
    logLevelSetting().assign(level);
}

std::string LogSettings::sendLogs() {
    return sendLogsSetting().value();
}

void LogSettings::setSendLogs(const std::string& sendLogs) {
    sendLogsSetting().assign(sendLogs);
}

std::optional<std::string> LogSettings::get(const std::string& key) {
    return LogService<std::string>().get(key);
}

void LogSettings::set(const std::string& key, const std::optional<std::string>& value) {
    LogService<std::string>().set(value, key);
}

}  // namespace orvanpush::detail
