#include "sdk/PushSDKState.h"

#include <strings.h>

#include <utility>

#include "orvanpush/OrvanPushSDKError.h"
#include "orvanpush/platform/MainQueue.h"
#include "platform/ProcessInfo.h"
#include "sdk/SubscriberIdentity.h"
#include "security/Crypto.h"
#include "security/CryptoPendingKeyPair.h"
#include "utils/PushUtils.h"

namespace orvanpush::detail {
namespace {

// The instance runs without reachability when it cannot be made.
std::shared_ptr<Reachability> makeReachability() {
    try {
        return Reachability::make(nullptr, platform::MainQueue::async);
    } catch (const ReachabilityError&) {
        return nullptr;
    }
}

}  // namespace

PushSDKState::PushSDKState(std::string identifier, InstanceConfiguration configuration,
                           std::shared_ptr<SettingsUtils> settingsUtils,
                           std::shared_ptr<HttpRequestAdditionalHeaderManager> headerManager,
                           std::shared_ptr<StorageUtil> storageUtil)
    : identifier(std::move(identifier)),
      pushServerParams(std::move(configuration.pushServerParams)),
      login(std::move(configuration.login)),
      password(std::move(configuration.password)),
      logServerParams(std::move(configuration.logServerParams)),
      settingsUtils(std::move(settingsUtils)),
      headerManager(std::move(headerManager)),
      silenceDuplicates(configuration.silenceDuplicates),
      logger(std::make_shared<LoggingUtils>(this->identifier, this->settingsUtils)),
      apiService(baseAddress(pushServerParams), login, password, "test", logger),
      storageUtil(std::move(storageUtil)),
      reachability(makeReachability()) {}

std::string PushSDKState::checkMandatoryParameter(const std::optional<std::string>& value,
                                                  const std::string& name) {
    if (!value || value->empty()) {
        throw OrvanPushSDKError::emptyMandatoryParameter(name);
    }
    return *value;
}

std::string PushSDKState::makeAddress(const std::optional<std::string>& deviceId,
                                      const std::optional<std::string>& clientId) {
    const std::string client = checkMandatoryParameter(clientId, "address");
    if (deviceId && !deviceId->empty()) {
        return *deviceId + "." + client;
    }
    return client;
}

Headers PushSDKState::getHeaders(const std::string& requestUri) const {
    Headers headers = headerManager ? headerManager->getAdditionalHeaders(requestUri) : Headers{};
    // A manager's "RID" would travel beside the generated one; only the library's id is sent.
    std::erase_if(headers,
                  [](const auto& entry) { return strcasecmp(entry.first.c_str(), "rid") == 0; });
    headers["rid"] = platform::makeUuid();
    return headers;
}

Headers PushSDKState::getHeadersWithPushEnabled(const std::string& requestUri) const {
    return getHeaders(requestUri, PushUtils::isPushEnabled());
}

Headers PushSDKState::getHeaders(const std::string& requestUri, bool pushEnabled) const {
    Headers headers = getHeaders(requestUri);
    // As with "rid": the library's own value is the only one sent.
    std::erase_if(headers, [](const auto& entry) {
        return strcasecmp(entry.first.c_str(), "push-enabled") == 0;
    });
    headers["push-enabled"] = pushEnabled ? "true" : "false";
    return headers;
}

std::string PushSDKState::subscriberAddress() const {
    const auto ids = SubscriberIds::read(*settingsUtils);
    return makeAddress(ids.deviceId, ids.clientId);
}

std::string PushSDKState::sign(const std::string& text) const {
    return signString(identifier, privateKeyTag(identifier), signAlgorithm, text);
}

std::string baseAddress(const ServerParams& params) {
    std::string address =
        params.protocolType + "://" + params.serverURL + ":" + std::to_string(params.serverPort);
    if (params.context && !params.context->empty()) {
        const auto first = params.context->find_first_not_of('/');
        const auto last = params.context->find_last_not_of('/');
        address += "/";
        if (first != std::string::npos) {
            address += params.context->substr(first, last - first + 1);
        }
    }
    return address;
}

}  // namespace orvanpush::detail
