#pragma once

// What a PushSDK object holds, and the operations its request-building code shares.

#include <map>
#include <memory>
#include <optional>
#include <string>

#include "api/Service.h"
#include "orvanpush/HttpRequestAdditionalHeaderManager.h"
#include "orvanpush/PushSDK.h"
#include "orvanpush/Reachability.h"
#include "orvanpush/ServerParams.h"
#include "platform/SecItem.h"
#include "platform/SecKey.h"
#include "sdk/InstanceConfiguration.h"
#include "storage/StorageUtil.h"
#include "utils/LoggingUtils.h"
#include "utils/SettingsUtils.h"

namespace orvanpush::detail {

using Headers = std::map<std::string, std::string>;

struct PushSDKState {
    /// Builds the state of the instance `identifier` from the configuration read back.
    PushSDKState(std::string identifier, InstanceConfiguration configuration,
                 std::shared_ptr<SettingsUtils> settingsUtils,
                 std::shared_ptr<HttpRequestAdditionalHeaderManager> headerManager,
                 std::shared_ptr<StorageUtil> storageUtil = nullptr);

    /// `value` when it is present and not empty; otherwise throws OrvanPushSDKError
    /// emptyMandatoryParameter with `name`.
    static std::string checkMandatoryParameter(const std::optional<std::string>& value,
                                               const std::string& name);

    /// The subscriber address: device id "." client id, or the client id alone when there is no
    /// device id. Throws emptyMandatoryParameter "address" without a client id.
    static std::string makeAddress(const std::optional<std::string>& deviceId,
                                   const std::optional<std::string>& clientId);

    /// The headers of one request: the header manager's for `requestUri` without any "rid" (in
    /// any letter case), and "rid" set to a new upper-case UUID.
    Headers getHeaders(const std::string& requestUri) const;

    /// getHeaders(requestUri) with "push-enabled" set to "true" or "false" by
    /// PushUtils::isPushEnabled(), which may block the caller up to 5 seconds.
    Headers getHeadersWithPushEnabled(const std::string& requestUri) const;
    /// getHeaders(requestUri) with "push-enabled" (in any letter case) set to `pushEnabled`.
    Headers getHeaders(const std::string& requestUri, bool pushEnabled) const;

    /// The subscriber address of the stored ids (makeAddress). Throws emptyMandatoryParameter
    /// "address" without a client id, and what the settings store throws.
    std::string subscriberAddress() const;

    /// The key pair of every instance: RSA of 1024 bits.
    static constexpr const char* keyType = platform::kSecAttrKeyTypeRSA;
    static constexpr int keySize = 1024;
    /// Signatures are RSA PKCS #1 v1.5 over SHA-1.
    static constexpr const char* signAlgorithm =
        platform::kSecKeyAlgorithmRSASignatureMessagePKCS1v15SHA1;

    /// The "signature" of a request whose signed text is `text`: made with the instance's
    /// committed private key. Throws the TextError of signString (no key, unusable key).
    std::string sign(const std::string& text) const;

    const std::string identifier;
    const ServerParams pushServerParams;
    const std::string login;
    const std::string password;
    const std::optional<ServerParams> logServerParams;
    const std::shared_ptr<SettingsUtils> settingsUtils;
    const std::shared_ptr<HttpRequestAdditionalHeaderManager> headerManager;
    const bool silenceDuplicates;
    /// The instance's log files and upload.
    const std::shared_ptr<LoggingUtils> logger;
    /// The push-server client: the base address, the login and password, API version "test".
    const Service apiService;
    /// The instance's message store.
    const std::shared_ptr<StorageUtil> storageUtil;
    /// The network in general, notifying on the main queue; null when it could not be made.
    const std::shared_ptr<Reachability> reachability;
};

/// The state behind a PushSDK object, for the library's own code and tests.
struct PushSDKAccess {
    static const std::shared_ptr<PushSDKState>& state(const PushSDK& sdk) { return sdk.state_; }
};

/// The base address of a server: protocol "://" server ":" port, then, when the context is
/// present and not empty, "/" and the context without its leading and trailing "/".
std::string baseAddress(const ServerParams& params);

}  // namespace orvanpush::detail
