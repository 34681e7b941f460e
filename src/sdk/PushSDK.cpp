#include "orvanpush/PushSDK.h"

#include <utility>

#include "platform/OutstandingWork.h"
#include "sdk/PushSDKState.h"
#include "utils/logger/log_manager/SdkVersion.h"

namespace orvanpush {

using detail::ClientSetting;

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

std::optional<std::string> PushSDK::getSavedToken() {
    return state_->settingsUtils->get(ClientSetting::Token);
}

std::optional<std::string> PushSDK::getClientId() {
    return state_->settingsUtils->get(ClientSetting::ClientId);
}

std::optional<std::string> PushSDK::getDeviceId() {
    return state_->settingsUtils->get(ClientSetting::DeviceId);
}

}  // namespace orvanpush
