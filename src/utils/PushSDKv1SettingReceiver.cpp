#include <utility>

#include "orvanpush/SettingReceiver.h"
#include "orvanpush/platform/Console.h"
#include "security/KeyChainUtil.h"
#include "text/Utf8Text.h"
#include "utils/SettingsUtils.h"

namespace orvanpush {

using detail::ClientSetting;
using detail::Setting;

PushSDKv1SettingReceiver::PushSDKv1SettingReceiver(std::optional<std::string> identifier,
                                                   bool removeAfterReceive)
    : identifier_(std::move(identifier)), removeAfterReceive_(removeAfterReceive) {}

std::optional<std::string> PushSDKv1SettingReceiver::receive(const std::string& key) const {
    auto stored = detail::KeyChain::load(key, identifier_);
    if (!stored) {
        return std::nullopt;
    }
    if (removeAfterReceive_) {
        // Removed from the group it was read from only: the same key of another instance's
        // group holds that instance's setting, still waiting to be carried over.
        const auto status = detail::KeyChain::deleteItem(key, identifier_);
        const std::string outcome = status == platform::errSecSuccess
                                        ? "\" successfully removed"
                                        : "\" not removed. Cause: " + std::to_string(status);
        platform::Console::printLine("Value for key \"" + key + outcome);
    }
    return detail::decodeUtf8(*stored);
}

std::optional<std::string> PushSDKv1SettingReceiver::getProtocolType() {
    return receive(toString(Setting::ProtocolType));
}
std::optional<std::string> PushSDKv1SettingReceiver::getServerAddress() {
    return receive(toString(Setting::ServerAddress));
}
std::optional<std::string> PushSDKv1SettingReceiver::getServerPort() {
    return receive(toString(Setting::ServerPort));
}
std::optional<std::string> PushSDKv1SettingReceiver::getServerContext() {
    return receive(toString(Setting::ServerContext));
}
std::optional<std::string> PushSDKv1SettingReceiver::getServerLogin() {
    return receive(toString(Setting::ServerLogin));
}
std::optional<std::string> PushSDKv1SettingReceiver::getServerPassword() {
    return receive(toString(Setting::ServerPassword));
}
std::optional<std::string> PushSDKv1SettingReceiver::getLogServerProtocolType() {
    return receive(toString(Setting::LogServerProtocolType));
}
std::optional<std::string> PushSDKv1SettingReceiver::getLogServerAddress() {
    return receive(toString(Setting::LogServerAddress));
}
std::optional<std::string> PushSDKv1SettingReceiver::getLogServerPort() {
    return receive(toString(Setting::LogServerPort));
}
std::optional<std::string> PushSDKv1SettingReceiver::getLogServerContext() {
    return receive(toString(Setting::LogServerContext));
}
std::optional<std::string> PushSDKv1SettingReceiver::getSharedAppGroup() {
    return receive(toString(Setting::SharedAppGroup));
}
std::optional<std::string> PushSDKv1SettingReceiver::getSilenceDuplicates() {
    return receive(toString(Setting::SilenceDuplicates));
}
std::optional<std::string> PushSDKv1SettingReceiver::getClientId() {
    return receive(toString(ClientSetting::ClientId));
}
std::optional<std::string> PushSDKv1SettingReceiver::getDeviceId() {
    return receive(toString(ClientSetting::DeviceId));
}
std::optional<std::string> PushSDKv1SettingReceiver::getToken() {
    return receive(toString(ClientSetting::Token));
}
std::optional<std::string> PushSDKv1SettingReceiver::getStorageQuantityLimit() {
    return receive(toString(Setting::StorageQuantityLimit));
}
std::optional<std::string> PushSDKv1SettingReceiver::getStorageDaysLimit() {
    return receive(toString(Setting::StorageDaysLimit));
}

}  // namespace orvanpush
