#include "orvanpush/PushSDK.h"

#include <utility>

#include "platform/OutstandingWork.h"
#include "sdk/PushSDKState.h"
#include "utils/logger/log_manager/LogManager.h"
#include "utils/logger/log_manager/SdkLog.h"
#include "utils/logger/log_manager/SdkVersion.h"

namespace orvanpush {

using detail::ClientSetting;
using detail::SdkLog;

PushSDK::PushSDK(ConstructionKey, std::shared_ptr<detail::PushSDKState> state)
    : state_(std::move(state)) {}

PushSDK::~PushSDK() = default;

void PushSDK::enableLogging() {}

std::string PushSDK::OrvanPushSDKVersion() {
    return detail::sdkVersion();
}

bool PushSDK::waitForOutstandingWork(std::chrono::milliseconds timeout) {
    return platform::OutstandingWork::waitUntilDone(timeout);
}

namespace {

// The setting, or nothing when the store (or a host's receiver) fails: these getters never
// throw into host code. The failure goes to the log.
std::optional<std::string> settingOrNothing(const detail::SettingsUtils& settings,
                                            ClientSetting setting) {
    try {
        return settings.get(setting);
    } catch (const std::exception& error) {
        SdkLog::message(LogSeverity::error, LoggerModule::sdk,
                        "Setting " + toString(setting) + " cannot be read: " + error.what());
        return std::nullopt;
    }
}

}  // namespace

std::optional<std::string> PushSDK::getSavedToken() {
    return settingOrNothing(*state_->settingsUtils, ClientSetting::Token);
}

std::optional<std::string> PushSDK::getClientId() {
    return settingOrNothing(*state_->settingsUtils, ClientSetting::ClientId);
}

std::optional<std::string> PushSDK::getDeviceId() {
    return settingOrNothing(*state_->settingsUtils, ClientSetting::DeviceId);
}

void PushSDK::sendLogs() {
    detail::LogManager::uploadLogFiles();
}

void PushSDK::sendLogs(std::function<void(std::vector<LogUploadOutcome>)> postCompleted) {
    detail::LogManager::uploadLogFiles(std::move(postCompleted));
}

}  // namespace orvanpush
