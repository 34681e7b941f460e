#include "utils/logger/log_manager/LogSettings.h"

#include <mutex>

#include "orvanpush/TextError.h"
#include "utils/logger/log_manager/LogService.h"
#include "utils/logger/log_manager/SdkLog.h"

namespace orvanpush::detail {
namespace {

// One setting, kept in memory. It is read from the store on first use and at every reload. A
// failed read keeps what memory holds (the default until a read succeeds) and writes nothing,
// so the default never replaces a stored value it could not see. A failed write is logged, the
// assigned value stays in force for the process and is written at the next reload or
// assignment, so memory and store never disagree unnoticed.
class CachedSetting {
  public:
    using Store = LogService<std::string>;

    CachedSetting(std::string key, std::string fallback)
        : key_(std::move(key)), value_(std::move(fallback)), fallback_(value_) {}

    std::string value() {
        std::lock_guard lock(mutex_);
        if (!attempted_) {
            Store service;
            refresh(service);
        }
        return value_;
    }

    void assign(const std::string& value) {
        std::string failure;
        {
            std::lock_guard lock(mutex_);
            if (!attempted_) {
                Store service;
                refresh(service);
            }
            if (value == value_ && state_ == State::stored) {
                return;
            }
            value_ = value;
            Store service;
            failure = store(service);
        }
        reportFailedWrite(failure);
    }

    /// Reads the setting again from `service` (or writes it there, when a write failed).
    void reload(Store& service) {
        std::string failure;
        {
            std::lock_guard lock(mutex_);
            if (state_ == State::unsaved) {
                failure = store(service);
            } else {
                refresh(service);
            }
        }
        reportFailedWrite(failure);
    }

  private:
    // unread: memory holds the default, no read has succeeded; stored: memory equals the store;
    // unsaved: memory holds an assigned value whose write failed.
    enum class State { unread, stored, unsaved };

    void refresh(Store& service) {
        attempted_ = true;
        try {
            value_ = service.getChecked(key_).value_or(fallback_);
            state_ = State::stored;
        } catch (const TextError&) {
            // Memory keeps what it holds.
        }
    }

    // Writes memory to the store; the failure's text, empty on success.
    std::string store(Store& service) {
        try {
            service.setChecked(value_, key_);
            state_ = State::stored;
            return {};
        } catch (const TextError& error) {
            state_ = State::unsaved;
            return error.what();
        }
    }

    // Outside the lock: the entry itself consults the settings.
    void reportFailedWrite(const std::string& failure) const {
        if (!failure.empty()) {
            SdkLog::message(LogSeverity::error, LoggerModule::sdk,
                            "Logging setting " + key_ + " not saved: " + failure);
        }
    }

    const std::string key_;
    std::mutex mutex_;
    std::string value_;
    const std::string fallback_;
    State state_ = State::unread;
    bool attempted_ = false;
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

void LogSettings::reload() {
    CachedSetting::Store service;  // the process's store, opened once for both
    logLevelSetting().reload(service);
    sendLogsSetting().reload(service);
}

std::optional<std::string> LogSettings::get(const std::string& key) {
    return LogService<std::string>().get(key);
}

void LogSettings::set(const std::string& key, const std::optional<std::string>& value) {
    LogService<std::string>().set(value, key);
}

}  // namespace orvanpush::detail
