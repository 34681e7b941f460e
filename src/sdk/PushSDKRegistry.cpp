// Named instances: createInstance saves a configuration, getInstance builds an object from it.

#include <utility>

#include "orvanpush/PushSDK.h"
#include "orvanpush/TextError.h"
#include "sdk/InstanceConfiguration.h"
#include "sdk/PushSDKState.h"
#include "security/KeyChainUtil.h"
#include "utils/SettingsUtils.h"
#include "utils/logger/log_manager/LogManager.h"
#include "utils/logger/log_manager/SdkLog.h"

namespace orvanpush {

using detail::LogManager;
using detail::SdkLog;
using detail::SettingsUtils;

void PushSDK::createInstance(const std::string& identifier, const std::string& sharedAppGroup,
                             const ServerParams& pushServerParams, const std::string& login,
                             const std::string& password,
                             const std::optional<ServerParams>& logServerParams,
                             bool silenceDuplicates,
                             const std::optional<StorageParams>& storageParams) {
    LogManager::enableLogging();
    const auto status =
        detail::KeyChain::save(toString(detail::Setting::SharedAppGroup),
                               Bytes(sharedAppGroup.begin(), sharedAppGroup.end()), identifier);
    if (status != platform::errSecSuccess) {
        SdkLog::message(LogSeverity::trace, LoggerModule::sdk, "OSStatus error!");
        throw TextError("Shared application group error. Status: " + std::to_string(status));
    }
    SdkLog::message(LogSeverity::info, LoggerModule::sdk, "OSStatus: " + std::to_string(status));
    const auto settings = SettingsUtils::sharedAccessGroupInstance(identifier);
    LogManager::setupUtils(identifier, settings);
    const detail::InstanceConfiguration configuration{.pushServerParams = pushServerParams,
                                                      .login = login,
                                                      .password = password,
                                                      .logServerParams = logServerParams,
                                                      .silenceDuplicates = silenceDuplicates};
    configuration.write(*settings, sharedAppGroup, storageParams);
}

void PushSDK::createInstance(const std::string& identifier, const ServerParams& pushServerParams,
                             const std::string& login, const std::string& password,
                             const std::optional<ServerParams>& logServerParams,
                             bool silenceDuplicates) {
    createInstance(identifier, identifier, pushServerParams, login, password, logServerParams,
                   silenceDuplicates, std::nullopt);
}

std::shared_ptr<PushSDK> PushSDK::getInstance(
    const std::string& identifier, SettingReceivers settingReceivers,
    std::shared_ptr<HttpRequestAdditionalHeaderManager> headerManager) {
    LogManager::enableLogging();
    auto settings =
        SettingsUtils::sharedAccessGroupInstance(identifier, std::move(settingReceivers));
    LogManager::setupUtils(identifier, settings);
    auto configuration = detail::InstanceConfiguration::read(*settings);
    SdkLog::message(LogSeverity::trace, LoggerModule::sdk, "Push SDK parameters corrected");
    auto storageUtil = std::make_shared<detail::StorageUtil>(identifier, settings);
    return std::make_shared<PushSDK>(ConstructionKey{},
                                     std::make_shared<detail::PushSDKState>(
                                         identifier, std::move(configuration), std::move(settings),
                                         std::move(headerManager), std::move(storageUtil)));
}

std::shared_ptr<PushSDK> PushSDK::getInstance(
    const std::string& identifier, std::shared_ptr<HttpRequestAdditionalHeaderManager> with,
    SettingReceivers settingsReceivers) {
    return getInstance(identifier, std::move(settingsReceivers), std::move(with));
}

}  // namespace orvanpush
